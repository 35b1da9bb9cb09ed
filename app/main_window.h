// MainWindow: the tool's one window, its six controls and their handlers.
//
// The window has a fixed size and no maximise box. Its controls are created
// in a fixed order with fixed names, places and texts; 编辑框2 stays hidden
// and only stores the icon template list. A click on 按钮1 starts the batch
// job on a detached worker thread of its own; pressing the left mouse button
// on 透明标签1 opens the update page in the browser; 按钮2 does nothing.
//
// The job touches the window only through WindowOperations. Every operation
// may be called from any thread: from a worker it runs on the GUI thread as
// a blocking call (so the GUI thread's event loop must be running), on the
// GUI thread it runs directly.
#pragma once

#include <QPlainTextEdit>
#include <QPushButton>
#include <QWidget>

#include <functional>
#include <mutex>
#include <string_view>

#include "app/window_operations.h"
#include "platform/window/picture_box.h"
#include "platform/window/transparent_label.h"
#include "text/byte_buffer.h"
#include "text/text.h"

namespace quillmark {

class MainWindow : public QWidget, public WindowOperations {
  Q_OBJECT

 public:
  // What one click of 按钮1 runs on its worker thread, given the window.
  using Job = std::function<void(WindowOperations&)>;

  // Outer size (frame and title bar included) and the client area inside a
  // 3-pixel fixed frame and a 20-pixel title bar.
  static constexpr int kOuterWidth = 410;
  static constexpr int kOuterHeight = 388;
  static constexpr int kClientWidth = 404;
  static constexpr int kClientHeight = 362;

  // Creates the window with its controls, centred on the primary screen, not
  // yet shown. `job` runs once per click of 按钮1; an empty job does nothing.
  explicit MainWindow(Job job, QWidget* parent = nullptr);

  // The page 透明标签1 opens, fixed when the program is built.
  static std::string_view updateUrl();

  Text readEditText(EditBox box) override;
  // The title bar shows `caption` exactly, "[*]" included; under start-up
  // the empty caption shows as an empty title bar.
  void writeCaption(const Text& caption) override;
  Text readCaption() override;
  void writePicture(ByteBuffer picture) override;
  ByteBuffer readPicture() override;

  // 按钮1 clicked: starts the job on a new detached thread and returns at
  // once. A thread that cannot be started goes unnoticed.
  void onStartClicked();
  // Left mouse button pressed on 透明标签1: asks the shell to open
  // updateUrl(). Nothing is checked or reported.
  void onUpdateLabelPressed();

 private:
  // The controls, declared (and so created) in their fixed order.
  QPushButton* 按钮2;
  platform::TransparentLabel* 透明标签1;
  QPlainTextEdit* 编辑框2;
  QPlainTextEdit* 编辑框1;
  QPushButton* 按钮1;
  platform::PictureBox* 图片框1;

  Job job_;
  std::mutex captionMutex_;
  Text caption_;  // the copy of the last caption written; guarded by captionMutex_
};

}  // namespace quillmark
