#include "platform/window/transparent_label.h"

#include <QMouseEvent>

namespace quillmark::platform {

TransparentLabel::TransparentLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
  setAutoFillBackground(false);
  setAttribute(Qt::WA_TranslucentBackground);
  setFocusPolicy(Qt::NoFocus);
}

void TransparentLabel::mousePressEvent(QMouseEvent* event) {
  QLabel::mousePressEvent(event);
  if (event->button() == Qt::LeftButton) emit leftButtonPressed();
}

}  // namespace quillmark::platform
