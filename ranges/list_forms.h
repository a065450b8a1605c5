// The cut lists other tools write, read as they are, and the forms of ours that players and
// other tools read: AviSynth Trim lines (join_logo_scp), Kodi/MPlayer/comskip EDL and LosslessCut
// CSV in; EDL and OGM chapters out. Those tools count frames and seconds from the recording's
// first picture, so their times meet ours through the recording's clock (clock/).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "clock/recording_clock.h"
#include "core/cut_time.h"
#include "ranges/range_list.h"

namespace trimora {

// The forms a list may come in, told apart by its content.
enum class ListForm { kOwn, kTrim, kEdl, kCsv };

// A stretch of a recording as another tool names it: 90 kHz ticks from the first picture.
// `to_end`: up to the recording's end (a CSV row without an end).
struct ClockSpan {
  int64_t from = 0, to = 0;
  bool to_end = false;
  friend bool operator==(const ClockSpan&, const ClockSpan&) = default;
};

struct CutList {
  ListForm form = ListForm::kOwn;
  std::vector<KeptRange> ranges;  // our own form
  std::vector<ClockSpan> spans;   // the others: what to keep, or for an EDL what to drop
  std::string problem;            // "" when the whole text was read; else the reason, its line named
  bool NeedsClock() const { return form != ListForm::kOwn; }
};

// Reads a list in any of the forms: ours, Trim, EDL or CSV. Spans are checked for order and
// overlap here, each refusal naming its line; our own form is judged by ListProblem as before.
// OGM chapters are refused: they mark points, not what to keep.
CutList ReadCutList(const std::string& text);

// Where a list running "to the end" ends: the recording's last time marker, where a cut to the
// end ends too and where the search for breaks ends the programme that runs to the end; never
// past the length the analysis gave (`total` seconds), which no range may pass.
CutTime RecordingEnd(const clock::RecordingClock& clock, int32_t total);

// The ranges to keep that a list of another tool names, on this recording's clock: an EDL keeps
// what it does not drop, from the first picture to `end`. A span that runs on a little past
// `end` (a list made for this recording, to its last frame) ends there.
std::vector<KeptRange> KeptRangesOf(const CutList& list, const clock::RecordingClock& clock, CutTime end);

// The action of an EDL line: a stretch to cut out, or a commercial break, which players skip.
enum class EdlAction { kCut = 0, kCommercialBreak = 3 };

// The list as an EDL of what to drop, seconds from the first picture: the stretches of the
// recording up to `end` that no range keeps. Read back, it gives the same ranges (touching
// ranges as one).
std::string WriteEdl(const std::vector<KeptRange>& ranges, const clock::RecordingClock& clock, CutTime end,
                     EdlAction action = EdlAction::kCut);

// OGM chapters (CHAPTERnn=HH:MM:SS.sss, CHAPTERnnNAME=) of where each range begins in the file a
// job of `ranges` saves: the sum of the lengths before it, each from its start picture to its end
// by the video's clock.
std::string WriteChapters(const std::vector<KeptRange>& ranges, const clock::RecordingClock& clock);

}  // namespace trimora
