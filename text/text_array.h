// TextArray: an ordered list of Text with checked 1-based positions.
//
// Every access checks its position first: a position below 1 ends the
// program with run-time error 4, one above the size with run-time error 1
// (see runtime_error.h). A faulty access never touches memory outside the
// array.
#pragma once

#include <vector>

#include "text/text.h"

namespace quillmark {

class TextArray {
 public:
  TextArray() = default;
  // Copies get their memory like every other new value: a copy that cannot
  // be had ends the program (text/allocation.h). Moves never allocate.
  TextArray(const TextArray& other);
  TextArray& operator=(const TextArray& other);
  TextArray(TextArray&&) noexcept = default;
  TextArray& operator=(TextArray&&) noexcept = default;
  ~TextArray() = default;

  int size() const noexcept { return static_cast<int>(items_.size()); }
  bool empty() const noexcept { return items_.empty(); }

  // The item at `position`, for reading or writing. Fatal (code 4) below 1,
  // fatal (code 1) above size().
  const Text& at(int position) const;
  Text& at(int position);

  // Appends a copy of `item` at the end; size() grows by one.
  void append(Text item);
  // Removes the item at `position`; the items after it move up by one.
  // Fatal outside 1..size(), as at().
  void removeAt(int position);
  // Makes room for `capacity` items without changing the contents, so that
  // appending that many moves none; ignored when capacity <= size().
  void reserve(int capacity);
  // Removes every item.
  void clear() noexcept { items_.clear(); }

  // Iteration in order, for range-for; no position checks are needed.
  auto begin() const noexcept { return items_.begin(); }
  auto end() const noexcept { return items_.end(); }

  friend bool operator==(const TextArray&, const TextArray&) = default;

 private:
  void checkPosition(int position) const;
  std::vector<Text> items_;
};

}  // namespace quillmark
