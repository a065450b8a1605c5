// trimora-cli cut with the lists of other tools, on a recording with real video whose clock they
// count by: an EDL or a CSV that describes the same ranges saves the same bytes as our own list,
// and --chapters marks where each range begins.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "clock/recording_clock.h"
#include "ranges/list_forms.h"
#include "tests/cli_runner.h"
#include "tests/preview/video_recording.h"
#include "tests/recording_builder.h"

namespace trimora::testkit {
namespace {

void WriteText(const std::filesystem::path& path, const std::string& text) { WriteAll(path, Bytes(text.begin(), text.end())); }

// Seconds from the first picture, as LosslessCut would write the time of `t`: at or just after it.
std::string CsvSeconds(const clock::RecordingClock& c, CutTime t) {
  const int64_t millis = ((c.ToPts(t) - c.FirstPts()) * 1000 + clock::kPtsPerSecond - 1) / clock::kPtsPerSecond;
  char text[32];
  std::snprintf(text, sizeof text, "%lld.%03lld", static_cast<long long>(millis / 1000), static_cast<long long>(millis % 1000));
  return text;
}

TEST(CliCutLists, EdlAndCsvCutAsOurListAndChaptersMarkEachRange) {
  TempDir dir;
  WriteVideoRecording(dir / "rec.nts", {.seconds = 12});
  const clock::ClockRead read = clock::RecordingClock::Read((dir / "rec.nts").string());
  ASSERT_TRUE(read.clock);
  const clock::RecordingClock& c = *read.clock;
  const std::vector<KeptRange> ranges = {{2, 5}, {8, 11}};
  WriteText(dir / "own.txt", WriteRangeList(ranges));
  WriteText(dir / "scan.edl", WriteEdl(ranges, c, RecordingEnd(c, 12)));
  WriteText(dir / "cut.csv", CsvSeconds(c, 2) + "," + CsvSeconds(c, 5) + ",本編\n" + CsvSeconds(c, 8) + "," +
                                 CsvSeconds(c, 11) + ",\"part, two\"\n");

  CliResult got = RunCli(dir.path(), {"cut", "--measure", "--chapters", "own.chapters.txt", "--ranges", "own.txt",
                                      "rec.nts", "own.nts"});
  ASSERT_EQ(got.exit_code, 0) << got.out << got.err;
  EXPECT_NE(got.out.find("書き込みが完了しました。\nチャプター：2\n"), std::string::npos) << got.out;
  const Bytes own = ReadAll(dir / "own.nts");
  for (const char* list : {"scan.edl", "cut.csv"}) {
    got = RunCli(dir.path(), {"cut", "--measure", "--ranges", list, "rec.nts", "other.nts"});
    EXPECT_EQ(got.exit_code, 0) << list << got.out << got.err;
    EXPECT_EQ(ReadAll(dir / "other.nts"), own) << list;
  }

  const Bytes chapters = ReadAll(dir / "own.chapters.txt");
  const std::string text(chapters.begin(), chapters.end());
  ASSERT_EQ(text.rfind("CHAPTER01=00:00:00.000\nCHAPTER01NAME=範囲1\nCHAPTER02=00:00:0", 0), 0u) << text;
  const double second = std::stod(text.substr(text.find("CHAPTER02=") + 16, 6));
  EXPECT_NEAR(second, 3.0, 0.25) << "the first range's length by the pictures' clock";

  WriteText(dir / "bad.csv", "0,10,\n5,20,\n");
  got = RunCli(dir.path(), {"cut", "--ranges", "bad.csv", "rec.nts", "bad.nts"});
  EXPECT_EQ(got.exit_code, 2);
  EXPECT_NE(got.err.find("2行目の範囲が前の範囲と重なっています。"), std::string::npos) << got.err;
  EXPECT_FALSE(std::filesystem::exists(dir / "bad.nts"));
}

}  // namespace
}  // namespace trimora::testkit
