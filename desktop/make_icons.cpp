// Writes the program's icon as PNG files for the hicolor theme: make_icons DIR SIZE... writes
// DIR/SIZExSIZE/apps/trimora.png for each size, drawn by the same code as the window's icon.
#include <QDir>
#include <QImage>
#include <QString>
#include <cstdio>

#include "window/qt/main_window.h"

int main(int argc, char* argv[]) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: make_icons DIR SIZE...\n");
    return 2;
  }
  const QString root = QString::fromLocal8Bit(argv[1]);
  for (int i = 2; i < argc; ++i) {
    const int size = QString::fromLocal8Bit(argv[i]).toInt();
    const QString folder = QStringLiteral("%1/%2x%2/apps").arg(root).arg(size);
    if (size <= 0 || !QDir().mkpath(folder) || !trimora::TrimoraIconImage(size).save(folder + "/trimora.png")) {
      std::fprintf(stderr, "make_icons: cannot write the %s px icon under %s\n", argv[i], argv[1]);
      return 1;
    }
  }
  return 0;
}
