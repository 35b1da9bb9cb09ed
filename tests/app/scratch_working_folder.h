// A fresh, empty working directory for the life of a test: the batch job
// writes its n.png files into the working directory.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>

namespace quillmark::testing {

class ScratchWorkingFolder {
 public:
  // Makes <temp>/quillmark-<name>-<pid>, empty, the working directory.
  explicit ScratchWorkingFolder(const std::string& name)
      : previous_(std::filesystem::current_path()),
        path_(std::filesystem::temp_directory_path() /
              ("quillmark-" + name + "-" + std::to_string(::getpid()))) {
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
    std::filesystem::current_path(path_);
  }
  // Goes back to the previous working directory and removes the folder.
  ~ScratchWorkingFolder() {
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchWorkingFolder(const ScratchWorkingFolder&) = delete;
  ScratchWorkingFolder& operator=(const ScratchWorkingFolder&) = delete;

  const std::filesystem::path& path() const noexcept { return path_; }

 private:
  std::filesystem::path previous_;
  std::filesystem::path path_;
};

}  // namespace quillmark::testing
