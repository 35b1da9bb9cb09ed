#include "service/icon_design.h"

#include <array>
#include <string>

namespace quillmark::service {
namespace {

bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// A cursor over the name that consumes the pieces of the grammar.
struct Reader {
  std::string_view rest;

  bool take(char c) {
    if (rest.empty() || rest.front() != c) return false;
    rest.remove_prefix(1);
    return true;
  }
  bool takeNumber() {
    std::size_t n = 0;
    while (n < rest.size() && isDigit(rest[n])) ++n;
    if (n == 0) return false;
    rest.remove_prefix(n);
    return true;
  }
  // A number, bare or in parentheses.
  bool takeLastNumber() {
    if (take('(')) return takeNumber() && take(')');
    return takeNumber();
  }
};

std::uint64_t mix(std::uint64_t x) {
  x ^= x >> 30;
  x *= 0xbf58476d1ce4e5b9ULL;
  x ^= x >> 27;
  x *= 0x94d049bb133111ebULL;
  x ^= x >> 31;
  return x;
}

// A stream of well-spread numbers from one seed (splitmix64).
struct Stream {
  std::uint64_t state;
  std::uint64_t next() { return mix(state += 0x9e3779b97f4a7c15ULL); }
  // Uniform in [low, high).
  double real(double low, double high) {
    return low + (high - low) * static_cast<double>(next() >> 11) * 0x1.0p-53;
  }
  // Uniform in [low, high].
  int integer(int low, int high) {
    return low + static_cast<int>(next() % static_cast<std::uint64_t>(high - low + 1));
  }
};

struct CountRange {
  int low;
  int high;
};

CountRange countRangeOf(IconFamily family) {
  switch (family) {
    case IconFamily::rosette: return {5, 12};
    case IconFamily::polygons: return {3, 8};
    case IconFamily::star: return {5, 11};
    case IconFamily::figure: return {6, 16};
    case IconFamily::leaves: return {3, 7};
    case IconFamily::skyline: return {3, 6};
    case IconFamily::waves: return {2, 5};
    case IconFamily::spiral: return {14, 30};
    case IconFamily::mosaic: return {3, 5};
    case IconFamily::arcs: return {2, 4};
    case IconFamily::fallback: return {0, 0};
  }
  return {0, 0};
}

}  // namespace

std::string_view templatePrefix(std::string_view name) {
  Reader reader{name};
  std::size_t letters = 0;
  while (letters < name.size() && isLetter(name[letters])) ++letters;
  if (letters == 0) return {};
  reader.rest.remove_prefix(letters);
  constexpr std::string_view suffix = ".png";
  if (reader.rest.size() < suffix.size() || !reader.rest.ends_with(suffix)) return {};
  reader.rest.remove_suffix(suffix.size());

  bool valid = false;
  if (!reader.rest.empty() && isDigit(reader.rest.front())) {
    // letters and one digit, "-", number
    reader.rest.remove_prefix(1);
    valid = reader.take('-') && reader.takeLastNumber() && reader.rest.empty();
  } else if (reader.take('-')) {
    Reader one = reader;
    if (one.takeLastNumber() && one.rest.empty()) {
      valid = true;  // letters-n
    } else {
      valid = reader.takeNumber() && reader.take('-') && reader.takeLastNumber() &&
              reader.rest.empty();  // letters-n-n
    }
  }
  return valid ? name.substr(0, letters) : std::string_view{};
}

std::uint64_t nameHash(std::string_view bytes) {
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (const char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3ULL;
  }
  return mix(hash);
}

IconFamily iconFamilyOf(std::string_view name) {
  const std::string_view prefix = templatePrefix(name);
  if (prefix.empty()) return IconFamily::fallback;
  if (prefix.size() == 1) return IconFamily::arcs;
  struct Entry {
    std::string_view letters;
    IconFamily family;
  };
  static constexpr std::array<Entry, 9> kFamilies{{
      {"tb", IconFamily::rosette},
      {"zm", IconFamily::polygons},
      {"dw", IconFamily::star},
      {"rw", IconFamily::figure},
      {"zw", IconFamily::leaves},
      {"jz", IconFamily::skyline},
      {"fn", IconFamily::waves},
      {"yu", IconFamily::spiral},
      {"kc", IconFamily::mosaic},
  }};
  std::string folded;
  for (const char c : prefix) folded.push_back(lower(c));
  for (const Entry& entry : kFamilies)
    if (entry.letters == folded) return entry.family;
  return kFamilies[nameHash(folded) % kFamilies.size()].family;
}

IconDesign iconDesignFor(std::string_view name) {
  IconDesign design;
  design.family = iconFamilyOf(name);
  if (design.family == IconFamily::fallback) return design;
  design.seed = nameHash(name);
  Stream stream{design.seed};
  const CountRange range = countRangeOf(design.family);
  design.count = stream.integer(range.low, range.high);
  design.rotation = stream.real(0.0, 360.0);
  design.hue = stream.real(0.0, 360.0);
  design.hueShift = stream.real(30.0, 210.0);
  design.saturation = stream.real(0.45, 0.9);
  design.value = stream.real(0.6, 0.9);
  design.ratio = stream.real(0.3, 0.7);
  for (double& extra : design.extras) extra = stream.real(0.0, 1.0);
  return design;
}

}  // namespace quillmark::service
