// Paints the program's window picture as the PNG icons of the desktop menu, one file
// per size, from the same drawing code the window uses, so the two never drift apart.
// Usage: paint-icons DIR SIZE...   writes DIR/SIZExSIZE/apps/doorlock-interface.png
#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <cstdio>
#include <cstdlib>

#include "host/images/PicturesUnit.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: paint-icons DIR SIZE...\n");
    return 2;
  }
  // Painting needs no screen; a build machine has none.
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QGuiApplication application(argc, argv);
  const QString root = QString::fromLocal8Bit(argv[1]);
  for (int i = 2; i < argc; ++i) {
    bool ok = false;
    const int size = QString::fromLocal8Bit(argv[i]).toInt(&ok);
    if (!ok || size < 1 || size > 1024) {
      std::fprintf(stderr, "paint-icons: not a size: %s\n", argv[i]);
      return 2;
    }
    const QString dir = QStringLiteral("%1/%2x%2/apps").arg(root).arg(size);
    const QString file = dir + QStringLiteral("/doorlock-interface.png");
    const QPixmap picture = KeyRingPixmap(size);
    if (!QDir().mkpath(dir) || picture.size() != QSize(size, size) || !picture.save(file, "PNG")) {
      std::fprintf(stderr, "paint-icons: cannot write %s\n", file.toLocal8Bit().constData());
      return 1;
    }
  }
  return 0;
}
