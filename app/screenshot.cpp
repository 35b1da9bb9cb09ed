// Writes a picture of the main window to a PNG file, for the README:
//   QT_QPA_PLATFORM=offscreen quillmark_screenshot docs/main-window.png
//     the window as it looks at start;
//   QT_QPA_PLATFORM=offscreen quillmark_screenshot out.png HOST "title one" "title two" ...
//     the window after a batch of those titles against the logo service at
//     HOST; the logos are written to the working directory as 1.png, 2.png...
// The window is drawn without the title bar and frame, which belong to the
// window manager.
#include <QApplication>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>
#include <QTest>

#include <atomic>
#include <cstdio>

#include "app/logo_batch.h"
#include "app/main_window.h"

int main(int argc, char** argv) {
  if (argc == 1 || argc == 3) {
    std::fprintf(stderr, "usage: %s <output.png> [<logo host> <title>...]\n", argv[0]);
    return 2;
  }
  QApplication application(argc, argv);
  std::atomic<bool> finished{false};
  const quillmark::LogoService service{quillmark::Text(argc > 2 ? argv[2] : "")};
  quillmark::MainWindow window([&](quillmark::WindowOperations& operations) {
    quillmark::runLogoBatch(operations, service);
    finished = true;
  });
  window.show();
  if (argc > 3) {
    QStringList titles;
    for (int i = 3; i < argc; ++i) titles << QString::fromLocal8Bit(argv[i]);
    window.findChild<QPlainTextEdit*>(QString::fromUtf8("编辑框1"))->setPlainText(titles.join('\n'));
    QTest::mouseClick(window.findChild<QPushButton*>(QString::fromUtf8("按钮1")), Qt::LeftButton);
    for (int i = 0; i < 3000 && !finished; ++i) QTest::qWait(10);
    if (!finished) {
      std::fprintf(stderr, "%s: the batch did not finish within 30 seconds\n", argv[0]);
      return 1;
    }
  }
  QApplication::processEvents();
  return window.grab().save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
}
