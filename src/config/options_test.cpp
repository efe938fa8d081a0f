#include "config/options.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace lumo {
namespace {

using Variables = std::vector<std::pair<std::string, std::string>>;

// Stand-ins: options only carry the chosen format along.
const Format kQoi{.name = "qoi", .description = ""};
const Format kPe{.name = "pe", .description = ""};

std::string describe(const Options& options) {
  auto flag = [](bool value) { return value ? "1" : "0"; };
  return std::string("color=") + flag(options.color) + " uppercase=" + flag(options.uppercase) +
         " show_size=" + flag(options.show_size) + " show_offset=" + flag(options.show_offset) +
         " show_ascii=" + flag(options.show_ascii) + " skip_lines=" + flag(options.skip_lines) +
         " raw=" + flag(options.raw) + " parser=" +
         (options.parser ? std::string(options.parser == &kQoi ? "qoi" : "other") : "absent") +
         (options.palette == defaultPalette() ? " palette=default" : " palette=other");
}

Options merge(const Args& args, bool terminal, const std::optional<Config>& config,
              Variables variables = {}) {
  return mergeOptions(args, terminal, config, platform::Environment::of(std::move(variables)));
}

TEST(MergeOptions, BuiltInDefaultsTakeColorFromTheTerminalTest) {
  Options onTerminal = merge({}, true, std::nullopt);
  EXPECT_EQ(describe(onTerminal),
            "color=1 uppercase=0 show_size=1 show_offset=1 show_ascii=1 skip_lines=1 raw=0 "
            "parser=absent palette=default");
  EXPECT_EQ(onTerminal.palette, defaultPalette());

  Options redirected = merge({}, false, std::nullopt);
  Options expected = onTerminal;
  expected.color = false;
  EXPECT_EQ(describe(redirected), describe(expected));
}

// ---------------------------------------------------------------------------
// color: flag, then a non-empty NO_COLOR, then the file, then the terminal.

struct ColorCase {
  std::string what;
  bool terminal;
  std::optional<bool> fromConfig;
  std::optional<std::string> noColor;
  std::optional<bool> fromFlag;
  bool expected;
};

const std::vector<ColorCase> kColorCases = {
    {"terminal", true, {}, {}, {}, true},
    {"redirected", false, {}, {}, {}, false},
    {"empty NO_COLOR is ignored", true, {}, "", {}, true},
    {"NO_COLOR=0 counts", true, {}, "0", {}, false},
    {"NO_COLOR=false counts", true, {}, "false", {}, false},
    {"NO_COLOR=1", true, {}, "1", {}, false},
    {"NO_COLOR never turns color on", false, {}, "", {}, false},
    {"file beats terminal (on)", false, true, {}, {}, true},
    {"file beats terminal (off)", true, false, {}, {}, false},
    {"NO_COLOR beats file", true, true, "1", {}, false},
    {"empty NO_COLOR leaves file", false, true, "", {}, true},
    {"--color beats NO_COLOR", false, {}, "1", true, true},
    {"--color beats NO_COLOR and file", false, false, "1", true, true},
    {"--no-color beats terminal", true, {}, {}, false, false},
    {"--no-color beats file", true, true, {}, false, false},
};

TEST(MergeOptions, ColorPrecedence) {
  for (const ColorCase& c : kColorCases) {
    SCOPED_TRACE(c.what);
    Args args;
    args.color = c.fromFlag;
    std::optional<Config> config;
    if (c.fromConfig) config = Config{.color = c.fromConfig};
    Variables variables = {{"TERM", "xterm"}};
    if (c.noColor) variables.emplace_back("NO_COLOR", *c.noColor);
    EXPECT_EQ(merge(args, c.terminal, config, variables).color, c.expected);
  }
}

TEST(MergeOptions, NoColorTouchesOnlyColor) {
  Config config{.uppercase = true, .raw = true};
  Options withNoColor = merge({}, true, config, {{"NO_COLOR", "1"}});
  Options expected = merge({}, false, config);
  EXPECT_EQ(describe(withNoColor), describe(expected));
}

// ---------------------------------------------------------------------------
// The other booleans: flag, then file, then default.

TEST(MergeOptions, FileValuesReplaceDefaultsFieldByField) {
  Config config{.uppercase = true,
                .show_size = false,
                .show_offset = false,
                .show_ascii = false,
                .skip_lines = false,
                .raw = true};
  EXPECT_EQ(describe(merge({}, true, config)),
            "color=1 uppercase=1 show_size=0 show_offset=0 show_ascii=0 skip_lines=0 raw=1 "
            "parser=absent palette=default");
}

TEST(MergeOptions, AbsentFileValuesKeepDefaults) {
  // A key set to null in the file reads as absent.
  Options fromEmptyConfig = merge({}, true, Config{});
  EXPECT_EQ(describe(fromEmptyConfig), describe(merge({}, true, std::nullopt)));
  EXPECT_FALSE(fromEmptyConfig.uppercase);
}

TEST(MergeOptions, FlagsBeatTheFileFieldByField) {
  Config config{.color = false,
                .uppercase = false,
                .show_size = true,
                .show_offset = true,
                .show_ascii = true,
                .skip_lines = true,
                .raw = false};
  Args args{.color = true,
            .uppercase = true,
            .show_size = false,
            .show_offset = false,
            .show_ascii = false,
            .skip_lines = false,
            .raw = true};
  EXPECT_EQ(describe(merge(args, false, config)),
            "color=1 uppercase=1 show_size=0 show_offset=0 show_ascii=0 skip_lines=0 raw=1 "
            "parser=absent palette=default");
}

TEST(MergeOptions, FileRawStaysOnWithoutAFlag) {
  // --raw has no negative form, so nothing on the command line undoes it.
  Args args{.color = true, .show_size = true};
  Options options = merge(args, true, Config{.raw = true});
  EXPECT_TRUE(options.raw);
  EXPECT_TRUE(options.show_size);
}

TEST(MergeOptions, ParserComesFromTheFlagsOnly) {
  EXPECT_EQ(merge(Args{.parser = &kPe}, true, Config{.raw = true}).parser, &kPe);
  EXPECT_EQ(merge({}, true, Config{.raw = true}).parser, nullptr);
}

TEST(MergeOptions, ShowPaletteAndFileAreNotOptions) {
  Args args{.file = "x", .show_palette = true};
  EXPECT_EQ(merge(args, true, std::nullopt), merge({}, true, std::nullopt));
}

// ---------------------------------------------------------------------------
// Palette: a file palette replaces all eighteen slots.

TEST(MergeOptions, FilePaletteReplacesTheWholePalette) {
  Palette custom{};  // every slot plain
  custom[kC2Accent].fg = Color::rgb(1, 2, 3);
  custom[kC2Accent].bold = true;
  ASSERT_NE(custom[kC1], defaultPalette()[kC1]);

  Options options = merge({}, true, Config{.palette = custom});
  EXPECT_EQ(options.palette, custom);

  // NO_COLOR and the color flags leave the palette alone.
  EXPECT_EQ(
      merge(Args{.color = false}, true, Config{.palette = custom}, {{"NO_COLOR", "1"}}).palette,
      custom);
}

// ---------------------------------------------------------------------------
// resolveOptions against the real process.

TEST(ResolveOptions, FlagsDecideWhateverTheProcessSays) {
  Result<platform::Environment> environment = platform::Environment::read();
  ASSERT_TRUE(environment.ok());
  if (environment->get("APPDATA")) GTEST_SKIP() << "a configuration file may exist";

  Args args{.color = true,
            .uppercase = true,
            .show_size = false,
            .show_offset = false,
            .show_ascii = true,
            .skip_lines = false,
            .raw = true,
            .parser = &kQoi};
  Result<Options> options = resolveOptions(args);
  ASSERT_TRUE(options.ok()) << failureName(options.failure());
  EXPECT_EQ(describe(*options),
            "color=1 uppercase=1 show_size=0 show_offset=0 show_ascii=1 skip_lines=0 raw=1 "
            "parser=qoi palette=default");
}

}  // namespace
}  // namespace lumo
