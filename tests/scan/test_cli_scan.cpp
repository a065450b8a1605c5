// trimora-cli scan end to end: the programme's ranges in the form cut --ranges reads and the
// breaks as EDL lines, both against the recording's layout within half a second by the video's
// clock; the reason and status when it cannot scan; a stop signal's status.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#ifndef _WIN32
#include <signal.h>
#include <stdlib.h>
#endif

#include "clock/recording_clock.h"
#include "ranges/range_list.h"
#include "tests/cli_runner.h"
#include "tests/preview/video_recording.h"
#include "tests/recording_builder.h"
#include "tests/scan/break_recording.h"

namespace trimora::testkit {
namespace {

constexpr double kSlack = 0.5;

BreakLayout Layout() {
  BreakLayout layout;
  layout.stretches = {{false, 25}, {true, 15}, {true, 15}, {false, 22}, {true, 30}};
  layout.programme_silences = {{10, 0.5}};
  return layout;
}

TEST(CliScan, PrintsTheProgrammeForCutAndTheBreaksAsEdl) {
  TempDir dir;
  const BreakLayout layout = Layout();
  WriteBreakRecording(dir / "rec.nts", layout);
  const clock::ClockRead read = clock::RecordingClock::Read((dir / "rec.nts").string());
  ASSERT_TRUE(read.clock);
  const auto seconds = [&](CutTime t) {
    return static_cast<double>(read.clock->ToPts(t) - read.clock->FirstPts()) / clock::kPtsPerSecond;
  };

  const CliResult list = RunCli(dir.path(), {"scan", "rec.nts"});
  ASSERT_EQ(list.exit_code, 0) << list.out << list.err;
  const ParsedRangeList ranges = ReadRangeList(list.out);
  ASSERT_EQ(ranges.problem, "") << list.out;
  const std::vector<Span> made = ProgrammeSpans(layout);
  ASSERT_EQ(ranges.ranges.size(), made.size()) << list.out;
  for (std::size_t i = 0; i < made.size(); ++i) {
    EXPECT_NEAR(seconds(ranges.ranges[i].start), made[i].from, kSlack) << list.out;
    EXPECT_NEAR(seconds(ranges.ranges[i].end), made[i].to, kSlack) << list.out;
  }

  const CliResult edl = RunCli(dir.path(), {"scan", "--format", "edl", "rec.nts"});
  ASSERT_EQ(edl.exit_code, 0) << edl.err;
  std::istringstream lines(edl.out);
  const std::vector<Span> dropped{{25, 55}, {77, 107}};
  for (const Span& d : dropped) {
    double from = 0, to = 0;
    int action = 0;
    ASSERT_TRUE(lines >> from >> to >> action) << edl.out;
    EXPECT_NEAR(from, d.from, kSlack) << edl.out;
    EXPECT_NEAR(to, d.to, kSlack) << edl.out;
    EXPECT_EQ(action, 3);
  }
  std::string more;
  EXPECT_FALSE(lines >> more) << edl.out;
  EXPECT_EQ(RunCli(dir.path(), {"scan", "--format=edl", "rec.nts"}).out, edl.out);
}

TEST(CliScan, SaysWhyWhenItCannotScanAndRefusesAWrongCommandLine) {
  TempDir dir;
  WriteVideoRecording(dir / "mute.nts", {.seconds = 3});
  const CliResult mute = RunCli(dir.path(), {"scan", "mute.nts"});
  EXPECT_EQ(mute.exit_code, 1);
  EXPECT_EQ(mute.out, "音声が見つからないため、CMを探せません。\n");
  for (const std::vector<std::string>& args : {std::vector<std::string>{"scan"}, {"scan", "--format", "csv", "mute.nts"},
                                               {"scan", "mute.nts", "mute.nts"}, {"scan", "--format"}}) {
    const CliResult wrong = RunCli(dir.path(), args);
    EXPECT_EQ(wrong.exit_code, 2) << args.size();
    EXPECT_EQ(wrong.out, "");
    EXPECT_NE(wrong.err.find("Usage: trimora-cli scan"), std::string::npos) << wrong.err;
  }
}

#ifndef _WIN32
// Stopped while the progress shows: the status of the signal, and no list that looks whole.
TEST(CliScan, StopsOnASignalWithItsStatus) {
  TempDir dir;
  WriteBreakRecording(dir / "rec.nts", Layout());
  constexpr const char* kCue = "CMを探しています";
  struct Hold {
    Hold() { ::setenv("TRIMORA_TEST_HOLD_AT_PROGRESS", kCue, 1); }
    ~Hold() { ::unsetenv("TRIMORA_TEST_HOLD_AT_PROGRESS"); }
  } hold;
  const auto run = RunCliOnTerminal(dir.path(), {"scan", "rec.nts"}, {kCue, [](int, int pid) { ::kill(pid, SIGTERM); }});
  if (!run) GTEST_SKIP() << "no pseudo-terminal on this machine";
  EXPECT_EQ(run->exit_code, 143);
  EXPECT_EQ(run->screen.find(" 0:0"), std::string::npos) << run->screen;
}
#endif

}  // namespace
}  // namespace trimora::testkit
