#include "cli/args.h"
#include "parsers/registry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lumo {
namespace {

using Arguments = std::vector<std::string>;
using Action = ArgsOutcome::Action;

std::string joined(const Arguments& arguments) {
  std::string text;
  for (const std::string& argument : arguments) text += "[" + argument + "]";
  return text;
}

std::string describe(const std::optional<bool>& value) {
  return value ? (*value ? "true" : "false") : "absent";
}

std::string describe(const Args& args) {
  return "file=" + (args.file ? "[" + *args.file + "]" : std::string("absent")) +
         " color=" + describe(args.color) + " uppercase=" + describe(args.uppercase) +
         " show_size=" + describe(args.show_size) + " show_offset=" + describe(args.show_offset) +
         " show_ascii=" + describe(args.show_ascii) + " skip_lines=" + describe(args.skip_lines) +
         " raw=" + describe(args.raw) + " show_palette=" + describe(args.show_palette) +
         " parser=" + (args.parser ? std::string(args.parser->name) : "absent");
}

// ---------------------------------------------------------------------------
// Command lines that run.

struct RunCase {
  Arguments arguments;
  Args expected;
};

const std::vector<RunCase> kRunCases = {
    {{}, Args{}},
    {{"file.bin"}, Args{.file = "file.bin"}},
    // "-" is standard input and "" is a path like any other: both are files.
    {{"-"}, Args{.file = "-"}},
    {{""}, Args{.file = ""}},
    // The file may stand before, between or after the flags.
    {{"--color", "f"}, Args{.file = "f", .color = true}},
    {{"f", "--color"}, Args{.file = "f", .color = true}},
    {{"--size", "f", "--no-ascii"}, Args{.file = "f", .show_size = true, .show_ascii = false}},
    // Every positive name sets its own field to true.
    {{"--color", "--uppercase", "--size", "--offset", "--ascii", "--skip-lines", "--raw",
      "--show-palette"},
     Args{.color = true,
          .uppercase = true,
          .show_size = true,
          .show_offset = true,
          .show_ascii = true,
          .skip_lines = true,
          .raw = true,
          .show_palette = true}},
    // Every negative name sets its own field to false.
    {{"--no-color", "--lowercase", "--no-size", "--no-offset", "--no-ascii", "--no-skip-lines"},
     Args{.color = false,
          .uppercase = false,
          .show_size = false,
          .show_offset = false,
          .show_ascii = false,
          .skip_lines = false}},
    // Different switches never conflict, raw included.
    {{"--raw", "--color", "--no-size", "--uppercase"},
     Args{.color = true, .uppercase = true, .show_size = false, .raw = true}},
    {{"--parser", "elf"}, Args{.parser = formatByName("elf")}},
    {{"--parser", "pe"}, Args{.parser = formatByName("pe")}},
    {{"--parser", "qoi"}, Args{.parser = formatByName("qoi")}},
    {{"--parser", "data"}, Args{.parser = formatByName("data")}},
    // The value after --parser is never the file argument.
    {{"--parser", "elf", "f"}, Args{.file = "f", .parser = formatByName("elf")}},
    {{"f", "--parser", "pe"}, Args{.file = "f", .parser = formatByName("pe")}},
    // The last value counts, even when an earlier one is no parser name.
    {{"--parser", "elf", "--parser", "qoi"}, Args{.parser = formatByName("qoi")}},
    {{"--parser", "nope", "--parser", "data"}, Args{.parser = formatByName("data")}},
    // A trailing --parser is dropped; the earlier value stays.
    {{"--parser"}, Args{}},
    {{"f", "--parser"}, Args{.file = "f"}},
    {{"--parser", "pe", "f", "--parser"}, Args{.file = "f", .parser = formatByName("pe")}},
};

TEST(ClassifyArgs, RunsWithTheArgsTheCommandLineGives) {
  for (const RunCase& c : kRunCases) {
    SCOPED_TRACE(joined(c.arguments));
    ArgsOutcome outcome = classifyArgs(c.arguments);
    ASSERT_EQ(outcome.action, Action::Run)
        << "error: " << formatMessage(outcome.error, outcome.errorFirst, outcome.errorSecond);
    EXPECT_EQ(describe(outcome.args), describe(c.expected));
  }
}

// ---------------------------------------------------------------------------
// Help and version requests.

struct ActionCase {
  Arguments arguments;
  Action expected;
};

const std::vector<ActionCase> kActionCases = {
    {{"-h"}, Action::Help},
    {{"--help"}, Action::Help},
    {{"-v"}, Action::Version},
    {{"--version"}, Action::Version},
    // A single dash looks at its second character only.
    {{"-help"}, Action::Help},
    {{"-hx"}, Action::Help},
    {{"-version"}, Action::Version},
    {{"-vfoo"}, Action::Version},
    // Without a file, and after a file and switches.
    {{"f", "--color", "-h"}, Action::Help},
    // The first request wins; nothing after it is looked at.
    {{"--help", "--version"}, Action::Help},
    {{"--version", "-h"}, Action::Version},
    {{"--help", "--bogus"}, Action::Help},
    {{"-h", "a", "b"}, Action::Help},
    // A bad --parser value is looked up only at the end, so help wins.
    {{"--parser", "nope", "-h"}, Action::Help},
    {{"--parser", "ELF", "--version"}, Action::Version},
    {{"-h", "--parser"}, Action::Help},
};

TEST(ClassifyArgs, AnswersHelpAndVersionRequests) {
  for (const ActionCase& c : kActionCases) {
    SCOPED_TRACE(joined(c.arguments));
    ArgsOutcome outcome = classifyArgs(c.arguments);
    EXPECT_EQ(outcome.action, c.expected)
        << "error: " << formatMessage(outcome.error, outcome.errorFirst, outcome.errorSecond);
  }
}

// ---------------------------------------------------------------------------
// Malformed command lines, each with its message after the error prefix.

struct ErrorCase {
  Arguments arguments;
  std::string message;
};

const std::vector<ErrorCase> kErrorCases = {
    // --parser takes the next argument, which must not begin with a dash.
    {{"--parser", "-"}, ": expected arg string\n"},
    {{"--parser", "--color"}, ": expected arg string\n"},
    {{"--parser", "-h"}, ": expected arg string\n"},
    {{"--parser", "--parser"}, ": expected arg string\n"},
    // The other value flags name themselves and what they want, when their
    // value is missing at the end or a flag stands in its place.
    {{"f", "--skip"}, ": `--skip` needs an offset\n"},
    {{"f", "--length"}, ": `--length` needs a number of bytes\n"},
    {{"f", "--section"}, ": `--section` needs a section name\n"},
    {{"--length", "--legend", "f"}, ": `--length` needs a number of bytes\n"},
    {{"f", "--skip", "--raw"}, ": `--skip` needs an offset\n"},
    {{"f", "--skip", "-x"}, ": `--skip` needs an offset\n"},
    {{"f", "--skip", "-"}, ": `--skip` needs an offset\n"},
    {{"f", "--length", "--skip", "4"}, ": `--length` needs a number of bytes\n"},
    {{"f", "--section", "--legend"}, ": `--section` needs a section name\n"},
    {{"f", "--section", "--no-color"}, ": `--section` needs a section name\n"},
    {{"f", "--section", "--section", "a"}, ": `--section` needs a section name\n"},
    {{"f", "--section", "--help"}, ": `--section` needs a section name\n"},
    // --json shapes the output of --list only.
    {{"f", "--json"}, ": `--json` works only with `--list`\n"},
    {{"--json", "f", "--legend"}, ": `--json` works only with `--list`\n"},
    {{"f", "--list", "--json", "--json"}, ": `--json` specified multiple times\n"},
    // A missing value is found before the parser name is looked up.
    {{"--parser", "nope", "f", "--skip"}, ": `--skip` needs an offset\n"},
    // One file only, "-" and "" included.
    {{"a", "b"}, ": multiple files specified\n"},
    {{"a", "-"}, ": multiple files specified\n"},
    {{"-", "-"}, ": multiple files specified\n"},
    {{"", "a"}, ": multiple files specified\n"},
    {{"a", "--color", "b", "--bogus"}, ": multiple files specified\n"},
    // Single dash: an unknown second character names the whole argument.
    {{"-x"}, ": invalid flag `-x`\n"},
    {{"-xh"}, ": invalid flag `-xh`\n"},
    {{"-H"}, ": invalid flag `-H`\n"},
    // The argument is named whole, its control bytes written as \xNN.
    {{"-\x1b[31m"}, ": invalid flag `-\\x1b[31m`\n"},
    // "--" alone is no end-of-flags marker.
    {{"--"}, ": expected flag\n"},
    {{"--", "-h"}, ": expected flag\n"},
    {{"f", "--"}, ": expected flag\n"},
    // Long names match whole and case-sensitively, never with "=value".
    {{"--color=always"}, ": invalid flag `--color=always`\n"},
    {{"--parser=elf"}, ": invalid flag `--parser=elf`\n"},
    {{"--no-raw"}, ": invalid flag `--no-raw`\n"},
    {{"--no-show-palette"}, ": invalid flag `--no-show-palette`\n"},
    {{"--no-uppercase"}, ": invalid flag `--no-uppercase`\n"},
    {{"--col"}, ": invalid flag `--col`\n"},
    {{"--Color"}, ": invalid flag `--Color`\n"},
    {{"---color"}, ": invalid flag `---color`\n"},
    {{"--h"}, ": invalid flag `--h`\n"},
    {{"--bogus", "--help"}, ": invalid flag `--bogus`\n"},
    // Both forms of one switch: positive name first, whatever the order.
    {{"--color", "--no-color"}, ": `--color` and `--no-color` are mutually exclusive\n"},
    {{"--no-color", "--color"}, ": `--color` and `--no-color` are mutually exclusive\n"},
    {{"--uppercase", "--lowercase"}, ": `--uppercase` and `--lowercase` are mutually exclusive\n"},
    {{"--lowercase", "--uppercase"}, ": `--uppercase` and `--lowercase` are mutually exclusive\n"},
    {{"--no-skip-lines", "f", "--skip-lines"},
     ": `--skip-lines` and `--no-skip-lines` are mutually exclusive\n"},
    // The same form twice names the form given.
    {{"--no-size", "--no-size"}, ": `--no-size` specified multiple times\n"},
    {{"--size", "--size"}, ": `--size` specified multiple times\n"},
    {{"--raw", "--raw"}, ": `--raw` specified multiple times\n"},
    {{"--show-palette", "--show-palette"}, ": `--show-palette` specified multiple times\n"},
    {{"--lowercase", "--lowercase"}, ": `--lowercase` specified multiple times\n"},
    // Parser names are exact and case-sensitive.
    {{"--parser", "ELF"}, ": no parser named ELF\n"},
    {{"--parser", "el"}, ": no parser named el\n"},
    {{"--parser", "elf "}, ": no parser named elf \n"},
    {{"--parser", ""}, ": no parser named \n"},
    {{"--parser", "elf", "--parser", "nope"}, ": no parser named nope\n"},
    {{"--parser", "nope", "--parser"}, ": no parser named nope\n"},
    // Any argument error takes precedence over a bad parser name.
    {{"--parser", "nope", "--bogus"}, ": invalid flag `--bogus`\n"},
    {{"--parser", "nope", "a", "b"}, ": multiple files specified\n"},
    {{"--parser", "nope", "--raw", "--raw"}, ": `--raw` specified multiple times\n"},
    {{"--parser", "nope", "--parser", "-"}, ": expected arg string\n"},
};

TEST(ClassifyArgs, RejectsMalformedCommandLinesWithTheirMessage) {
  for (const ErrorCase& c : kErrorCases) {
    SCOPED_TRACE(joined(c.arguments));
    ArgsOutcome outcome = classifyArgs(c.arguments);
    ASSERT_EQ(outcome.action, Action::Error);
    EXPECT_EQ(formatMessage(outcome.error, outcome.errorFirst, outcome.errorSecond), c.message);
  }
}

// ---------------------------------------------------------------------------
// parseArgs acts on the outcome.

TEST(ParseArgs, ReturnsTheArgsOfARun) {
  Args args = parseArgs({"--no-color", "in.bin", "--parser", "qoi"});
  EXPECT_EQ(describe(args),
            describe(Args{.file = "in.bin", .color = false, .parser = formatByName("qoi")}));
}

TEST(ParseArgsDeathTest, HelpEndsTheProcessWithStatusZero) {
  EXPECT_EXIT(parseArgs({"--help"}), testing::ExitedWithCode(0), "Made by Tovrel");
}

TEST(ParseArgsDeathTest, VersionEndsTheProcessWithStatusZero) {
  EXPECT_EXIT(parseArgs({"-v"}), testing::ExitedWithCode(0), "lumo 1\\.1\\.0");
}

TEST(ParseArgsDeathTest, ErrorIsReportedWithStatusOne) {
  EXPECT_EXIT(parseArgs({"--parser", "nope"}), testing::ExitedWithCode(1),
              "error: no parser named nope");
}

}  // namespace
}  // namespace lumo
