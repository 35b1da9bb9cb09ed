// Random integers from the processor's time-stamp counter.
//
// The only source of chance in Quillmark. Nothing is seeded and no state is
// kept. The arithmetic is kept apart from the counter read so that it can be
// checked on given counter values.
#pragma once

#include <cstdint>
#include <optional>

#include "text/text.h"

namespace quillmark {

// The low 32 bits of the time-stamp counter (or, where there is none, of a
// free-running high-resolution clock).
std::uint32_t readCycleCounter() noexcept;

// x = ((t * 214013 + 2531011) mod 2^32) >> 16 & 32767; high 0 counts as
// 2147483647; returns low + x mod (high - low + 1), all unsigned 32-bit.
int hardwareRandomFromCounter(std::uint32_t t, int low, int high) noexcept;
int hardwareRandom(int low, int high) noexcept;

// "起始数或结束数都必须≥1" (code page 936) when a bound is below 1; otherwise
// the decimal text of a draw from min..max of the bounds, moved one place
// inward once when `parity` (1 odd, 2 even) is not met: down from the upper
// bound, up from anywhere else.
Text randomInRangeFromCounter(std::uint32_t t, int first, int last,
                              std::optional<int> parity = std::nullopt);
Text randomInRange(int first, int last, std::optional<int> parity = std::nullopt);

}  // namespace quillmark
