// The whole road of one recording through the window's widgets: the list, a measuring analysis,
// the range typed into the boxes, Save with a chosen target. The file written must hold exactly
// the packets of the range, byte for byte.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QListWidget>

#include "tests/cli_runner.h"
#include "tests/recording_builder.h"
#include "tests/view/desktop_harness.h"

namespace trimora::testkit {
namespace {

TEST(DesktopRun, CutThroughTheWindowWritesTheRangeByteForByte) {
  TempDir folder;
  const Recording recording(RecordingOptions{.seconds = 40, .packets_per_second = 6});
  recording.WriteTo(folder / "show.nts");
  Recording(RecordingOptions{.seconds = 3}).WriteTo(folder / "other.nts");
  Desktop d(folder.path());

  auto* list = d.Widget<QListWidget>("lFile");
  ASSERT_EQ(list->count(), 2);
  EXPECT_TRUE(d.Widget<QWidget>("lFile")->isEnabled());

  d.Click("cTimeB");  // measure the length by counting time markers
  EXPECT_EQ(d.m.cDataDetail.Value, 1);
  d.ClickListEntry("show.nts");
  EXPECT_EQ(d.Text("lTimeB"), "0:00:40");
  EXPECT_EQ(d.Widget<QLineEdit>("tEnd", 2)->text(), "40");
  EXPECT_TRUE(d.Widget<QWidget>("fOption")->isEnabled());
  EXPECT_TRUE(d.Widget<QWidget>("pProgress")->isHidden());

  d.Type("tStart", 2, "5");
  d.Type("tEnd", 2, "20");
  EXPECT_EQ(d.Text("lRange"), "0:00:15");
  ASSERT_TRUE(d.Widget<QWidget>("bCut")->isEnabled());

  const std::filesystem::path target = folder / "cut.nts";
  d.dialogs.answers = {target.string()};
  d.Click("bCut");
  EXPECT_EQ(d.dialogs.saves, std::vector<bool>{true});
  EXPECT_TRUE(d.Widget<QWidget>("bCut")->isEnabled());
  EXPECT_FALSE(d.Widget<QWidget>("pCProgress")->isHidden());
  EXPECT_FALSE(d.st.file1.IsOpen());
  EXPECT_FALSE(d.st.file2.IsOpen());

  const Bytes written = ReadAll(target);
  EXPECT_EQ(written, recording.Slice(recording.MarkerIndex(5) + 1, recording.MarkerIndex(20) + 1));

  const CliResult by_cli = RunCli(folder.path(), {"cut", "--measure", "show.nts", "0:00:05", "0:00:20", "cli.nts"});
  ASSERT_EQ(by_cli.exit_code, 0) << by_cli.out << by_cli.err;
  EXPECT_EQ(written, ReadAll(folder / "cli.nts"));
}

TEST(DesktopRun, CancelledSaveWritesNothing) {
  TempDir folder;
  Recording(RecordingOptions{.seconds = 10}).WriteTo(folder / "show.nts");
  Desktop d(folder.path());
  d.Click("cTimeB");  // a recording this small has no length by its size
  d.ClickListEntry("show.nts");
  ASSERT_TRUE(d.Widget<QWidget>("bCut")->isEnabled());

  d.Click("bCut");  // the script has no answer: the dialog is cancelled
  EXPECT_EQ(d.dialogs.saves, std::vector<bool>{true});
  EXPECT_TRUE(d.Widget<QWidget>("pCProgress")->isHidden());
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);
}

}  // namespace
}  // namespace trimora::testkit
