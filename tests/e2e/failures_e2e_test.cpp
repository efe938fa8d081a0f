// Every failure of a run ends with one report on standard error and status 1.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <string>

#include "child_process.h"

namespace lumo::e2e {
namespace {

const std::string kColoredPrefix = "\x1b[31m\x1b[1merror\x1b[0m";

TEST(Failures, InputProblemsAreReportedWithThePathAsTyped) {
  TempDir dir;
  dir.write("file", "x");
  dir.write("sub/inner", "x");
  const std::string unreadable = dir.write("secret", "x");
  ::chmod(unreadable.c_str(), 0);
  const bool root = ::geteuid() == 0;
  struct Case {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{}, "error: no file specified\n"},
      {{"missing"}, "error: missing not found\n"},
      {{dir.path() + "/nope/x"}, "error: " + dir.path() + "/nope/x not found\n"},
      {{"sub"}, "error: sub is a directory\n"},
      {{"."}, "error: . is a directory\n"},
      {{"file/inner"}, "error: file/inner could not be opened\n"},
      {{std::string("\x1b[2Jodd\x01name")}, "error: \\x1b[2Jodd\\x01name not found\n"},
      {{std::string(5000, 'n')}, "error: " + std::string(5000, 'n') + " could not be opened\n"},
  };
  for (const Case& c : cases) {
    ChildResult r = runLumo({.args = c.args, .cwd = dir.path()});
    EXPECT_EQ(r.status, 1) << c.err;
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.out, "");
  }
  if (!root) {
    ChildResult r = runLumo({.args = {"secret"}, .cwd = dir.path()});
    EXPECT_EQ(r.err, "error: secret could not be opened\n");
  }
}

// Names from outside never bring a control byte to the terminal, wherever
// the message prints them; other bytes stay as typed.
TEST(Failures, NamesArePrintedSafely) {
  TempDir dir;
  const std::string newline = "two\nerror: lines";
  const std::string title = "\x1b]0;owned\x07\x1b[8m";
  dir.write(title + "/inside", "x");
  dir.write(newline, "plain");
  struct Case {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{newline + ".missing"}, "error: two\\x0aerror: lines.missing not found\n"},
      {{title}, "error: \\x1b]0;owned\\x07\\x1b[8m is a directory\n"},
      {{"tab\there/x"}, "error: tab\\x09here/x not found\n"},
      {{"gr\xc3\xbc\xc3\x9f"
        "e.bin"},
       "error: gr\xc3\xbc\xc3\x9f"
       "e.bin not found\n"},
      {{"C:\\Users\\me\\x.bin"}, "error: C:\\Users\\me\\x.bin not found\n"},
      {{newline, "--parser", "elf"}, "error: two\\x0aerror: lines does not match parser elf\n"},
      {{"--col\x1b[2Jor"}, "error: invalid flag `--col\\x1b[2Jor`\n"},
      {{"-\r\x7f"}, "error: invalid flag `-\\x0d\\x7f`\n"},
      {{"x", "--parser", "q\noi"}, "error: no parser named q\\x0aoi\n"},
  };
  for (const Case& c : cases) {
    ChildResult r = runLumo({.args = c.args, .cwd = dir.path()});
    EXPECT_EQ(r.status, 1) << c.err;
    EXPECT_EQ(r.err, c.err);
  }
}

TEST(Failures, PrefixIsColoredOnlyWhenStandardErrorIsATerminal) {
  ChildResult onTerminal = runLumo({.args = {"missing"}, .err = Sink::Terminal});
  EXPECT_EQ(onTerminal.status, 1);
  EXPECT_EQ(onTerminal.err, kColoredPrefix + ": missing not found\n");

  // Standard output on a terminal does not color standard error's prefix.
  ChildResult outOnTerminal = runLumo({.args = {"missing"}, .out = Sink::Terminal});
  EXPECT_EQ(outOnTerminal.err, "error: missing not found\n");
}

TEST(Failures, WriteFailuresOfTheDump) {
  TempDir dir;
  std::string path = dir.write("data", std::string(100, 'a'));

  ChildResult full = runLumo({.args = {path}, .out = Sink::DevFull});
  EXPECT_EQ(full.status, 1);
  EXPECT_EQ(full.err, "error: Error writing to stdout: NoSpaceLeft\n");

  ChildResult closed = runLumo({.args = {path}, .out = Sink::Closed});
  EXPECT_EQ(closed.status, 1);
  EXPECT_EQ(closed.err, "error: Error writing to stdout: NotOpenForWriting\n");
}

TEST(Failures, ReaderGoneMidDumpIsABrokenPipe) {
  TempDir dir;
  // Every line differs, so nothing collapses and the output is large.
  std::string input(8 << 20, '\0');
  for (std::size_t i = 0; i < input.size(); ++i) input[i] = static_cast<char>(i % 251);
  std::string path = dir.write("big", input);
  ChildResult r = runLumo({.args = {path}, .out = Sink::EarlyClose, .closeAfter = 72});
  EXPECT_EQ(r.signal, 0) << "killed by a signal instead of reporting";
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "error: Broken pipe\n");
  EXPECT_EQ(r.out, "00000000 | 0001 0203 0405 0607 0809 0a0b 0c0d 0e0f | ................ |\n");
}

TEST(Failures, StandardInputThatIsADirectory) {
  TempDir dir;
  ChildResult r = runLumo({.args = {"-"}, .stdinFile = dir.path()});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "error: <stdin> is a directory\n");
}

}  // namespace
}  // namespace lumo::e2e
