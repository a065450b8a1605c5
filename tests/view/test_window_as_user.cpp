// The window as a user finds it: Qt's own dialogs in Japanese, the list and path box never naming
// another file than the one analysed, the focus kept across a run, recordings opened by drop or
// by argument, and value and timeline labels clear of each other.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QDropEvent>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QUrl>

#include "platform/file_dialog.h"
#include "platform/qt/qt_file_dialogs.h"
#include "platform/qt/qt_language.h"
#include "tests/recording_builder.h"
#include "tests/view/desktop_harness.h"

namespace trimora::testkit {
namespace {

TEST(WindowAsUser, QtDialogsSpeakJapanese) {
  ASSERT_TRUE(UseJapanese(*QCoreApplication::instance()));
  QFileDialog dialog;
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  ConfigureFileDialog(dialog, BuildDialogFilter(kRecordingsFilter), "", "", true);
  auto* buttons = dialog.findChild<QDialogButtonBox*>();
  ASSERT_NE(buttons, nullptr);
  EXPECT_EQ(buttons->button(QDialogButtonBox::Cancel)->text(), "キャンセル");
  EXPECT_EQ(buttons->button(QDialogButtonBox::Save)->text(), "保存(&S)");
}

QString Highlighted(const Desktop& d) {
  auto* list = d.Widget<QListWidget>("lFile");
  return list->currentItem() && list->currentItem()->isSelected() ? list->currentItem()->text() : QString();
}

TEST(WindowAsUser, ListKeepsTheRunningRecordingHighlightedWhenAClickIsIgnored) {
  TempDir folder;
  Recording(RecordingOptions{.seconds = 300}).WriteTo(folder / "a.nts");
  Recording(RecordingOptions{.seconds = 5}).WriteTo(folder / "b.nts");
  Desktop d(folder.path());
  d.Click("cTimeB");  // measured: the analysis runs long enough to be clicked into
  QString during_run;
  const std::function<void()> render = d.m.ProcessEvents;
  d.m.ProcessEvents = [&] {
    render();
    if (during_run.isEmpty() && d.st.file1.IsOpen()) {
      d.ClickListEntry("b.nts");
      during_run = Highlighted(d);
    }
  };

  d.ClickListEntry("a.nts");

  EXPECT_EQ(during_run, "a.nts");
  EXPECT_EQ(Highlighted(d), "a.nts");
  EXPECT_EQ(d.Widget<QLineEdit>("tDialogFile")->text().toStdString(), (folder / "a.nts").string());
  EXPECT_EQ(d.st.iTotalSec, 300);
}

// Up/Down choose as a click does, so the highlight never rests on a recording other than the
// analysed one; a key pressed during a run is turned back like a click.
TEST(WindowAsUser, ArrowKeysInTheListAnalyseTheRecordingTheyMoveTo) {
  TempDir folder;
  Recording(RecordingOptions{.seconds = 300}).WriteTo(folder / "a.nts");
  Recording(RecordingOptions{.seconds = 5}).WriteTo(folder / "b.nts");
  Desktop d(folder.path());
  d.Click("cTimeB");
  auto* list = d.Widget<QListWidget>("lFile");
  QString during_run;
  const std::function<void()> render = d.m.ProcessEvents;
  d.m.ProcessEvents = [&] {
    render();
    if (during_run.isEmpty() && d.st.file1.IsOpen()) {
      QTest::keyClick(list, Qt::Key_Down);
      during_run = Highlighted(d);
    }
  };
  d.ClickListEntry("a.nts");
  EXPECT_EQ(during_run, "a.nts");
  EXPECT_EQ(d.st.iTotalSec, 300);

  d.m.ProcessEvents = render;
  list->setFocus();
  QTest::keyClick(list, Qt::Key_Down);
  EXPECT_EQ(Highlighted(d), "b.nts");
  EXPECT_EQ(d.st.sEditFile, (folder / "b.nts").string());
  EXPECT_EQ(d.st.iTotalSec, 5);
  QTest::keyClick(list, Qt::Key_Up);
  EXPECT_EQ(Highlighted(d), "a.nts");
  EXPECT_EQ(d.st.sEditFile, (folder / "a.nts").string());
}

TEST(WindowAsUser, FocusReturnsToSaveAfterTheCut) {
  TempDir folder;
  Recording(RecordingOptions{.seconds = 20}).WriteTo(folder / "a.nts");
  Desktop d(folder.path());
  d.Click("cTimeB");
  d.ClickListEntry("a.nts");
  auto* save = d.Widget<QPushButton>("bCut");
  ASSERT_TRUE(save->isEnabled());
  save->setFocus(Qt::TabFocusReason);
  d.dialogs.answers = {(folder / "cut.nts").string()};

  QTest::keyClick(save, Qt::Key_Space);

  ASSERT_TRUE(std::filesystem::exists(folder / "cut.nts"));
  EXPECT_EQ(d.view.focusWidget(), save);
}

void Drop(QWidget& window, const QList<QUrl>& urls) {
  QMimeData data;
  data.setUrls(urls);
  const QPoint at(window.width() / 2, 20);
  QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&window, &enter);
  QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&window, &drop);
}

TEST(WindowAsUser, DropAndArgumentOpenAsTheOpenDialogWould) {
  TempDir folder;
  std::filesystem::create_directories(folder / "sub");
  Recording(RecordingOptions{.seconds = 7}).WriteTo(folder / "sub" / "z.nts");
  Recording(RecordingOptions{.seconds = 6}).WriteTo(folder / "sub" / "y.nts");
  WriteAll(folder / "sub" / "notes.txt", {0x20});
  Recording(RecordingOptions{.seconds = 5}).WriteTo(folder / "x.nts");
  Desktop d(folder.path());
  d.Click("cTimeB");

  Drop(d.view, {QUrl::fromLocalFile(QString::fromStdString((folder / "sub" / "notes.txt").string())),
                QUrl::fromLocalFile(QString::fromStdString((folder / "sub").string()))});
  QTRY_COMPARE(d.st.iTotalSec, 6);  // the drop is handed on once it has finished
  EXPECT_TRUE(d.Widget<QRadioButton>("oSel", 0)->isChecked());
  EXPECT_EQ(d.Widget<QLineEdit>("tDialogFile")->text().toStdString(), (folder / "sub" / "y.nts").string());

  d.view.Open({(folder / "x.nts").string()});  // what `trimora FILE` does once the window is up
  EXPECT_EQ(d.st.sEditFile, (folder / "x.nts").string());
  EXPECT_EQ(d.st.iTotalSec, 5);
}

TEST(WindowAsUser, ListFollowsItsFolderKeepingTheSelection) {
  TempDir folder;
  Recording(RecordingOptions{.seconds = 5}).WriteTo(folder / "b.nts");
  Desktop d(folder.path());
  d.Click("cTimeB");
  d.ClickListEntry("b.nts");

  Recording(RecordingOptions{.seconds = 5}).WriteTo(folder / "a.nts");

  auto* list = d.Widget<QListWidget>("lFile");
  QTRY_COMPARE(list->count(), 2);
  EXPECT_EQ(list->item(0)->text(), "a.nts");
  EXPECT_EQ(Highlighted(d), "b.nts");
}

// Where a label draws its text, in its parent's coordinates: as wide as the text, as high as its
// digits reach above the baseline.
QRect TextRect(const QLabel* label) {
  const QFontMetrics metrics(label->font());
  QRect text = label->style()->itemTextRect(metrics, label->contentsRect(), label->alignment(), true, label->text());
  text.setHeight(metrics.ascent());
  return text.translated(label->pos());
}

TEST(WindowAsUser, ValueAndTimelineLabelsKeepClearOfEachOther) {
  TempDir folder;
  WriteSparse(folder / "long.nts", int64_t{1100} << 20, Recording(RecordingOptions{.seconds = 5}).AllBytes());
  Desktop d(folder.path());
  d.ClickListEntry("long.nts");
  ASSERT_EQ(d.Text("lFileSize"), "1,126,400 KB");
  d.Type("tStart", 1, "1");
  d.Type("tEnd", 0, "0");
  d.Type("tEnd", 1, "2");
  d.Type("tEnd", 2, "0");
  ASSERT_EQ(d.Text("lRange"), "0:01:00");

  for (const char* frame : {"fAnalyze", "fOption"}) {
    QWidget* parent = d.Widget<QWidget>(frame);
    std::vector<QLabel*> labels;
    for (QLabel* label : parent->findChildren<QLabel*>(Qt::FindDirectChildrenOnly))
      if (label->isVisible() && !label->text().isEmpty() && label->pixmap().isNull()) labels.push_back(label);
    for (const QLabel* label : labels) {
      EXPECT_TRUE(parent->rect().contains(TextRect(label))) << label->objectName().toStdString() << " is cut off";
      for (const QLabel* other : labels) {
        if (label >= other) continue;
        EXPECT_FALSE(TextRect(label).intersects(TextRect(other)))
            << label->objectName().toStdString() << " runs into " << other->objectName().toStdString();
      }
    }
  }
}

}  // namespace
}  // namespace trimora::testkit
