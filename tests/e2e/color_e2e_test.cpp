// Color: when it is on, what it paints, and the palette listing.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "child_process.h"

namespace lumo::e2e {
namespace {

// A QOI header (colored c1_accent and c1) and one byte of data (normal_alt).
const std::string kQoi = std::string("qoif\0\0\0\x02\0\0\0\x03\x04\x00", 14) + "\xff";

const std::map<char, std::string> kMaskStyles = {
    {'A', "\x1b[91m\x1b[1m"},  // c1_accent: bright red, bold
    {'1', "\x1b[31m"},         // c1: red
    {'n', "\x1b[33m\x1b[2m"},  // normal_alt: yellow, dim
    {'p', "\x1b[33m"},         // normal: yellow
};

// The expected colored line for up to 16 bytes whose slots are given as a
// mask of one letter per byte.
std::string coloredLine(const std::string& bytes, const std::string& mask, std::size_t offset) {
  const char* digits = "0123456789abcdef";
  char offsetText[32];
  std::snprintf(offsetText, sizeof offsetText, "%08zx ", offset);
  std::string line = std::string(offsetText) + "\x1b[2m|\x1b[0m ";
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    auto byte = static_cast<unsigned char>(bytes[i]);
    line += kMaskStyles.at(mask[i]) + digits[byte >> 4] + digits[byte & 15] + "\x1b[0m";
    if (i % 2 == 1) line += ' ';
  }
  std::size_t n = bytes.size();
  if (n < 16) line += std::string((16 - n) * 2 + (8 - n / 2), ' ');
  line += "\x1b[2m|\x1b[0m ";
  for (std::size_t i = 0; i < n; ++i) {
    auto byte = static_cast<unsigned char>(bytes[i]);
    bool printable = byte >= 0x20 && byte <= 0x7e;
    line += printable ? kMaskStyles.at(mask[i]) + static_cast<char>(byte) : "\x1b[2m.";
    line += "\x1b[0m";
  }
  line += std::string(16 - n, ' ') + " \x1b[2m|\x1b[0m\n";
  return line;
}

TEST(Color, QoiHeaderIsPaintedOnATerminal) {
  TempDir dir;
  std::string path = dir.write("image.qoi", kQoi);
  ChildResult r = runLumo({.args = {path}, .out = Sink::Terminal});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, coloredLine(kQoi, "AAAA1111111111n", 0) + "File size: 15 bytes\n");
}

TEST(Color, DataIsPaintedByPrintability) {
  ChildResult r = runLumo({.args = {"-", "--color"}, .stdinData = "a\tb"});
  EXPECT_EQ(r.out, coloredLine("a\tb", "pnp", 0) + "File size: 3 bytes\n");
}

TEST(Color, WhenColorIsOn) {
  TempDir dir;
  std::string path = dir.write("text", "hi");
  const std::string plain =
      "00000000 | 6869                                    | hi               |\n";
  const std::string colored = coloredLine("hi", "pp", 0);
  struct Case {
    const char* name;
    Sink out;
    std::vector<std::string> env;
    std::vector<std::string> flags;
    bool color;
  } cases[] = {
      {"terminal", Sink::Terminal, {}, {}, true},
      {"pipe", Sink::Pipe, {}, {}, false},
      {"terminal, NO_COLOR empty", Sink::Terminal, {"NO_COLOR="}, {}, true},
      {"terminal, NO_COLOR=0", Sink::Terminal, {"NO_COLOR=0"}, {}, false},
      {"terminal, NO_COLOR=1", Sink::Terminal, {"NO_COLOR=1"}, {}, false},
      {"terminal, --no-color", Sink::Terminal, {}, {"--no-color"}, false},
      {"pipe, --color", Sink::Pipe, {}, {"--color"}, true},
      {"pipe, NO_COLOR=1, --color", Sink::Pipe, {"NO_COLOR=1"}, {"--color"}, true},
      {"terminal, --raw", Sink::Terminal, {}, {"--raw"}, false},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.flags;
    args.push_back(path);
    args.emplace_back("--no-size");
    std::vector<std::string> env = {"HOME=/nonexistent"};
    env.insert(env.end(), c.env.begin(), c.env.end());
    ChildResult r = runLumo({.args = args, .out = c.out, .env = env});
    EXPECT_EQ(r.status, 0) << c.name;
    if (std::string(c.name).find("--raw") != std::string::npos) {
      EXPECT_EQ(r.out, "6869" + std::string(36, ' ') + "\n") << c.name;
    } else {
      EXPECT_EQ(r.out, c.color ? colored : plain) << c.name;
    }
  }
}

std::string defaultListing() {
  std::string expected = "                  (alt)    (accent)\n(main)   ";
  const char* const base[] = {"33", "31", "32", "34", "35", "36"};
  const char* const bright[] = {"93", "91", "92", "94", "95", "96"};
  for (int row = 0; row < 6; ++row) {
    if (row > 0) expected += "         ";
    expected += std::string("\x1b[") + base[row] + "m0x112233\x1b[0m ";
    expected += std::string("\x1b[") + base[row] + "m\x1b[2m0x112233\x1b[0m ";
    expected += std::string("\x1b[") + bright[row] + "m\x1b[1m0x112233\x1b[0m\n";
  }
  return expected;
}

TEST(PaletteListing, AlwaysWithEscapesAndWithoutTouchingTheFile) {
  const std::vector<std::vector<std::string>> commandLines = {
      {"--show-palette"},
      {"--show-palette", "--no-color"},
      {"missing-file", "--show-palette"},
      {"--show-palette", "--raw"},
  };
  for (const auto& args : commandLines) {
    ChildResult r = runLumo({.args = args});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, defaultListing());
  }
  ChildResult onTerminal =
      runLumo({.args = {"--show-palette"}, .out = Sink::Terminal, .env = {"NO_COLOR=1"}});
  EXPECT_EQ(onTerminal.out, defaultListing());
}

TEST(PaletteListing, WriteFailuresAreNamed) {
  ChildResult gone =
      runLumo({.args = {"--show-palette"}, .out = Sink::EarlyClose, .closeAfter = 0});
  EXPECT_EQ(gone.status, 1);
  EXPECT_EQ(gone.err, "error: BrokenPipe\n");
  ChildResult full = runLumo({.args = {"--show-palette"}, .out = Sink::DevFull});
  EXPECT_EQ(full.status, 1);
  EXPECT_EQ(full.err, "error: NoSpaceLeft\n");
}

}  // namespace
}  // namespace lumo::e2e
