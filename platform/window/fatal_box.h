// The fatal-error box as a Qt message box.
//
// platform/dialog ends the process after a fatal error; once the Qt
// application is up, this presenter shows the error as a modal critical box
// first. From a worker thread the box is shown through the GUI thread while
// the caller waits, so it never touches widgets off that thread.
#pragma once

#include <string_view>

namespace quillmark::platform {

// Shows a modal QMessageBox::critical with the UTF-8 title and text and
// returns when it is closed. Called from a thread other than the GUI thread
// it shows the box there and waits. Without a QApplication it writes title
// and text to standard error instead, one line each.
void presentFatalBoxWithQt(std::string_view titleUtf8, std::string_view textUtf8);

// Makes presentFatalBoxWithQt the presenter of platform/dialog.
void installQtFatalBoxPresenter() noexcept;

}  // namespace quillmark::platform
