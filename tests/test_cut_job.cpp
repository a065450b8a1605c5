// A job of several ranges: one pass over the source into one target that holds exactly what a
// cut of each range alone writes, one after another; the command line's list and its refusals.
#include "engine/cut.h"

#ifndef _WIN32
#include <signal.h>
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <system_error>
#include <vector>

#include "core/time_values.h"
#include "core/ts_packet.h"
#include "tests/cli_runner.h"
#include "tests/recording_builder.h"

namespace trimora {
namespace {

using testkit::Bytes;
using testkit::Recording;
using testkit::RecordingOptions;

class Quiet : public CutReport {
 public:
  void StageBegun(CutStage stage) override { stages.push_back(stage); }
  void Percent(int32_t percent) override { percents.push_back(percent); }
  void Ended(const CutResult&) override {}
  std::vector<CutStage> stages;
  std::vector<int32_t> percents;
};

class CutJob : public ::testing::Test {
 protected:
  CutResult Job(const std::vector<CutPart>& parts, const std::string& name = "job.nts",
                const decltype(TargetCalls::write)& write = {}) {
    SourceFile file1;
    TargetFile file2{&file1};
    if (write) file2.calls.write = write;
    StopFlag stop{0};
    return CutRecording((dir / "rec.nts").string(), (dir / name).string(), parts, file1, file2, stop, report);
  }
  // What the single cuts of `parts` write, joined.
  Bytes SingleCutsJoined(const std::vector<CutPart>& parts) {
    Bytes joined;
    for (const CutPart& p : parts) {
      Job({p}, "single.nts");
      const Bytes one = testkit::ReadAll(dir / "single.nts");
      joined.insert(joined.end(), one.begin(), one.end());
    }
    return joined;
  }
  testkit::TempDir dir;
  Quiet report;
};

TEST_F(CutJob, ThreeRangesAreTheThreeSingleCutsJoinedInOnePass) {
  Recording r(RecordingOptions{.seconds = 60});
  r.WriteTo(dir / "rec.nts");
  // The second range starts where the first ends: it begins right after the marker just copied.
  const std::vector<CutPart> parts = {{0, 12}, {12, 20}, {35, 50}};
  const CutResult result = Job(parts);
  EXPECT_EQ(result.outcome, CutOutcome::Completed);
  EXPECT_EQ(result.part, 2);
  EXPECT_EQ(report.stages, (std::vector<CutStage>{CutStage::OpenSource, CutStage::OpenTarget, CutStage::Seek,
                                                   CutStage::Copy}))
      << "the job shows the stages of one cut";
  EXPECT_TRUE(std::is_sorted(report.percents.begin(), report.percents.end())) << "progress over the whole job";
  const Bytes job = testkit::ReadAll(dir / "job.nts");
  EXPECT_EQ(job, SingleCutsJoined(parts));
  const Bytes touching = r.Slice(0, r.MarkerIndex(20) + 1);
  ASSERT_GT(job.size(), touching.size());
  EXPECT_TRUE(std::equal(touching.begin(), touching.end(), job.begin()))
      << "the touching ranges leave nothing out, nothing twice";
}

TEST_F(CutJob, SourceEndingInTheSecondRangeKeepsWhatItHeldAndSaysWhere) {
  Recording r(RecordingOptions{.seconds = 30});
  r.WriteTo(dir / "rec.nts");
  const CutResult inside = Job({{2, 5}, {8, 40}, {41, 45}});
  EXPECT_EQ(inside.outcome, CutOutcome::SourceEnded);
  EXPECT_EQ(inside.part, 1);
  EXPECT_EQ(testkit::ReadAll(dir / "job.nts"), SingleCutsJoined({{2, 5}, {8, 40}}));

  // Ended while seeking the third range: the first two are saved, whole and closed.
  const CutResult between = Job({{2, 5}, {8, 20}, {35, 40}});
  EXPECT_EQ(between.outcome, CutOutcome::SourceEnded);
  EXPECT_EQ(between.part, 2);
  EXPECT_GT(between.packets_written, 0);
  EXPECT_EQ(testkit::ReadAll(dir / "job.nts"), SingleCutsJoined({{2, 5}, {8, 20}}));
}

// Zero and damaged records are counted in each range, as its own cut counts them: six zero
// records and 60 damaged packets in each of two ranges end neither. A range that ends at its
// hundredth damaged packet is followed by the next, and the job ends as that range did.
TEST_F(CutJob, EachRangeCountsItsOwnZeroAndDamagedRecords) {
  Recording r(RecordingOptions{.seconds = 60, .packets_per_second = 80});
  const auto damage = [&](int marker, int count, uint8_t first_byte) {
    for (int i = 0; i < count; ++i) r.Packet(r.MarkerIndex(marker) + 1 + static_cast<std::size_t>(i))[0] = first_byte;
  };
  damage(3, 6, 0x00);
  damage(4, 60, 0x12);
  damage(22, 6, 0x00);
  damage(23, 60, 0x12);
  damage(41, 100, 0x12);
  r.WriteTo(dir / "rec.nts");
  const std::vector<CutPart> parts = {{0, 10}, {20, 30}};
  EXPECT_EQ(Job(parts).outcome, CutOutcome::Completed);
  EXPECT_EQ(testkit::ReadAll(dir / "job.nts"), SingleCutsJoined(parts));

  const std::vector<CutPart> erring = {{40, 45}, {50, 55}};
  const CutResult result = Job(erring);
  EXPECT_EQ(result.outcome, CutOutcome::PacketError);
  EXPECT_EQ(result.part, 0);
  EXPECT_EQ(result.packet_error_second, 2) << "the time in the new file: marker 42 lies among the damaged";
  EXPECT_EQ(testkit::ReadAll(dir / "job.nts"), SingleCutsJoined(erring));
}

// A disk that fills in the third range: the write that fails has put part of a record on disk.
// What stays is whole packets: the ranges before it, as they were written.
TEST_F(CutJob, DiskFillingInTheThirdRangeLeavesWholePackets) {
  Recording r(RecordingOptions{.seconds = 30});
  r.WriteTo(dir / "rec.nts");
  const std::vector<CutPart> parts = {{0, 5}, {10, 15}, {20, 25}};
  const Bytes before = SingleCutsJoined({parts[0], parts[1]});
  std::size_t room = before.size() + 100;  // the disk fills 100 bytes into the third range
  const auto filling = [&](os::File& file, const void* data, std::size_t size) {
    const std::size_t n = std::min(size, room);
    file.Write(data, n);
    room -= n;
    if (n < size) throw std::system_error(ENOSPC, std::generic_category(), "write");
  };
  EXPECT_EQ(Job(parts, "job.nts", filling).outcome, CutOutcome::Failed);
  EXPECT_EQ(testkit::ReadAll(dir / "job.nts"), before);
}

// --- The command line ----------------------------------------------------------------------

class CliJob : public ::testing::Test {
 protected:
  testkit::TempDir dir;
};

TEST_F(CliJob, ListsFromArgumentsAndFilesCutAsTheJob) {
  // 200 markers in a file whose size gives an estimate of about 40 seconds.
  Recording r(RecordingOptions{.seconds = 200, .packets_per_second = 250});
  r.WriteTo(dir / "rec.nts");
  auto got = testkit::RunCli(dir.path(), {"cut", "--measure", "rec.nts", "0:00:05", "0:00:10", "0:00:10", "0:00:20",
                                          "0:00:25", "0:00:35", "args.nts"});
  EXPECT_EQ(got.exit_code, 0) << got.err;
  auto size = [&](int start, int end) {
    return FormatGrouped(static_cast<double>((r.MarkerIndex(end) - r.MarkerIndex(start)) * kPacketSize) / 1024);
  };
  EXPECT_NE(got.out.find("推定した記録時間に差があります。\n範囲1：0:00:05～0:00:10　長さ 0:00:05　サイズ " + size(5, 10) +
                         " KB\n範囲2：0:00:10～0:00:20　長さ 0:00:10　サイズ " + size(10, 20) +
                         " KB\n範囲3：0:00:25～0:00:35　長さ 0:00:10　サイズ " + size(25, 35) +
                         " KB\n書き込みが完了しました。\n"),
            std::string::npos)
      << got.out;

  const std::string text = "# programme\r\n0:00:05 0:00:10\r\n\n  0:00:10\t0:00:20  # part two\n0:00:25 0:00:35";
  testkit::WriteAll(dir / "list.txt", Bytes(text.begin(), text.end()));
  got = testkit::RunCli(dir.path(), {"cut", "--ranges", "list.txt", "rec.nts", "list.nts"});
  EXPECT_EQ(got.exit_code, 0) << got.err;
  EXPECT_NE(got.out.find("範囲2：0:00:10～0:00:20　長さ 0:00:10　推定サイズ 2,282 KB\n"), std::string::npos)
      << "without the count, the estimate, named so: " << got.out;
  const Bytes job = testkit::ReadAll(dir / "args.nts");
  EXPECT_EQ(testkit::ReadAll(dir / "list.nts"), job);
  Bytes want = r.Slice(r.MarkerIndex(5) + 1, r.MarkerIndex(20) + 1);
  const Bytes rest = r.Slice(r.MarkerIndex(25) + 1, r.MarkerIndex(35) + 1);
  want.insert(want.end(), rest.begin(), rest.end());
  EXPECT_EQ(job, want);
}

TEST_F(CliJob, UnusableListsAreRefusedBeforeTheTargetIsTouched) {
  Recording r(RecordingOptions{.seconds = 100});
  r.WriteTo(dir / "rec.nts");
  testkit::WriteAll(dir / "bad.txt", Bytes{'0', ':', '0', '0', ':', '1', '0', '\n'});
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"rec.nts", "0:00:30", "0:00:40", "0:00:10", "0:00:20"}, "範囲2は範囲1より前から始まっています。"},
      {{"rec.nts", "0:00:10", "0:00:30", "0:00:20", "0:00:40"}, "範囲2が範囲1と重なっています。"},
      {{"rec.nts", "0:00:10", "0:00:20", "0:00:40", "0:00:30"}, "範囲2：終了位置が開始位置より前です。"},
      {{"rec.nts", "0:00:10", "0:00:20", "0:00:x", "0:00:30"}, "範囲2：指定が正しくありません。"},
      {{"--ranges", "bad.txt", "rec.nts"}, "1行目が「H:MM:SS H:MM:SS」ではありません。"},
      {{"--ranges", ".", "rec.nts"}, "the range list '.' cannot be read"},
  };
  for (const auto& [args, reason] : cases) {
    std::vector<std::string> all = {"cut", "--measure"};
    all.insert(all.end(), args.begin(), args.end());
    all.push_back("out.nts");
    const auto got = testkit::RunCli(dir.path(), all);
    EXPECT_EQ(got.exit_code, 2) << reason;
    EXPECT_NE(got.err.find(reason), std::string::npos) << got.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "out.nts")) << reason;
  }
}

// Past the length is the recording's answer, not a fault of the command line: the same status
// whether the range comes as a pair, in pairs or in a list.
TEST_F(CliJob, RangePastTheLengthIsRefusedAsASingleRangeIs) {
  Recording r(RecordingOptions{.seconds = 100});
  r.WriteTo(dir / "rec.nts");
  testkit::WriteAll(dir / "long.txt", Bytes{'0', ':', '0', '1', ':', '3', '0', ' ', '0', ':', '0', '2', ':', '0', '0'});
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"rec.nts", "0:01:30", "0:02:00"},
        std::vector<std::string>{"rec.nts", "0:00:10", "0:00:20", "0:01:30", "0:02:00"},
        std::vector<std::string>{"--ranges", "long.txt", "rec.nts"}}) {
    std::vector<std::string> all = {"cut", "--measure"};
    all.insert(all.end(), args.begin(), args.end());
    all.push_back("out.nts");
    const auto got = testkit::RunCli(dir.path(), all);
    EXPECT_EQ(got.exit_code, 1) << args.size() << got.err;
    EXPECT_NE(got.out.find("終了は0:01:40以下で指定して下さい。\n"), std::string::npos) << got.out;
    EXPECT_FALSE(std::filesystem::exists(dir / "out.nts"));
  }
}

TEST_F(CliJob, SourceEndingInAJobSavesWhatItHeldAndNamesTheRange) {
  // 20 markers at the broadcast's byte rate, then five seconds' worth of packets without one: the
  // estimate by the size (25 seconds) lets a range end past the last marker.
  Recording r(RecordingOptions{.seconds = 20, .packets_per_second = 1242, .trailing_packets = 1243 * 5});
  r.WriteTo(dir / "rec.nts");
  const auto got =
      testkit::RunCli(dir.path(), {"cut", "rec.nts", "0:00:02", "0:00:05", "0:00:10", "0:00:24", "out.nts"});
  EXPECT_EQ(got.exit_code, 3) << got.out << got.err;
  EXPECT_EQ(got.out.substr(got.out.rfind('\n', got.out.size() - 2) + 1), "末尾に達したため書き込みを終了しました。（範囲2）\n");
  const Bytes out = testkit::ReadAll(dir / "out.nts");
  const Bytes tail = r.Slice(r.MarkerIndex(10) + 1, r.PacketCount());
  EXPECT_EQ(out.size(), (r.MarkerIndex(5) - r.MarkerIndex(2) + tail.size() / kPacketSize + 10) * kPacketSize)
      << "the first range, the rest of the source, ten zero records";
}

#ifndef _WIN32
TEST_F(CliJob, StopSignalMidJobLeavesWholePacketsOfTheJob) {
  Recording r(RecordingOptions{.seconds = 600, .packets_per_second = 250});
  r.WriteTo(dir / "rec.nts");
  Bytes whole = r.Slice(0, r.MarkerIndex(240) + 1);
  const Bytes second = r.Slice(r.MarkerIndex(300) + 1, r.MarkerIndex(600) + 1);
  whole.insert(whole.end(), second.begin(), second.end());
  constexpr const char* kCue = "[ 67%] 書き込んでいます";
  ::setenv("TRIMORA_TEST_HOLD_AT_PROGRESS", kCue, 1);
  const auto run = testkit::RunCliOnTerminal(
      dir.path(), {"cut", "--measure", "rec.nts", "0:00:00", "0:04:00", "0:05:00", "0:10:00", "out.nts"},
      {kCue, [](int, int pid) { ::kill(pid, SIGINT); }});
  ::unsetenv("TRIMORA_TEST_HOLD_AT_PROGRESS");
  if (!run) GTEST_SKIP() << "no pseudo-terminal on this machine";
  EXPECT_EQ(run->exit_code, 130);
  const Bytes written = testkit::ReadAll(dir / "out.nts");
  EXPECT_EQ(written.size() % kPacketSize, 0u);
  ASSERT_LT(written.size(), whole.size()) << "stopped before the end";
  EXPECT_TRUE(std::equal(written.begin(), written.end(), whole.begin())) << "a prefix of the job";
}
#endif

}  // namespace
}  // namespace trimora
