// Writes a picture of the main window as it looks at start to a PNG file:
//   QT_QPA_PLATFORM=offscreen quillmark_screenshot docs/main-window.png
// The window is drawn without the title bar and frame, which belong to the
// window manager.
#include <QApplication>
#include <QPixmap>

#include <cstdio>

#include "app/main_window.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output.png>\n", argv[0]);
    return 2;
  }
  QApplication application(argc, argv);
  quillmark::MainWindow window({});
  window.show();
  QApplication::processEvents();
  return window.grab().save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
}
