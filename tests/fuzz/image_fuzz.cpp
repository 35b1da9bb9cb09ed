// The picture box's recognition and decoding with arbitrary bytes: the kind
// the first bytes announce, Qt's decoders for the kinds it reads and the PCX
// decoder. Nothing that is no recognised kind is ever decoded, and nothing
// decoded is larger than the pixel cap.
#include <QCoreApplication>
#include <QImage>

#include <cstdint>

#include "fuzz_input.h"
#include "platform/window/image_decoding.h"
#include "platform/window/pcx_decoder.h"

namespace {

// Qt's image plugins (GIF, icons, JPEG) are found through the application's
// library paths; one core application stands for the program's.
void ensureApplication() {
  static int argc = 1;
  static char name[] = "quillmark_fuzz";
  static char* argv[] = {name, nullptr};
  static QCoreApplication* application = QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
  (void)application;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quillmark::platform;
  using quillmark::fuzz::require;
  ensureApplication();
  const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  const ImageKind kind = detectImageKind(bytes);
  const QImage image = decodeImage(bytes);
  if (kind == ImageKind::None) require(image.isNull(), "bytes of no known kind were decoded");
  if (!image.isNull())
    require(qint64{image.width()} * image.height() <= kPcxMaxPixels, "a decoded image exceeds the pixel cap");
  const QImage pcx = decodePcx(bytes);
  if (!looksLikePcx(bytes)) require(pcx.isNull(), "bytes that are no PCX file were decoded as one");
  if (kind == ImageKind::Pcx) require(pcx == image, "the PCX decoder and the picture box disagree");
  return 0;
}
