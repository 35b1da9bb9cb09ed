#include "platform/dialog.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/codepage.h"

namespace quillmark::platform {
namespace {

std::atomic<FatalBoxPresenter> currentPresenter{nullptr};

void writeToStandardError(std::string_view titleUtf8, std::string_view textUtf8) {
  std::string box;
  box.append(titleUtf8).append("\n").append(textUtf8).append("\n");
  std::fwrite(box.data(), 1, box.size(), stderr);
  std::fflush(stderr);
}

}  // namespace

void setFatalBoxPresenter(FatalBoxPresenter presenter) noexcept { currentPresenter = presenter; }

void showFatalBoxAndExit(std::string_view titleCp936, std::string_view textCp936) noexcept {
  std::string title;
  std::string text;
  try {
    title = gbkToUtf8(titleCp936);
    text = gbkToUtf8(textCp936);
  } catch (...) {
    // Out of memory while converting: show the raw bytes rather than nothing.
    title.clear();
    text.clear();
  }
  FatalBoxPresenter presenter = currentPresenter.load();
  try {
    (presenter != nullptr ? presenter : writeToStandardError)(title, text);
  } catch (...) {
  }
  std::_Exit(-1);
}

}  // namespace quillmark::platform
