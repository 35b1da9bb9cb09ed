// The icon of a logo, as numbers: which family of shapes and which
// parameters, derived from the icon template's file name alone.
//
// Template names come in four forms: letters-n-n.png ("zm-1-205.png"),
// letters and one digit-n.png ("tb8-142.png"), letters-n.png ("zw-147.png"),
// and any of these with the last number in parentheses ("z-(100).png",
// "tb-9-(927).png"). The leading letters choose a family of shapes; a hash of
// the whole name chooses every parameter, so that two names give two
// different icons and one name always gives the same icon. A name of no known
// form gets the one default icon. Pure: no Qt, no state.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace quillmark::service {

enum class IconFamily {
  rosette,   // "tb": petals around a disc
  polygons,  // "zm": nested regular polygons
  star,      // "dw": a star polygon
  figure,    // "rw": a head and shoulders in a ring of dots
  leaves,    // "zw": leaves fanning from a stem
  skyline,   // "jz": buildings of different heights
  waves,     // "fn": waves inside a disc
  spiral,    // "yu": a spiral of dots
  mosaic,    // "kc": a grid of tiles
  arcs,      // one-letter prefixes: concentric arcs
  fallback,  // the default icon, for names of no known form
};

// The leading ASCII letters of `name` when it has one of the four forms
// (letters are a-z or A-Z, numbers one or more decimal digits, the suffix
// ".png" exactly); an empty view otherwise.
std::string_view templatePrefix(std::string_view name);

// The family that a valid name's leading letters choose (case-insensitive):
// the nine two-letter prefixes their own family, any one-letter prefix arcs,
// any other prefix a family picked by the hash of the letters. Names of no
// known form (including the empty name) give fallback.
IconFamily iconFamilyOf(std::string_view name);

// 64-bit FNV-1a of the bytes, then a final avalanche mix.
std::uint64_t nameHash(std::string_view bytes);

struct IconDesign {
  IconFamily family = IconFamily::fallback;
  std::uint64_t seed = 0;   // the name's hash; drives any further choices
  int count = 0;            // petals, sides, points, leaves, bars, waves, dots, tiles per side, arcs
  double rotation = 0.0;    // degrees, 0 <= rotation < 360
  double hue = 0.0;         // degrees, 0 <= hue < 360
  double hueShift = 0.0;    // degrees between the main and the second colour, 30..210
  double saturation = 0.0;  // 0.45..0.9
  double value = 0.0;       // 0.6..0.9
  double ratio = 0.0;       // 0.3..0.7: inner radius, amplitude or spread, by family
  std::array<double, 32> extras{};  // each 0 <= x < 1: bar heights, tiles, arc spans, by family
};

// The design for `name`. Every field is fixed by the name; the fallback design
// has all numeric fields 0 and is the same for every name of no known form.
IconDesign iconDesignFor(std::string_view name);

}  // namespace quillmark::service
