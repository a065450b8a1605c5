// trimora-cli analyze end to end: the printed lines, the exit codes, the usage, and progress that
// appears only on a terminal.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/cli_runner.h"
#include "tests/recording_builder.h"

namespace trimora {
namespace {

using testkit::Recording;
using testkit::RecordingOptions;

using Result = testkit::CliResult;

class CliTest : public ::testing::Test {
 protected:
  Result Run(const std::vector<std::string>& args, const std::filesystem::path& stdout_to = {}) {
    return testkit::RunCli(dir.path(), args, stdout_to);
  }
  std::string Write(const std::string& name, const Recording& rec, std::size_t extra = 0) {
    rec.WriteTo(dir / name, extra);
    return name;
  }

  testkit::TempDir dir;
};

// 12 markers in 62 packets: 11,656 bytes, which the byte rate reads as 0 seconds.
Recording TwelveSeconds() { return Recording(RecordingOptions{.seconds = 12, .packets_per_second = 4}); }

// ---------------------------------------------------------------------------------------------
// The printed result and the exit code follow the analysis.

TEST_F(CliTest, MeasuredAnalysisPrintsFourValuesAndTheNotice) {
  std::string file = Write("rec.nts", TwelveSeconds());
  for (const auto& args : {std::vector<std::string>{"analyze", "--measure", file},
                           std::vector<std::string>{"analyze", file, "--measure"}}) {
    Result r = Run(args);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out,
              "データ形式：正常(TS)\n"
              "ファイルサイズ：11 KB\n"
              "記録時間（推定A）：0:00:00\n"
              "記録時間（推定B）：0:00:12\n"
              "編集時注意：推定した記録時間に差があります。\n");
    EXPECT_EQ(r.err, "");  // no progress when stderr is not a terminal
  }
}

TEST_F(CliTest, EstimateOnlyPrintsNoMessageLine) {
  Result r = Run({"analyze", (dir / Write("rec.nts", TwelveSeconds())).string()});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out,
            "データ形式：正常(TS)\n"
            "ファイルサイズ：11 KB\n"
            "記録時間（推定A）：0:00:00\n"
            "記録時間（推定B）：--\n");
  EXPECT_EQ(r.err, "");
}

TEST_F(CliTest, FailedAnalysisPrintsWhatItReachedAndExits1) {
  Result missing = Run({"analyze", "missing.nts"});
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_EQ(missing.out,
            "データ形式：\n"
            "ファイルサイズ：\n"
            "記録時間（推定A）：\n"
            "記録時間（推定B）：\n"
            "ファイルが見つかりません。\n");
  Result damaged = Run({"analyze", "--measure", Write("partial.nts", TwelveSeconds(), 50)});
  EXPECT_EQ(damaged.exit_code, 1);
  EXPECT_EQ(damaged.out,
            "データ形式：破損\n"
            "ファイルサイズ：11 KB\n"
            "記録時間（推定A）：0:00:00\n"
            "記録時間（推定B）：--\n"
            "データ形式を認識できません。\n");
  EXPECT_EQ(damaged.err, "");
}

TEST_F(CliTest, ResultsThatCannotBeWrittenAreAFailureThatSaysSo) {
  Result r = Run({"analyze", Write("rec.nts", TwelveSeconds())}, "/dev/full");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("could not be written"), std::string::npos) << r.err;
}

TEST_F(CliTest, DoubleDashMakesTheNextArgumentAFile) {
  Result r = Run({"analyze", "--", "--help"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.out.find("ファイルが見つかりません。"), std::string::npos);
}

// ---------------------------------------------------------------------------------------------
// Usage: asked for on stdout with 0, a wrong command line on stderr with 2.

TEST_F(CliTest, HelpGoesToStdoutAndExits0) {
  for (const auto& args : {std::vector<std::string>{"--help"}, std::vector<std::string>{"analyze", "--help"},
                           std::vector<std::string>{"analyze", "x.nts", "-h"}}) {
    Result r = Run(args);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_NE(r.out.find("analyze [--measure] FILE"), std::string::npos) << r.out;
    EXPECT_EQ(r.err, "");
  }
  // Only what this build has: Windows has neither the pictures nor SIGHUP.
  const std::string help = Run({"--help"}).out;
#ifdef _WIN32
  EXPECT_EQ(help.find("frame"), std::string::npos) << help;
  EXPECT_EQ(help.find("SIGHUP"), std::string::npos) << help;
  EXPECT_NE(help.find("Ctrl+Break"), std::string::npos) << help;
#else
  EXPECT_NE(help.find("SIGHUP"), std::string::npos) << help;
#endif
}

TEST_F(CliTest, WrongCommandLineGoesToStderrAndExits2) {
  for (const auto& args : {std::vector<std::string>{}, std::vector<std::string>{"frobnicate"},
                           std::vector<std::string>{"analyze"}, std::vector<std::string>{"analyze", "a.nts", "b.nts"},
                           std::vector<std::string>{"analyze", "--fast", "a.nts"},
                           std::vector<std::string>{"analyze", ""}}) {
    Result r = Run(args);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("Usage: trimora-cli"), std::string::npos) << r.err;
  }
}

// ---------------------------------------------------------------------------------------------
// On a terminal the stages are drawn in place and the line is cleared before the result.

TEST_F(CliTest, TerminalShowsProgressInPlaceAndClearsItBeforeTheResult) {
  Write("rec.nts", Recording(RecordingOptions{.seconds = 100, .packets_per_second = 4, .trailing_packets = 0}));
  auto run = testkit::RunCliOnTerminal(dir.path(), {"analyze", "--measure", "rec.nts"});
  if (!run) GTEST_SKIP() << "no pseudo-terminal on this machine";
  const std::string& screen = run->screen;
  EXPECT_EQ(run->exit_code, 0);
  for (const char* drawn : {"\r[  0%] ファイルを開いています... (1/5)\x1b[K", "\r[ 40%] データを調べています... (3/5)\x1b[K",
                            "\r[ 70%] データの長さを調べています. 50%... (4/5)\x1b[K",
                            "\r[ 80%] 初期化しています... (4/5)\x1b[K"})
    EXPECT_NE(screen.find(drawn), std::string::npos) << drawn;
  // The terminal turns "\n" into "\r\n".
  EXPECT_NE(screen.find("\r\x1b[Kデータ形式：正常(TS)\r\n"), std::string::npos) << screen;
  ASSERT_GE(screen.size(), 2u);
  EXPECT_EQ(screen.substr(screen.size() - 2), "\r\n");
}

}  // namespace
}  // namespace trimora
