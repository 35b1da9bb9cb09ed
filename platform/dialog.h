// The fatal-error box and ending the process.
//
// Until a window system is up the box is written to standard error; the
// window layer installs a presenter that shows a modal critical box instead.
// Either way the process then ends at once with exit code -1 (255 as Linux
// reports it): no destructors run and no other thread is waited for.
#pragma once

#include <string_view>

namespace quillmark::platform {

// Shows a box with a UTF-8 title and text and returns when it is closed.
using FatalBoxPresenter = void (*)(std::string_view titleUtf8, std::string_view textUtf8);

// Installs the presenter used from now on; nullptr restores standard error.
void setFatalBoxPresenter(FatalBoxPresenter presenter) noexcept;

// Converts title and text from code page 936 to UTF-8, presents them, and
// ends the process with exit code -1. Never returns.
[[noreturn]] void showFatalBoxAndExit(std::string_view titleCp936, std::string_view textCp936) noexcept;

}  // namespace quillmark::platform
