// Code page 936 as a whole, checked against glibc's iconv "CP936" table as an
// independent oracle: every one-byte code and every two-byte code (lead
// 0x81-0xFE, trail 0x40-0xFE without 0x7F) is decoded to UTF-16 and UTF-8 and
// encoded back.
//
// The two tables disagree at exactly 2150 codes, listed below: the user-defined
// areas and a few unassigned cells, which the Microsoft table (our code page
// 936) maps to the Private Use Area U+E000-U+E864, and the single byte 0xFF,
// which it maps to U+F8F5. glibc's CP936 leaves them all undecodable. The
// conversion follows the Microsoft table there, since that is the system's own
// code page: a text typed on such a system may hold these characters, and they
// must survive the trip to UTF-16 and back.
#include <gtest/gtest.h>
#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/codepage.h"

namespace quillmark::platform {
namespace {

// Runs of consecutive codes (trail 0x7F skipped; never crossing a lead byte)
// that map to consecutive code points from `first`.
struct PrivateUseRun {
  std::uint16_t from;
  std::uint16_t to;
  char16_t first;
};

constexpr PrivateUseRun kMicrosoftOnly[] = {
    {0x00FF, 0x00FF, 0xF8F5}, {0xA140, 0xA1A0, 0xE4C6}, {0xA240, 0xA2A0, 0xE526},
    {0xA2AB, 0xA2B0, 0xE766}, {0xA2E3, 0xA2E4, 0xE76C}, {0xA2EF, 0xA2F0, 0xE76E},
    {0xA2FD, 0xA2FE, 0xE770}, {0xA340, 0xA3A0, 0xE586}, {0xA440, 0xA4A0, 0xE5E6},
    {0xA4F4, 0xA4FE, 0xE772}, {0xA540, 0xA5A0, 0xE646}, {0xA5F7, 0xA5FE, 0xE77D},
    {0xA640, 0xA6A0, 0xE6A6}, {0xA6B9, 0xA6C0, 0xE785}, {0xA6D9, 0xA6DF, 0xE78D},
    {0xA6EC, 0xA6ED, 0xE794}, {0xA6F3, 0xA6F3, 0xE796}, {0xA6F6, 0xA6FE, 0xE797},
    {0xA740, 0xA7A0, 0xE706}, {0xA7C2, 0xA7D0, 0xE7A0}, {0xA7F2, 0xA7FE, 0xE7AF},
    {0xA896, 0xA8A0, 0xE7BC}, {0xA8BC, 0xA8BC, 0xE7C7}, {0xA8BF, 0xA8BF, 0xE7C8},
    {0xA8C1, 0xA8C4, 0xE7C9}, {0xA8EA, 0xA8FE, 0xE7CD}, {0xA958, 0xA958, 0xE7E2},
    {0xA95B, 0xA95B, 0xE7E3}, {0xA95D, 0xA95F, 0xE7E4}, {0xA989, 0xA995, 0xE7E7},
    {0xA997, 0xA9A3, 0xE7F4}, {0xA9F0, 0xA9FE, 0xE801}, {0xAAA1, 0xAAFE, 0xE000},
    {0xABA1, 0xABFE, 0xE05E}, {0xACA1, 0xACFE, 0xE0BC}, {0xADA1, 0xADFE, 0xE11A},
    {0xAEA1, 0xAEFE, 0xE178}, {0xAFA1, 0xAFFE, 0xE1D6}, {0xD7FA, 0xD7FE, 0xE810},
    {0xF8A1, 0xF8FE, 0xE234}, {0xF9A1, 0xF9FE, 0xE292}, {0xFAA1, 0xFAFE, 0xE2F0},
    {0xFBA1, 0xFBFE, 0xE34E}, {0xFCA1, 0xFCFE, 0xE3AC}, {0xFDA1, 0xFDFE, 0xE40A},
    {0xFE50, 0xFEA0, 0xE815}, {0xFEA1, 0xFEFE, 0xE468},
};

std::map<std::uint16_t, char16_t> microsoftOnlyCodes() {
  std::map<std::uint16_t, char16_t> codes;
  for (const auto& run : kMicrosoftOnly) {
    char16_t unit = run.first;
    for (unsigned code = run.from; code <= run.to; ++code) {
      if ((code & 0xFF) == 0x7F) continue;
      codes[static_cast<std::uint16_t>(code)] = unit++;
    }
  }
  return codes;
}

std::string bytesOf(unsigned code) {
  if (code <= 0xFF) return std::string(1, static_cast<char>(code));
  return {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
}

std::vector<unsigned> everyCode() {
  std::vector<unsigned> codes;
  for (unsigned b = 0x01; b <= 0xFF; ++b) codes.push_back(b);
  for (unsigned lead = 0x81; lead <= 0xFE; ++lead)
    for (unsigned trail = 0x40; trail <= 0xFE; ++trail)
      if (trail != 0x7F) codes.push_back(lead << 8 | trail);
  return codes;
}

// glibc's iconv, one conversion descriptor per direction.
class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // The whole input converted, or nothing when any of it is rejected.
  std::optional<std::string> convert(const std::string& input) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    std::string in = input;
    char out[64];
    char* inPtr = in.data();
    size_t inLeft = in.size();
    char* outPtr = out;
    size_t outLeft = sizeof out;
    if (iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1) || inLeft != 0)
      return std::nullopt;
    if (iconv(cd_, nullptr, nullptr, &outPtr, &outLeft) == static_cast<size_t>(-1))
      return std::nullopt;
    return std::string(out, outPtr);
  }

 private:
  iconv_t cd_;
};

std::u16string fromLittleEndian(const std::string& bytes) {
  std::u16string units;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2)
    units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                          static_cast<unsigned char>(bytes[i + 1]) << 8));
  return units;
}

std::string toLittleEndian(const std::u16string& units) {
  std::string bytes;
  for (char16_t unit : units) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

// The code decoded as the program decodes it: with -1, through the measuring
// call and the conversion, the terminator checked and dropped.
std::u16string decode(const std::string& bytes) {
  const int needed = MultiByteToWideChar(kCodePageGbk, 0, bytes.c_str(), -1, nullptr, 0);
  std::u16string units(static_cast<size_t>(needed), u'x');
  EXPECT_EQ(MultiByteToWideChar(kCodePageGbk, 0, bytes.c_str(), -1, units.data(), needed), needed);
  EXPECT_FALSE(units.empty());
  if (units.empty()) return units;
  EXPECT_EQ(units.back(), u'\0');
  units.pop_back();
  return units;
}

std::string encode(unsigned codePage, const std::u16string& units) {
  const int needed =
      WideCharToMultiByte(codePage, 0, units.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(needed), 'x');
  EXPECT_EQ(WideCharToMultiByte(codePage, 0, units.c_str(), -1, bytes.data(), needed, nullptr,
                                nullptr),
            needed);
  EXPECT_FALSE(bytes.empty());
  if (bytes.empty()) return bytes;
  EXPECT_EQ(bytes.back(), '\0');
  bytes.pop_back();
  return bytes;
}

TEST(CodePage936Table, AgreesWithGlibcExceptAtTheDocumentedCodes) {
  Iconv glibcToUtf16("UTF-16LE", "CP936");
  Iconv glibcToUtf8("UTF-8", "CP936");
  Iconv glibcFromUtf16("CP936", "UTF-16LE");
  ASSERT_TRUE(glibcToUtf16.ok() && glibcToUtf8.ok() && glibcFromUtf16.ok());

  const auto documented = microsoftOnlyCodes();
  ASSERT_EQ(documented.size(), 2150u);

  std::map<std::uint16_t, char16_t> disagreements;
  int agreeing = 0;
  for (unsigned code : everyCode()) {
    SCOPED_TRACE(::testing::Message() << "code " << std::hex << std::uppercase << code);
    const std::string bytes = bytesOf(code);
    const std::u16string ours = decode(bytes);
    const std::string oursUtf8 = encode(kCodePageUtf8, ours);
    const std::string oursBack = encode(kCodePageGbk, ours);
    const auto theirs = glibcToUtf16.convert(bytes);

    if (!theirs) {
      // glibc cannot decode it. Agreement means we cannot either: a lead
      // byte alone is a broken character, U+FFFD, and "?" on the way back.
      if (ours == u"\uFFFD") {
        EXPECT_EQ(oursBack, "?");
        ++agreeing;
      } else {
        ASSERT_EQ(ours.size(), 1u);
        disagreements[static_cast<std::uint16_t>(code)] = ours[0];
        EXPECT_EQ(oursBack, bytes) << "a Microsoft-only code must survive the round trip";
      }
      continue;
    }
    const std::u16string theirUnits = fromLittleEndian(*theirs);
    if (ours != theirUnits) {
      ADD_FAILURE() << "both tables map the code, differently";
      continue;
    }
    ++agreeing;
    EXPECT_EQ(oursUtf8, glibcToUtf8.convert(bytes).value_or("<rejected>"));
    EXPECT_EQ(oursBack, bytes);
    EXPECT_EQ(glibcFromUtf16.convert(toLittleEndian(ours)).value_or("<rejected>"), bytes);
    // UTF-8 back to UTF-16 is the identity on what the code decodes to.
    EXPECT_EQ(toUtf16(kCodePageUtf8, oursUtf8), ours);
  }

  EXPECT_EQ(disagreements, documented);
  EXPECT_EQ(agreeing + static_cast<int>(documented.size()), static_cast<int>(everyCode().size()));
}

TEST(CodePage936Table, AnsiCodePageIsTheSameTable) {
  for (unsigned code : everyCode()) {
    const std::string bytes = bytesOf(code);
    ASSERT_EQ(toUtf16(kCodePageAnsi, bytes), toUtf16(kCodePageGbk, bytes)) << std::hex << code;
  }
}

}  // namespace
}  // namespace quillmark::platform
