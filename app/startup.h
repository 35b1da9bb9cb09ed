// Start-up: from the program's folder to the window's message loop.
//
// Makes the program's folder the working directory, creates the Qt
// application with the Qt fatal-error box, creates and shows MainWindow and
// runs the event loop. When the window closes the process ends at once,
// running jobs included: no worker is left waiting on a window that is gone.
#pragma once

#include <functional>

#include "app/main_window.h"

namespace quillmark {

// Runs the program and never returns: the process ends with exit code 0 when
// the window closes (or the event loop ends otherwise), and with the fatal
// box and exit code -1 when the window cannot be created. `job` is what a
// click of 按钮1 runs; `whenShown`, when given, is called with the window
// once it is shown and before the event loop runs.
[[noreturn]] void runProgram(int& argc, char** argv, MainWindow::Job job,
                             const std::function<void(MainWindow&)>& whenShown = {});

}  // namespace quillmark
