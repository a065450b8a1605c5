// The clean cut's cost against the exact cut of the same range, paired: at each position the
// exact range and the planned runs are copied to a new file the same way (1 MiB reads and
// writes), best of three each, the clean one including its planning.
//
//   bench_clean_cut FILE POSITIONS SECONDS   ranges of SECONDS at POSITIONS spread over FILE;
//                                            prints "range START_SECOND EXACT_MS CLEAN_MS PLAN_MS"
//                                            each, then "median_ratio R"
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cleancut/clean_cut.h"
#include "engine/marker_index.h"
#include "platform/os/os.h"

namespace {

using Clock = std::chrono::steady_clock;
using trimora::cleancut::ByteRun;

double MsSince(Clock::time_point start) { return std::chrono::duration<double, std::milli>(Clock::now() - start).count(); }

void Copy(const trimora::os::File& source, const std::vector<ByteRun>& runs, const std::string& target) {
  trimora::os::RemoveFile(target);
  trimora::os::File out = trimora::os::File::CreateNew(target);
  std::vector<uint8_t> buffer(std::size_t{1} << 20);
  for (const ByteRun& run : runs)
    for (int64_t at = run.offset; at < run.offset + run.length;) {
      const auto n = static_cast<std::size_t>(std::min<int64_t>(static_cast<int64_t>(buffer.size()), run.offset + run.length - at));
      const std::size_t got = source.ReadAt(buffer.data(), n, at);
      if (got == 0) break;
      out.Write(buffer.data(), got);
      at += static_cast<int64_t>(got);
    }
  out.Close();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: bench_clean_cut FILE POSITIONS SECONDS\n");
    return 2;
  }
  const std::string path = argv[1];
  const int positions = std::atoi(argv[2]), seconds = std::atoi(argv[3]);
  const std::string target = path + ".cut";
  trimora::MarkerIndex index(path);
  index.ByteAfterMarker(INT32_MAX);
  const int32_t markers = index.KnownMarkers();
  if (markers <= seconds || positions < 1) {
    std::fprintf(stderr, "bench_clean_cut: %d markers are too few\n", markers);
    return 1;
  }
  const trimora::os::File source = trimora::os::File::OpenForReading(path);
  std::vector<double> ratios;
  for (int i = 0; i < positions; ++i) {
    const auto start = static_cast<int32_t>((2LL * i + 1) * (markers - seconds) / (2 * positions));
    const int64_t start_byte = index.ByteAfterMarker(start).byte, end_byte = index.ByteAfterMarker(start + seconds).byte;
    double exact = 1e300, clean = 1e300, plan_ms = 1e300;
    for (int run = 0; run < 3; ++run) {
      auto t = Clock::now();
      Copy(source, {{start_byte, end_byte - start_byte}}, target);
      exact = std::min(exact, MsSince(t));
      t = Clock::now();
      const trimora::cleancut::CleanCut cut = trimora::cleancut::PlanCleanCut(source, start_byte, end_byte);
      plan_ms = std::min(plan_ms, MsSince(t));
      if (cut.outcome != trimora::cleancut::CleanCutOutcome::kPlanned) {
        std::fprintf(stderr, "bench_clean_cut: no clean cut at second %d\n", start);
        return 1;
      }
      Copy(source, cut.plan.runs, target);
      clean = std::min(clean, MsSince(t));
    }
    ratios.push_back(clean / exact);
    std::printf("range %d %.1f %.1f %.2f\n", start, exact, clean, plan_ms);
  }
  trimora::os::RemoveFile(target);
  std::sort(ratios.begin(), ratios.end());
  const std::size_t n = ratios.size();
  std::printf("median_ratio %.3f\n", (ratios[(n - 1) / 2] + ratios[n / 2]) / 2);
  return 0;
}
