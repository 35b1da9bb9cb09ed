#include "text/text_array.h"

#include "text/allocation.h"
#include "text/runtime_error.h"

namespace quillmark {

TextArray::TextArray(const TextArray& other)
    : items_(allocateOrFail(other.items_.size() * sizeof(Text), [&] { return other.items_; })) {}

TextArray& TextArray::operator=(const TextArray& other) {
  if (this != &other) {
    allocateOrFail(other.items_.size() * sizeof(Text), [&] { items_ = other.items_; });
  }
  return *this;
}

void TextArray::checkPosition(int position) const {
  if (position < 1) raiseRuntimeError(kIndexBelowOneCode, indexBelowOneMessage());
  if (position > size()) raiseRuntimeError(kIndexAboveSizeCode, indexAboveSizeMessage());
}

const Text& TextArray::at(int position) const {
  checkPosition(position);
  return items_[static_cast<size_t>(position) - 1];
}

Text& TextArray::at(int position) {
  checkPosition(position);
  return items_[static_cast<size_t>(position) - 1];
}

void TextArray::append(Text item) {
  const std::size_t grown = (items_.size() + 1) * sizeof(Text);
  allocateOrFail(grown, [&] { items_.push_back(std::move(item)); });
}

void TextArray::reserve(int capacity) {
  if (capacity <= size()) return;
  const auto wanted = static_cast<std::size_t>(capacity);
  allocateOrFail(wanted * sizeof(Text), [&] { items_.reserve(wanted); });
}

void TextArray::removeAt(int position) {
  checkPosition(position);
  items_.erase(items_.begin() + (position - 1));
}

}  // namespace quillmark
