#include "text/random.h"

#include <cmath>

#include "text/primitives.h"

#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#else
#include <chrono>
#endif

namespace quillmark {

std::uint32_t readCycleCounter() noexcept {
#if defined(__x86_64__) || defined(__i386__)
  return static_cast<std::uint32_t>(__rdtsc());
#else
  const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
  return static_cast<std::uint32_t>(ticks);
#endif
}

int hardwareRandomFromCounter(std::uint32_t t, int low, int high) noexcept {
  const std::uint32_t x = ((t * 214013U + 2531011U) >> 16) & 32767U;
  if (high == 0) high = 2147483647;
  const std::uint32_t span = static_cast<std::uint32_t>(high) - static_cast<std::uint32_t>(low) + 1U;
  // A span of 0 is the whole 32-bit range (low INT_MIN, high INT_MAX): every
  // x fits in it as it is.
  const std::uint32_t offset = span == 0 ? x : x % span;
  return static_cast<int>(static_cast<std::uint32_t>(low) + offset);
}

int hardwareRandom(int low, int high) noexcept {
  return hardwareRandomFromCounter(readCycleCounter(), low, high);
}

Text randomInRangeFromCounter(std::uint32_t t, int first, int last, std::optional<int> parity) {
  if (first < 1 || last < 1) {
    static const Text boundMessage = gbk("起始数或结束数都必须≥1");
    return boundMessage;
  }
  const int lo = first < last ? first : last;
  const int hi = first < last ? last : first;
  int r = hardwareRandomFromCounter(t, lo, hi);
  const int wanted = parity.value_or(0);
  bool step = false;
  if (wanted == 1) step = std::fabs(std::fmod(static_cast<double>(r), 2.0)) <= 1e-7;          // even
  if (wanted == 2) step = std::fabs(std::fmod(static_cast<double>(r), 2.0) - 1.0) <= 1e-7;    // odd
  if (step) r = r == hi ? r - 1 : r + 1;
  return toText(r);
}

Text randomInRange(int first, int last, std::optional<int> parity) {
  return randomInRangeFromCounter(readCycleCounter(), first, last, parity);
}

}  // namespace quillmark
