// trimora-cli cut end to end: the analysis lines, then the range check's or the cut's last word,
// the bytes of the target, and exit codes that tell a saved range from everything else.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <cstdlib>

#include <filesystem>
#include <string>
#include <vector>

#include "core/ts_packet.h"
#include "platform/os/os.h"
#include "tests/cli_runner.h"
#include "tests/recording_builder.h"

namespace trimora {
namespace {

using testkit::Bytes;
using testkit::Recording;
using testkit::RecordingOptions;
namespace fs = std::filesystem;

using Result = testkit::CliResult;

constexpr const char* kAnalysisOfTwelve =
    "データ形式：正常(TS)\n"
    "ファイルサイズ：11 KB\n"
    "記録時間（推定A）：0:00:00\n"
    "記録時間（推定B）：0:00:12\n"
    "編集時注意：推定した記録時間に差があります。\n";

// Three time markers among 7,503 packets (1,410,564 bytes): the size reads as 6 seconds, twice what
// the markers say.
Recording ThreeMarkersSixSecondsLong() {
  return Recording(RecordingOptions{.seconds = 3, .packets_per_second = 2500, .trailing_packets = 0});
}
constexpr const char* kAnalysisOfSix =
    "データ形式：正常(TS)\n"
    "ファイルサイズ：1,378 KB\n"
    "記録時間（推定A）：0:00:06\n"
    "記録時間（推定B）：--\n";

class CliCut : public ::testing::Test {
 protected:
  Result Run(const std::vector<std::string>& args) { return testkit::RunCli(dir.path(), args); }

  Recording Twelve() {
    Recording r(RecordingOptions{.seconds = 12, .packets_per_second = 4});
    r.WriteTo(dir / "rec.nts");
    return r;
  }

  testkit::TempDir dir;
};

TEST_F(CliCut, SavedRangePrintsTheAnalysisThenCompletionAndHoldsTheRangesPackets) {
  Recording r = Twelve();
  Result got = Run({"cut", "--measure", "rec.nts", "0:00:02", "0:00:05", "out.nts"});
  EXPECT_EQ(got.exit_code, 0);
  EXPECT_EQ(got.out, std::string(kAnalysisOfTwelve) + "書き込みが完了しました。\n");
  EXPECT_EQ(got.err, "");
  EXPECT_EQ(testkit::ReadAll(dir / "out.nts"), r.Slice(r.MarkerIndex(2) + 1, r.MarkerIndex(5) + 1));

  // Fields go into the boxes as typed: 0:0:12 is the whole recording. Full paths, with Japanese
  // names and spaces in the folder's and the file's.
  const fs::path folder = dir.path() / os::PathFromUtf8("録画 フォルダ");
  fs::create_directory(folder);
  r.WriteTo(folder / os::PathFromUtf8("番組 A.nts"));
  got = Run({"cut", "--measure", os::Utf8FromPath(folder / os::PathFromUtf8("番組 A.nts")), "0:0:0", "0:0:12",
             os::Utf8FromPath(folder / os::PathFromUtf8("全部.nts"))});
  EXPECT_EQ(got.exit_code, 0);
  EXPECT_EQ(testkit::ReadAll(folder / os::PathFromUtf8("全部.nts")), r.Slice(0, r.MarkerIndex(12) + 1));
}

TEST_F(CliCut, SourceEndingBeforeTheEndSavesWhatItHeldAndExits3) {
  Recording r = ThreeMarkersSixSecondsLong();
  r.WriteTo(dir / "rec.nts");
  // A Japanese target name: what was saved is looked for under the name as given.
  Result got = Run({"cut", "rec.nts", "0:00:01", "0:00:06", "切り出し.nts"});
  EXPECT_EQ(got.exit_code, 3);
  EXPECT_EQ(got.out, std::string(kAnalysisOfSix) + "末尾に達したため書き込みを終了しました。\n");
  Bytes want = r.Slice(r.MarkerIndex(1) + 1, r.PacketCount());
  want.resize(want.size() + 10 * kPacketSize, 0);
  EXPECT_EQ(testkit::ReadAll(dir.path() / os::PathFromUtf8("切り出し.nts")), want);
}

TEST_F(CliCut, StartBeyondTheLastMarkerWarnsLeavesNoTargetAndExits1) {
  ThreeMarkersSixSecondsLong().WriteTo(dir / "rec.nts");
  Result got = Run({"cut", "rec.nts", "0:00:04", "0:00:06", "out.nts"});
  EXPECT_EQ(got.exit_code, 1);
  EXPECT_EQ(got.out, std::string(kAnalysisOfSix) + "開始位置が録画の末尾を越えています。\n");
  EXPECT_FALSE(fs::exists(dir / "out.nts"));
}

TEST_F(CliCut, RangeTheBoxesAlreadyHoldIsStillCheckedAndRefusedWithItsReason) {
  Twelve();  // estimated at 0 seconds: the analysis leaves 0 in every box
  Result got = Run({"cut", "rec.nts", "0:0:0", "0:0:0", "out.nts"});
  EXPECT_EQ(got.exit_code, 1);
  EXPECT_EQ(got.out.substr(got.out.rfind('\n', got.out.size() - 2) + 1), "終了位置が開始位置より前です。\n");
}

TEST_F(CliCut, PacketErrorIsAFailure) {
  Recording r = ThreeMarkersSixSecondsLong();
  for (std::size_t k = 1; k <= 100; ++k) r.Packet(r.MarkerIndex(2) - k)[0] = 0x46;
  r.WriteTo(dir / "rec.nts");
  Result got = Run({"cut", "rec.nts", "0:00:00", "0:00:03", "out.nts"});
  EXPECT_EQ(got.exit_code, 1);
  EXPECT_EQ(got.out, std::string(kAnalysisOfSix) + "0:00:01でパケットエラー\n");
  // The hundredth damaged packet, the last before the second marker, is the last one written.
  EXPECT_EQ(testkit::ReadAll(dir / "out.nts"), r.Slice(0, r.MarkerIndex(2)));
}

TEST_F(CliCut, RangeTheCheckRefusesStartsNoCut) {
  Twelve();
  struct Case {
    const char *start, *end, *said;
  } cases[] = {{"0:00:05", "0:00:13", "終了は0:00:12以下で指定して下さい。"},
               {"0:00:05", "0:00:05", "終了位置が開始位置より前です。"},
               {"0:00:-1", "0:00:05", "開始は0:00:00以上で指定して下さい。"},
               {"0:00:01", "0:ab:05", "指定が正しくありません。"},
               {"0::01", "0:00:05", "指定が正しくありません。"}};
  for (const Case& c : cases) {
    Result got = Run({"cut", "--measure", "rec.nts", c.start, c.end, "out.nts"});
    EXPECT_EQ(got.exit_code, 1) << c.start << " " << c.end;
    EXPECT_EQ(got.out, std::string(kAnalysisOfTwelve) + c.said + "\n");
    EXPECT_FALSE(fs::exists(dir / "out.nts"));
  }
  // Without --measure the length is the estimate from the size, 0 seconds here.
  Result got = Run({"cut", "rec.nts", "0:00:00", "0:00:05", "out.nts"});
  EXPECT_EQ(got.exit_code, 1);
  EXPECT_NE(got.out.find("終了は0:00:00以下で指定して下さい。\n"), std::string::npos) << got.out;
}

TEST_F(CliCut, FailedAnalysisEndsBeforeTheRange) {
  Result got = Run({"cut", "missing.nts", "0:00:00", "0:00:05", "out.nts"});
  EXPECT_EQ(got.exit_code, 1);
  EXPECT_EQ(got.out,
            "データ形式：\nファイルサイズ：\n記録時間（推定A）：\n記録時間（推定B）：\n"
            "ファイルが見つかりません。\n");
  EXPECT_FALSE(fs::exists(dir / "out.nts"));
}

TEST_F(CliCut, SourceAsTargetIsRefusedUnderAnySpelling) {
  Twelve();
  Bytes before = testkit::ReadAll(dir / "rec.nts");
  std::vector<std::string> spellings{"rec.nts", "./rec.nts", (dir / "rec.nts").string()};
#ifdef _WIN32  // the forms that the system takes as they are, which no absolute() may re-root
  spellings.push_back("\\\\?\\" + (dir / "rec.nts").string());
  spellings.push_back("\\\\.\\" + (dir / "rec.nts").string());
#endif
  for (const std::string& target : spellings) {
    Result got = Run({"cut", "--measure", "rec.nts", "0:00:00", "0:00:05", target});
    EXPECT_EQ(got.exit_code, 1) << target;
    EXPECT_EQ(got.out, std::string(kAnalysisOfTwelve) + "編集元ファイルには上書き出来ません。\n");
    EXPECT_EQ(testkit::ReadAll(dir / "rec.nts"), before);
  }
  Result got = Run({"cut", "--measure", "rec.nts", "0:00:00", "0:00:05", "no/such/folder.nts"});
  EXPECT_EQ(got.exit_code, 1);
  EXPECT_EQ(got.out, std::string(kAnalysisOfTwelve) + "保存先ファイルが開けません。\n");
}

TEST_F(CliCut, MalformedTimesAndOperandsAreUsageErrors) {
  Twelve();
  for (const auto& args : {std::vector<std::string>{"cut", "rec.nts", "10", "0:00:05", "out.nts"},
                           std::vector<std::string>{"cut", "rec.nts", "0:00:00", "0:05", "out.nts"},
                           std::vector<std::string>{"cut", "rec.nts", "0:00:00:00", "0:00:05", "out.nts"},
                           std::vector<std::string>{"cut", "rec.nts", "0:00:00", "0:00:05"},
                           std::vector<std::string>{"cut", "rec.nts", "0:00:00", "0:00:05", "a.nts", "b.nts"},
                           std::vector<std::string>{"cut", "--fast", "rec.nts", "0:00:00", "0:00:05", "out.nts"},
                           std::vector<std::string>{"cut", "", "0:00:00", "0:00:05", "out.nts"},
                           std::vector<std::string>{"cut", "rec.nts", "0:00:00", "0:00:05", ""}}) {
    Result got = Run(args);
    EXPECT_EQ(got.exit_code, 2) << args[2];
    EXPECT_EQ(got.out, "") << "nothing is analysed";
    EXPECT_NE(got.err.find("Usage: trimora-cli cut [--measure] [--clean] [--verify] [--chapters FILE] FILE START END [START END]... TARGET"), std::string::npos) << got.err;
    EXPECT_FALSE(fs::exists(dir / "out.nts"));
  }
  Result help = Run({"cut", "--help"});
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_NE(help.out.find("cut [--measure] [--clean] [--verify] [--chapters FILE] FILE START END [START END]... TARGET"), std::string::npos);
}

TEST_F(CliCut, TerminalShowsTheCutStagesAndClearsThemBeforeTheResult) {
  Recording(RecordingOptions{.seconds = 40, .packets_per_second = 4}).WriteTo(dir / "rec.nts");
  auto run = testkit::RunCliOnTerminal(dir.path(), {"cut", "--measure", "rec.nts", "0:00:05", "0:00:35", "out.nts"});
  if (!run) GTEST_SKIP() << "no pseudo-terminal on this machine";
  const std::string& screen = run->screen;
  EXPECT_EQ(run->exit_code, 0);
  for (const char* drawn : {"\r[ 17%] ファイルを開いています... (1/3)\x1b[K", "\r[ 33%] 開始位置を調べています... (2/3)\x1b[K",
                            "\r[ 72%] 書き込んでいます... (3/3)\x1b[K", "\r[100%] 書き込みが完了しました。\x1b[K"})
    EXPECT_NE(screen.find(drawn), std::string::npos) << drawn;
  const std::string last = "\r\x1b[K書き込みが完了しました。\r\n";
  ASSERT_GE(screen.size(), last.size());
  EXPECT_EQ(screen.substr(screen.size() - last.size()), last);
}

#ifndef _WIN32  // POSIX signals; the tests have no console to send Windows' control events to
// A stop signal during the copy: the cut ends at its next test of the stop flag, as when the
// window closes, so the target is whole packets of the range; a second signal ends it at once.
TEST_F(CliCut, StopSignalsDuringTheCopyKeepWholePacketsAndTellWhichStopped) {
  Recording r(RecordingOptions{.seconds = 600, .packets_per_second = 250});  // 28 MB: the copy takes a while
  r.WriteTo(dir / "rec.nts");
  const Bytes whole = r.Slice(0, r.MarkerIndex(600) + 1);
  // The copy of 28 MB can end before a signal sent on seeing its first progress line arrives; the
  // program waits at that line for the signal, so that it always lands during the copy.
  constexpr const char* kCue = "[ 67%] 書き込んでいます";
  struct Hold {  // for this test's runs only, whichever way it ends
    Hold() { ::setenv("TRIMORA_TEST_HOLD_AT_PROGRESS", kCue, 1); }
    ~Hold() { ::unsetenv("TRIMORA_TEST_HOLD_AT_PROGRESS"); ::unsetenv("TRIMORA_TEST_HOLD_FOR_SECOND_STOP_SIGNAL"); }
  } hold;
  auto cut_signalled = [&](std::vector<int> signals) {
    return testkit::RunCliOnTerminal(dir.path(), {"cut", "--measure", "rec.nts", "0:00:00", "0:10:00", "out.nts"},
                                     {kCue, [signals](int, int pid) {
                                        for (int s : signals) ::kill(pid, s);
                                      }});
  };
  auto run = cut_signalled({SIGINT});
  if (!run) GTEST_SKIP() << "no pseudo-terminal on this machine";
  EXPECT_EQ(run->exit_code, 130);
  EXPECT_NE(run->screen.find("\r\x1b[K書き込みが完了しました。\r\n"), std::string::npos) << "what the window shows";
  const Bytes written = testkit::ReadAll(dir / "out.nts");
  EXPECT_EQ(written.size() % kPacketSize, 0u);
  ASSERT_LE(written.size(), whole.size());
  EXPECT_TRUE(std::equal(written.begin(), written.end(), whole.begin())) << "a prefix of the range";

  EXPECT_EQ(cut_signalled({SIGHUP})->exit_code, 143);
  // The first signal's clean stop may finish before the second arrives; the program then waits
  // for it, so that what is seen is the second signal's doing, not the scheduler's.
  ::setenv("TRIMORA_TEST_HOLD_FOR_SECOND_STOP_SIGNAL", "1", 1);
  const auto twice = cut_signalled({SIGTERM, SIGINT});
  EXPECT_NE(twice->killed_by, 0) << "exit status " << twice->exit_code;
}
#endif

}  // namespace
}  // namespace trimora
