// Where in the source a call came from, for the run-time error box.
//
// SourceLocation is std::source_location where the standard library offers
// it. Some compilers that build Quillmark (clang 14 with libstdc++ 12) lack
// the built-in it needs; there a small stand-in with the same members
// (current(), file_name(), line(), function_name()) is used instead, filled
// by the compiler's __builtin_FILE, __builtin_LINE and __builtin_FUNCTION.
#pragma once

#include <cstdint>
#include <version>

#if defined(__cpp_lib_source_location)
#include <source_location>
#endif

namespace quillmark {

#if defined(__cpp_lib_source_location)
using SourceLocation = std::source_location;
#else
class SourceLocation {
 public:
  // The place of the call that leaves these arguments to their defaults.
  static constexpr SourceLocation current(const char* file = __builtin_FILE(),
                                          std::uint_least32_t line = __builtin_LINE(),
                                          const char* function = __builtin_FUNCTION()) noexcept {
    SourceLocation where;
    where.file_ = file;
    where.line_ = line;
    where.function_ = function;
    return where;
  }
  constexpr SourceLocation() noexcept = default;

  constexpr const char* file_name() const noexcept { return file_; }
  constexpr std::uint_least32_t line() const noexcept { return line_; }
  constexpr std::uint_least32_t column() const noexcept { return 0; }
  constexpr const char* function_name() const noexcept { return function_; }

 private:
  const char* file_ = "";
  std::uint_least32_t line_ = 0;
  const char* function_ = "";
};
#endif

}  // namespace quillmark
