// Getting the memory of a new value, or ending the program.
//
// Every Text, ByteBuffer and TextArray that text/ builds obtains its memory
// inside allocateOrFail: when the memory cannot be had (std::bad_alloc, or a
// size beyond what a string can hold, std::length_error) the program ends
// with run-time error 0, "分配 %d 字节内存失败!", naming the bytes asked for.
// No exception leaves text/ for a failed allocation.
#pragma once

#include <cstddef>
#include <new>
#include "text/source_location.h"
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace quillmark {

// Code 0, "分配 %d 字节内存失败!" with `bytes` in place of %d. Never returns.
[[noreturn]] void raiseAllocationFailure(std::size_t bytes,
                                         SourceLocation where = SourceLocation::current());

// Runs `build` (which allocates about `bytes` bytes) and returns its result;
// a failed allocation inside it raises the allocation failure for `bytes`.
template <class Build>
decltype(auto) allocateOrFail(std::size_t bytes, Build&& build,
                              SourceLocation where = SourceLocation::current()) {
  try {
    return std::forward<Build>(build)();
  } catch (const std::bad_alloc&) {
    raiseAllocationFailure(bytes, where);
  } catch (const std::length_error&) {
    raiseAllocationFailure(bytes, where);
  }
}

// A byte string being built for a new value, every growth through
// allocateOrFail. The location of each call is the one a failure reports.
class ByteOutput {
 public:
  void reserve(std::size_t n, SourceLocation where = SourceLocation::current()) {
    allocateOrFail(n, [&] { bytes_.reserve(n); }, where);
  }
  void append(std::string_view part, SourceLocation where = SourceLocation::current()) {
    allocateOrFail(bytes_.size() + part.size(), [&] { bytes_.append(part); }, where);
  }
  void push(char byte, SourceLocation where = SourceLocation::current()) {
    allocateOrFail(bytes_.size() + 1, [&] { bytes_.push_back(byte); }, where);
  }
  std::size_t size() const noexcept { return bytes_.size(); }
  std::string& bytes() noexcept { return bytes_; }
  std::string take() noexcept { return std::move(bytes_); }

 private:
  std::string bytes_;
};

}  // namespace quillmark
