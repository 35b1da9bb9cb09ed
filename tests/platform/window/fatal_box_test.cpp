#include "platform/window/fatal_box.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>
#include <thread>

#include "platform/codepage.h"
#include "platform/dialog.h"

namespace quillmark::platform {
namespace {

// Closes the first modal box that appears, after writing what it showed.
void closeTheBoxWhenItAppears() {
  auto* timer = new QTimer(qApp);
  QObject::connect(timer, &QTimer::timeout, [timer] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    timer->stop();
    std::fprintf(stderr, "shown: [%s] [%s] critical=%d\n", box->windowTitle().toUtf8().constData(),
                 box->text().toUtf8().constData(), box->icon() == QMessageBox::Critical ? 1 : 0);
    box->accept();
  });
  timer->start(5);
}

TEST(QtFatalBoxDeathTest, ShowsAWorkersErrorThroughTheGuiThreadThenEnds) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        installQtFatalBoxPresenter();
        closeTheBoxWhenItAppears();
        std::thread worker([] { showFatalBoxAndExit(utf8ToGbk("错误 box"), utf8ToGbk("出错了")); });
        worker.detach();
        QApplication::exec();
      },
      testing::ExitedWithCode(255), "shown: \\[错误 box\\] \\[出错了\\] critical=1");
}

TEST(QtFatalBoxDeathTest, ShowsAGuiThreadErrorDirectly) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        installQtFatalBoxPresenter();
        closeTheBoxWhenItAppears();
        showFatalBoxAndExit("Title", "Text");
      },
      testing::ExitedWithCode(255), "shown: \\[Title\\] \\[Text\\] critical=1");
}

}  // namespace
}  // namespace quillmark::platform
