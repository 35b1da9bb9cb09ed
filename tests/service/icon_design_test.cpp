#include "service/icon_design.h"

#include <gtest/gtest.h>

#include <QFile>

#include <functional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "service/logo_renderer.h"

namespace quillmark::service {
namespace {

TEST(TemplatePrefix, AcceptsTheFourFormsOnly) {
  const std::pair<const char*, const char*> cases[] = {
      {"zm-1-205.png", "zm"},
      {"tb-10-406.png", "tb"},
      {"tb8-142.png", "tb"},
      {"dw1-8.png", "dw"},
      {"zw-147.png", "zw"},
      {"kc-96.png", "kc"},
      {"z-(100).png", "z"},
      {"tb-9-(927).png", "tb"},
      {"tb8-(142).png", "tb"},
      {"ZM-1-205.png", "ZM"},
      {"", ""},
      {"zm-1-205", ""},
      {"zm-1-205.PNG", ""},
      {"zm-1-205.png ", ""},
      {"zm-1-205.png.png", ""},
      {"-1-205.png", ""},
      {"zm--205.png", ""},
      {"zm-1-.png", ""},
      {"zm-1-2-3.png", ""},
      {"zm12-3.png", ""},  // only one digit may follow the letters
      {"zm1-2-3.png", ""},
      {"z-(100.png", ""},
      {"z-().png", ""},
      {"z-(1)-2.png", ""},  // only the last number may stand in parentheses
      {"zm.png", ""},
      {"../zm-1-2.png", ""},
  };
  for (const auto& [name, prefix] : cases) {
    SCOPED_TRACE(name);
    EXPECT_EQ(templatePrefix(name), prefix);
  }
}

TEST(IconFamilyOf, LeadingLettersChooseTheFamily) {
  const std::pair<const char*, IconFamily> cases[] = {
      {"tb-1-2.png", IconFamily::rosette},  {"zm-1-205.png", IconFamily::polygons},
      {"dw1-8.png", IconFamily::star},      {"rw-3-4.png", IconFamily::figure},
      {"zw-147.png", IconFamily::leaves},   {"jz-1-110.png", IconFamily::skyline},
      {"fn-2-3.png", IconFamily::waves},    {"yu-5-6.png", IconFamily::spiral},
      {"kc-96.png", IconFamily::mosaic},    {"z-(100).png", IconFamily::arcs},
      {"q-1-2.png", IconFamily::arcs},      {"TB-1-2.png", IconFamily::rosette},
      {"bogus.gif", IconFamily::fallback},  {"", IconFamily::fallback},
  };
  for (const auto& [name, family] : cases) {
    SCOPED_TRACE(name);
    EXPECT_EQ(iconFamilyOf(name), family);
  }
  // Any other prefix of a valid form still gets one of the nine families.
  EXPECT_NE(iconFamilyOf("abc-1-2.png"), IconFamily::fallback);
  EXPECT_NE(iconFamilyOf("abc-1-2.png"), IconFamily::arcs);
}

TEST(IconDesignFor, UnknownNamesShareTheDefaultDesign) {
  const IconDesign a = iconDesignFor("bogus.gif");
  const IconDesign b = iconDesignFor("");
  EXPECT_EQ(a.family, IconFamily::fallback);
  EXPECT_EQ(a.seed, 0u);
  EXPECT_EQ(a.count, 0);
  EXPECT_EQ(b.family, IconFamily::fallback);
  EXPECT_NE(iconDesignFor("zm-1-205.png").seed, 0u);
}

// The template names the tool picks from, read from its own list; none when
// the list cannot be read.
std::vector<std::string> templateNames() {
  std::vector<std::string> names;
  QFile file(QStringLiteral(QUILLMARK_TEMPLATE_LIST));
  if (!file.open(QIODevice::ReadOnly)) return names;
  for (const QByteArray& line : file.readAll().split('\n'))
    if (!line.trimmed().isEmpty()) names.push_back(line.trimmed().toStdString());
  return names;
}

TEST(RenderIcon, EveryTemplateNameDrawsADistinctIcon) {
  const std::vector<std::string> names = templateNames();
  ASSERT_EQ(names.size(), 3662u) << "read from " << QUILLMARK_TEMPLATE_LIST;
  ASSERT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size());
  std::unordered_map<std::size_t, std::string> seen;
  for (const std::string& name : names) {
    ASSERT_NE(iconFamilyOf(name), IconFamily::fallback) << name;
    const QImage icon = renderIcon(iconDesignFor(name), 120);
    const std::size_t key = std::hash<std::string_view>{}(std::string_view(
        reinterpret_cast<const char*>(icon.constBits()), static_cast<std::size_t>(icon.sizeInBytes())));
    const auto [it, added] = seen.emplace(key, name);
    if (!added) {
      // Equal hashes: compare the pictures themselves.
      EXPECT_NE(renderIcon(iconDesignFor(it->second), 120), icon) << it->second << " and " << name;
    }
  }
}

TEST(RenderIcon, OneNameAlwaysDrawsTheSameIcon) {
  for (const char* name : {"zm-1-205.png", "z-(100).png", "bogus"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(renderIcon(iconDesignFor(name), 120), renderIcon(iconDesignFor(name), 120));
  }
  EXPECT_TRUE(renderIcon(iconDesignFor("zm-1-205.png"), 0).isNull());
}

}  // namespace
}  // namespace quillmark::service
