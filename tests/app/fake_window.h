// A WindowOperations that keeps everything in memory and records the job's
// calls, for running the batch job without a window.
#pragma once

#include <functional>
#include <mutex>
#include <vector>

#include "app/window_operations.h"

namespace quillmark::testing {

class FakeWindow : public WindowOperations {
 public:
  FakeWindow(Text titles, Text templates)
      : titles_(std::move(titles)), templates_(std::move(templates)), caption_("Quillmark") {}

  // Called after each read of the titles box, with the number of reads so
  // far; lets a test change the titles while the job runs.
  std::function<void(int reads, Text& titles)> onTitlesRead;

  Text readEditText(EditBox box) override {
    std::lock_guard lock(mutex_);
    if (box == EditBox::Templates) return templates_;
    Text titles = titles_;
    ++titleReads_;
    if (onTitlesRead) onTitlesRead(titleReads_, titles_);
    return titles;
  }
  void writeCaption(const Text& caption) override {
    std::lock_guard lock(mutex_);
    caption_ = caption;
    captions_.push_back(caption);
  }
  Text readCaption() override {
    std::lock_guard lock(mutex_);
    return caption_;
  }
  void writePicture(ByteBuffer picture) override {
    std::lock_guard lock(mutex_);
    pictures_.push_back(picture);
    picture_ = std::move(picture);
  }
  ByteBuffer readPicture() override {
    std::lock_guard lock(mutex_);
    return picture_;
  }

  std::vector<Text> captions() const {
    std::lock_guard lock(mutex_);
    return captions_;
  }
  std::vector<ByteBuffer> pictures() const {
    std::lock_guard lock(mutex_);
    return pictures_;
  }

 private:
  mutable std::mutex mutex_;
  Text titles_;
  Text templates_;
  Text caption_;
  ByteBuffer picture_;
  int titleReads_ = 0;
  std::vector<Text> captions_;
  std::vector<ByteBuffer> pictures_;
};

}  // namespace quillmark::testing
