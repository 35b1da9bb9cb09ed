// Where the logos go: the folder that start-up makes the working directory.
//
// A build tree or a portable copy keeps its logos beside the program. An
// installed program never writes into the folder it was installed into (not
// even as root, who may): its logos go into the user's pictures folder, in a
// Quillmark folder of their own that is made when missing.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace quillmark {

inline constexpr const char* kPicturesSubfolder = "Quillmark";

// What the choice depends on.
struct WorkingFolderPlaces {
  std::filesystem::path programFolder;                // folder of the running program; empty: unknown
  std::vector<std::filesystem::path> installFolders;  // where this build installs its programs
  std::filesystem::path picturesFolder;               // the user's pictures folder; empty: unknown
};

// The choice: a folder, or why there is none.
struct WorkingFolderChoice {
  std::filesystem::path folder;  // empty when none could be had
  std::string problem;           // for no folder: UTF-8, naming the folder tried and the reason
};

// True when this process may create files in `folder` (write and search
// permission for its effective user, on a file system mounted for writing).
// False for a folder that is missing or not a folder.
bool mayCreateFilesIn(const std::filesystem::path& folder);

// The folder the job writes into:
//  1. `programFolder`, when it is known, `mayWrite` says yes and it is none of
//     `installFolders` (compared as the same folder on disk, so a link to it
//     counts as it);
//  2. otherwise `picturesFolder`/Quillmark, made with any missing parents,
//     when `picturesFolder` is known and the result may be written;
//  3. otherwise no folder, and `problem` names the folder and the reason
//     ("no pictures folder is known" when there is none).
// Never throws; creates nothing but the folders of step 2.
WorkingFolderChoice chooseWorkingFolder(
    const WorkingFolderPlaces& places,
    const std::function<bool(const std::filesystem::path&)>& mayWrite = mayCreateFilesIn);

// The places of this process: the folder of /proc/self/exe, the install
// folders this build was configured with, and the pictures folder as
// QStandardPaths reports it (following the XDG user folders).
WorkingFolderPlaces placesOfThisProgram();

}  // namespace quillmark
