// Fatal run-time errors: the one way a Quillmark routine stops the program.
//
// Raised for a TextArray position out of range, modulo by zero and a value
// whose memory cannot be had. The error box (platform/dialog) titled "错误"
// shows the code, the message and where it happened; then the process ends
// at once with exit code -1 (255 as Linux reports it).
#pragma once

#include <cstddef>
#include "text/source_location.h"

#include "text/allocation.h"
#include "text/text.h"

namespace quillmark {

// Codes and messages (code page 936) of the fatal cases.
inline constexpr int kIndexAboveSizeCode = 1;
inline constexpr int kIndexBelowOneCode = 4;
inline constexpr int kModuloByZeroCode = 0;
const Text& indexAboveSizeMessage();  // "数组成员引用下标超出定义范围"
const Text& indexBelowOneMessage();   // "数组成员引用下标必须大于等于1"
const Text& moduloByZeroMessage();    // "不能求余数于零"

// The box text: "运行时出错!" CR LF; when code != 0, CR LF "错误代码：" code CR
// LF; when the message is not empty, CR LF "错误信息：" message CR LF; then the
// location. All in code page 936.
Text runtimeErrorText(int code, const Text& message, const SourceLocation& where);

// Shows the box and ends the process with exit code -1. Never returns.
[[noreturn]] void raiseRuntimeError(int code, const Text& message,
                                    SourceLocation where = SourceLocation::current());

// raiseAllocationFailure(bytes, where) (declared in text/allocation.h): code
// 0, "分配 %d 字节内存失败!" with `bytes` in place of %d.

}  // namespace quillmark
