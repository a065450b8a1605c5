// The marker index: the bytes it gives are those the cutter reaches by counting markers, and a
// measured analysis hands over what it counted so that no picture needs a second scan.
#include "engine/marker_index.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "window/runs/analyze_file.h"
#include "core/ts_packet.h"
#include "tests/recording_builder.h"

namespace trimora {
namespace {

using testkit::Recording;
using testkit::RecordingOptions;

int64_t ByteAfter(const Recording& r, int n) {
  return n == 0 ? 0 : static_cast<int64_t>((r.MarkerIndex(n) + 1) * kPacketSize);
}

// Many packets per second, so that the markers lie across several of the index's reads, and a
// damaged packet that still counts as a marker, as it does for the cutter.
TEST(MarkerIndex, ReadsOnAsFarAsAskedAndCountsAsTheCutterDoes) {
  testkit::TempDir dir;
  Recording r(RecordingOptions{.seconds = 4, .packets_per_second = 3000});
  r.Packet(r.MarkerIndex(2))[0] = 0x00;
  r.WriteTo(dir / "r.nts", 100);
  MarkerIndex index((dir / "r.nts").string());
  EXPECT_EQ(index.ByteAfterMarker(2).byte, ByteAfter(r, 2));
  EXPECT_FALSE(index.Complete());
  for (int n = 0; n <= 4; ++n) {
    EXPECT_TRUE(index.ByteAfterMarker(n).found);
    EXPECT_EQ(index.ByteAfterMarker(n).byte, ByteAfter(r, n)) << n;
  }
  EXPECT_FALSE(index.ByteAfterMarker(5).found);
  EXPECT_TRUE(index.Complete());
}

TEST(MarkerIndex, MeasuredAnalysisHandsOverItsCountAndAnEstimateStartsEmpty) {
  testkit::TempDir dir;
  const Recording r(RecordingOptions{.seconds = 6});
  const std::string path = (dir / "r.nts").string();
  r.WriteTo(path);
  WindowModel w;
  AppState st;
  AnalyzeFile(w, st, path);
  ASSERT_TRUE(st.markers);
  EXPECT_EQ(st.markers->KnownMarkers(), 0);

  w.cTimeB.Value = 1;
  AnalyzeFile(w, st, path);
  ASSERT_TRUE(st.markers && st.markers->Complete());
  std::filesystem::remove(path);  // what the index gives now comes from the analysis alone
  for (int n = 1; n <= 6; ++n) EXPECT_EQ(st.markers->ByteAfterMarker(n).byte, ByteAfter(r, n)) << n;
}

// `cp -p` or `touch -r` over the recording: the same file, the same size, the old modification
// time, other bytes. The index must not hand the cut a start found in the old bytes.
TEST(MarkerIndex, FileRewrittenInPlaceWithItsTimePutBackIsNotKnownAnyMore) {
  testkit::TempDir dir;
  const std::filesystem::path path = dir / "r.nts";
  Recording r(RecordingOptions{.seconds = 6});
  r.WriteTo(path);
  MarkerIndex index(path.string());
  ASSERT_TRUE(index.ByteAfterMarker(3).found);
  ASSERT_TRUE(index.KnownByteAfterMarker(3));
  const auto modified = std::filesystem::last_write_time(path);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));  // past the system clock's coarse tick
  r.Packet(r.MarkerIndex(1))[2] = 0x11;  // a marker no more
  {
    std::fstream rewrite(path, std::ios::in | std::ios::out | std::ios::binary);
    const testkit::Bytes bytes = r.Slice(0, r.PacketCount());
    rewrite.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  std::filesystem::last_write_time(path, modified);
  EXPECT_FALSE(index.KnownByteAfterMarker(3));
}

}  // namespace
}  // namespace trimora
