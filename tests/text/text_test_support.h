// Small pieces shared by the text tests: readable failure output and arrays from literals.
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "text/text.h"
#include "text/text_array.h"

namespace quillmark {

// Shows a Text's bytes readably in failure messages: printable ASCII as it
// is, every other byte as \xNN.
inline void PrintTo(const Text& text, std::ostream* out) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  *out << '\'';
  for (const char c : text.view()) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x20 && b < 0x7F) {
      *out << c;
    } else {
      *out << "\\x" << kHex[b >> 4] << kHex[b & 15];
    }
  }
  *out << '\'';
}

inline void PrintTo(const TextArray& items, std::ostream* out) {
  *out << '[';
  bool first = true;
  for (const Text& item : items) {
    if (!first) *out << ", ";
    first = false;
    PrintTo(item, out);
  }
  *out << ']';
}

namespace testing_support {

// A TextArray from literal items.
inline TextArray arrayOf(std::initializer_list<std::string_view> items) {
  TextArray array;
  for (const std::string_view item : items) array.append(Text(item));
  return array;
}

}  // namespace testing_support
}  // namespace quillmark
