// The pictures a cut begins and ends with: decoded with FFmpeg's libraries from exactly the bytes
// the cutter would copy, found by counting time markers. Made on any thread; every call opens the
// recording with its own file handle and can be stopped early.
#pragma once

#include <cstdint>
#include <stop_token>
#include <vector>

#include "engine/marker_index.h"

namespace trimora::preview {

enum class CutPoint {
  kStart,  // the first picture a player shows of a cut that starts at the second
  kEnd,    // the last picture of a cut that ends at the second
};

// A picture as it is meant to be seen: the sample aspect ratio applied, one field of an interlaced
// picture, no combing. Each pixel is 0xFFRRGGBB in one uint32_t, rows top to bottom without
// padding: QImage's Format_RGB32 takes the memory as it is.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
};

enum class PictureOutcome {
  kPicture,     // the picture is there
  kCancelled,   // a stop was requested before it was finished
  kBeyondEnd,   // the recording holds fewer time markers than the second
  kNoVideo,     // no video stream in the bytes looked at
  // video, but no picture decodes completely from a bounded amount of it and of work, or the
  // picture is larger than 8K UHD, or the file is no longer the recording analysed
  kNoPicture,
  kCannotRead,  // the recording cannot be opened or read
  // a clean cut from the second cannot start: no random-access picture within reach, or no
  // program tables before it
  kNoCleanStart,
  kNoCleanTables,
};

struct PictureResult {
  PictureOutcome outcome = PictureOutcome::kNoPicture;
  Picture picture;  // only for kPicture
  // The cut's byte the picture belongs to: the first byte of a cut from the second (kStart),
  // the byte just after the last byte of a cut up to it (kEnd). -1 when it was not found.
  int64_t byte = -1;
  // The time markers the whole recording holds, when the search for the second found fewer; -1
  // otherwise.
  int32_t recording_markers = -1;
  // kStart of a clean cut: how far its first picture lies after the marker, in seconds.
  double seconds_after_marker = 0;
};

struct PictureRequest {
  int32_t second = 0;
  CutPoint point = CutPoint::kStart;
  // When not 0, the picture is scaled down to fit this box, keeping its shape; never up.
  int max_width = 0;
  int max_height = 0;
  // kEnd: the second the cut starts at. What the cut holds, and so its last picture, depends on
  // it: ten zeroed records, or a hundred damaged ones, counted from its first byte end it early.
  int32_t from = 0;
  // The pictures of the clean cut (engine/cut.h CutMode::kClean): the first one its file shows,
  // the random-access picture it starts with, and the last one, after the PES open at the end
  // has been made whole.
  bool clean = false;
  // Thousandths of a second after the marker, by the video's clock (core/cut_time.h): the cut
  // from (up to) such a time starts (ends) as engine/cut.h says.
  int32_t millis = 0;
};

// Finds the byte by the marker index (reading on as far as needed) and decodes the picture from
// the recording the index belongs to, from the video stream of the first program of the PAT as
// the PMT in force names it there. A picture that the decoder had to conceal, or whose packets
// were lost (the continuity counter skips), is never taken. Never throws; every decoder error ends as an outcome. The
// stop token is looked at between packets and between reads.
PictureResult MakeCutPicture(MarkerIndex& markers, const PictureRequest& request, const std::stop_token& stop = {});

// What to show in place of a picture, in the program's own words; empty for kPicture and kCancelled.
const char* NoPictureText(PictureOutcome outcome);

}  // namespace trimora::preview
