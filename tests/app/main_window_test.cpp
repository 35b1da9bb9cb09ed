#include "app/main_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMetaMethod>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QWindow>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/shell.h"
#include "platform/window/picture_box.h"
#include "platform/window/transparent_label.h"

namespace quillmark {
namespace {

struct ControlCase {
  const char* name;
  const char* className;
  QRect geometry;
  const char* text;  // UTF-8; null for the two controls without a text of their own
  bool visible;
  bool tabStop;
};

const ControlCase kControls[] = {
    {"按钮2", "QPushButton", QRect(280, 288, 96, 40), "打赏", true, true},
    {"透明标签1", "quillmark::platform::TransparentLabel", QRect(8, 336, 384, 24),
     "更新时间20100115   版本失效点击此处获取最新版本", true, false},
    {"编辑框2", "QPlainTextEdit", QRect(168, 8, 152, 240), nullptr, false, true},
    {"编辑框1", "QPlainTextEdit", QRect(8, 120, 376, 152), "一行一个标题", true, true},
    {"按钮1", "QPushButton", QRect(32, 288, 104, 40), "开始生成", true, true},
    {"图片框1", "quillmark::platform::PictureBox", QRect(16, 8, 376, 104), nullptr, true, false},
};

QString name(const char* utf8) { return QString::fromUtf8(utf8); }

// Serves the GUI thread's events until `done` holds (or a minute has passed,
// so that a fault shows as a failure rather than a hang).
template <typename Condition>
bool serveEventsUntil(Condition done) {
  for (int i = 0; i < 6000 && !done(); ++i) QTest::qWait(10);
  return done();
}

class MainWindowTest : public testing::Test {
 protected:
  explicit MainWindowTest(MainWindow::Job job = {}) : window(std::move(job)) {
    platform::setUrlHandler([this](const std::string& url) { opened.push_back(url); });
    window.show();
  }
  ~MainWindowTest() override { platform::setUrlHandler({}); }

  template <typename Widget>
  Widget* control(const char* utf8) {
    return window.findChild<Widget*>(name(utf8), Qt::FindDirectChildrenOnly);
  }

  std::vector<std::string> opened;
  MainWindow window;
};

TEST_F(MainWindowTest, CreatesItsControlsInOrderWithTheirPlacesAndTexts) {
  std::vector<QString> order;
  for (QObject* child : window.children()) {
    if (child->isWidgetType()) order.push_back(child->objectName());
  }
  std::vector<QString> expected;
  for (const ControlCase& c : kControls) expected.push_back(name(c.name));
  EXPECT_EQ(order, expected);

  for (const ControlCase& c : kControls) {
    SCOPED_TRACE(c.name);
    QWidget* widget = control<QWidget>(c.name);
    ASSERT_NE(widget, nullptr);
    EXPECT_STREQ(widget->metaObject()->className(), c.className);
    EXPECT_EQ(widget->geometry(), c.geometry);
    EXPECT_EQ(widget->isVisible(), c.visible);
    EXPECT_EQ((widget->focusPolicy() & Qt::TabFocus) != 0, c.tabStop);
    if (c.text == nullptr) continue;
    QString text;
    if (auto* button = qobject_cast<QPushButton*>(widget)) text = button->text();
    if (auto* label = qobject_cast<QLabel*>(widget)) text = label->text();
    if (auto* edit = qobject_cast<QPlainTextEdit*>(widget)) text = edit->toPlainText();
    EXPECT_EQ(text.toStdString(), c.text);
  }
  EXPECT_TRUE(control<platform::PictureBox>("图片框1")->picture().isEmpty());
  EXPECT_TRUE(control<platform::PictureBox>("图片框1")->image().isNull());
}

TEST_F(MainWindowTest, IsAFixedCentredWindowWithCaptionIconAndNoMaximiseBox) {
  EXPECT_EQ(window.windowTitle().toStdString(), "Quillmark工具");
  EXPECT_EQ(window.size(), QSize(404, 362));
  EXPECT_EQ(window.minimumSize(), QSize(404, 362));
  EXPECT_EQ(window.maximumSize(), QSize(404, 362));
  const Qt::WindowFlags flags = window.windowFlags();
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
  EXPECT_TRUE(flags & Qt::WindowTitleHint);

  // The outer rectangle, 410 x 388 from the window's position, is centred.
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  const QRect outer(window.pos(), QSize(410, 388));
  EXPECT_LE(std::abs(outer.center().x() - area.center().x()), 1);
  EXPECT_LE(std::abs(outer.center().y() - area.center().y()), 1);

  const QList<QSize> iconSizes = window.windowIcon().availableSizes();
  ASSERT_EQ(iconSizes.size(), 1);
  EXPECT_EQ(iconSizes.front(), QSize(120, 128));

  // The icon file itself: one directory entry, 120 x 128 at 32 bits per pixel.
  QFile file(QStringLiteral(":/quillmark/quillmark.ico"));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray ico = file.readAll();
  ASSERT_GE(ico.size(), 22);
  EXPECT_EQ(ico.left(6), QByteArray("\0\0\1\0\1\0", 6));
  EXPECT_EQ(static_cast<unsigned char>(ico[6]), 120);
  EXPECT_EQ(static_cast<unsigned char>(ico[7]), 128);
  EXPECT_EQ(static_cast<unsigned char>(ico[12]), 32);
  EXPECT_EQ(ico[13], 0);
}

TEST_F(MainWindowTest, SetsUpBothEditBoxesAlike) {
  for (const char* box : {"编辑框1", "编辑框2"}) {
    SCOPED_TRACE(box);
    auto* edit = control<QPlainTextEdit>(box);
    EXPECT_EQ(edit->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(edit->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(edit->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    EXPECT_FALSE(edit->isReadOnly());
    EXPECT_EQ(edit->frameShadow(), QFrame::Sunken);
    EXPECT_EQ(edit->palette().color(QPalette::Base), QColor(Qt::white));
    EXPECT_EQ(edit->palette().color(QPalette::Text), QColor(Qt::black));
    EXPECT_TRUE(edit->document()->defaultTextOption().alignment() & Qt::AlignLeft);
  }
}

TEST_F(MainWindowTest, DrawsTheLabelTransparentlyInASixteenPixelFont) {
  auto* label = control<QLabel>("透明标签1");
  EXPECT_EQ(label->font().pixelSize(), 16);
  EXPECT_EQ(label->font().weight(), QFont::Normal);
  EXPECT_FALSE(label->autoFillBackground());
}

TEST_F(MainWindowTest, TabMovesThroughTheVisibleTabStopsInCreationOrder) {
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  control<QWidget>("按钮2")->setFocus();
  std::vector<QString> visited;
  for (int i = 0; i < 4; ++i) {
    visited.push_back(QApplication::focusWidget()->objectName());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  }
  EXPECT_EQ(visited, (std::vector<QString>{name("按钮2"), name("编辑框1"), name("按钮1"), name("按钮2")}));
}

TEST_F(MainWindowTest, ShowsNoTraceOfTheTemplateList) {
  const QImage shown = window.grab().toImage();
  for (QWidget* widget : window.findChildren<QWidget*>()) {
    if (!widget->isVisible()) continue;
    QString text;
    if (auto* edit = qobject_cast<QPlainTextEdit*>(widget)) text = edit->toPlainText();
    if (auto* label = qobject_cast<QLabel*>(widget)) text = label->text();
    EXPECT_FALSE(text.contains(QStringLiteral(".png"))) << widget->objectName().toStdString();
  }
  // Emptying the hidden box changes nothing that is drawn.
  control<QPlainTextEdit>("编辑框2")->clear();
  EXPECT_EQ(window.grab().toImage(), shown);
}

TEST_F(MainWindowTest, TheLabelOpensTheUpdatePageOnALeftButtonPress) {
  auto* label = control<QWidget>("透明标签1");
  QTest::mousePress(label, Qt::RightButton, {}, QPoint(20, 12));
  QTest::mouseRelease(label, Qt::RightButton, {}, QPoint(20, 12));
  EXPECT_TRUE(opened.empty());
  QTest::mousePress(label, Qt::LeftButton, {}, QPoint(20, 12));
  EXPECT_EQ(opened, std::vector<std::string>{QUILLMARK_UPDATE_URL});
  EXPECT_EQ(MainWindow::updateUrl(), QUILLMARK_UPDATE_URL);
  EXPECT_EQ(MainWindow::updateUrl().substr(0, 8), "https://");
}

// A job that counts its starts and waits until it is released. Each test has
// its own gate; the jobs share its state with the test, so a job still
// waiting when a failed test ends finds the state alive, and the fixture
// releases every job when the test ends.
class GatedJob {
 public:
  MainWindow::Job job() {
    return [state = state_](WindowOperations&) {
      std::unique_lock lock(state->mutex);
      ++state->started;
      state->changed.notify_all();
      state->changed.wait(lock, [&] { return state->released; });
      --state->started;
      state->changed.notify_all();
    };
  }
  int running() const {
    std::lock_guard lock(state_->mutex);
    return state_->started;
  }
  // Lets every job end and waits until the ones that started have ended.
  void finish() {
    std::unique_lock lock(state_->mutex);
    state_->released = true;
    state_->changed.notify_all();
    state_->changed.wait(lock, [&] { return state_->started == 0; });
  }

 private:
  struct State {
    std::mutex mutex;
    std::condition_variable changed;
    int started = 0;
    bool released = false;
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

// Holds the gate, so that it exists before the window that is given its job.
struct GateHolder {
  GatedJob gate;
};

class MainWindowJobTest : protected GateHolder, public MainWindowTest {
 protected:
  MainWindowJobTest() : MainWindowTest(gate.job()) {}
  ~MainWindowJobTest() override { gate.finish(); }
};

TEST_F(MainWindowJobTest, EachClickOfTheStartButtonRunsAJobAlongsideTheOthers) {
  auto* start = control<QPushButton>("按钮1");
  QTest::mouseClick(start, Qt::LeftButton);
  ASSERT_TRUE(serveEventsUntil([this] { return gate.running() == 1; }));
  EXPECT_TRUE(start->isEnabled());
  QTest::mouseClick(start, Qt::LeftButton);
  // The first job is still running when the second starts.
  EXPECT_TRUE(serveEventsUntil([this] { return gate.running() == 2; }));
}

// Gives a test the protected signal-connection check of any QObject.
struct SignalConnections : QObject {
  using QObject::isSignalConnected;
};

TEST_F(MainWindowTest, TheOtherButtonDoesNothing) {
  auto* button = control<QPushButton>("按钮2");
  const auto isConnected = &SignalConnections::isSignalConnected;
  for (const QMetaMethod signal : {QMetaMethod::fromSignal(&QPushButton::clicked),
                                   QMetaMethod::fromSignal(&QPushButton::pressed),
                                   QMetaMethod::fromSignal(&QPushButton::released),
                                   QMetaMethod::fromSignal(&QPushButton::toggled)})
    EXPECT_FALSE((button->*isConnected)(signal)) << signal.methodSignature().toStdString();

  QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_TRUE(opened.empty());
  EXPECT_EQ(window.readCaption(), gbk("Quillmark工具"));
  EXPECT_EQ(window.readEditText(EditBox::Titles), gbk("一行一个标题"));
  EXPECT_TRUE(window.readPicture().empty());
}

}  // namespace
}  // namespace quillmark
