// The choice of the folder the logos go into, on real folders in a scratch
// tree. Whether a folder may be written is the one thing a case may decide
// for itself (tests run as root, who may write anywhere), through the probe
// the choice takes.
#include "app/working_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "app/scratch_working_folder.h"

namespace quillmark {
namespace {

namespace fs = std::filesystem;

struct FolderCase {
  const char* name;
  bool programWritable;   // what the probe says of the program folder
  bool programInstalled;  // the program folder is (a link to) an install folder
  const char* pictures;   // relative to the scratch root; "" for none known
  bool picturesIsFile;    // a file stands where the pictures folder should be
  const char* expected;   // "program", "pictures" or "none"
  const char* problemHas; // for "none": a part of the problem text
};

const FolderCase kCases[] = {
    {"WritableProgramFolder", true, false, "home/Pictures", false, "program", ""},
    {"ReadOnlyProgramFolder", false, false, "home/Pictures", false, "pictures", ""},
    {"InstallFolderEvenWhenWritable", true, true, "home/Pictures", false, "pictures", ""},
    {"PicturesFolderMissingIsMade", false, false, "home/not-yet/Pictures", false, "pictures", ""},
    {"NoPicturesFolderKnown", false, false, "", false, "none", "no pictures folder"},
    {"PicturesFolderCannotBeMade", false, true, "home/Pictures", true, "none", "home/Pictures/Quillmark: "},
};

class WorkingFolder : public ::testing::TestWithParam<FolderCase> {
 protected:
  testing::ScratchWorkingFolder scratch_{std::string("folder-") + GetParam().name};
  const fs::path& root_ = scratch_.path();
};

TEST_P(WorkingFolder, FollowsTheRule) {
  const FolderCase& c = GetParam();
  const fs::path program = root_ / "opt" / "quillmark";
  fs::create_directories(program);
  WorkingFolderPlaces places;
  places.programFolder = program;
  places.installFolders = {root_ / "usr" / "bin"};
  if (c.programInstalled) {
    fs::create_directories(root_ / "usr");
    fs::create_directory_symlink(program, root_ / "usr" / "bin");
  }
  if (*c.pictures != '\0') places.picturesFolder = root_ / c.pictures;
  if (c.picturesIsFile) {
    fs::create_directories(places.picturesFolder.parent_path());
    std::ofstream(places.picturesFolder) << "not a folder";
  }
  const auto probe = [&](const fs::path& folder) {
    return folder == program ? c.programWritable : mayCreateFilesIn(folder);
  };

  const WorkingFolderChoice choice = chooseWorkingFolder(places, probe);

  const std::string expected = c.expected;
  if (expected == "program") {
    EXPECT_EQ(choice.folder, program);
  } else if (expected == "pictures") {
    EXPECT_EQ(choice.folder, places.picturesFolder / "Quillmark");
    EXPECT_TRUE(fs::is_directory(choice.folder));
  } else {
    EXPECT_TRUE(choice.folder.empty());
    EXPECT_NE(choice.problem.find(c.problemHas), std::string::npos) << choice.problem;
  }
  if (expected != "none") {
    EXPECT_EQ(choice.problem, "");
  }
  if (expected == "program") {
    EXPECT_FALSE(fs::exists(places.picturesFolder)) << "nothing but the pictures folder is ever made";
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, WorkingFolder, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MayCreateFilesIn, IsFalseForWhatIsNoFolder) {
  testing::ScratchWorkingFolder scratch("folder-probe");
  std::ofstream(scratch.path() / "file") << "x";
  EXPECT_TRUE(mayCreateFilesIn(scratch.path()));
  EXPECT_FALSE(mayCreateFilesIn(scratch.path() / "file"));
  EXPECT_FALSE(mayCreateFilesIn(scratch.path() / "missing"));
  EXPECT_FALSE(mayCreateFilesIn(fs::path()));
}

}  // namespace
}  // namespace quillmark
