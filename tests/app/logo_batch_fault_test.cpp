// The batch job with a fake window against logo services whose first answer
// misbehaves: whatever the first request meets, the job shows and saves what
// it got (an empty file for a failed request) and goes on to the second
// title, whose logo arrives whole. The job passes no time-out of its own, so
// a stalling service costs the routine's default 15 s; the watchdog turns a
// hang into a failure, and no duration is asserted.
#include "app/logo_batch.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <ostream>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/fake_window.h"
#include "app/scratch_working_folder.h"
#include "support/faulty_service.h"
#include "support/watchdog.h"

namespace quillmark {
namespace {

namespace fs = std::filesystem;
using test_support::Fault;
using test_support::FaultyService;
using test_support::ScriptedReply;

const std::string kLogo = std::string("\x89PNG\r\n\x1a\n", 8) + "second logo";
const std::string kImagePath = "/logoa/logo_img_sc.php";

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

struct JobRow {
  Fault fault;
  std::string firstFile;  // what 1.png holds; "<huge>": the whole 100 MB pattern
};

void PrintTo(const JobRow& row, std::ostream* out) { *out << test_support::faultName(row.fault); }

const JobRow kRows[] = {
    {Fault::Refused, ""},
    {Fault::NeverAnswers, ""},
    {Fault::HeadersThenStall, ""},
    {Fault::ShortBody, ""},
    {Fault::GarbageStatusLine, ""},
    {Fault::RedirectLoop, ""},
    {Fault::HttpsToHttp, ""},
    {Fault::ServerError, std::string(test_support::kServerErrorPage)},  // written unchanged
    {Fault::HugeBody, "<huge>"},
    {Fault::SlowDrip, test_support::patternBody(test_support::kDripBytes)},
    {Fault::EndlessBody, ""},  // refused past the request object's limit
};

class LogoBatchFaults : public ::testing::TestWithParam<JobRow> {
 protected:
  testing::ScratchWorkingFolder scratch_{"faults-" + test_support::faultName(GetParam().fault)};
  const fs::path& folder_ = scratch_.path();
};

TEST_P(LogoBatchFaults, TheJobGoesOnToTheNextTitle) {
  const JobRow& row = GetParam();
  FaultyService service(row.fault, kImagePath, ScriptedReply::response(200, "OK", {"Content-Type: image/png"}, kLogo));
  testing::FakeWindow window(Text("first\r\nsecond"), Text("zm-1-205.png\r\ntb8-142.png"));
  // Reads of the titles: 1 counts them, 2 is the first pass, 3 the second.
  window.onTitlesRead = [&service](int reads, Text&) {
    if (reads == 3) service.listen();
  };
  {
    test_support::Watchdog watchdog(std::chrono::seconds(2 * 15 + 90),
                                    "the batch job against " + test_support::faultName(row.fault));
    runLogoBatch(window, LogoService{Text("127.0.0.1:" + std::to_string(service.port()))});
  }

  ASSERT_EQ(window.captions().size(), 2u);
  EXPECT_EQ(window.readCaption().view(), "second");
  const std::string first = readFile(folder_ / "1.png");
  ASSERT_TRUE(fs::exists(folder_ / "1.png"));
  if (row.firstFile == "<huge>") {
    ASSERT_EQ(first.size(), test_support::kHugeBodyBytes);
    EXPECT_TRUE(first == test_support::patternBody(test_support::kHugeBodyBytes)) << "the bytes differ";
  } else {
    EXPECT_EQ(first, row.firstFile);
  }
  EXPECT_EQ(readFile(folder_ / "2.png"), kLogo);
  const auto pictures = window.pictures();
  ASSERT_EQ(pictures.size(), 2u);
  EXPECT_EQ(pictures[0].view().size(), first.size());
  EXPECT_EQ(pictures[1].view(), kLogo);
}

INSTANTIATE_TEST_SUITE_P(Rows, LogoBatchFaults, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<JobRow>& info) {
                           return test_support::faultName(info.param.fault);
                         });

}  // namespace
}  // namespace quillmark
