// The window operations as the batch job uses them: from a worker thread,
// while the GUI thread serves its events.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QTest>
#include <QWindow>

#include <atomic>
#include <string>
#include <thread>

#include "app/main_window.h"
#include "platform/window/picture_box.h"
#include "support/test_images.h"

namespace quillmark {
namespace {

class WindowOperationsTest : public testing::Test {
 protected:
  WindowOperationsTest() : window({}) { window.show(); }

  // Runs `work` with the window on a worker thread and serves the GUI
  // thread's events until it is done.
  template <typename Work>
  void onWorker(Work work) {
    std::atomic<bool> done{false};
    std::thread worker([&] {
      work(static_cast<WindowOperations&>(window));
      done = true;
    });
    while (!done) QApplication::processEvents(QEventLoop::AllEvents, 10);
    worker.join();
  }

  QPlainTextEdit* titles() { return window.findChild<QPlainTextEdit*>(QString::fromUtf8("编辑框1")); }
  platform::PictureBox* pictureBox() {
    return window.findChild<platform::PictureBox*>(QString::fromUtf8("图片框1"));
  }

  MainWindow window;
};

TEST_F(WindowOperationsTest, ReadsEditTextInCodePage936WithCrLfBetweenLines) {
  struct Case {
    const char* shown;  // UTF-8, as the box holds it
    Text read;
  };
  const Case cases[] = {
      {"一行一个标题", gbk("一行一个标题")},
      {"", Text()},
      {"第一\n第二\n\nthird", gbk("第一\r\n第二\r\n\r\nthird")},
      {"ends with a break\n", gbk("ends with a break\r\n")},
      {"\xE2\x80\xA8line separator", gbk("\r\nline separator")},  // U+2028, from Shift+Enter
      {"\xF0\x9F\x98\x80", Text("?")},                             // not in code page 936
  };
  for (const Case& c : cases) {
    titles()->setPlainText(QString::fromUtf8(c.shown));
    Text read;
    onWorker([&](WindowOperations& operations) { read = operations.readEditText(EditBox::Titles); });
    EXPECT_EQ(read, c.read) << c.shown;
  }
}

TEST_F(WindowOperationsTest, TypedLinesReadBackWithCrLf) {
  titles()->clear();
  titles()->setFocus();
  QTest::keyClicks(titles(), QStringLiteral("ab"));
  QTest::keyClick(titles(), Qt::Key_Return);
  QTest::keyClicks(titles(), QStringLiteral("cd"));
  EXPECT_EQ(window.readEditText(EditBox::Titles), Text("ab\r\ncd"));
}

TEST_F(WindowOperationsTest, WritesAndReadsTheCaptionFromAWorker) {
  EXPECT_EQ(window.readCaption(), gbk("Quillmark工具"));
  Text readBack;
  onWorker([&](WindowOperations& operations) {
    operations.writeCaption(gbk("第一个标题 [*] 100%"));
    readBack = operations.readCaption();
  });
  EXPECT_EQ(readBack, gbk("第一个标题 [*] 100%"));
  EXPECT_EQ(window.windowTitle().toStdString(), "第一个标题 [*][*] 100%");
  ASSERT_NE(window.windowHandle(), nullptr);
  EXPECT_EQ(window.windowHandle()->title().toStdString(), "第一个标题 [*] 100%");

  window.writeCaption(Text());
  EXPECT_EQ(window.readCaption(), Text());
}

TEST_F(WindowOperationsTest, TheCaptionCopyIsTheLastWriteOfAnyThread) {
  onWorker([](WindowOperations& operations) { operations.writeCaption(Text("from a worker")); });
  EXPECT_EQ(window.readCaption(), Text("from a worker"));
  window.writeCaption(Text("from the window thread"));
  Text seenByWorker;
  onWorker([&](WindowOperations& operations) { seenByWorker = operations.readCaption(); });
  EXPECT_EQ(seenByWorker, Text("from the window thread"));
}

TEST_F(WindowOperationsTest, WritesAndReadsThePictureFromAWorker) {
  const QByteArray png = test::writeWithQt(test::patternImage(30, 20), "png");
  const ByteBuffer image(std::string(png.constData(), static_cast<size_t>(png.size())));
  const ByteBuffer page(std::string("<html>\0not an image</html>", 26));
  ByteBuffer imageBack;
  bool shownImage = false;
  ByteBuffer pageBack;
  bool shownPage = true;
  ByteBuffer emptyBack(std::string("x"));
  onWorker([&](WindowOperations& operations) {
    EXPECT_TRUE(operations.readPicture().empty());
    operations.writePicture(image);
    imageBack = operations.readPicture();
    shownImage = !pictureBox()->image().isNull();  // the write is done before it returns
    operations.writePicture(page);
    pageBack = operations.readPicture();
    shownPage = !pictureBox()->image().isNull();
    operations.writePicture(ByteBuffer());
    emptyBack = operations.readPicture();
  });
  EXPECT_EQ(imageBack, image);
  EXPECT_TRUE(shownImage);
  EXPECT_EQ(pageBack, page);
  EXPECT_FALSE(shownPage);
  EXPECT_TRUE(emptyBack.empty());
  EXPECT_TRUE(pictureBox()->image().isNull());
}

TEST_F(WindowOperationsTest, ShowsEveryImageFormatTheJobMayReceive) {
  const QImage original = test::patternImage(24, 16);
  const QByteArray files[] = {
      test::writeWithQt(original, "png"), test::writeWithQt(original, "jpeg"),
      test::writeWithQt(original, "bmp"), test::gifFile(test::patternImage(12, 10)),
      test::writeWithQt(original, "ico"), test::cursorFile(original, 2, 2),
      test::pcx8File(original),           test::pcx24File(original),
  };
  for (const QByteArray& file : files) {
    const ByteBuffer bytes(std::string(file.constData(), static_cast<size_t>(file.size())));
    window.writePicture(bytes);
    EXPECT_FALSE(pictureBox()->image().isNull()) << file.left(8).toHex().toStdString();
    EXPECT_EQ(window.readPicture(), bytes);
  }
}

}  // namespace
}  // namespace quillmark
