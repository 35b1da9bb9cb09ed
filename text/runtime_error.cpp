#include "text/runtime_error.h"

#include <charconv>
#include <string>
#include <string_view>

#include "platform/dialog.h"

namespace quillmark {
namespace {

// The fixed parts of the box, in code page 936. Kept as bytes so that
// reporting an error never depends on converting (or allocating) first.
constexpr std::string_view kTitle = "\xB4\xED\xCE\xF3";                                // 错误
constexpr std::string_view kHeading = "\xD4\xCB\xD0\xD0\xCA\xB1\xB3\xF6\xB4\xED!";   // 运行时出错!
constexpr std::string_view kCodeLabel = "\xB4\xED\xCE\xF3\xB4\xFA\xC2\xEB\xA3\xBA";  // 错误代码：
constexpr std::string_view kMessageLabel = "\xB4\xED\xCE\xF3\xD0\xC5\xCF\xA2\xA3\xBA";  // 错误信息：
constexpr std::string_view kCrLf = "\r\n";

std::string decimal(long long value) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  return std::string(digits, end);
}

std::string boxText(int code, std::string_view message, const SourceLocation& where) {
  std::string text;
  text.append(kHeading).append(kCrLf);
  if (code != 0) text.append(kCrLf).append(kCodeLabel).append(decimal(code)).append(kCrLf);
  if (!message.empty()) text.append(kCrLf).append(kMessageLabel).append(message).append(kCrLf);
  text.append(kCrLf).append(where.file_name()).append(":").append(decimal(where.line()));
  text.append(" (").append(where.function_name()).append(")");
  return text;
}

[[noreturn]] void showBox(int code, std::string_view message, const SourceLocation& where) {
  std::string text;
  try {
    text = boxText(code, message, where);
  } catch (...) {
    // Not even the box text could be had: show the heading alone.
    platform::showFatalBoxAndExit(kTitle, kHeading);
  }
  platform::showFatalBoxAndExit(kTitle, text);
}

}  // namespace

const Text& indexAboveSizeMessage() {
  static const Text message("\xCA\xFD\xD7\xE9\xB3\xC9\xD4\xB1\xD2\xFD\xD3\xC3\xCF\xC2\xB1\xEA\xB3\xAC\xB3\xF6\xB6\xA8\xD2\xE5\xB7\xB6\xCE\xA7");
  return message;
}

const Text& indexBelowOneMessage() {
  static const Text message("\xCA\xFD\xD7\xE9\xB3\xC9\xD4\xB1\xD2\xFD\xD3\xC3\xCF\xC2\xB1\xEA\xB1\xD8\xD0\xEB\xB4\xF3\xD3\xDA\xB5\xC8\xD3\xDA" "1");
  return message;
}

const Text& moduloByZeroMessage() {
  static const Text message("\xB2\xBB\xC4\xDC\xC7\xF3\xD3\xE0\xCA\xFD\xD3\xDA\xC1\xE3");
  return message;
}

Text runtimeErrorText(int code, const Text& message, const SourceLocation& where) {
  return Text(allocateOrFail(message.view().size() + 128, [&] { return boxText(code, message.view(), where); }));
}

void raiseRuntimeError(int code, const Text& message, SourceLocation where) {
  showBox(code, message.view(), where);
}

void raiseAllocationFailure(std::size_t bytes, SourceLocation where) {
  // "分配 %d 字节内存失败!", built on the stack: memory is short right now.
  char message[96];
  constexpr std::string_view kBefore = "\xB7\xD6\xC5\xE4 ";                                 // 分配
  constexpr std::string_view kAfter = " \xD7\xD6\xBD\xDA\xC4\xDA\xB4\xE6\xCA\xA7\xB0\xDC!";  // 字节内存失败!
  char* out = message;
  out = kBefore.copy(out, kBefore.size()) + out;
  out = std::to_chars(out, message + 40, bytes).ptr;
  out = kAfter.copy(out, kAfter.size()) + out;
  showBox(0, std::string_view(message, static_cast<std::size_t>(out - message)), where);
}

}  // namespace quillmark
