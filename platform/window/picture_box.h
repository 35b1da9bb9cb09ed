// The picture box control: shows an image given as file bytes.
//
// It keeps the bytes exactly as given, whether or not they hold an image it
// can show, and hands them back unchanged. Bytes moved in are kept without a
// copy, and decoding reads them where they are. An image is shown whole and
// centred: at its own size when it fits, scaled down (keeping its aspect
// ratio) when it does not. The box draws no border and no background of its
// own, so the window's background shows around and through the image.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QWidget>

#include <string>
#include <string_view>

namespace quillmark::platform {

class PictureBox : public QWidget {
  Q_OBJECT

 public:
  explicit PictureBox(QWidget* parent = nullptr);

  // Keeps `bytes` and shows the image they hold (image_decoding.h); the
  // picture shown so far goes. Empty bytes, or bytes that are no image or
  // fail to decode, leave the box blank.
  void setPicture(std::string bytes);
  // The same for a copy of `bytes`.
  void setPicture(const QByteArray& bytes);
  // The bytes of the last setPicture, exactly as given; empty before any.
  // The view lasts until the next setPicture.
  std::string_view pictureBytes() const noexcept { return bytes_; }
  // A copy of them.
  QByteArray picture() const { return QByteArray(bytes_.data(), static_cast<qsizetype>(bytes_.size())); }

  // The decoded image at its own size; null while the box is blank.
  QImage image() const { return image_; }
  // Where the image is drawn inside the box; empty while the box is blank.
  QRect imageRect() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::string bytes_;
  QImage image_;
};

}  // namespace quillmark::platform
