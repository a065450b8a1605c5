// trimora-cli frame end to end: the analysis lines, then the picture's size with a PNG written,
// or the reason there is none, and exit codes that tell the two apart.
#include <gtest/gtest.h>

#include <string>

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

}  // namespace
}  // namespace trimora::testkit
