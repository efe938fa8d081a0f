#include "config/config_schema.h"

#include <gtest/gtest.h>

#include <string>

namespace lumo {
namespace {

using colors::kBlack;
using colors::kBlue;
using colors::kBright;
using colors::kRed;
using colors::kWhite;

const std::optional<Color> kNoColor;

TextStyle style(std::optional<Color> fg, std::optional<Color> bg = {}, bool dim = false,
                bool bold = false) {
  return TextStyle{fg, bg, dim, bold};
}

// The formatted diagnostic of a rejected document, or "ok".
std::string outcome(std::string_view text, Config* bound = nullptr) {
  ziggy::Diagnostic diagnostic{"cfg", {}};
  Result<Config> config = parseConfig(text, diagnostic);
  if (config) {
    if (bound != nullptr) *bound = *config;
    return "ok";
  }
  if (config.failure() != Failure::Syntax) return "failure other than Syntax";
  return formatDiagnostic(diagnostic);
}

// A palette on lines 2 to 19 whose first slot, `normal`, has `value`, which
// therefore starts on line 2, column 13; every other slot is plain white.
// `omitted` names slots to leave out.
std::string paletteDocument(std::string_view value,
                            std::initializer_list<std::string_view> omitted = {}) {
  std::string text = ".palette = {\n  .normal = " + std::string(value) + ",\n";
  for (std::size_t slot = 1; slot < kSlotCount; ++slot) {
    bool skip = false;
    for (std::string_view name : omitted) skip = skip || name == kSlotNames[slot];
    if (!skip) text += "  ." + std::string(kSlotNames[slot]) + " = @color(\"white\"),\n";
  }
  return text + "}\n";
}

struct StyleCase {
  const char* value;
  TextStyle expected;
};

TEST(ConfigStyleValue, ReadsStyleTexts) {
  const StyleCase cases[] = {
      {R"(@color("red"))", style(Color::named(kRed))},
      {R"(@color('red'))", style(Color::named(kRed))},
      {R"(@ color ( "red" ))", style(Color::named(kRed))},
      {R"(@color("red:"))", style(Color::named(kRed))},
      {R"(@color("#FFaa00:black"))", style(Color::rgb(255, 170, 0), Color::named(kBlack))},
      {R"(@color("white::dim"))", style(Color::named(kWhite), kNoColor, true, false)},
      {R"(@color("bright_white::bold"))",
       style(Color::named(kWhite + kBright), kNoColor, false, true)},
      {R"(@color("red:blue:bold"))", style(Color::named(kRed), Color::named(kBlue), false, true)},
  };
  for (const StyleCase& c : cases) {
    Config config;
    ASSERT_EQ(outcome(paletteDocument(c.value), &config), "ok") << c.value;
    ASSERT_TRUE(config.palette.has_value());
    EXPECT_TRUE((*config.palette)[kNormal] == c.expected) << c.value;
    EXPECT_TRUE((*config.palette)[kC5Accent] == style(Color::named(kWhite)));
  }
}

struct RejectCase {
  const char* value;
  const char* diagnostic;
};

TEST(ConfigStyleValue, RejectsMalformedValues) {
  const RejectCase cases[] = {
      {R"("red")", "cfg:2:13\nunexpected '(string)', expected: '@'\n"},
      {"null", "cfg:2:13\nunexpected 'null', expected: '@'\n"},
      {"true", "cfg:2:13\nunexpected 'true', expected: '@'\n"},
      {R"(@"red")", "cfg:2:14\nunexpected '(string)', expected: '(identifier)'\n"},
      {R"(@colour("red"))", "cfg:2:14\nsyntax error\n"},
      {R"(@Color("red"))", "cfg:2:14\nsyntax error\n"},
      {R"(@color "red")", "cfg:2:20\nunexpected '(string)', expected: '('\n"},
      {R"(@color(red))", "cfg:2:20\nunexpected '(identifier)', expected: '(string)'\n"},
      {R"(@color(1))", "cfg:2:20\nunexpected '(integer)', expected: '(string)'\n"},
      {R"(@color("red")", "cfg:2:25\nunexpected ',', expected: ')'\n"},
      // Backslashes are never part of a style, escaped quotes included.
      {R"(@color("re\"d"))", "cfg:2:13\nsyntax error\n"},
      {R"(@color("red\\"))", "cfg:2:13\nsyntax error\n"},
      // Style texts that the color grammar rejects.
      {R"(@color(""))", "cfg:2:13\nsyntax error\n"},
      {R"(@color(":red"))", "cfg:2:13\nsyntax error\n"},
      {R"(@color("Red"))", "cfg:2:13\nsyntax error\n"},
      {R"(@color("BRIGHT_RED"))", "cfg:2:13\nsyntax error\n"},
      {R"(@color("pink"))", "cfg:2:13\nsyntax error\n"},
      {R"(@color(" red"))", "cfg:2:13\nsyntax error\n"},
      {R"(@color("#12345"))", "cfg:2:13\nsyntax error\n"},
      {R"(@color("#0g0000"))", "cfg:2:13\nsyntax error\n"},
      {R"(@color("red::"))", "cfg:2:13\nsyntax error\n"},
      {R"(@color("red:blue:italic"))", "cfg:2:13\nsyntax error\n"},
      {R"(@color("red:blue:dim,bold"))", "cfg:2:13\nsyntax error\n"},
      {R"(@color("red:blue:dim:bold"))", "cfg:2:13\nsyntax error\n"},
  };
  for (const RejectCase& c : cases) {
    EXPECT_EQ(outcome(paletteDocument(c.value)), c.diagnostic) << c.value;
  }
}

TEST(ConfigPalette, NeedsAllEighteenSlots) {
  const std::string red = R"(@color("red"))";
  // The closing brace of the palette is on line 19 when one slot is left out.
  EXPECT_EQ(outcome(paletteDocument(red, {"c5_accent"})), "cfg:19:1\nmissing field: 'c5_accent'");
  EXPECT_EQ(outcome(paletteDocument(red, {"c3", "normal_alt"})),
            "cfg:18:1\nmissing field: 'normal_alt'");
  EXPECT_EQ(outcome(".palette = {}"), "cfg:1:13\nmissing field: 'normal'");
}

TEST(ConfigPalette, RejectsUnknownAndRepeatedSlots) {
  std::string unknown = paletteDocument(R"(@color("red"))");
  unknown.insert(unknown.size() - 2, "  .c6 = @color(\"red\"),\n");
  EXPECT_EQ(outcome(unknown), "cfg:20:4\nunknown field 'c6'");

  std::string repeated = paletteDocument(R"(@color("red"))");
  repeated.insert(repeated.size() - 2, "  .normal = @color(\"red\"),\n");
  EXPECT_EQ(outcome(repeated),
            "cfg:20:4\nduplicate field 'normal', first definition here:\ncfg:2:4\n");
}

TEST(ConfigRecord, BindsTheBooleansAndThePalette) {
  Config config;
  ASSERT_EQ(outcome(".color = true, .uppercase = false, .show_size = null, .show_offset = false,"
                    " .show_ascii = true, .skip_lines = false, .raw = true",
                    &config),
            "ok");
  EXPECT_EQ(config.color, true);
  EXPECT_EQ(config.uppercase, false);
  EXPECT_EQ(config.show_size, std::nullopt);
  EXPECT_EQ(config.show_offset, false);
  EXPECT_EQ(config.show_ascii, true);
  EXPECT_EQ(config.skip_lines, false);
  EXPECT_EQ(config.raw, true);
  EXPECT_FALSE(config.palette.has_value());

  ASSERT_EQ(outcome("{ .palette = null }", &config), "ok");
  EXPECT_FALSE(config.palette.has_value());
  EXPECT_FALSE(config.color.has_value());
}

TEST(ConfigRecord, RejectsKeysItDoesNotKnow) {
  EXPECT_EQ(outcome(".Color = true"), "cfg:1:2\nunknown field 'Color'");
  EXPECT_EQ(outcome("{ .parser = \"elf\" }"), "cfg:1:4\nunknown field 'parser'");
  EXPECT_EQ(outcome(".palette = null,\n.palette = {}"),
            "cfg:2:2\nduplicate field 'palette', first definition here:\ncfg:1:2\n");
  EXPECT_EQ(outcome("{ .raw = 1 }"),
            "cfg:1:10\nunexpected '(integer)', expected: 'true' or 'false'\n");
  EXPECT_EQ(outcome("{ .palette = \"default\" }"),
            "cfg:1:14\nunexpected '(string)', expected: '.' or '}'\n");
}

}  // namespace
}  // namespace lumo
