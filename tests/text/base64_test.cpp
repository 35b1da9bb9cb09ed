#include "text/base64.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "text_test_support.h"

namespace quillmark {
namespace {

TEST(Base64Encode, RfcTestVectors) {
  const std::pair<std::string_view, std::string_view> vectors[] = {
      {"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},         {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
  };
  for (const auto& [in, out] : vectors) EXPECT_EQ(base64Encode(ByteBuffer(in)), Text(out)) << in;
}

TEST(Base64Encode, ZeroAndHighBytesAreOrdinary) {
  using namespace std::string_literals;
  EXPECT_EQ(base64Encode(ByteBuffer("\0"s)), Text("AA=="));
  EXPECT_EQ(base64Encode(ByteBuffer("\0\0\0"s)), Text("AAAA"));
  EXPECT_EQ(base64Encode(ByteBuffer("\xFF\xFF\xFF"s)), Text("////"));
  EXPECT_EQ(base64Encode(ByteBuffer("\xFB\xFF"s)), Text("+/8="));
  EXPECT_EQ(base64Encode(ByteBuffer("user:\xC3\xA9\0"s)), Text("dXNlcjrDqQA="));
}

// An encoder of its own kind: bits go into a buffer and leave six at a time.
std::string encodeByBits(const std::string& bytes) {
  static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  unsigned buffer = 0;
  int bits = 0;
  for (const char c : bytes) {
    buffer = (buffer << 8) | static_cast<unsigned char>(c);
    bits += 8;
    while (bits >= 6) {
      bits -= 6;
      out += alphabet[(buffer >> bits) & 63U];
    }
  }
  if (bits > 0) out += alphabet[(buffer << (6 - bits)) & 63U];
  while (out.size() % 4 != 0) out += '=';
  return out;
}

TEST(Base64Encode, MatchesABitBufferEncoderForEveryLengthUpTo64) {
  std::mt19937 random(4648);
  for (int length = 0; length <= 64; ++length) {
    for (int round = 0; round < 20; ++round) {
      std::string bytes;
      for (int i = 0; i < length; ++i) bytes += static_cast<char>(random() & 0xFFU);
      const Text encoded = base64Encode(ByteBuffer(bytes));
      EXPECT_EQ(encoded.view(), encodeByBits(bytes)) << length;
      EXPECT_EQ(encoded.length(), (length + 2) / 3 * 4);
    }
  }
}

}  // namespace
}  // namespace quillmark
