// A recorder-shaped recording with commercial breaks for timing the scan: 720x480 MPEG-2 with
// MPEG-1 Layer II at about the recorder's 1.87 Mbit/s, moving and noisy pictures, programme
// stretches between breaks of several spots, silences inside the programme.
//
//   bench_scan make FILE SECONDS    prints "seconds LENGTH" and "programme N" (stretches made)
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "tests/scan/break_recording.h"

namespace {

using trimora::testkit::BreakLayout;
using trimora::testkit::Stretch;

// Programme and breaks in turn, as a broadcast hour has them, until `seconds` are filled.
BreakLayout Layout(double seconds) {
  BreakLayout layout;
  layout.width = 720;
  layout.height = 480;
  layout.fps = 30;
  layout.gop = 15;
  layout.busy_bit_rate = 1'500'000;
  const double programme[] = {97, 131, 113};
  const std::vector<std::vector<double>> breaks = {{15, 15, 30, 15}, {30, 15, 60}, {15, 15, 15, 15, 30, 15}};
  double t = 0;
  for (int i = 0; t < seconds; ++i) {
    const double stretch = programme[i % 3];
    layout.stretches.push_back({false, stretch});
    for (double at = t + 9; at + 9 < t + stretch; at += 23) layout.programme_silences.push_back({at, 0.6});
    t += stretch;
    for (const double spot : breaks[static_cast<std::size_t>(i) % breaks.size()]) {
      layout.stretches.push_back({true, spot});
      t += spot;
    }
  }
  return layout;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 || std::string(argv[1]) != "make") {
    std::fprintf(stderr, "usage: bench_scan make FILE SECONDS\n");
    return 2;
  }
  try {
    const BreakLayout layout = Layout(std::atof(argv[3]));
    trimora::testkit::WriteBreakRecording(argv[2], layout);
    double length = 0;
    for (const Stretch& s : layout.stretches) length += s.seconds;
    std::printf("seconds %.1f\nprogramme %zu\n", length, trimora::testkit::ProgrammeSpans(layout).size());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_scan: %s\n", e.what());
    return 1;
  }
  return 0;
}
