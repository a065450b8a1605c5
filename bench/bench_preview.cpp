// The pictures at the cut points, timed as the window makes them: one process, the marker index
// built once, then the start and the end picture at positions spread over a long recording.
//
//   bench_preview make FILE BYTES   a recording of at least BYTES with real MPEG-2 video: a clip
//                                   of ten seconds, encoded once and repeated, a marker per second
//   bench_preview time FILE N       the index, then the pictures at N positions; prints one line
//                                   "position SECOND START_BYTE END_BYTE START_MS END_MS" each,
//                                   then "index_ms MS" and "median_ms MS"
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/marker_index.h"
#include "preview/cut_picture.h"
#include "tests/preview/video_recording.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

int Make(const std::string& path, long long bytes) {
  const std::string clip_path = path + ".clip";
  trimora::testkit::WriteVideoRecording(
      clip_path, {.seconds = 10, .fps = 25, .gop = 12, .width = 720, .height = 480, .sar_num = 32, .sar_den = 27,
                  .busy_bit_rate = 1'700'000});
  std::ifstream in(clip_path, std::ios::binary);
  const std::vector<char> clip(std::istreambuf_iterator<char>(in), {});
  std::remove(clip_path.c_str());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  for (long long written = 0; written < bytes && out; written += static_cast<long long>(clip.size()))
    out.write(clip.data(), static_cast<std::streamsize>(clip.size()));
  out.close();
  if (!out || clip.empty()) {
    std::fprintf(stderr, "bench_preview: cannot write %s\n", path.c_str());
    return 1;
  }
  return 0;
}

int Time(const std::string& path, int positions) {
  trimora::MarkerIndex index(path);
  const auto index_start = Clock::now();
  index.ByteAfterMarker(INT32_MAX);
  const double index_ms = MsSince(index_start);
  const int32_t markers = index.KnownMarkers();
  if (markers < positions) {
    std::fprintf(stderr, "bench_preview: %d markers are too few\n", markers);
    return 1;
  }
  std::vector<double> times;
  for (int i = 0; i < positions; ++i) {
    const auto second = static_cast<int32_t>((2LL * i + 1) * markers / (2 * positions));
    trimora::preview::PictureResult r[2];
    double ms[2];
    for (int k = 0; k < 2; ++k) {
      const auto start = Clock::now();
      r[k] = trimora::preview::MakeCutPicture(
          index, {second, k == 0 ? trimora::preview::CutPoint::kStart : trimora::preview::CutPoint::kEnd});
      ms[k] = MsSince(start);
      times.push_back(ms[k]);
      if (r[k].outcome != trimora::preview::PictureOutcome::kPicture) {
        std::fprintf(stderr, "bench_preview: no picture at second %d\n", second);
        return 1;
      }
    }
    std::printf("position %d %lld %lld %.1f %.1f\n", second, static_cast<long long>(r[0].byte),
                static_cast<long long>(r[1].byte), ms[0], ms[1]);
  }
  std::sort(times.begin(), times.end());
  const std::size_t n = times.size();
  std::printf("index_ms %.1f\nmedian_ms %.1f\n", index_ms, (times[(n - 1) / 2] + times[n / 2]) / 2);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc == 4 ? argv[1] : "";
  if (mode == "make") return Make(argv[2], std::atoll(argv[3]));
  if (mode == "time") return Time(argv[2], std::atoi(argv[3]));
  std::fprintf(stderr, "usage: bench_preview make FILE BYTES | time FILE POSITIONS\n");
  return 2;
}
