// trimora-cli frame end to end: the analysis lines, then the picture's size with a PNG written,
// or the reason there is none, and exit codes that tell the two apart.
#include <gtest/gtest.h>

#include <string>

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#endif

#include "tests/cli_runner.h"
#include "tests/preview/video_recording.h"
#include "tests/recording_builder.h"

namespace trimora::testkit {
namespace {


std::string LastLine(const std::string& out) {
  const std::size_t end = out.find_last_not_of('\n');
  const std::size_t start = out.rfind('\n', end);
  return out.substr(start == std::string::npos ? 0 : start + 1, end - (start == std::string::npos ? 0 : start + 1) + 1);
}

TEST(CliFrame, WritesThePictureAtItsDisplaySizeOrSaysWhyNot) {
  TempDir dir;
  WriteVideoRecording(dir / "wide.nts", {.seconds = 4, .width = 144, .height = 108, .sar_num = 4, .sar_den = 3});
  CliResult got = RunCli(dir.path(), {"frame", "--measure", "--end", "wide.nts", "0:00:03", "end.png"});
  EXPECT_EQ(got.exit_code, 0) << got.out << got.err;
  EXPECT_NE(got.out.find("記録時間（推定B）：0:00:04\n"), std::string::npos) << got.out;
  EXPECT_EQ(LastLine(got.out), "画像：192x108");
  EXPECT_EQ(ReadAll(dir / "end.png").at(1), 'P');  // "\x89PNG"

  got = RunCli(dir.path(), {"frame", "--measure", "wide.nts", "0:00:04", "start.png"});
  EXPECT_EQ(got.exit_code, 1);
  EXPECT_EQ(LastLine(got.out), "録画の末尾を越えています。");
  EXPECT_FALSE(std::filesystem::exists(dir / "start.png"));

  EXPECT_EQ(RunCli(dir.path(), {"frame", "wide.nts", "3", "start.png"}).exit_code, 2);
}

#ifndef _WIN32
// OUT never destroys anything: the recording under another spelling or through a link is
// refused as the cut refuses it, a FIFO or a folder is not written through, and a write that
// fails (here a file-size limit that the PNG exceeds) leaves the older file as it was.
TEST(CliFrame, OutIsNeverTheRecordingNorAnythingButAFileAndAFailedWriteKeepsTheOldOne) {
  TempDir dir;
  WriteVideoRecording(dir / "rec.nts", {.seconds = 4});
  const Bytes recording = ReadAll(dir / "rec.nts");
  std::filesystem::create_symlink("rec.nts", dir / "link.png");
  for (const char* out : {"./rec.nts", "../" "DIR/rec.nts", "link.png"}) {
    std::string target = out;
    if (target.find("DIR") != std::string::npos) target = "../" + dir.path().filename().string() + "/rec.nts";
    const CliResult got = RunCli(dir.path(), {"frame", "rec.nts", "0:00:01", target});
    EXPECT_EQ(got.exit_code, 1) << target;
    EXPECT_EQ(LastLine(got.out), "編集元ファイルには上書き出来ません。") << target;
  }
  EXPECT_EQ(ReadAll(dir / "rec.nts"), recording);

  ASSERT_EQ(::mkfifo((dir / "fifo.png").c_str(), 0600), 0);
  std::filesystem::create_directory(dir / "folder.png");
  for (const char* out : {"fifo.png", "folder.png"}) {
    const CliResult got = RunCli(dir.path(), {"frame", "rec.nts", "0:00:01", out});
    EXPECT_EQ(got.exit_code, 1) << out;
    EXPECT_EQ(LastLine(got.out), "画像ファイルを書き込めません。") << out;
  }

  WriteVideoRecording(dir / "busy.nts", {.seconds = 2, .width = 256, .height = 192, .busy_bit_rate = 2'000'000});
  const Bytes old(64, 'x');
  WriteAll(dir / "old.png", old);
  ::signal(SIGXFSZ, SIG_IGN);  // inherited: the write fails instead of killing the program
  rlimit before{};
  ::getrlimit(RLIMIT_FSIZE, &before);
  rlimit small = before;
  small.rlim_cur = 8192;  // the lines printed fit, the picture of noise does not
  ::setrlimit(RLIMIT_FSIZE, &small);
  const CliResult got = RunCli(dir.path(), {"frame", "busy.nts", "0:00:01", "old.png"});
  ::setrlimit(RLIMIT_FSIZE, &before);
  ::signal(SIGXFSZ, SIG_DFL);
  EXPECT_EQ(got.exit_code, 1);
  EXPECT_EQ(LastLine(got.out), "画像ファイルを書き込めません。");
  EXPECT_EQ(ReadAll(dir / "old.png"), old);
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    EXPECT_EQ(entry.path().filename().string().find(".trimora-"), std::string::npos) << "a temporary file left";
}

// Replacing a file takes only the folder's permission: a picture must not replace a file the
// user has made read-only (root included), any more than a cut does.
TEST(CliFrame, ReadOnlyOutIsRefusedAndKept) {
  TempDir dir;
  WriteVideoRecording(dir / "rec.nts", {.seconds = 2});
  const Bytes kept(100, 'k');
  WriteAll(dir / "keep.nts", kept);
  ::chmod((dir / "keep.nts").c_str(), 0444);
  const CliResult got = RunCli(dir.path(), {"frame", "rec.nts", "0:00:01", "keep.nts"});
  EXPECT_EQ(got.exit_code, 1) << got.out << got.err;
  EXPECT_EQ(LastLine(got.out), "画像ファイルを書き込めません。");
  EXPECT_EQ(ReadAll(dir / "keep.nts"), kept);
}

// 80 Japanese characters and ".png" are 244 bytes, a name the file system takes; the temporary
// file beside it must fit as well.
TEST(CliFrame, WritesToANameNearTheFileSystemsLimit) {
  TempDir dir;
  WriteVideoRecording(dir / "rec.nts", {.seconds = 2});
  std::string name;
  for (int i = 0; i < 80; ++i) name += "画";
  name += ".png";
  const CliResult got = RunCli(dir.path(), {"frame", "rec.nts", "0:00:01", name});
  EXPECT_EQ(got.exit_code, 0) << got.out << got.err;
  EXPECT_EQ(ReadAll(dir.path() / name).at(1), 'P');
}

// A stop that arrives while the picture is being written still ends the run as a stop.
TEST(CliFrame, StopSignalWhileWritingThePictureEndsWithItsStatus) {
  TempDir dir;
  WriteVideoRecording(dir / "rec.nts", {.seconds = 2});
  constexpr const char* kCue = "画像を書き込んでいます";
  ::setenv("TRIMORA_TEST_HOLD_AT_PROGRESS", kCue, 1);
  const auto run = RunCliOnTerminal(dir.path(), {"frame", "rec.nts", "0:00:01", "out.png"},
                                    {kCue, [](int, int pid) { ::kill(pid, SIGTERM); }});
  ::unsetenv("TRIMORA_TEST_HOLD_AT_PROGRESS");
  if (!run) GTEST_SKIP() << "no pseudo-terminal on this machine";
  EXPECT_EQ(run->exit_code, 143) << run->screen;
}

// One SIGTERM, as `timeout` sends it, stops a picture still being looked for (here the marker
// index reading through 2 GB of a recording without markers).
TEST(CliFrame, StopSignalEndsTheRunWithItsStatus) {
  TempDir dir;
  WriteVideoRecording(dir / "long.nts", {.seconds = 2});
  std::filesystem::resize_file(dir / "long.nts", 2'000'000'000);
  const auto run = RunCliOnTerminal(dir.path(), {"frame", "long.nts", "0:00:30", "out.png"},
                                    {"記録時間（推定B）", [](int, int pid) { ::kill(pid, SIGTERM); }});
  if (!run) GTEST_SKIP() << "no pseudo-terminal on this machine";
  EXPECT_EQ(run->exit_code, 143) << run->screen;
  EXPECT_FALSE(std::filesystem::exists(dir / "out.png"));
}
#endif

}  // namespace
}  // namespace trimora::testkit
