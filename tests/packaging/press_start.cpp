// A user's hand for the installed program, loaded into it with LD_PRELOAD.
//
// Once the program's application exists, this waits for the main window,
// types the titles of QUILLMARK_TEST_TITLES (separated by "|") into the title
// box and presses 开始生成, as a user would. When every title's logo file in
// the working directory holds a picture, it prints "saved in <folder>" on
// standard output and quits the program (exit code 0). After 60 s without
// that it prints "gave up in <folder>" and quits with the same code, so the
// test that reads the output decides.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <memory>

namespace {

QWidget* mainWindow() {
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (widget->findChild<QPushButton*>(QString::fromUtf8("按钮1")) != nullptr && widget->isVisible()) return widget;
  return nullptr;
}

bool allSaved(int count) {
  for (int n = 1; n <= count; ++n) {
    QImage image;
    if (!image.load(QDir::current().filePath(QString::number(n) + QStringLiteral(".png")), "PNG")) return false;
  }
  return true;
}

void finish(const char* how) {
  std::printf("%s in %s\n", how, QDir::currentPath().toUtf8().constData());
  std::fflush(stdout);
  QCoreApplication::quit();
}

void pressStart() {
  auto* timer = new QTimer(QCoreApplication::instance());
  auto ticks = std::make_shared<int>(0);
  auto pressed = std::make_shared<bool>(false);
  const QStringList titles = qEnvironmentVariable("QUILLMARK_TEST_TITLES", QStringLiteral("Quillmark")).split('|');
  QObject::connect(timer, &QTimer::timeout, [=] {
    ++*ticks;
    if (*ticks > 600) {
      timer->stop();
      finish("gave up");
      return;
    }
    if (!*pressed) {
      QWidget* window = mainWindow();
      if (window == nullptr) return;
      window->findChild<QPlainTextEdit*>(QString::fromUtf8("编辑框1"))->setPlainText(titles.join('\n'));
      window->findChild<QPushButton*>(QString::fromUtf8("按钮1"))->click();
      *pressed = true;
      return;
    }
    if (allSaved(static_cast<int>(titles.size()))) {
      timer->stop();
      finish("saved");
    }
  });
  timer->start(100);
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(pressStart)
