// trimora-cli analyze end to end: the printed lines, the exit codes, the usage, and progress that
// appears only on a terminal.
#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/recording_builder.h"

#ifndef TRIMORA_CLI
#error "the tests of the command line need the path of trimora-cli"
#endif

namespace trimora {
namespace {

using testing::Recording;
using testing::RecordingOptions;

struct Result {
  int exit_code = -1;
  std::string out, err;
};

std::string ReadText(const std::filesystem::path& path) {
  testing::Bytes bytes = testing::ReadAll(path);
  return std::string(bytes.begin(), bytes.end());
}

[[noreturn]] void ExecCli(const std::vector<std::string>& args) {
  std::vector<char*> argv{const_cast<char*>(TRIMORA_CLI)};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  ::execv(TRIMORA_CLI, argv.data());
  ::_exit(127);
}

int ExitCode(pid_t pid) {
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

class CliTest : public ::testing::Test {
 protected:
  // Runs trimora-cli in the test folder with stdout and stderr going to files, not a terminal.
  Result Run(const std::vector<std::string>& args) {
    const auto out = dir / "stdout.txt", err = dir / "stderr.txt";
    pid_t pid = ::fork();
    if (pid == 0) {
      int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (o < 0 || e < 0 || ::dup2(o, 1) < 0 || ::dup2(e, 2) < 0 || ::chdir(dir.path().c_str()) != 0) ::_exit(126);
      ExecCli(args);
    }
    Result r;
    r.exit_code = ExitCode(pid);
    r.out = ReadText(out);
    r.err = ReadText(err);
    return r;
  }
  // Runs trimora-cli with stdout and stderr on one pseudo-terminal; returns all it wrote there.
  std::string RunOnTerminal(const std::vector<std::string>& args, int& exit_code) {
    int master = -1;
    pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
    if (pid == 0) {
      if (::chdir(dir.path().c_str()) != 0) ::_exit(126);
      ExecCli(args);
    }
    std::string all;
    char buf[4096];
    for (;;) {  // the read fails with EIO once the child has closed the terminal
      ssize_t n = ::read(master, buf, sizeof buf);
      if (n <= 0) break;
      all.append(buf, static_cast<std::size_t>(n));
    }
    ::close(master);
    exit_code = ExitCode(pid);
    return all;
  }
  std::string Write(const std::string& name, const Recording& rec, std::size_t extra = 0) {
    rec.WriteTo(dir / name, extra);
    return name;
  }

  testing::TempDir dir;
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
}

TEST_F(CliTest, WrongCommandLineGoesToStderrAndExits2) {
  for (const auto& args : {std::vector<std::string>{}, std::vector<std::string>{"frobnicate"},
                           std::vector<std::string>{"analyze"}, std::vector<std::string>{"analyze", "a.nts", "b.nts"},
                           std::vector<std::string>{"analyze", "--fast", "a.nts"}}) {
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
  int exit_code = -1;
  std::string screen = RunOnTerminal({"analyze", "--measure", "rec.nts"}, exit_code);
  EXPECT_EQ(exit_code, 0);
  for (const char* drawn : {"\r[  0%] ファイルを開いています... (1/5)\x1b[K", "\r[ 40%] データを調べています... (3/5)\x1b[K",
                            "\r[ 70%] データの長さを調べています. 50%... (4/5)\x1b[K",
                            "\r[ 80%] 初期化しています... (4/5)\x1b[K"})
    EXPECT_NE(screen.find(drawn), std::string::npos) << drawn;
  // The terminal turns "\n" into "\r\n".
  EXPECT_NE(screen.find("\r\x1b[Kデータ形式：正常(TS)\r\n"), std::string::npos) << screen;
  EXPECT_EQ(screen.substr(screen.size() - 2), "\r\n");
}

}  // namespace
}  // namespace trimora
