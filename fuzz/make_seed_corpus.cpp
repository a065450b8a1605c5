// Writes the fuzz target's seed corpus into the folder given: recordings from the tests' builder,
// sound and damaged, each behind the three bytes that choose the range and the measuring.
#include <cstdio>
#include <filesystem>
#include <string>

#include "tests/recording_builder.h"

namespace {

using trimora::testkit::Bytes;
using trimora::testkit::Recording;
using trimora::testkit::RecordingOptions;

void Seed(const std::filesystem::path& folder, const std::string& name, const Recording& r, uint8_t start, uint8_t end,
          bool measure, std::size_t partial = 0) {
  Bytes bytes{start, end, static_cast<uint8_t>(measure ? 1 : 0)};
  const Bytes body = r.AllBytes(partial);
  bytes.insert(bytes.end(), body.begin(), body.end());
  trimora::testkit::WriteAll(folder / name, bytes);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seed_corpus FOLDER\n");
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::filesystem::create_directories(folder);
  const Recording twenty(RecordingOptions{.seconds = 20, .packets_per_second = 3});
  Seed(folder, "range", twenty, 5, 12, true);
  Seed(folder, "whole", twenty, 0, 20, false);
  Seed(folder, "end-beyond", twenty, 15, 40, true);
  Seed(folder, "start-beyond", twenty, 30, 40, true);
  Seed(folder, "reversed", twenty, 9, 3, false);
  Seed(folder, "negative-start", twenty, 0xFE, 4, true);
  Seed(folder, "partial-last", twenty, 2, 30, true, 77);
  Seed(folder, "flags", Recording(RecordingOptions{.seconds = 12, .marker_flags = true}), 1, 11, true);
  Recording damaged(RecordingOptions{.seconds = 30, .packets_per_second = 4});
  for (std::size_t k = 1; k < damaged.PacketCount(); k += 7) damaged.Packet(k)[0] = k % 2 ? 0x00 : 0x46;
  Seed(folder, "damaged", damaged, 3, 25, false);
  Seed(folder, "empty", Recording::Empty(), 0, 1, true);
  return 0;
}
