#include "text/base64.h"

#include "text/allocation.h"

namespace quillmark {

Text base64Encode(const ByteBuffer& bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const std::size_t length = bytes.view().size();
  if (length == 0) return Text();
  const unsigned char* in = bytes.data();
  const std::size_t groups = (length + 2) / 3;
  ByteOutput out;
  out.reserve(groups * 4);
  std::string& text = out.bytes();
  for (std::size_t g = 0; g < groups; ++g) {
    // The input as if extended with zero bytes to a multiple of three.
    const std::size_t at = g * 3;
    const unsigned b0 = in[at];
    const unsigned b1 = at + 1 < length ? in[at + 1] : 0U;
    const unsigned b2 = at + 2 < length ? in[at + 2] : 0U;
    text.push_back(kAlphabet[b0 >> 2]);
    text.push_back(kAlphabet[((b0 & 3U) << 4) + (b1 >> 4)]);
    text.push_back(kAlphabet[((b1 & 15U) << 2) + (b2 >> 6)]);
    text.push_back(kAlphabet[b2 & 63U]);
  }
  // Two added zero bytes make the last two characters "=", one the last.
  const std::size_t added = (3 - length % 3) % 3;
  for (std::size_t i = 0; i < added; ++i) text[text.size() - 1 - i] = '=';
  return Text(out.take());
}

}  // namespace quillmark
