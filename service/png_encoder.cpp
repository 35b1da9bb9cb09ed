#include "service/png_encoder.h"

#include <zlib.h>

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

// One deflate stream per thread, reset between images: setting one up
// costs more than compressing a logo.
class Deflater {
 public:
  Deflater() {
    // Window 2^15, memory level 8: a smaller window makes zlib slide it (and
    // rehash) far more often, which is slower, not faster.
    ok_ = deflateInit2(&stream_, 1, Z_DEFLATED, 15, 8, Z_RLE) == Z_OK;
  }
  ~Deflater() {
    if (ok_) deflateEnd(&stream_);
  }
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;

  // The zlib stream of `input`, or false.
  bool compress(const std::vector<unsigned char>& input, std::vector<unsigned char>& output) {
    if (!ok_ || deflateReset(&stream_) != Z_OK) return false;
    output.resize(deflateBound(&stream_, static_cast<uLong>(input.size())));
    stream_.next_in = const_cast<Bytef*>(input.data());
    stream_.avail_in = static_cast<uInt>(input.size());
    stream_.next_out = output.data();
    stream_.avail_out = static_cast<uInt>(output.size());
    if (deflate(&stream_, Z_FINISH) != Z_STREAM_END) return false;
    output.resize(stream_.total_out);
    return true;
  }

 private:
  z_stream stream_{};
  bool ok_ = false;
};

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

    thread_local Deflater deflater;
    thread_local std::vector<unsigned char> compressed;
    if (!deflater.compress(filtered, compressed)) return {};

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
    appendChunk(png, "IDAT", compressed.data(), compressed.size());
    appendChunk(png, "IEND", nullptr, 0);
    return png;
  } catch (const std::bad_alloc&) {
    return {};
  }
}

}  // namespace quillmark::service
