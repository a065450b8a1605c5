// The six h/m/s boxes: what they accept, the selection on focus that makes typing replace the
// entry, typing that runs the range check through the model, and the keys and wheel that step it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QWheelEvent>

#include "window/app_state.h"
#include "timerange/range_check.h"
#include "window/model.h"
#include "window/qt/main_window.h"

namespace trimora {
namespace {

class TimeBoxes : public ::testing::Test {
 protected:
  TimeBoxes() {
    WireRangeEntry(m, st);
    view.show();
    QApplication::setActiveWindow(&view);
  }
  QLineEdit* box(const char* name, int index) { return static_cast<QLineEdit*>(view.WidgetOf(name, index)); }

  AppState st;
  WindowModel m;
  MainWindow view{m};
};

TEST_F(TimeBoxes, TakeTwoRightAlignedCharactersWithoutInputMethod) {
  for (const char* name : {"tStart", "tEnd"}) {
    for (int i = 0; i < 3; ++i) {
      QLineEdit* edit = box(name, i);
      EXPECT_EQ(edit->maxLength(), 2);
      EXPECT_TRUE(edit->alignment() & Qt::AlignRight);
      EXPECT_FALSE(edit->testAttribute(Qt::WA_InputMethodEnabled));
      EXPECT_EQ(edit->text(), "0");
    }
  }
  QLineEdit* hours = box("tStart", 0);
  hours->setFocus(Qt::TabFocusReason);
  QTest::keyClicks(hours, "123");
  EXPECT_EQ(hours->text(), "12");
  EXPECT_EQ(m.tStart0.Text(), "12");
}

TEST_F(TimeBoxes, FocusSelectsTheEntrySoTypingReplacesIt) {
  m.tEnd1.SetText("12");
  m.tEnd2.SetText("5");
  view.Render();

  QLineEdit* minutes = box("tEnd", 1);
  minutes->setFocus(Qt::TabFocusReason);
  ASSERT_TRUE(minutes->hasFocus());
  EXPECT_EQ(minutes->selectedText(), "12");
  QTest::keyClicks(minutes, "3");
  EXPECT_EQ(m.tEnd1.Text(), "3");

  QLineEdit* seconds = box("tEnd", 2);
  seconds->setFocus(Qt::BacktabFocusReason);
  EXPECT_EQ(seconds->selectedText(), "5");
}

TEST_F(TimeBoxes, ClickIntoABoxAlsoSelectsTheEntry) {
  m.tStart2.SetText("45");
  view.Render();
  QLineEdit* seconds = box("tStart", 2);
  // Clicking places the cursor where the click falls; the selection must survive that.
  QTest::mouseClick(seconds, Qt::LeftButton, {}, QPoint(seconds->width() - 3, seconds->height() / 2));
  ASSERT_TRUE(seconds->hasFocus());
  EXPECT_EQ(seconds->selectedText(), "45");

  // A second click in the focused box is an ordinary click.
  QTest::mouseClick(seconds, Qt::LeftButton, {}, QPoint(seconds->width() - 3, seconds->height() / 2));
  EXPECT_FALSE(seconds->hasSelectedText());
}

TEST_F(TimeBoxes, TypingRunsTheRangeCheck) {
  st.iTotalSec = 3600;
  QLineEdit* end_hours = box("tEnd", 0);
  end_hours->setFocus(Qt::TabFocusReason);
  QTest::keyClicks(end_hours, "1");  // 0:00:00 .. 1:00:00
  EXPECT_TRUE(view.WidgetOf("bCut")->isEnabled());
  EXPECT_EQ(static_cast<QLabel*>(view.WidgetOf("lRange"))->text(), "1:00:00");
  EXPECT_TRUE(view.WidgetOf("iCWarn")->isHidden());

  end_hours->selectAll();
  QTest::keyClicks(end_hours, "2");  // past the end of the recording
  EXPECT_FALSE(view.WidgetOf("bCut")->isEnabled());
  EXPECT_EQ(static_cast<QLabel*>(view.WidgetOf("lCMessage"))->text(), "終了は1:00:00以下で指定して下さい。");
  EXPECT_FALSE(view.WidgetOf("iCWarn")->isHidden());
}

TEST_F(TimeBoxes, RenderLeavesTheBoxBeingTypedInAlone) {
  QLineEdit* minutes = box("tStart", 1);
  minutes->setFocus(Qt::TabFocusReason);
  QTest::keyClick(minutes, Qt::Key_Home);
  QTest::keyClicks(minutes, "1");  // "0" becomes "10", the cursor between the digits
  ASSERT_EQ(minutes->text(), "10");
  ASSERT_EQ(minutes->cursorPosition(), 1);
  view.Render();
  EXPECT_EQ(minutes->cursorPosition(), 1);
  EXPECT_TRUE(minutes->isUndoAvailable());

  // A procedure's write replaces the text.
  m.tStart1.SetText("7");
  view.Render();
  EXPECT_EQ(minutes->text(), "7");
}

TEST_F(TimeBoxes, StepKeysAndTheWheelMoveTheirRowsTime) {
  st.iTotalSec = 3600;
  m.tEnd0.SetText("1");
  view.Render();
  QLineEdit* start_minutes = box("tStart", 1);
  start_minutes->setFocus(Qt::TabFocusReason);
  QTest::keyClick(start_minutes, Qt::Key_PageUp);
  QTest::keyClick(start_minutes, Qt::Key_Up);
  QTest::keyClick(start_minutes, Qt::Key_Up);
  QTest::keyClick(start_minutes, Qt::Key_Down);
  EXPECT_EQ(box("tStart", 1)->text(), "1");
  EXPECT_EQ(box("tStart", 2)->text(), "1");
  EXPECT_EQ(start_minutes->selectedText(), "1");  // typing still replaces the entry
  EXPECT_EQ(static_cast<QLabel*>(view.WidgetOf("lStart"))->text(), "0:01:01");

  // Two notches down, over a box of the end row that has no focus.
  QLineEdit* end_seconds = box("tEnd", 2);
  const QPointF at(end_seconds->width() / 2.0, end_seconds->height() / 2.0);
  QWheelEvent wheel(at, end_seconds->mapToGlobal(at), {}, QPoint(0, -240), Qt::NoButton, Qt::NoModifier,
                    Qt::NoScrollPhase, false);
  QApplication::sendEvent(end_seconds, &wheel);
  EXPECT_EQ(box("tEnd", 1)->text(), "59");
  EXPECT_EQ(box("tEnd", 2)->text(), "58");
  EXPECT_TRUE(view.WidgetOf("bCut")->isEnabled());
}

}  // namespace
}  // namespace trimora
