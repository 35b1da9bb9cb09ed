// Start-up: from the process to the window's message loop.
//
// Creates the Qt application with the program's name alone (the program reads
// no command line, and Qt's own options such as -platform or -reverse are not
// obeyed), ends with the fatal error on standard error when no window system
// can be reached, sets the empty application display name (so an empty
// caption gives an empty title bar, not the program's name), installs the Qt
// fatal-error box, enters the folder the logos go into (see
// working_folder.h), creates and shows MainWindow and runs the event loop. When the window closes the process ends at once, running jobs
// included: no worker is left waiting on a window that is gone.
#pragma once

#include <functional>

#include "app/logo_batch.h"
#include "app/main_window.h"
#include "app/service_on_demand.h"

namespace quillmark {

// Runs the program and never returns. The process ends with exit code 0 when
// the window closes (or the event loop ends otherwise); with the fatal error
// and exit code -1 (255) when the window system cannot be started (text on
// standard error), when no folder for the logos can be had or entered (the
// box names the folder and the reason), or when the window cannot be created.
// Only argv[0] is read, and only it reaches Qt. `job` is what a click of 按钮1
// runs; `whenShown`, when given, is called with the window once it is shown
// and before the event loop runs.
[[noreturn]] void runProgram(int& argc, char** argv, MainWindow::Job job,
                             const std::function<void(MainWindow&)>& whenShown = {});

// The job of the shipped window program for `service`: runLogoBatchWithService
// with `launch`, its warning shown once in a warning box (through the GUI
// thread, without waiting for it to be closed), then the end-of-batch desktop
// notification (notifyBatchFinished). The window itself learns nothing of the
// counts.
MainWindow::Job logoJob(LogoService service, ServiceLaunch launch);

// Shows `textUtf8` in a warning box on the application's thread and returns
// at once, from any thread. Does nothing when no QApplication exists.
void showWarningBox(const std::string& textUtf8);

}  // namespace quillmark
