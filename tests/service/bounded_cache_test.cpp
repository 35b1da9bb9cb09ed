#include "service/bounded_cache.h"

#include <gtest/gtest.h>

#include <string>

namespace quillmark::service {
namespace {

TEST(BoundedCache, ForgetsTheEntryUsedLeastRecently) {
  BoundedCache<std::string, int> cache(2);
  cache.insert("a", 1);
  cache.insert("b", 2);
  EXPECT_EQ(cache.find("a"), 1);  // "b" is now the least recently used
  cache.insert("c", 3);
  EXPECT_EQ(cache.size(), 2u);
  EXPECT_EQ(cache.find("b"), std::nullopt);
  EXPECT_EQ(cache.find("a"), 1);
  EXPECT_EQ(cache.find("c"), 3);
}

TEST(BoundedCache, ReplacingAValueKeepsOneEntry) {
  BoundedCache<std::string, int> cache(2);
  cache.insert("a", 1);
  cache.insert("b", 2);
  cache.insert("a", 10);  // "a" most recent again
  cache.insert("c", 3);
  EXPECT_EQ(cache.size(), 2u);
  EXPECT_EQ(cache.find("a"), 10);
  EXPECT_EQ(cache.find("b"), std::nullopt);
}

TEST(BoundedCache, NeverHoldsMoreThanItsCapacity) {
  BoundedCache<int, int> none(0);
  none.insert(1, 1);
  EXPECT_EQ(none.size(), 0u);
  EXPECT_EQ(none.find(1), std::nullopt);
  BoundedCache<int, int> cache(100);
  for (int i = 0; i < 10'000; ++i) cache.insert(i, i);
  EXPECT_EQ(cache.size(), 100u);
  EXPECT_EQ(cache.find(9'999), 9'999);
  EXPECT_EQ(cache.find(9'899), std::nullopt);
}

}  // namespace
}  // namespace quillmark::service
