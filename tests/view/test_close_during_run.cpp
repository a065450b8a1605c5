// Closing the window while an analysis or a cut is inside its packet loop: the loop stops, the
// procedure closes its files (a stopped cut removes its own) and returns, its last updates land on the model without touching
// the closed window, and the program's main loop ends once the procedure has returned.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QTimer>

#include "tests/recording_builder.h"
#include "tests/view/desktop_harness.h"

namespace trimora::testkit {
namespace {

constexpr int kSeconds = 1000;

class CloseDuringRun : public ::testing::Test {
 protected:
  CloseDuringRun() : recording(RecordingOptions{.seconds = kSeconds, .packets_per_second = 4}) {
    recording.WriteTo(folder / "long.nts");
  }

  // Inside the measuring loop: the source is open and the bar has moved past the stage's start.
  static bool Measuring(const Desktop& d) { return d.st.file1.IsOpen() && d.m.pProgress.FillPercent > 61; }
  // Inside the copy loop: both files are open and the bar has moved past the stage's start.
  static bool Copying(const Desktop& d) { return d.st.file2.IsOpen() && d.m.pCProgress.FillPercent > 67; }

  TempDir folder;
  Recording recording;
};

TEST_F(CloseDuringRun, MeasuringAnalysisStopsAndClosesItsFile) {
  Desktop d(folder.path());
  d.Click("cTimeB");
  d.CloseWhen([&d] { return Measuring(d); });

  d.ClickListEntry("long.nts");  // returns once the analysis has returned

  ASSERT_TRUE(d.close_requested());
  EXPECT_EQ(d.st.iExitFlag, 1);
  EXPECT_TRUE(d.view.Closing());
  EXPECT_FALSE(d.view.isVisible());
  EXPECT_FALSE(d.st.file1.IsOpen());
  // The count stopped early, and the closed window never showed what came after the close.
  EXPECT_LT(d.st.iTotalSec, kSeconds);
  EXPECT_NE(d.m.lTimeB.Caption, "--");
  EXPECT_EQ(d.Text("lTimeB"), "--");
}

// The user has said yes to stopping the save (the harness answers every question so).
TEST_F(CloseDuringRun, CutStopsClosesBothFilesAndLeavesNoCutShortFile) {
  Desktop d(folder.path());
  d.Click("cTimeB");  // the estimate from the size alone would be a few seconds
  d.ClickListEntry("long.nts");
  ASSERT_EQ(d.st.iTotalSec, kSeconds);
  d.Type("tStart", 2, "10");
  d.Type("tEnd", 1, "15");  // 0:15:00, 900 seconds
  ASSERT_TRUE(d.Widget<QWidget>("bCut")->isEnabled());

  const std::filesystem::path target = folder / "cut.nts";
  d.dialogs.answers = {target.string()};
  d.CloseWhen([&d] { return Copying(d); });
  d.Click("bCut");  // returns once the cut has returned

  ASSERT_TRUE(d.close_requested());
  EXPECT_EQ(d.st.iExitFlag, 1);
  EXPECT_TRUE(d.view.Closing());
  EXPECT_FALSE(d.st.file1.IsOpen());
  EXPECT_FALSE(d.st.file2.IsOpen());
  EXPECT_FALSE(std::filesystem::exists(target));
}

TEST_F(CloseDuringRun, MainLoopEndsOnceTheProcedureHasReturned) {
  Desktop d(folder.path());
  d.Click("cTimeB");
  d.CloseWhen([&d] { return Measuring(d); });

  bool returned = false;
  QTimer::singleShot(0, [&] {
    d.ClickListEntry("long.nts");
    returned = true;
  });
  EXPECT_EQ(QApplication::exec(), 0);  // the window closed: no other window keeps the program
  EXPECT_TRUE(returned);
  EXPECT_TRUE(d.close_requested());
  EXPECT_FALSE(d.st.file1.IsOpen());
}

}  // namespace
}  // namespace trimora::testkit
