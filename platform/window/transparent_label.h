// The transparent label control: text drawn straight onto the window.
//
// The label fills no background of its own, so the window shows through
// around its letters, takes no keyboard focus, and reports a press of the
// left mouse button on it.
#pragma once

#include <QLabel>
#include <QString>

namespace quillmark::platform {

class TransparentLabel : public QLabel {
  Q_OBJECT

 public:
  explicit TransparentLabel(const QString& text, QWidget* parent = nullptr);

 signals:
  // The left mouse button went down on the label; other buttons say nothing.
  void leftButtonPressed();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
};

}  // namespace quillmark::platform
