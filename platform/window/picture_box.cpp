#include "platform/window/picture_box.h"

#include <QPainter>

#include "platform/window/image_decoding.h"

namespace quillmark::platform {

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) {
  setAutoFillBackground(false);
  setFocusPolicy(Qt::NoFocus);
}

void PictureBox::setPicture(std::string bytes) {
  bytes_ = std::move(bytes);
  image_ = decodeImage(QByteArrayView(bytes_.data(), static_cast<qsizetype>(bytes_.size())));
  update();
}

void PictureBox::setPicture(const QByteArray& bytes) {
  setPicture(std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

QRect PictureBox::imageRect() const {
  if (image_.isNull()) return {};
  QSize size = image_.size();
  if (size.width() > width() || size.height() > height()) {
    size.scale(this->size(), Qt::KeepAspectRatio);
    size = size.expandedTo(QSize(1, 1));  // a very thin image stays visible
  }
  const QPoint topLeft((width() - size.width()) / 2, (height() - size.height()) / 2);
  return {topLeft, size};
}

void PictureBox::paintEvent(QPaintEvent* /*event*/) {
  const QRect target = imageRect();
  if (target.isEmpty()) return;
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(target, image_);
}

}  // namespace quillmark::platform
