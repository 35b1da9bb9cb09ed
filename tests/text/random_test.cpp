#include "text/random.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <map>

#include "text/primitives.h"
#include "text_test_support.h"

namespace quillmark {
namespace {

constexpr std::uint32_t kMultiplier = 214013;
constexpr std::uint32_t kIncrement = 2531011;

// The inverse of the (odd) multiplier modulo 2^32, by Newton's iteration.
constexpr std::uint32_t inverseOfMultiplier() {
  std::uint32_t inverse = kMultiplier;  // right in the low 3 bits
  for (int i = 0; i < 5; ++i) inverse *= 2U - kMultiplier * inverse;
  return inverse;
}
static_assert(kMultiplier * inverseOfMultiplier() == 1U);

// A counter value whose scrambled value is x << 16: t * 214013 + 2531011 is
// a bijection of the 32-bit values, and x takes bits 16 to 30 of it, so each
// x in 0..32767 is met by exactly 2^17 counter values out of 2^32. One of
// them per x weighs the draws exactly as the whole counter range does.
std::uint32_t counterFor(std::uint32_t x) { return ((x << 16) - kIncrement) * inverseOfMultiplier(); }

TEST(HardwareRandom, ScramblesTheCounterInto15Bits) {
  for (std::uint32_t x = 0; x < 32768; ++x) {
    ASSERT_EQ(hardwareRandomFromCounter(counterFor(x), 0, 32767), static_cast<int>(x));
  }
  EXPECT_EQ(hardwareRandomFromCounter(0, 0, 0), (2531011 >> 16) & 32767);  // high 0: 2147483647
  EXPECT_EQ(hardwareRandomFromCounter(counterFor(32767), 7, 0), 7 + 32767);
  EXPECT_EQ(hardwareRandomFromCounter(counterFor(5), 1, 3), 1 + 5 % 3);
  EXPECT_EQ(hardwareRandomFromCounter(counterFor(9), 4, 4), 4);
  // The whole 32-bit range: the span wraps to 0 and the draw is low + x.
  EXPECT_EQ(hardwareRandomFromCounter(counterFor(3), INT_MIN, INT_MAX), INT_MIN + 3);
}

TEST(HardwareRandom, StaysInItsRange) {
  for (int i = 0; i < 1000; ++i) {
    const int r = hardwareRandom(10, 20);
    ASSERT_GE(r, 10);
    ASSERT_LE(r, 20);
  }
}

Text draw(std::uint32_t x, int first, int last, std::optional<int> parity = std::nullopt) {
  return randomInRangeFromCounter(counterFor(x), first, last, parity);
}

TEST(RandomInRange, BoundsBelowOneGiveTheMessage) {
  const Text message = gbk("起始数或结束数都必须≥1");
  EXPECT_EQ(randomInRange(0, 5), message);
  EXPECT_EQ(randomInRange(5, 0), message);
  EXPECT_EQ(randomInRange(-1, -1), message);
  EXPECT_EQ(toInt(message), 0);
}

TEST(RandomInRange, ParityStepsOnceTowardsTheInside) {
  struct Case {
    std::uint32_t x;
    int first, last;
    std::optional<int> parity;
    std::string_view result;
  };
  const Case cases[] = {
      {9, 1, 10, 1, "9"},     // a draw of 10 (1 + 9) becomes 9
      {3, 1, 10, 1, "5"},     // a draw of 4 becomes 5
      {2, 1, 10, 1, "3"},     // an odd draw stays
      {9, 10, 1, 1, "9"},     // bounds in either order
      {4, 1, 10, 2, "6"},     // a draw of 5 becomes 6 when even is asked for
      {9, 1, 10, 2, "10"},
      {0, 4, 4, 1, "3"},      // a one-value range of the wrong parity: the value minus one
      {0, 1, 1, 2, "0"},
      {0, 3, 3, std::nullopt, "3"},
      {0, 4, 4, 3, "4"},      // other parities ask for nothing
      {0, 4, 4, 0, "4"},
      {7, 5, 1, std::nullopt, "3"},
      {32767, 1, 100000, std::nullopt, "32768"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(draw(c.x, c.first, c.last, c.parity), Text(c.result)) << c.x << " " << c.first << " " << c.last;
  }
}

TEST(RandomInRange, EitherOrderOfBoundsDrawsAlike) {
  for (std::uint32_t x = 0; x < 32768; x += 7) ASSERT_EQ(draw(x, 5, 1), draw(x, 1, 5));
}

TEST(RandomInRange, OddNeverGivesAnEvenNumber) {
  for (std::uint32_t x = 0; x < 32768; ++x) {
    const int r = toInt(draw(x, 1, 10, 1));
    ASSERT_EQ(r % 2, 1) << x;
    ASSERT_GE(r, 1);
    ASSERT_LE(r, 9);
  }
}

TEST(RandomInRange, TemplateListWeights) {
  // Over every scrambled value, 1..3472 come up 9 times and 3473..3662 8
  // times out of 32768.
  std::array<int, 3663> weight{};
  for (std::uint32_t x = 0; x < 32768; ++x) {
    const int r = toInt(draw(x, 1, 3662));
    ASSERT_GE(r, 1);
    ASSERT_LE(r, 3662);
    ++weight[static_cast<size_t>(r)];
  }
  for (int v = 1; v <= 3662; ++v) ASSERT_EQ(weight[static_cast<size_t>(v)], v <= 3472 ? 9 : 8) << v;
}

TEST(RandomInRange, WideRangesStopAt32768) {
  int highest = 0;
  for (std::uint32_t x = 0; x < 32768; ++x) highest = std::max(highest, toInt(draw(x, 1, 100000)));
  EXPECT_EQ(highest, 32768);
  for (int i = 0; i < 100; ++i) EXPECT_LE(toInt(randomInRange(1, 100000)), 32768);
}

}  // namespace
}  // namespace quillmark
