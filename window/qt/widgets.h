// The few widgets the window needs that Qt does not have as such: the status-line progress box,
// a line, the file list with a border that holds at any scale, and a text box that reports its
// focus after Qt's own focus handling has run.
#pragma once

#include <QColor>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QPalette>
#include <QPoint>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <vector>

#include "window/model.h"

namespace trimora {

// The system colours of the window in the platform's palette. Default gives `fallback`.
QColor SystemColour(const QPalette& palette, ColourRole role, QPalette::ColorRole fallback);

// The progress bar of a status line: a sunken 3-D border around an inner area in the GrayText
// colour, filled in Highlight from the left edge to `fill` per cent of the inner width. Its
// children (the caption and its shadow) are placed relative to the inner area, inside the border.
class ProgressBox : public QWidget {
 public:
  static constexpr int kBorder = 2;  // the 3-D border takes 30 twips on each side

  explicit ProgressBox(QWidget* parent);
  void SetFill(int percent);
  int Fill() const { return fill_; }
  QRect InnerRect() const { return rect().adjusted(kBorder, kBorder, -kBorder, -kBorder); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int fill_ = 0;
};

// A straight line between two points of its parent, one pixel wide at 100 % and as many whole
// device pixels as the scale has (two at 200 %), never a blurred fraction of one. It covers the
// bounding box of the line, one pixel more to the right and below for the thickness, and lets
// every mouse event through to what lies beneath.
class LineWidget : public QWidget {
 public:
  explicit LineWidget(QWidget* parent);
  void SetLine(QPoint from, QPoint to, ColourRole colour);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QPoint from_, to_;
  ColourRole colour_ = ColourRole::Default;
};

// The recording folder's list. Its border is drawn on whole device pixels, inside the widget's
// edge, with the list's own area one pixel in from it: the style's border lands between device
// pixels at a fractional scale, where one of its sides is lost or painted over by the list.
// A key that moves the highlight (arrows, pages, Home/End, a typed letter) reports the row it
// moved to through KeyMoved, as a click reports its row.
class FileListWidget : public QListWidget {
 public:
  explicit FileListWidget(QWidget* parent);
  std::function<void(int row)> KeyMoved;

 protected:
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
};

// A picture at a cut point on a dark ground, or the text that stands in for it. It paints a
// picture only while the request it belongs to is the one the window shows.
class PreviewWidget : public QWidget {
 public:
  static constexpr int kBorder = 2;

  explicit PreviewWidget(QWidget* parent);
  void SetPicture(uint64_t request, QImage image);
  void Show(uint64_t request, const QString& message);
  QRect InnerRect() const { return rect().adjusted(kBorder, kBorder, -kBorder, -kBorder); }
  bool ShowsPicture() const { return shown_ != 0 && shown_ == picture_request_ && !picture_.isNull(); }
  const QImage& Picture() const { return picture_; }
  const QString& Message() const { return message_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  uint64_t picture_request_ = 0;
  QImage picture_;
  uint64_t shown_ = 0;
  QString message_;
};

// The timeline's ground: the bands of the parts kept (above the whole-recording bar) and of the
// breaks found (below it), at x positions of its parent in pixels. A press of the left button
// and a move while it is held report the pointer's x in the parent's pixels.
class TimelineWidget : public QWidget {
 public:
  struct Band {
    int x1, x2;
  };
  explicit TimelineWidget(QWidget* parent);
  void SetBands(std::vector<Band> kept, std::vector<Band> breaks, int bar_y);
  std::function<void(int x)> Pressed, Dragged;
  const std::vector<Band>& Kept() const { return kept_; }
  const std::vector<Band>& Breaks() const { return breaks_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  std::vector<Band> kept_, breaks_;
  int bar_y_ = 0;  // the whole-recording bar, in the parent's pixels
};

// A text box that calls FocusIn once Qt has finished its own focus-in handling, so that the
// selection FocusIn makes is the one the user sees. A click that gives the focus would move the
// cursor to the clicked spot; unless that click selected something by dragging, FocusIn runs
// again after it. Up/Down, PageUp/PageDown and each notch of the mouse wheel are offered to Step,
// which tells whether the box steps at all.
class TextBoxEdit : public QLineEdit {
 public:
  // Files dropped on a box go to the window, not into the box as text.
  explicit TextBoxEdit(QWidget* parent) : QLineEdit(parent) { setAcceptDrops(false); }
  std::function<void()> FocusIn;
  std::function<bool(TimeStep)> Step;

 protected:
  void focusInEvent(QFocusEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  bool focused_by_mouse_ = false;
  int wheel_angle_ = 0;  // eighths of a degree not yet turned into a step
};

}  // namespace trimora
