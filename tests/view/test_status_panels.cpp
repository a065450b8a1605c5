// The two status lines as drawn: the progress bar's fill and border, its shadowed caption, and
// the bar lying over the icon and message that share its spot.
#include <gtest/gtest.h>

#include <QImage>
#include <QLabel>

#include "window/model.h"
#include "window/qt/main_window.h"
#include "window/qt/widgets.h"

namespace trimora {
namespace {

QColor Colour(ColourRole role, const QWidget* widget) { return SystemColour(widget->palette(), role, QPalette::Window); }

class StatusPanels : public ::testing::Test {
 protected:
  StatusPanels() { view.show(); }

  // The analysis bar as it would be painted now, in device-independent pixels.
  QImage BarImage() {
    QImage image = view.WidgetOf("pProgress")->grab().toImage();
    return image.scaled(bar()->size());
  }
  ProgressBox* bar() { return static_cast<ProgressBox*>(view.WidgetOf("pProgress")); }
  QLabel* label(const char* name) { return static_cast<QLabel*>(view.WidgetOf(name)); }

  WindowModel m;
  MainWindow view{m};
};

TEST_F(StatusPanels, ProgressWidensTheFillAndKeepsTheCaptionOnDash) {
  m.Progress_Refresh(20, "A");
  m.Progress_Refresh(50, "-");  // the model's hook renders the window; no explicit Render

  EXPECT_FALSE(bar()->isHidden());
  EXPECT_EQ(label("lProgress")->text(), "A");
  EXPECT_EQ(label("lProgress_S")->text(), "A");

  const QImage image = BarImage();
  const QRect inner = bar()->InnerRect();
  const QColor highlight = Colour(ColourRole::Highlight, bar());
  const QColor gray = Colour(ColourRole::GrayText, bar());
  ASSERT_NE(highlight, gray);
  const int fill_edge = inner.left() + inner.width() / 2;
  // Sample away from the centred caption, in the inner area's top row.
  for (int x : {inner.left(), inner.left() + inner.width() / 5, fill_edge - 2})
    EXPECT_EQ(image.pixelColor(x, inner.top()), highlight) << "x=" << x;
  for (int x : {fill_edge + 2, inner.right() - inner.width() / 5, inner.right()})
    EXPECT_EQ(image.pixelColor(x, inner.top()), gray) << "x=" << x;
  // The sunken border is not part of the fill.
  EXPECT_NE(image.pixelColor(0, 0), highlight);
  EXPECT_NE(image.pixelColor(0, 0), gray);
}

TEST_F(StatusPanels, FillIsClippedToTheBoxAndZeroClearsIt) {
  m.Progress_Refresh(150, "over");
  QImage image = BarImage();
  const QRect inner = bar()->InnerRect();
  const QColor highlight = Colour(ColourRole::Highlight, bar());
  EXPECT_EQ(image.pixelColor(inner.right(), inner.top()), highlight);
  EXPECT_NE(image.pixelColor(bar()->width() - 1, inner.top()), highlight);  // the border survives

  m.Progress_Refresh(0, "empty");
  image = BarImage();
  EXPECT_EQ(image.pixelColor(inner.left(), inner.top()), Colour(ColourRole::GrayText, bar()));

  m.Progress_Refresh(-5, "-");  // below zero: shown, nothing filled
  image = BarImage();
  EXPECT_FALSE(bar()->isHidden());
  EXPECT_EQ(image.pixelColor(inner.left(), inner.top()), Colour(ColourRole::GrayText, bar()));
}

TEST_F(StatusPanels, CaptionReadsAsLightTextOverItsShadow) {
  m.Progress_Refresh(0, "Stage");
  QLabel* top = label("lProgress");
  QLabel* shadow = label("lProgress_S");
  EXPECT_EQ(shadow->geometry().topLeft() - top->geometry().topLeft(), QPoint(1, 1));  // 14, 20 twips
  // The shadow lies beneath: the caption is the later, upper sibling.
  const QObjectList& siblings = bar()->children();
  EXPECT_LT(siblings.indexOf(shadow), siblings.indexOf(top));
  EXPECT_TRUE(top->alignment() & Qt::AlignHCenter);
}

TEST_F(StatusPanels, BarLiesOverTheIconAndMessageWhileVisible) {
  QWidget* frame = view.WidgetOf("fAnalyze");
  const QPoint icon_spot = view.WidgetOf("iWarn")->geometry().center();

  m.lMessage_Show("失敗しました。", 2);
  EXPECT_TRUE(bar()->isHidden());
  EXPECT_FALSE(view.WidgetOf("iWarn")->isHidden());
  EXPECT_TRUE(view.WidgetOf("iInfo")->isHidden());
  EXPECT_EQ(label("lMessage")->text(), "失敗しました。");
  EXPECT_EQ(frame->childAt(icon_spot), view.WidgetOf("iWarn"));

  m.Progress_Refresh(10, "-");
  QWidget* on_top = frame->childAt(icon_spot);
  EXPECT_TRUE(on_top == bar() || on_top->parentWidget() == bar());
  EXPECT_FALSE(view.WidgetOf("iWarn")->isHidden());  // covered, not hidden

  m.Progress_Refresh(-2, "-");
  EXPECT_EQ(frame->childAt(icon_spot), view.WidgetOf("iWarn"));
}

TEST_F(StatusPanels, ALongCutMessageStopsShortOfSaveAndShowsWholeInItsTip) {
  const std::string line(40, 'x');
  const QString whole = QString::fromStdString(line + "確かめました：録画どおりで、デコードもできます");
  m.lCMessage_Show(whole.toStdString(), 0);
  EXPECT_LT(label("lCMessage")->geometry().right(), view.WidgetOf("bCut")->geometry().left());
  EXPECT_TRUE(label("lCMessage")->text().endsWith(QChar(0x2026)));
  EXPECT_EQ(label("lCMessage")->toolTip(), whole);

  m.lCMessage_Show("完了しました。", 0);
  EXPECT_EQ(label("lCMessage")->text(), "完了しました。");
  EXPECT_TRUE(label("lCMessage")->toolTip().isEmpty());
}

TEST_F(StatusPanels, IconsComeFromThePlatformStyleAtSixteenPixels) {
  m.lMessage_Show("注意", 1);
  m.lCMessage_Show("警告", 1);
  for (const char* name : {"iInfo", "iCWarn"}) {
    QLabel* icon = label(name);
    EXPECT_FALSE(icon->isHidden()) << name;
    EXPECT_FALSE(icon->pixmap().isNull()) << name;
    EXPECT_EQ(icon->pixmap().deviceIndependentSize().toSize(), QSize(16, 16)) << name;
  }
  EXPECT_NE(label("iInfo")->pixmap().toImage(), label("iWarn")->pixmap().toImage());

  m.lCMessage_Show("no icon", 2);
  EXPECT_TRUE(view.WidgetOf("iCWarn")->isHidden());
  EXPECT_EQ(label("lCMessage")->text(), "no icon");
}

}  // namespace
}  // namespace trimora
