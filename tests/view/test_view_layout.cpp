// The window as it stands: the state the model starts with shown by the widgets, the layout
// in pixels, the font, and the user's input reaching the model's handlers.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QMouseEvent>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <cmath>
#include <string>
#include <vector>

#include "timerange/range_check.h"
#include "timerange/time_boxes.h"
#include "timerange/timeline.h"
#include "window/app_state.h"
#include "window/model.h"
#include "window/qt/main_window.h"
#include "window/qt/widgets.h"

namespace trimora {
namespace {

template <typename T>
T* WidgetAs(const MainWindow& view, const std::string& name, int index = -1) {
  T* widget = dynamic_cast<T*>(view.WidgetOf(name, index));
  EXPECT_NE(widget, nullptr) << name << "(" << index << ")";
  return widget;
}

TEST(StartingWindow, ShowsTheStatesTheWindowStartsWith) {
  WindowModel m;
  MainWindow view(m);

  EXPECT_FALSE(view.WidgetOf("bCut")->isEnabled());
  EXPECT_FALSE(view.WidgetOf("bShowDialog")->isEnabled());
  EXPECT_FALSE(view.WidgetOf("tDialogFile")->isEnabled());
  EXPECT_TRUE(WidgetAs<QLineEdit>(view, "tDialogFile")->isReadOnly());
  EXPECT_TRUE(WidgetAs<QRadioButton>(view, "oSel", 1)->isChecked());
  EXPECT_FALSE(WidgetAs<QRadioButton>(view, "oSel", 0)->isChecked());
  EXPECT_TRUE(view.WidgetOf("lFile")->isEnabled());
  EXPECT_TRUE(view.WidgetOf("bReAnalyze")->isHidden());
  for (const char* hidden : {"pProgress", "pCProgress", "iInfo", "iWarn", "iCWarn"})
    EXPECT_TRUE(view.WidgetOf(hidden)->isHidden()) << hidden;
  for (const char* caption : {"lProgress", "lProgress_S", "lCProgress", "lCProgress_S"})
    EXPECT_EQ(WidgetAs<QLabel>(view, caption)->text(), "aaa") << caption;

  EXPECT_EQ(WidgetAs<QGroupBox>(view, "fFile")->title(), "ステップ1：ファイル選択");
  EXPECT_EQ(WidgetAs<QGroupBox>(view, "fAnalyze")->title(), "ステップ2：ファイル解析結果の確認");
  EXPECT_EQ(WidgetAs<QGroupBox>(view, "fOption")->title(), "ステップ3：ファイルの切り出し");
  EXPECT_EQ(WidgetAs<QPushButton>(view, "bCut")->text(), "保存");
  EXPECT_EQ(WidgetAs<QCheckBox>(view, "cTimeB")->checkState(), Qt::Unchecked);
  EXPECT_EQ(view.WidgetOf("lvTimeB")->toolTip(), "1秒間隔で出現する放送情報データの数を調べて計算した値。");
  EXPECT_EQ(view.windowTitle(), "Trimora");
}

TEST(StartingWindow, PlacesControlsAtTheirTwipPositionsInPixels) {
  WindowModel m;
  MainWindow view(m);

  EXPECT_EQ(view.size(), QSize(587, 668));  // 8805 x 10020 twips: the three steps, the preview, the list of ranges
  EXPECT_EQ(view.WidgetOf("fFile")->geometry(), QRect(4, 24, 257, 253));
  EXPECT_EQ(view.WidgetOf("fOption")->geometry(), QRect(264, 152, 317, 125));
  // Children are placed relative to their frame.
  EXPECT_EQ(view.WidgetOf("fOption"), view.WidgetOf("tStart", 0)->parentWidget());
  EXPECT_EQ(view.WidgetOf("tStart", 0)->geometry(), QRect(72, 60, 21, 18));
  EXPECT_EQ(view.WidgetOf("tEnd", 2)->geometry(), QRect(136, 80, 21, 18));
  EXPECT_EQ(view.WidgetOf("bCut")->geometry(), QRect(256, 100, 57, 21));
  EXPECT_EQ(view.WidgetOf("lFile")->geometry(), QRect(8, 88, 241, 150));
  // The caption labels lie in the bar's inner area, inside its 2-pixel 3-D border.
  EXPECT_EQ(view.WidgetOf("pProgress")->geometry(), QRect(4, 96, 309, 17));
  EXPECT_EQ(view.WidgetOf("lProgress")->geometry(), QRect(2, 2, 305, 13));
  EXPECT_EQ(view.WidgetOf("lProgress_S")->geometry().topLeft(), QPoint(3, 3));
  // The timeline: second 0 at x = 24, the end at x = 292. A line's box has a pixel more across
  // for its thickness at a higher scale.
  EXPECT_EQ(view.WidgetOf("lnZERO")->geometry(), QRect(24, 20, 2, 18));
  EXPECT_EQ(view.WidgetOf("lnALL")->geometry(), QRect(24, 28, 270, 2));
}

TEST(StartingWindow, ColoursAndFontComeFromTheSystem) {
  WindowModel m;
  MainWindow view(m);
  const QPalette& palette = view.palette();

  auto* address = WidgetAs<QLabel>(view, "lvAddress");
  EXPECT_TRUE(address->font().underline());
  EXPECT_EQ(address->palette().color(QPalette::Active, QPalette::WindowText), palette.color(QPalette::Highlight));
  EXPECT_EQ(address->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
  EXPECT_FALSE(WidgetAs<QLabel>(view, "lvDescription")->font().underline());
  EXPECT_EQ(view.WidgetOf("lZERO")->palette().color(QPalette::Active, QPalette::WindowText),
            palette.color(QPalette::Disabled, QPalette::WindowText));
  EXPECT_EQ(view.WidgetOf("lProgress")->palette().color(QPalette::Active, QPalette::WindowText),
            palette.color(QPalette::HighlightedText));
  EXPECT_EQ(view.WidgetOf("lProgress_S")->palette().color(QPalette::Active, QPalette::WindowText),
            palette.color(QPalette::ButtonText));

  // Whatever family stands in for ＭＳ Ｐゴシック, it must draw the window's Japanese texts.
  const QFont font = view.WidgetOf("fAnalyze")->font();
  EXPECT_EQ(font.pointSize(), 9);
  const QFontMetrics metrics(font);
  for (char32_t glyph : {U'ス', U'解', U'録', U'：'})
    EXPECT_TRUE(metrics.inFontUcs4(glyph)) << QFontInfo(font).family().toStdString();
}

TEST(RenderFromModel, ShowsWhatTheProceduresWrote) {
  WindowModel m;
  MainWindow view(m);

  m.bCut.Enabled = true;
  m.fOption.Enabled = false;
  m.lFileSize.Caption = "1,234 KB";
  m.lnStart.X1 = m.lnStart.X2 = 1365;
  m.lStart.Caption = "0:15:00";
  m.lStart.Left = 1365 - m.lStart.Width / 2;
  m.cTimeB.Value = 1;
  m.Caption = "Trimora (Linux版)";
  view.Render();

  EXPECT_TRUE(view.WidgetOf("bCut")->testAttribute(Qt::WA_ForceDisabled) == false);
  EXPECT_FALSE(view.WidgetOf("bCut")->isEnabled());  // its frame is disabled
  EXPECT_EQ(WidgetAs<QLabel>(view, "lFileSize")->text(), "1,234 KB");
  EXPECT_EQ(view.WidgetOf("lnStart")->geometry().left(), 91);
  // The auto-sized time label stays centred on its marker whatever the font's width.
  const QRect label = view.WidgetOf("lStart")->geometry();
  EXPECT_NEAR(label.left() + label.width() / 2.0, 91, 1.0);
  EXPECT_EQ(WidgetAs<QCheckBox>(view, "cTimeB")->checkState(), Qt::Checked);
  EXPECT_EQ(view.windowTitle(), "Trimora (Linux版)");

  m.fOption.Enabled = true;
  view.Render();
  EXPECT_TRUE(view.WidgetOf("bCut")->isEnabled());
}

TEST(RenderFromModel, ValueTooWideForItsLabelIsShownWholeFromTheSameRightEdge) {
  WindowModel m;
  MainWindow view(m);
  const QRect placed = view.WidgetOf("lFileSize")->geometry();

  m.lFileSize.Caption = "2,097,151 KB";
  view.Render();
  auto* label = WidgetAs<QLabel>(view, "lFileSize");
  EXPECT_EQ(label->geometry().right(), placed.right());
  EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(label->text()));

  m.lFileSize.Caption = "1 KB";
  view.Render();
  EXPECT_EQ(label->geometry(), placed);
}

// The window drawn at 150 % and 200 %, as a high-density screen shows it: each line as many
// device pixels thick as the scale has whole, none crossing the top edge of its frame, and the
// file list's border whole on all four sides.
TEST(ScaledWindow, LinesAndTheListBorderFallOnWholeDevicePixels) {
  WindowModel m;
  MainWindow view(m);
  const QColor ground = view.palette().color(QPalette::Window);
  for (const qreal scale : {1.5, 2.0}) {
    SCOPED_TRACE(scale);
    QImage image((QSizeF(view.size()) * scale).toSize(), QImage::Format_RGB32);
    image.setDevicePixelRatio(scale);
    view.render(&image);
    auto device = [&](double logical) { return static_cast<int>(std::floor(logical * scale)); };
    auto dark = [&](int x, int y) { return qGray(image.pixel(x, y)) < 128; };
    auto drawn = [&](int x, int y) { return std::abs(qGray(image.pixel(x, y)) - qGray(ground.rgb())) > 12; };

    // A level line across Step 3: its thickness.
    const QPoint across = view.WidgetOf("lS3_1")->mapTo(&view, QPoint(100, 0));
    int thickness = 0;
    for (int y = device(across.y()) - 2; y <= device(across.y() + 1) + 2; ++y) thickness += dark(device(across.x()), y);
    EXPECT_EQ(thickness, static_cast<int>(scale));

    // Step 2's upright separator starts below the frame's top edge, found in a column of its own.
    QWidget* frame = view.WidgetOf("fAnalyze");
    const QPoint corner = frame->mapTo(&view, QPoint(frame->width() - 8, 0));
    int edge = device(corner.y());
    while (edge < image.height() && !drawn(device(corner.x()), edge)) ++edge;
    const QPoint separator = view.WidgetOf("lS2_1")->mapTo(&view, QPoint(0, 30));
    int column = device(separator.x()) - 1, top = device(separator.y());
    while (column < device(separator.x()) + 2 && !dark(column, top)) ++column;
    while (top > 0 && dark(column, top - 1)) --top;
    EXPECT_GT(top, edge);

    // The list's border: a pixel of neither the list's ground nor the window's at each side.
    QWidget* list = view.WidgetOf("lFile");
    const QRect box(list->mapTo(&view, QPoint(0, 0)), list->size());
    auto border_within = [&](QPoint from, QPoint step) {  // from the edge inwards, three device pixels
      for (int i = 0; i < 3; ++i)
        if (qGray(image.pixel(from + i * step)) < 215) return true;
      return false;
    };
    const int mid_x = device(box.center().x()), mid_y = device(box.center().y());
    EXPECT_TRUE(border_within({mid_x, device(box.top())}, {0, 1}));
    EXPECT_TRUE(border_within({mid_x, device(box.bottom() + 1) - 1}, {0, -1}));
    EXPECT_TRUE(border_within({device(box.left()), mid_y}, {1, 0}));
    EXPECT_TRUE(border_within({device(box.right() + 1) - 1, mid_y}, {-1, 0}));
  }
}

TEST(UserInput, ClicksReachTheModelWithTheStateTheyChanged) {
  WindowModel m;
  MainWindow view(m);
  view.show();

  int detail_clicks = 0;
  int seen_value = -1;
  m.cDataDetail.Click = [&] {
    ++detail_clicks;
    seen_value = m.cDataDetail.Value;
    m.cTimeB.Value = m.cDataDetail.Value;  // a handler's change is shown after the click
  };
  QTest::mouseClick(view.WidgetOf("cDataDetail"), Qt::LeftButton, {}, QPoint(5, 6));
  EXPECT_EQ(detail_clicks, 1);
  EXPECT_EQ(seen_value, 1);
  EXPECT_EQ(WidgetAs<QCheckBox>(view, "cTimeB")->checkState(), Qt::Checked);

  int option_clicked = -1;
  m.oSel0.Click = [&] { option_clicked = 0; };
  QTest::mouseClick(view.WidgetOf("oSel", 0), Qt::LeftButton, {}, QPoint(5, 6));
  EXPECT_EQ(option_clicked, 0);
  // Which option is selected is the handlers' rule: a click their handler ignores changes nothing.
  EXPECT_FALSE(m.oSel0.Value);
  EXPECT_FALSE(WidgetAs<QRadioButton>(view, "oSel", 0)->isChecked());
  EXPECT_TRUE(WidgetAs<QRadioButton>(view, "oSel", 1)->isChecked());

  int link_clicks = 0;
  m.lvAddress.Click = [&] { ++link_clicks; };
  m.lvAddress.Caption = "usage.html";
  view.Render();
  QWidget* address = view.WidgetOf("lvAddress");
  EXPECT_EQ(address->cursor().shape(), Qt::PointingHandCursor);
  QTest::mouseClick(address, Qt::LeftButton, {}, address->rect().center());
  EXPECT_EQ(link_clicks, 1);
}

// The timeline once was only a picture: a press or a drag on it did nothing.
TEST(UserInput, PressAndDragOnTheTimelineMoveTheNearerEndInWholeSeconds) {
  WindowModel m;
  AppState st;
  st.iTotalSec = 268;  // a second for each pixel of the timeline, which starts at x = 24
  WireRangeEntry(m, st);
  WireTimeline(m, st);
  MainWindow view(m);
  view.show();
  SecToTextBoxes(268, *m.tEnd[0], *m.tEnd[1], *m.tEnd[2]);
  QWidget* timeline = view.WidgetOf("pTimeline");
  auto mouse = [&](QEvent::Type type, int x, Qt::MouseButtons buttons) {
    const QPointF at(x - timeline->x(), timeline->height() / 2);
    QMouseEvent event(type, at, timeline->mapToGlobal(at), Qt::LeftButton, buttons, {});
    QApplication::sendEvent(timeline, &event);
  };
  mouse(QEvent::MouseButtonPress, 24 + 40, Qt::LeftButton);
  EXPECT_EQ(m.tStart[1]->Text(), "0");
  EXPECT_EQ(m.tStart[2]->Text(), "40");
  mouse(QEvent::MouseMove, 24 + 300, Qt::LeftButton);  // past the end: START stops a second before it
  EXPECT_EQ(TextBoxesToSec(*m.tStart[0], *m.tStart[1], *m.tStart[2]), 267);
  mouse(QEvent::MouseButtonRelease, 24 + 300, Qt::NoButton);
  SecToTextBoxes(100, *m.tStart[0], *m.tStart[1], *m.tStart[2]);
  mouse(QEvent::MouseButtonPress, 24 + 200, Qt::LeftButton);  // nearer the end
  EXPECT_EQ(TextBoxesToSec(*m.tEnd[0], *m.tEnd[1], *m.tEnd[2]), 200);
  EXPECT_EQ(TextBoxesToSec(*m.tStart[0], *m.tStart[1], *m.tStart[2]), 100);
  EXPECT_TRUE(m.bCut.Enabled);

  MarkTimeline(m, st.iTotalSec, {{CutTime(10), CutTime(20)}}, {{CutTime(30), CutTime(40)}});
  view.Render();
  auto* bands = static_cast<TimelineWidget*>(timeline);
  ASSERT_EQ(bands->Kept().size(), 1u);
  EXPECT_EQ(bands->Kept()[0].x1, 24 + 10);
  EXPECT_EQ(bands->Breaks()[0].x2, 24 + 40);
}

// Delete, Enter, Insert and Ctrl+S once did nothing.
TEST(UserInput, KeysReachTheButtonsTheyStandFor) {
  WindowModel m;
  std::vector<std::string> pressed;
  m.tEnd2.Enter = [&] { pressed.push_back("Enter"); };
  m.lRanges.Delete = [&] { pressed.push_back("Delete"); };
  m.bAddRange.Click = [&] { pressed.push_back("追加"); };
  m.bCut.Click = [&] { pressed.push_back("保存"); };
  m.lRanges.Items = {"1"};
  MainWindow view(m);
  view.show();
  view.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
  QTest::keyClick(view.WidgetOf("tEnd", 2), Qt::Key_Return);
  QTest::keyClick(view.WidgetOf("lRanges"), Qt::Key_Delete);
  QTest::keyClick(view.WidgetOf("tEnd", 2), Qt::Key_Insert);
  QTest::keyClick(view.WidgetOf("tEnd", 2), Qt::Key_S, Qt::ControlModifier);  // Save is disabled: nothing
  m.bCut.Enabled = true;
  view.Render();
  QTest::keyClick(view.WidgetOf("tEnd", 2), Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(pressed, (std::vector<std::string>{"Enter", "Delete", "追加", "保存"}));
}

TEST(UserInput, ListClickSetsTheIndexBeforeTheHandlerRuns) {
  WindowModel m;
  m.lFile.Items = {"a.nts", "b.nts", "c.nts"};
  MainWindow view(m);
  view.show();
  auto* list = WidgetAs<QListWidget>(view, "lFile");
  ASSERT_EQ(list->count(), 3);
  EXPECT_EQ(list->item(1)->text(), "b.nts");

  std::string chosen;
  m.lFile.Click = [&] { chosen = m.lFile.FileName(); };
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(2)).center());
  EXPECT_EQ(chosen, "c.nts");
  EXPECT_EQ(m.lFile.ListIndex, 2);

  // A list refilled by the model is shown as it is now.
  m.lFile.Items = {"d.nts"};
  m.lFile.ListIndex = -1;
  view.Render();
  ASSERT_EQ(list->count(), 1);
  EXPECT_EQ(list->item(0)->text(), "d.nts");
  EXPECT_EQ(list->currentRow(), -1);
}

TEST(CloseRequest, IsReportedOnceAndFreezesTheWidgets) {
  WindowModel m;
  MainWindow view(m);
  view.show();
  int requests = 0;
  view.OnCloseRequest = [&] {
    ++requests;
    return true;
  };

  EXPECT_TRUE(view.close());
  EXPECT_EQ(requests, 1);
  EXPECT_TRUE(view.Closing());

  // A procedure still running makes its last updates on the model only.
  m.lMessage.Caption = "after close";
  m.Progress_Refresh(40, "late");
  EXPECT_EQ(WidgetAs<QLabel>(view, "lMessage")->text(), "");
  EXPECT_EQ(WidgetAs<QLabel>(view, "lProgress")->text(), "aaa");
  EXPECT_TRUE(view.WidgetOf("pProgress")->isHidden());

  view.close();
  EXPECT_EQ(requests, 1);
}

}  // namespace
}  // namespace trimora
