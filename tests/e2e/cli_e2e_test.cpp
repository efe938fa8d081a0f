// The command line as a user types it: messages, precedence, help, version.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "child_process.h"

namespace lumo::e2e {
namespace {

struct CommandLineCase {
  std::vector<std::string> args;
  std::string err;
  int status;
};

TEST(CommandLine, ErrorsAndPrecedence) {
  TempDir dir;
  dir.write("f", "x");
  const CommandLineCase cases[] = {
      {{"--parser", "-"}, "error: expected arg string\n", 1},
      {{"--parser", "--color"}, "error: expected arg string\n", 1},
      {{"f", "f"}, "error: multiple files specified\n", 1},
      {{"-", "f"}, "error: multiple files specified\n", 1},
      {{"f", ""}, "error: multiple files specified\n", 1},
      {{"--"}, "error: expected flag\n", 1},
      {{"-x"}, "error: invalid flag `-x`\n", 1},
      {{"-xyz"}, "error: invalid flag `-xyz`\n", 1},
      {{"--colour"}, "error: invalid flag `--colour`\n", 1},
      {{"--color=always"}, "error: invalid flag `--color=always`\n", 1},
      {{"--no-raw"}, "error: invalid flag `--no-raw`\n", 1},
      {{"--no-show-palette"}, "error: invalid flag `--no-show-palette`\n", 1},
      {{"--COLOR"}, "error: invalid flag `--COLOR`\n", 1},
      {{"--color", "--no-color"}, "error: `--color` and `--no-color` are mutually exclusive\n", 1},
      {{"--no-color", "--color"}, "error: `--color` and `--no-color` are mutually exclusive\n", 1},
      {{"--uppercase", "--lowercase"},
       "error: `--uppercase` and `--lowercase` are mutually exclusive\n",
       1},
      {{"--no-size", "--no-size"}, "error: `--no-size` specified multiple times\n", 1},
      {{"--raw", "f", "--raw"}, "error: `--raw` specified multiple times\n", 1},
      {{"--parser", "ELF", "f"}, "error: no parser named ELF\n", 1},
      {{"--parser", "el", "f"}, "error: no parser named el\n", 1},
      // Argument errors and help win over a bad parser name, wherever they stand.
      {{"--parser", "nope", "--bogus"}, "error: invalid flag `--bogus`\n", 1},
      {{"--parser", "nope", "f", "f"}, "error: multiple files specified\n", 1},
      {{"-v", "--bogus"}, "lumo 1.1.0\n", 0},
      {{"--bogus", "-v"}, "error: invalid flag `--bogus`\n", 1},
      {{"--version"}, "lumo 1.1.0\n", 0},
      {{"-version"}, "lumo 1.1.0\n", 0},
      {{"-vfoo"}, "lumo 1.1.0\n", 0},
      // "--parser" as the last argument forces nothing.
      {{"f", "--parser"}, "", 0},
      {{"--parser", "qoi", "f", "--parser"}, "error: f does not match parser qoi\n", 1},
      {{"--parser", "elf", "--parser", "data", "f"}, "", 0},
  };
  for (const CommandLineCase& c : cases) {
    ChildResult r = runLumo({.args = c.args, .cwd = dir.path()});
    std::string line;
    for (const std::string& a : c.args) line += "[" + a + "] ";
    EXPECT_EQ(r.err, c.err) << line;
    EXPECT_EQ(r.status, c.status) << line;
    if (c.status == 1 || !c.err.empty()) {
      EXPECT_EQ(r.out, "") << line;
    }
  }
}

TEST(CommandLine, HelpGoesToStandardErrorOnly) {
  TempDir dir;
  // A broken configuration file does not matter: help is answered first.
  dir.write("lumo/config.ziggy", "this is not ziggy");
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"-h"},
                                             {"--help"},
                                             {"-help"},
                                             {"-hx"},
                                             {"--parser", "nope", "-h"},
                                             {"--raw", "--help", "--bogus"}}) {
    ChildResult r = runLumo({.args = args, .env = {"XDG_CONFIG_HOME=" + dir.path()}});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    ASSERT_GT(r.err.size(), 852u);
    EXPECT_EQ(r.err.substr(0, 18), "lumo - hex viewer\n");
    EXPECT_EQ(r.err.substr(r.err.size() - 16), "\nMade by Tovrel\n");
  }
}

TEST(CommandLine, FlagsMayFollowTheFile) {
  TempDir dir;
  std::string path = dir.write("ab", "ab");
  ChildResult r = runLumo({.args = {path, "--no-offset", "--uppercase", "--no-size"}});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "| 6162                                    | ab               |\n");
}

}  // namespace
}  // namespace lumo::e2e
