#include "platform/file_output.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <vector>

namespace quillmark::platform {
namespace {

// Owns a file descriptor; closing it also releases its lock.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) noexcept : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const noexcept { return fd_; }
  bool valid() const noexcept { return fd_ >= 0; }

 private:
  int fd_;
};

}  // namespace

FileWriteResult writeFileExclusively(const std::string& path, std::string_view bytes) noexcept {
  FileDescriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
  if (!file.valid()) return FileWriteResult::NotCreated;
  if (::flock(file.get(), LOCK_EX | LOCK_NB) != 0) return FileWriteResult::NotCreated;
  if (::ftruncate(file.get(), 0) != 0) return FileWriteResult::WriteFailed;
  while (!bytes.empty()) {
    const ssize_t written = ::write(file.get(), bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return FileWriteResult::WriteFailed;
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return FileWriteResult::Written;
}

std::string currentDirectory() {
  std::vector<char> buffer(PATH_MAX);
  for (;;) {
    if (::getcwd(buffer.data(), buffer.size()) != nullptr) return std::string(buffer.data());
    if (errno != ERANGE || buffer.size() > (1u << 20)) return std::string();
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace quillmark::platform
