#include "app/main_window.h"

#include <QFont>
#include <QGuiApplication>
#include <QIcon>
#include <QPalette>
#include <QScreen>
#include <QString>

#include <string>
#include <thread>

#include "app/icon_templates.h"
#include "platform/codepage.h"
#include "platform/shell.h"
#include "platform/window/thread_call.h"

namespace quillmark {
namespace {

QString toQString(const Text& text) {
  return QString::fromStdU16String(platform::toUtf16(platform::kCodePageGbk, text.view()));
}

Text toText(const QString& string) {
  const std::u16string_view units(reinterpret_cast<const char16_t*>(string.utf16()),
                                  static_cast<size_t>(string.size()));
  return Text(platform::fromUtf16(platform::kCodePageGbk, units));
}

// Edit boxes hold their lines with \n between them; the window's texts have
// CR LF. A lone CR or LF also ends a line when text is put in.
QString linesForEditBox(const Text& text) {
  QString string = toQString(text);
  string.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  string.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return string;
}

Text linesFromEditBox(const QPlainTextEdit& box) {
  QString string = box.toPlainText();  // paragraph and line separators come as \n
  string.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
  return toText(string);
}

QPushButton* makeButton(QWidget* parent, const char* name, const char* textUtf8, QRect geometry) {
  auto* button = new QPushButton(QString::fromUtf8(textUtf8), parent);
  button->setObjectName(QString::fromUtf8(name));
  button->setGeometry(geometry);
  button->setFocusPolicy(Qt::StrongFocus);
  button->setAutoDefault(false);
  return button;
}

// Multi-line, no scroll bars, lines wrapped at the box's width, plain text,
// a sunken edge, black on white, left-aligned; Tab moves on to the next
// control instead of going into the text.
QPlainTextEdit* makeEditBox(QWidget* parent, const char* name, const Text& text, QRect geometry) {
  auto* box = new QPlainTextEdit(parent);
  box->setObjectName(QString::fromUtf8(name));
  box->setGeometry(geometry);
  box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  box->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  box->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  box->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  box->setLineWidth(2);
  QPalette palette = box->palette();
  palette.setColor(QPalette::Base, Qt::white);
  palette.setColor(QPalette::Text, Qt::black);
  box->setPalette(palette);
  QTextOption option = box->document()->defaultTextOption();
  option.setAlignment(Qt::AlignLeft);
  box->document()->setDefaultTextOption(option);
  box->setTabChangesFocus(true);
  box->setFocusPolicy(Qt::StrongFocus);
  box->setPlainText(linesForEditBox(text));
  return box;
}

// Caption text as the title bar should show it: Qt reads "[*]" as the mark of
// unsaved changes and would drop it, while a doubled "[*][*]" stands for
// "[*]" itself. The empty caption is the null string: with the empty display
// name that start-up sets, that is the title Qt's X11 platform shows as empty
// instead of putting the program's name in its place.
QString literalWindowTitle(const Text& caption) {
  if (caption.view().empty()) return QString();
  QString title = toQString(caption);
  title.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
  return title;
}

}  // namespace

MainWindow::MainWindow(Job job, QWidget* parent)
    : QWidget(parent,
              Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                  Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      job_(std::move(job)),
      caption_(gbk("Quillmark工具")) {
  setWindowTitle(literalWindowTitle(caption_));
  setWindowIcon(QIcon(QStringLiteral(":/quillmark/quillmark.ico")));
  setFixedSize(kClientWidth, kClientHeight);

  按钮2 = makeButton(this, "按钮2", "打赏", QRect(280, 288, 96, 40));

  透明标签1 = new platform::TransparentLabel(
      QString::fromUtf8("更新时间20100115   版本失效点击此处获取最新版本"), this);
  透明标签1->setObjectName(QStringLiteral("透明标签1"));
  透明标签1->setGeometry(8, 336, 384, 24);
  QFont labelFont = 透明标签1->font();
  labelFont.setPixelSize(16);
  labelFont.setWeight(QFont::Normal);
  透明标签1->setFont(labelFont);
  透明标签1->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

  编辑框2 = makeEditBox(this, "编辑框2", iconTemplateList(), QRect(168, 8, 152, 240));
  编辑框2->hide();  // only the store of the template list, never shown
  编辑框1 = makeEditBox(this, "编辑框1", gbk("一行一个标题"), QRect(8, 120, 376, 152));
  按钮1 = makeButton(this, "按钮1", "开始生成", QRect(32, 288, 104, 40));

  图片框1 = new platform::PictureBox(this);
  图片框1->setObjectName(QStringLiteral("图片框1"));
  图片框1->setGeometry(16, 8, 376, 104);

  connect(按钮1, &QPushButton::clicked, this, &MainWindow::onStartClicked);
  connect(透明标签1, &platform::TransparentLabel::leftButtonPressed, this,
          &MainWindow::onUpdateLabelPressed);

  // Centre the outer rectangle, frame and title bar included, on the screen.
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.x() + (area.width() - kOuterWidth) / 2, area.y() + (area.height() - kOuterHeight) / 2);
  }
}

std::string_view MainWindow::updateUrl() { return QUILLMARK_UPDATE_URL; }

Text MainWindow::readEditText(EditBox box) {
  return platform::callOnThreadOf(this, [this, box] {
    return linesFromEditBox(box == EditBox::Titles ? *编辑框1 : *编辑框2);
  });
}

void MainWindow::writeCaption(const Text& caption) {
  // Kept and shown together on the GUI thread, so that when two threads
  // write at once the copy is always the caption on show.
  platform::callOnThreadOf(this, [this, &caption] {
    {
      std::lock_guard lock(captionMutex_);
      caption_ = caption;
    }
    setWindowTitle(literalWindowTitle(caption));
  });
}

Text MainWindow::readCaption() {
  std::lock_guard lock(captionMutex_);
  return caption_;
}

void MainWindow::writePicture(ByteBuffer picture) {
  platform::callOnThreadOf(this, [this, &picture] { 图片框1->setPicture(std::move(picture).take()); });
}

ByteBuffer MainWindow::readPicture() {
  return platform::callOnThreadOf(this, [this] { return ByteBuffer(图片框1->pictureBytes()); });
}

void MainWindow::onStartClicked() {
  try {
    std::thread([job = job_, this] {
      if (job) job(*this);
    }).detach();
  } catch (...) {
    // No thread (or no memory to copy the job into it): nothing starts.
  }
}

void MainWindow::onUpdateLabelPressed() { platform::openUrl(updateUrl()); }

}  // namespace quillmark
