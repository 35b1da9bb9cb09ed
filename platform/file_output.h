// Writing an output file that nobody else is writing at the same time.
//
// The file is opened for writing without truncating it, then locked
// exclusively without waiting. A lock held by another writer means the file
// cannot be had now: nothing is written and its content stays. Otherwise it
// is emptied and receives the bytes.
#pragma once

#include <string>
#include <string_view>

namespace quillmark::platform {

enum class FileWriteResult {
  Written,      // the file holds exactly `bytes`
  NotCreated,   // it could not be opened or created, or another writer holds it; untouched
  WriteFailed,  // emptying it or writing failed part-way; what was written stays
};

// Creates or empties the file at `path` and writes `bytes` to it, as above.
// An empty `bytes` leaves an empty file. Never throws.
FileWriteResult writeFileExclusively(const std::string& path, std::string_view bytes) noexcept;

// The process's working directory, without a trailing "/" except for the
// root itself; empty when it cannot be read.
std::string currentDirectory();

}  // namespace quillmark::platform
