// Replays a fuzz target over every file of its corpus folder, so that the
// inputs the fuzzer found (crashes and property failures included, once
// fixed) run with the ordinary tests, with any compiler and in seconds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

// Named after the target, so that every replay test has a name of its own.
TEST(FuzzReplay, QUILLMARK_FUZZ_TARGET) {
  const std::filesystem::path folder(QUILLMARK_FUZZ_CORPUS);
  ASSERT_TRUE(std::filesystem::is_directory(folder)) << folder;
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    if (entry.is_regular_file()) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  ASSERT_FALSE(files.empty()) << "no corpus files in " << folder;
  for (const auto& file : files) {
    SCOPED_TRACE(file.string());
    std::ifstream stream(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
    ASSERT_TRUE(stream.good() || stream.eof());
    // A property that does not hold aborts the process, which fails the test.
    EXPECT_EQ(LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), 0);
  }
}

}  // namespace
