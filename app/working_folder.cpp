#include "app/working_folder.h"

#include <fcntl.h>
#include <unistd.h>

#include <QStandardPaths>
#include <QString>

#include <system_error>

namespace quillmark {
namespace {

namespace fs = std::filesystem;

bool sameFolder(const fs::path& a, const fs::path& b) {
  std::error_code error;
  if (fs::equivalent(a, b, error)) return true;
  // Either may be missing on disk; then their spelt-out forms decide.
  return fs::weakly_canonical(a, error).lexically_normal() == fs::weakly_canonical(b, error).lexically_normal();
}

std::string describe(const std::error_code& error) { return error.message(); }

}  // namespace

bool mayCreateFilesIn(const fs::path& folder) {
  std::error_code error;
  if (folder.empty() || !fs::is_directory(folder, error)) return false;
  return ::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

WorkingFolderChoice chooseWorkingFolder(const WorkingFolderPlaces& places,
                                        const std::function<bool(const fs::path&)>& mayWrite) {
  WorkingFolderChoice choice;
  try {
    if (!places.programFolder.empty() && mayWrite(places.programFolder)) {
      bool installed = false;
      for (const fs::path& folder : places.installFolders)
        installed = installed || (!folder.empty() && sameFolder(places.programFolder, folder));
      if (!installed) {
        choice.folder = places.programFolder;
        return choice;
      }
    }
    if (places.picturesFolder.empty()) {
      choice.problem = "no pictures folder is known to put the logos in";
      return choice;
    }
    const fs::path folder = places.picturesFolder / kPicturesSubfolder;
    std::error_code error;
    fs::create_directories(folder, error);
    if (error) {
      choice.problem = folder.string() + ": " + describe(error);
      return choice;
    }
    if (!fs::is_directory(folder, error)) {
      choice.problem = folder.string() + ": " + describe(std::make_error_code(std::errc::not_a_directory));
      return choice;
    }
    if (!mayWrite(folder)) {
      choice.problem = folder.string() + ": " + describe(std::make_error_code(std::errc::permission_denied));
      return choice;
    }
    choice.folder = folder;
  } catch (...) {
    choice.folder.clear();
    choice.problem = "out of memory while choosing the folder for the logos";
  }
  return choice;
}

WorkingFolderPlaces placesOfThisProgram() {
  WorkingFolderPlaces places;
  std::error_code error;
  const fs::path program = fs::read_symlink("/proc/self/exe", error);
  if (!error) places.programFolder = program.parent_path();
  // Where `cmake --install` puts the programs, and where the package does.
  places.installFolders = {fs::path(QUILLMARK_INSTALL_BINDIR), fs::path(QUILLMARK_PACKAGE_BINDIR)};
  const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
  if (!pictures.isEmpty()) places.picturesFolder = fs::path(pictures.toStdString());
  return places;
}

}  // namespace quillmark
