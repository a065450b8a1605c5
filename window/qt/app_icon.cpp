// The program's icon: a timeline with a marked range between two markers, drawn at each size it
// is shown at, so that no size is a blurred scaling of another. The installed theme icons are
// drawn here too.
#include <QImage>
#include <QPainter>
#include <QPixmap>

#include "window/qt/main_window.h"

namespace trimora {

QImage TrimoraIconImage(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing, size > 16);
  const double u = size / 16.0;  // one unit of the 16 x 16 design

  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0x1f, 0x4e, 0x8c));
  painter.drawRoundedRect(QRectF(0, 0, size, size), 2 * u, 2 * u);

  painter.setBrush(QColor(0xb0, 0xbe, 0xd0));  // the whole recording
  painter.drawRect(QRectF(2 * u, 9 * u, 12 * u, 2 * u));
  painter.setBrush(QColor(0xff, 0xa8, 0x26));  // the range that is kept
  painter.drawRect(QRectF(5 * u, 8 * u, 6 * u, 4 * u));
  painter.setBrush(Qt::white);  // start and end markers
  painter.drawRect(QRectF(4 * u, 4 * u, 1 * u, 9 * u));
  painter.drawRect(QRectF(11 * u, 4 * u, 1 * u, 9 * u));
  painter.end();
  return image;
}

QIcon TrimoraIcon() {
  QIcon icon;
  icon.addPixmap(QPixmap::fromImage(TrimoraIconImage(16)));
  icon.addPixmap(QPixmap::fromImage(TrimoraIconImage(32)));
  return icon;
}

}  // namespace trimora
