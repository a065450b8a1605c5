// Records in runs, as the cutter moves them: runs read in place and partly given back, runs
// written straight or through the buffer, and the end of the data that stops a seek.
#include <gtest/gtest.h>

#include <string>

#include "engine/record_file.h"
#include "tests/recording_builder.h"

namespace trimora {
namespace {

using testkit::Bytes;
using testkit::Recording;
using testkit::RecordingOptions;

TEST(RecordRuns, PastEndOnlyOnceARecordReachesBeyondTheData) {
  testkit::TempDir dir;
  Recording r(RecordingOptions{.seconds = 2, .packets_per_second = 1, .trailing_packets = 0});  // 4 packets
  for (std::size_t partial : {std::size_t{0}, std::size_t{3}}) {
    r.WriteTo(dir / "rec.nts", partial);
    SourceFile f;
    f.Open((dir / "rec.nts").string());
    uint8_t head[kHeadSize];
    for (int k = 0; k < 4; ++k) {
      f.ReadHead(head);
      EXPECT_FALSE(f.PastEnd()) << "record " << k << " lies within the data";
    }
    f.ReadHead(head);  // the partial record, or the first one past the end
    EXPECT_TRUE(f.PastEnd()) << partial;
    f.ReadHead(head);
    EXPECT_TRUE(f.PastEnd());
    f.Rewind();
    EXPECT_FALSE(f.PastEnd());
  }
}

TEST(RecordRuns, RunsReadInPlaceAndGivenBackDeliverEveryRecordOnce) {
  testkit::TempDir dir;
  Recording r(RecordingOptions{.seconds = 600, .packets_per_second = 9});  // larger than the read buffer
  r.WriteTo(dir / "rec.nts", 77);
  const Bytes all = r.AllBytes(77);
  SourceFile f;
  f.Open((dir / "rec.nts").string());
  Bytes got;
  uint32_t seed = 7;
  while (got.size() < all.size() + 2 * kPacketSize) {
    seed = seed * 1103515245u + 12345u;
    const std::size_t want = 1 + (seed >> 8) % 1500;
    const uint8_t* first = nullptr;
    const std::size_t n = f.ReadRecordsInPlace(first, want);
    ASSERT_GE(n, 1u);
    ASSERT_LE(n, want);
    const std::size_t keep = n == 1 ? 1 : 1 + (seed >> 4) % n;
    got.insert(got.end(), first, first + keep * kPacketSize);
    f.UnreadRecords(n - keep);
  }
  Bytes want = all;
  want.resize(got.size(), 0);  // the partial record completed with zeros, then zero records
  EXPECT_EQ(got, want);
}

TEST(RecordRuns, TargetKeepsOrderAcrossBufferedAndDirectRuns) {
  testkit::TempDir dir;
  Recording r(RecordingOptions{.seconds = 3000, .packets_per_second = 3});
  const Bytes all = r.AllBytes();
  TargetFile t;
  t.Open((dir / "out.nts").string());
  std::size_t at = 0;
  for (std::size_t run : {1, 511, 512, 3, 9000, 1, 700, 1200}) {  // 11,928 of 12,002 packets
    t.WriteRecords(all.data() + at * kPacketSize, run);
    at += run;
  }
  t.Flush();
  EXPECT_EQ(testkit::ReadAll(dir / "out.nts"), Bytes(all.begin(), all.begin() + static_cast<long>(at * kPacketSize)));
  t.Close();
}

}  // namespace
}  // namespace trimora
