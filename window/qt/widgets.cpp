#include "window/qt/widgets.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <QtWidgets/qdrawutil.h>
#include <algorithm>
#include <cmath>
#include <optional>

namespace trimora {

namespace {

// A painter turned to the device's own pixels for the span of a scope, for lines that must
// fall on whole pixels at any scale. Rectangles in the widget's coordinates are mapped to the
// whole device pixels they begin on.
class DevicePixels {
 public:
  explicit DevicePixels(QPainter& painter) : painter_(painter), to_device_(painter.deviceTransform()) {
    painter_.save();
    painter_.setWorldTransform(to_device_.inverted() * painter_.worldTransform());
  }
  ~DevicePixels() { painter_.restore(); }
  DevicePixels(const DevicePixels&) = delete;
  DevicePixels& operator=(const DevicePixels&) = delete;

  // One pixel of the widget's, in whole device pixels: 1 up to 199 %, 2 from 200 %.
  int LineWidth() const { return std::max(1, static_cast<int>(to_device_.m11())); }
  QPoint Start(QPoint logical) const {
    const QPointF p = to_device_.map(QPointF(logical));
    return {static_cast<int>(std::ceil(p.x())), static_cast<int>(std::ceil(p.y()))};
  }
  // The widest rectangle of whole device pixels inside a rectangle of the widget's.
  QRect Inside(QRect logical) const {
    const QRectF r = to_device_.mapRect(QRectF(logical));
    return QRect(QPoint(static_cast<int>(std::ceil(r.left())), static_cast<int>(std::ceil(r.top()))),
                 QPoint(static_cast<int>(std::floor(r.right())) - 1, static_cast<int>(std::floor(r.bottom())) - 1));
  }
  void Fill(QRect device, const QColor& colour) { painter_.fillRect(device, colour); }

 private:
  QPainter& painter_;
  const QTransform to_device_;
};

}  // namespace

QColor SystemColour(const QPalette& palette, ColourRole role, QPalette::ColorRole fallback) {
  switch (role) {
    case ColourRole::Highlight:
      return palette.color(QPalette::Active, QPalette::Highlight);
    case ColourRole::HighlightText:
      return palette.color(QPalette::Active, QPalette::HighlightedText);
    case ColourRole::GrayText:
      return palette.color(QPalette::Disabled, QPalette::WindowText);
    case ColourRole::ButtonText:
      return palette.color(QPalette::Active, QPalette::ButtonText);
    case ColourRole::Default:
      break;
  }
  return palette.color(QPalette::Active, fallback);
}

ProgressBox::ProgressBox(QWidget* parent) : QWidget(parent) {}

void ProgressBox::SetFill(int percent) {
  if (percent == fill_) return;
  fill_ = percent;
  update();
}

void ProgressBox::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  qDrawWinPanel(&painter, rect(), palette(), /*sunken=*/true);
  const QRect inner = InnerRect();
  painter.fillRect(inner, SystemColour(palette(), ColourRole::GrayText, QPalette::Window));
  // The fill is drawn as the percentage says and clipped to the inner area: past 100 it stays full.
  const int percent = std::clamp(fill_, 0, 100);
  const int width = static_cast<int>(std::lround(inner.width() * percent / 100.0));
  if (width > 0)
    painter.fillRect(QRect(inner.left(), inner.top(), width, inner.height()),
                     SystemColour(palette(), ColourRole::Highlight, QPalette::Highlight));
}

LineWidget::LineWidget(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

void LineWidget::SetLine(QPoint from, QPoint to, ColourRole colour) {
  const QRect box(QPoint(std::min(from.x(), to.x()), std::min(from.y(), to.y())),
                  QPoint(std::max(from.x(), to.x()) + 1, std::max(from.y(), to.y()) + 1));
  if (from == from_ && to == to_ && colour == colour_ && geometry() == box) return;
  from_ = from;
  to_ = to;
  colour_ = colour;
  setGeometry(box);
  update();
}

void LineWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QPoint origin = geometry().topLeft();
  const QColor colour = SystemColour(palette(), colour_, QPalette::WindowText);
  if (from_.x() != to_.x() && from_.y() != to_.y()) {  // a slanting line has no pixel grid to keep to
    painter.setPen(QPen(colour, 0));
    painter.drawLine(from_ - origin, to_ - origin);
    return;
  }
  // Upright or level: a rectangle from the pixel the first point begins on to the end of the
  // pixel the last one begins on, the line's width across.
  DevicePixels device(painter);
  const int width = device.LineWidth();
  const QPoint first = device.Start(from_ - origin), last = device.Start(to_ - origin);
  device.Fill(QRect(QPoint(std::min(first.x(), last.x()), std::min(first.y(), last.y())),
                    QPoint(std::max(first.x(), last.x()) + width - 1, std::max(first.y(), last.y()) + width - 1)),
              colour);
}

FileListWidget::FileListWidget(QWidget* parent) : QListWidget(parent) {
  setFrameShape(QFrame::NoFrame);
  setViewportMargins(1, 1, 1, 1);
}

void FileListWidget::keyPressEvent(QKeyEvent* event) {
  const int before = currentRow();
  QListWidget::keyPressEvent(event);
  if (currentRow() != before && currentRow() >= 0 && KeyMoved) KeyMoved(currentRow());
}

bool FileListWidget::event(QEvent* event) {
  const bool handled = QListWidget::event(event);
  if (event->type() == QEvent::Paint) {
    QPainter painter(this);
    DevicePixels device(painter);
    const QRect edge = device.Inside(rect());
    const int width = device.LineWidth();
    const QColor colour = palette().color(QPalette::Mid);
    device.Fill(QRect(edge.left(), edge.top(), edge.width(), width), colour);
    device.Fill(QRect(edge.left(), edge.bottom() - width + 1, edge.width(), width), colour);
    device.Fill(QRect(edge.left(), edge.top(), width, edge.height()), colour);
    device.Fill(QRect(edge.right() - width + 1, edge.top(), width, edge.height()), colour);
  }
  return handled;
}

PreviewWidget::PreviewWidget(QWidget* parent) : QWidget(parent) {}

void PreviewWidget::SetPicture(uint64_t request, QImage image) {
  picture_request_ = request;
  picture_ = std::move(image);
  update();
}

void PreviewWidget::Show(uint64_t request, const QString& message) {
  if (request == shown_ && message == message_) return;
  shown_ = request;
  message_ = message;
  if (!ShowsPicture()) {  // a picture of an older request is not kept past its time
    picture_request_ = 0;
    picture_ = QImage();
  }
  update();
}

void PreviewWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  qDrawWinPanel(&painter, rect(), palette(), /*sunken=*/true);
  const QRect inner = InnerRect();
  painter.fillRect(inner, Qt::black);
  if (ShowsPicture()) {
    // The picture was made at the size of the box on this screen; it is drawn centred in it.
    QSizeF size = picture_.deviceIndependentSize();
    size = size.scaled(QSizeF(inner.size()).boundedTo(size), Qt::KeepAspectRatio);
    QRectF target(QPointF(), size);
    target.moveCenter(QRectF(inner).center());
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, picture_);
  } else if (!message_.isEmpty()) {
    painter.setPen(QColor(0xd0, 0xd0, 0xd0));
    painter.drawText(inner.adjusted(4, 4, -4, -4), Qt::AlignCenter | Qt::TextWordWrap, message_);
  }
}

TimelineWidget::TimelineWidget(QWidget* parent) : QWidget(parent) { setCursor(Qt::SizeHorCursor); }

void TimelineWidget::SetBands(std::vector<Band> kept, std::vector<Band> breaks, int bar_y) {
  auto same = [](const std::vector<Band>& a, const std::vector<Band>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const Band& x, const Band& y) { return x.x1 == y.x1 && x.x2 == y.x2; });
  };
  if (same(kept, kept_) && same(breaks, breaks_) && bar_y == bar_y_) return;
  kept_ = std::move(kept);
  breaks_ = std::move(breaks);
  bar_y_ = bar_y;
  update();
}

// Each band is at least a pixel wide, so that a short range still shows; the kept parts lie just
// above the bar, the breaks just below it, clear of the markers' ends.
void TimelineWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const int bar = bar_y_ - y();
  auto draw = [&](const std::vector<Band>& bands, int top, int height, QColor colour) {
    for (const Band& b : bands)
      painter.fillRect(QRect(b.x1 - x(), top, std::max(1, b.x2 - b.x1), height), colour);
  };
  QColor kept = palette().color(QPalette::Highlight);
  kept.setAlpha(110);
  draw(kept_, bar - 5, 5, kept);
  draw(breaks_, bar + 2, 4, QColor(0xe0, 0x80, 0x20));
}

void TimelineWidget::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !Pressed) return QWidget::mousePressEvent(event);
  Pressed(x() + event->position().toPoint().x());
}

void TimelineWidget::mouseMoveEvent(QMouseEvent* event) {
  if (!(event->buttons() & Qt::LeftButton) || !Dragged) return QWidget::mouseMoveEvent(event);
  Dragged(x() + event->position().toPoint().x());
}

void TextBoxEdit::focusInEvent(QFocusEvent* event) {
  QLineEdit::focusInEvent(event);
  focused_by_mouse_ = event->reason() == Qt::MouseFocusReason;
  if (FocusIn) FocusIn();
}

void TextBoxEdit::mouseReleaseEvent(QMouseEvent* event) {
  QLineEdit::mouseReleaseEvent(event);
  if (!focused_by_mouse_) return;
  focused_by_mouse_ = false;
  if (!hasSelectedText() && FocusIn) FocusIn();
}

void TextBoxEdit::keyPressEvent(QKeyEvent* event) {
  const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
  std::optional<TimeStep> step;
  if (plain && event->key() == Qt::Key_Up) step = TimeStep::SecondUp;
  if (plain && event->key() == Qt::Key_Down) step = TimeStep::SecondDown;
  if (plain && event->key() == Qt::Key_PageUp) step = TimeStep::MinuteUp;
  if (plain && event->key() == Qt::Key_PageDown) step = TimeStep::MinuteDown;
  if (step && Step && Step(*step)) return;
  QLineEdit::keyPressEvent(event);
}

// A notch is 120 eighths of a degree; finer wheels and touchpads add up to whole notches.
void TextBoxEdit::wheelEvent(QWheelEvent* event) {
  wheel_angle_ += event->angleDelta().y();
  bool stepped = true;
  for (; stepped && wheel_angle_ >= 120; wheel_angle_ -= 120) stepped = Step && Step(TimeStep::SecondUp);
  for (; stepped && wheel_angle_ <= -120; wheel_angle_ += 120) stepped = Step && Step(TimeStep::SecondDown);
  if (stepped) return event->accept();
  wheel_angle_ = 0;
  QLineEdit::wheelEvent(event);
}

}  // namespace trimora
