#include "service/png_encoder.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

namespace quillmark::service {
namespace {

// 72 dpi in pixels per metre, the pHYs value Qt's own writer uses.
constexpr std::uint32_t kPixelsPerMetre = 2835;

void appendBigEndian(std::string& out, std::uint32_t value) {
  const char bytes[4] = {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
                         static_cast<char>(value >> 8), static_cast<char>(value)};
  out.append(bytes, 4);
}

// Appends a chunk: length, type, data, and the CRC of type and data.
void appendChunk(std::string& out, const char (&type)[5], const unsigned char* data, std::size_t size) {
  appendBigEndian(out, static_cast<std::uint32_t>(size));
  out.append(type, 4);
  if (size > 0) out.append(reinterpret_cast<const char*>(data), size);
  uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(type), 4);
  if (size > 0) crc = crc32(crc, data, static_cast<uInt>(size));
  appendBigEndian(out, static_cast<std::uint32_t>(crc));
}

// A deflate stream of one block with the fixed Huffman codes, whose only
// matches repeat the previous byte (distance 1) or the previous pixel
// (distance 3). After the "Up" filter a logo is mostly runs of zero bytes,
// which this writes at a few bits per 258 bytes while skipping them a word
// at a time; zlib's general search costs several times more for about the
// same size on such pictures.
class FixedHuffmanWriter {
 public:
  explicit FixedHuffmanWriter(std::string& out) : out_(out) {}

  void literal(unsigned char byte) {
    const Code& c = tables().literals[byte];
    put(c.bits, c.length);
  }
  // A match of `length` (3..258) at distance 1 or 3.
  void match(std::size_t length, unsigned distance) {
    const Code& c = tables().lengths[length];
    put(c.bits, c.length);
    put(distance == 1 ? 0u : 8u, 5);  // distance codes 0 and 2, five bits, reversed
  }
  void begin() { put(0b011, 3); }  // final block, fixed codes
  void end() {
    const Code& c = tables().literals[256];
    put(c.bits, c.length);
    while (count_ > 0) flushByte();
  }

 private:
  struct Code {
    std::uint32_t bits = 0;  // already reversed for LSB-first packing, extra bits above
    unsigned length = 0;
  };
  struct Tables {
    std::array<Code, 288> literals{};
    std::array<Code, 259> lengths{};
  };

  static std::uint32_t reversed(std::uint32_t code, unsigned length) {
    std::uint32_t out = 0;
    for (unsigned i = 0; i < length; ++i) out |= ((code >> i) & 1u) << (length - 1 - i);
    return out;
  }

  static const Tables& tables() {
    static const Tables t = [] {
      Tables built;
      for (unsigned v = 0; v < 288; ++v) {
        std::uint32_t code = 0;
        unsigned length = 0;
        if (v < 144) code = 0x30 + v, length = 8;
        else if (v < 256) code = 0x190 + (v - 144), length = 9;
        else if (v < 280) code = v - 256, length = 7;
        else code = 0xc0 + (v - 280), length = 8;
        built.literals[v] = {reversed(code, length), length};
      }
      // Length symbols 257..285: base lengths and extra bits (RFC 1951, 3.2.5).
      static constexpr unsigned base[] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                          31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
      static constexpr unsigned extra[] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                           2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
      for (unsigned length = 3; length <= 258; ++length) {
        unsigned s = 28;
        while (base[s] > length) --s;
        const Code& symbol = built.literals[257 + s];
        built.lengths[length] = {symbol.bits | ((length - base[s]) << symbol.length), symbol.length + extra[s]};
      }
      return built;
    }();
    return t;
  }

  void put(std::uint32_t bits, unsigned length) {
    buffer_ |= static_cast<std::uint64_t>(bits) << count_;
    count_ += length;
    while (count_ >= 8) flushByte();
  }
  void flushByte() {
    out_.push_back(static_cast<char>(buffer_ & 0xff));
    buffer_ >>= 8;
    count_ = count_ >= 8 ? count_ - 8 : 0;
  }

  std::string& out_;
  std::uint64_t buffer_ = 0;
  unsigned count_ = 0;
};

// How many bytes from `at` (at most `limit`) equal the byte `distance` before each.
std::size_t runLength(const unsigned char* at, std::size_t limit, std::size_t distance) {
  std::size_t n = 0;
  if (distance == 1) {
    const unsigned char value = at[-1];
    std::uint64_t pattern = 0x0101010101010101ull * value;
    while (n + 8 <= limit) {
      std::uint64_t word;
      std::memcpy(&word, at + n, 8);
      if (word != pattern) break;
      n += 8;
    }
  }
  while (n < limit && at[n] == at[static_cast<std::ptrdiff_t>(n) - static_cast<std::ptrdiff_t>(distance)]) ++n;
  return n;
}

// The zlib stream (RFC 1950) of `data`.
std::string zlibStream(const std::vector<unsigned char>& data) {
  std::string out;
  out.reserve(data.size() / 8 + 64);
  out.push_back(static_cast<char>(0x78));  // deflate, 32 KB window
  out.push_back(static_cast<char>(0x01));  // no dictionary, fastest; 0x7801 is a multiple of 31
  FixedHuffmanWriter writer(out);
  writer.begin();
  const unsigned char* bytes = data.data();
  const std::size_t size = data.size();
  std::size_t i = 0;
  while (i < size) {
    const std::size_t limit = std::min<std::size_t>(258, size - i);
    if (i >= 1 && limit >= 3) {
      const std::size_t run = runLength(bytes + i, limit, 1);
      if (run >= 3) {
        writer.match(run, 1);
        i += run;
        continue;
      }
    }
    if (i >= 3 && limit >= 6) {
      const std::size_t run = runLength(bytes + i, limit, 3);
      if (run >= 6) {
        writer.match(run, 3);
        i += run;
        continue;
      }
    }
    writer.literal(bytes[i]);
    ++i;
  }
  writer.end();
  const uLong adler = adler32(adler32(0L, Z_NULL, 0), data.data(), static_cast<uInt>(data.size()));
  appendBigEndian(out, static_cast<std::uint32_t>(adler));
  return out;
}

}  // namespace

std::string encodeRgbPng(const QImage& source) {
  if (source.isNull()) return {};
  try {
    const QImage image = source.format() == QImage::Format_RGB32 ? source : source.convertToFormat(QImage::Format_RGB32);
    const auto width = static_cast<std::size_t>(image.width());
    const auto height = static_cast<std::size_t>(image.height());
    const std::size_t rowBytes = 3 * width;
    if (rowBytes + 1 > std::numeric_limits<uInt>::max() / height) return {};

    // Each row: the filter byte 2 ("Up"), then every byte minus the one above
    // it (the row above the first counts as zeros).
    std::vector<unsigned char> filtered((rowBytes + 1) * height);
    std::vector<unsigned char> previous(rowBytes, 0);
    std::vector<unsigned char> current(rowBytes);
    for (std::size_t y = 0; y < height; ++y) {
      const auto* pixels = reinterpret_cast<const QRgb*>(image.constScanLine(static_cast<int>(y)));
      for (std::size_t x = 0; x < width; ++x) {
        current[3 * x] = static_cast<unsigned char>(qRed(pixels[x]));
        current[3 * x + 1] = static_cast<unsigned char>(qGreen(pixels[x]));
        current[3 * x + 2] = static_cast<unsigned char>(qBlue(pixels[x]));
      }
      unsigned char* row = &filtered[y * (rowBytes + 1)];
      row[0] = 2;
      for (std::size_t i = 0; i < rowBytes; ++i) row[1 + i] = static_cast<unsigned char>(current[i] - previous[i]);
      previous.swap(current);
    }

    const std::string compressed = zlibStream(filtered);

    std::string png("\x89PNG\r\n\x1a\n", 8);
    png.reserve(png.size() + compressed.size() + 64);
    std::array<unsigned char, 13> header{};
    const auto put32 = [](unsigned char* at, std::uint32_t value) {
      at[0] = static_cast<unsigned char>(value >> 24);
      at[1] = static_cast<unsigned char>(value >> 16);
      at[2] = static_cast<unsigned char>(value >> 8);
      at[3] = static_cast<unsigned char>(value);
    };
    put32(&header[0], static_cast<std::uint32_t>(width));
    put32(&header[4], static_cast<std::uint32_t>(height));
    header[8] = 8;  // bits per channel
    header[9] = 2;  // colour type: RGB
    // compression 0, filter method 0, no interlace
    appendChunk(png, "IHDR", header.data(), header.size());
    std::array<unsigned char, 9> physical{};
    put32(&physical[0], kPixelsPerMetre);
    put32(&physical[4], kPixelsPerMetre);
    physical[8] = 1;  // unit: metre
    appendChunk(png, "pHYs", physical.data(), physical.size());
    appendChunk(png, "IDAT", reinterpret_cast<const unsigned char*>(compressed.data()), compressed.size());
    appendChunk(png, "IEND", nullptr, 0);
    return png;
  } catch (const std::bad_alloc&) {
    return {};
  }
}

}  // namespace quillmark::service
