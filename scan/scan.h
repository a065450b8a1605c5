// The search for commercial breaks: the sound is decoded to find its silences, the pictures only
// around the silences that could chain to find the cut to another picture in each, and the
// boundaries that chain by the spots' 15-second steps are the breaks. The window and the command
// line call the same function; it runs on any thread, opens the recording with its own handle and
// can be stopped early.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "scan/break_chains.h"
#include "scan/proposal.h"

namespace trimora::scan {

enum class ScanOutcome {
  kScanned,     // the breaks are found (perhaps none): the programme is the whole rest
  kCancelled,   // a stop was requested before the end
  kNoVideo,     // no video stream in the program, or no picture with a time
  kNoSound,     // no sound stream in the program, or none that decodes
  kCannotRead,  // the recording cannot be opened, read, or is not a transport stream
};

struct ScanResult {
  ScanOutcome outcome = ScanOutcome::kCannotRead;
  // On the video's 90 kHz clock as clock::RecordingClock lays it out: the recording's pictures,
  // and the programme and the breaks found among them.
  PictureSpan pictures;
  Programme found;
  Proposal proposal;  // the same as cut times
  std::optional<clock::RecordingClock> clock;  // the recording's clock, once read
};

// The caption of the progress while scanning, in the program's own words.
inline constexpr const char* kScanningCaption = "CMを探しています...";

// Percent of the work done, 0..100, called from the scanning thread.
using ScanProgress = std::function<void(int percent)>;

// Never throws; every failure ends as an outcome. The stop token is looked at between packets.
ScanResult ScanRecording(const std::string& path, const std::stop_token& stop = {}, const ScanProgress& progress = {});

// What to show for an outcome that found nothing, in the program's own words; empty for kScanned
// and kCancelled.
const char* ScanOutcomeText(ScanOutcome outcome);

}  // namespace trimora::scan
