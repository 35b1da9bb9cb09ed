// What the logo batch job may do with the main window.
//
// The job runs on a worker thread and never touches a widget: it reads and
// writes the window only through these operations, which the window carries
// out on its own thread and whose results come back as values. Tests pass a
// fake that records what the job did.
#pragma once

#include "text/byte_buffer.h"
#include "text/text.h"

namespace quillmark {

// The two edit boxes the job reads.
enum class EditBox {
  Titles,     // 编辑框1: one title per line
  Templates,  // 编辑框2: the hidden icon template list
};

class WindowOperations {
 public:
  virtual ~WindowOperations() = default;

  // The box's current text in code page 936, lines separated by CR LF; an
  // empty box gives the empty Text.
  virtual Text readEditText(EditBox box) = 0;
  // Shows `caption` in the title bar and keeps a copy of it.
  virtual void writeCaption(const Text& caption) = 0;
  // The copy kept by the last writeCaption, from whichever thread; the
  // initial caption when there was none.
  virtual Text readCaption() = 0;
  // Keeps `picture` and shows it when it holds an image; anything else, or
  // an empty buffer, leaves the picture box blank. A buffer moved in is
  // kept as it is, never copied: a large body stays in memory once.
  virtual void writePicture(ByteBuffer picture) = 0;
  // The bytes kept by the last writePicture, exactly as written; empty when
  // nothing was written.
  virtual ByteBuffer readPicture() = 0;
};

}  // namespace quillmark
