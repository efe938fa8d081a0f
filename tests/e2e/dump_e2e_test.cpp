// The dump of files and standard input, byte for byte, through pipes.
#include <gtest/gtest.h>

#include <string>

#include "child_process.h"

namespace lumo::e2e {
namespace {

const std::string kTwoLineInput =
    std::string("\x4d\x5a\x90\x00\x03\x00\x00\x00\x04\x00\x00\x00\xff\xff\x00\x00", 16) + "abc";
const std::string kTwoLineDump =
    "00000000 | 4d5a 9000 0300 0000 0400 0000 ffff 0000 | MZ.............. |\n"
    "00000010 | 6162 63                                 | abc              |\n";

TEST(Dump, FileArgument) {
  TempDir dir;
  std::string path = dir.write("sample.bin", kTwoLineInput);
  ChildResult r = runLumo({.args = {path}});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  // The two-line input starts with "MZ", so the PE parser colors it, which
  // does not show without color.
  EXPECT_EQ(r.out, kTwoLineDump + "File size: 19 bytes\n");
}

TEST(Dump, StandardInputThroughAPipe) {
  std::string input(80, '\0');
  input += 'x';
  ChildResult r = runLumo({.args = {"-"}, .stdinData = input});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            "00000000 | 0000 0000 0000 0000 0000 0000 0000 0000 | ................ |\n"
            "... 3 lines skipped ...\n"
            "00000040 | 0000 0000 0000 0000 0000 0000 0000 0000 | ................ |\n"
            "00000050 | 78                                      | x                |\n"
            "File size: 81 bytes\n");
}

TEST(Dump, EmptyInputs) {
  TempDir dir;
  std::string path = dir.write("empty", "");
  // A pipe whose writer closes at once is an empty input.
  for (const ChildSpec& spec : {ChildSpec{.args = {path}}, ChildSpec{.args = {"-"}}}) {
    ChildResult r = runLumo(spec);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "File size: 0 bytes\n");
    EXPECT_EQ(r.err, "");
  }
}

TEST(Dump, ClosedStandardInputCannotBeRead) {
  ChildResult r = runLumo({.args = {"-"}, .stdinClosed = true});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "error: Cannot read <stdin>\n");
}

TEST(Dump, LargeInputMatchesAnIndependentRendering) {
  // 1 MiB of varied bytes, so the buffered writer crosses many flushes.
  std::string input(1 << 20, '\0');
  std::uint32_t state = 12345;
  for (char& c : input) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>(state >> 24);
  }
  TempDir dir;
  std::string path = dir.write("random.bin", input);
  ChildResult r = runLumo({.args = {path}});
  ASSERT_EQ(r.status, 0);
  std::string expected;
  const char* digits = "0123456789abcdef";
  for (std::size_t line = 0; line < input.size(); line += 16) {
    char offset[32];
    std::snprintf(offset, sizeof offset, "%08zx | ", line);
    expected += offset;
    for (std::size_t i = 0; i < 16; ++i) {
      auto byte = static_cast<unsigned char>(input[line + i]);
      expected += digits[byte >> 4];
      expected += digits[byte & 15];
      if (i % 2 == 1) expected += ' ';
    }
    expected += "| ";
    for (std::size_t i = 0; i < 16; ++i) {
      auto byte = static_cast<unsigned char>(input[line + i]);
      expected += byte >= 0x20 && byte <= 0x7e ? static_cast<char>(byte) : '.';
    }
    expected += " |\n";
  }
  expected += "File size: 1048576 bytes (1.00 MiB)\n";
  EXPECT_TRUE(r.out == expected) << "output differs; sizes " << r.out.size() << " vs "
                                 << expected.size();
}

TEST(Dump, HyphenSuffixedArgumentIsAPath) {
  TempDir dir;
  dir.write("data-", "hi");
  ChildResult r = runLumo({.args = {"data-"}, .stdinData = "ignored", .cwd = dir.path()});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "00000000 | 6869                                    | hi               |\n"
            "File size: 2 bytes\n");
}

}  // namespace
}  // namespace lumo::e2e
