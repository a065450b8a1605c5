// Recordings with commercial breaks for the scan's tests and its benchmark, made with FFmpeg's
// encoders and muxer: stretches of programme and spots, each spot of its own picture and tone,
// every spot beginning and ending with a short silence and the picture cut in its middle, and
// silences inside the programme with no cut. Time markers follow the video's clock, one per second.
#pragma once

#include <filesystem>
#include <vector>

namespace trimora::testkit {

struct Stretch {
  bool spot = false;  // a commercial spot; otherwise programme
  double seconds = 0;
};

struct Silence {
  double at = 0;  // seconds from the first picture
  double seconds = 0.5;
};

struct BreakLayout {
  std::vector<Stretch> stretches;
  std::vector<Silence> programme_silences;  // no picture cut inside them
  double boundary_silence = 0.5;            // across each boundary of a spot, half on either side
  bool silent_programme_edges = true;       // false: a spot's own silences only, the programme sounds to its cut
  bool h264 = false;                        // H.264 and AAC; otherwise MPEG-2 and MPEG-1 Layer II
  int fps = 10, gop = 10, width = 64, height = 48;
  double scene_seconds = 7;  // the programme cuts to another picture this often, with its sound on
  int busy_bit_rate = 0;     // for the benchmark: moving, noisy pictures at about this rate
};

void WriteBreakRecording(const std::filesystem::path& path, const BreakLayout& layout);

// The programme's stretches as the layout has them: seconds from the first picture to the end of
// each stretch's last picture.
struct Span {
  double from, to;
};
std::vector<Span> ProgrammeSpans(const BreakLayout& layout);

}  // namespace trimora::testkit
