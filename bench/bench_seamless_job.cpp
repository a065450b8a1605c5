// The header work of a clean job's joins against the same job without it, paired: three clean
// ranges cut by the cutter itself into one file, with the clocks moved on at each join and with
// the recording's own clocks, alternately, best of RUNS each.
//
//   bench_seamless_job make FILE SECONDS   a recorder-shaped recording (720x480 MPEG-2 at the
//                                          recorder's byte rate, MPEG-1 Layer II sound)
//   bench_seamless_job FILE SECONDS RUNS   three ranges of SECONDS, one in each third of FILE; prints
//                                          "job PLAIN_MS SEAMLESS_MS BYTES" then "ratio R"
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/cut.h"
#include "engine/marker_index.h"
#include "engine/record_file.h"
#include "platform/os/os.h"
#include "tests/preview/video_recording.h"

namespace {

using Clock = std::chrono::steady_clock;

class Quiet : public trimora::CutReport {
 public:
  void StageBegun(trimora::CutStage) override {}
  void Percent(int32_t) override {}
  void Ended(const trimora::CutResult&) override {}
};

// Milliseconds of one job, or a negative number when it did not complete.
double TimeJob(const std::string& source, const std::string& target, const std::vector<trimora::CutPart>& parts,
               bool keep_clocks, int64_t& written) {
  trimora::SourceFile file1;
  trimora::TargetFile file2{&file1};
  trimora::StopFlag stop{0};
  Quiet quiet;
  trimora::CutOptions options;
  options.mode = trimora::CutMode::kClean;
  options.keep_clocks = keep_clocks;
  trimora::os::RemoveFile(target);  // freeing the last job's file is not this job's work
  const auto start = Clock::now();
  const trimora::CutResult r = trimora::CutRecording(source, target, parts, file1, file2, stop, quiet, options);
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  written = r.packets_written;
  return r.outcome == trimora::CutOutcome::Completed && r.plan && r.plan->ticks.size() == (keep_clocks ? 0u : 2u) ? ms : -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "make") {
    trimora::testkit::WriteVideoRecording(argv[2], {.seconds = std::atoi(argv[3]), .fps = 30, .gop = 15, .width = 720,
                                                    .height = 480, .busy_bit_rate = 1'700'000, .audio = true, .mp2 = true});
    return 0;
  }
  if (argc != 4) {
    std::fprintf(stderr, "usage: bench_seamless_job FILE SECONDS RUNS\n");
    return 2;
  }
  const std::string path = argv[1], target = path + ".job";
  const int seconds = std::atoi(argv[2]), runs = std::atoi(argv[3]);
  trimora::MarkerIndex index(path);
  index.ByteAfterMarker(INT32_MAX);
  const int32_t markers = index.KnownMarkers();
  if (markers < 3 * (seconds + 10) || runs < 1) {
    std::fprintf(stderr, "bench_seamless_job: %d markers are too few\n", markers);
    return 1;
  }
  std::vector<trimora::CutPart> parts;
  for (int k = 0; k < 3; ++k) {
    const int32_t from = k * (markers / 3) + 5;  // a gap before each: every range is a join
    parts.push_back({{from, 0}, {from + seconds, 0}});
  }
  double plain = 1e300, seamless = 1e300;
  int64_t written = 0;
  for (int run = 0; run < runs; ++run) {
    // Each goes first in turn: the one that runs second of a pair runs on a warmer machine.
    double a = 0, b = 0;  // without the header work, with it
    if (run % 2 == 0) {
      a = TimeJob(path, target, parts, true, written);
      b = TimeJob(path, target, parts, false, written);
    } else {
      b = TimeJob(path, target, parts, false, written);
      a = TimeJob(path, target, parts, true, written);
    }
    if (a < 0 || b < 0) {
      std::fprintf(stderr, "bench_seamless_job: the job did not complete as planned\n");
      return 1;
    }
    plain = std::min(plain, a);
    seamless = std::min(seamless, b);
  }
  trimora::os::RemoveFile(target);
  std::printf("job %.1f %.1f %lld\n", plain, seamless, static_cast<long long>(written) * 188);
  std::printf("ratio %.3f\n", seamless / plain);
  return 0;
}
