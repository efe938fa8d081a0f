#include "render/dump_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <string>
#include <vector>

namespace lumo {
namespace {

const std::vector<std::uint8_t> kFull = {0x4d, 0x5a, 0x90, 0x00, 0x03, 0x00, 0x00, 0x00,
                                         0x04, 0x00, 0x00, 0x00, 0xff, 0xff, 0x00, 0x00};
const std::vector<std::uint8_t> kShort = {0x61, 0x62, 0x63};

std::string formatLine(const DumpOptions& options, const std::vector<std::uint8_t>& bytes,
                       std::uint64_t offset, const Palette& palette = defaultPalette(),
                       std::vector<std::uint8_t> slots = {}) {
  slots.resize(bytes.size(), kNormal);
  LineFormatter formatter(options, palette);
  std::string out(kMaxLineSize, '\0');
  out.resize(formatter.format(out.data(), bytes.data(), slots.data(), bytes.size(), offset));
  return out;
}

std::string twoLines(const DumpOptions& options) {
  return formatLine(options, kFull, 0) + formatLine(options, kShort, 0x10);
}

Options withRaw() {
  Options options;
  options.raw = true;
  options.color = true;
  options.uppercase = false;
  return options;
}

struct ModeCase {
  const char* name;
  DumpOptions options;
  const char* expected;
};

TEST(DumpLine, TwoLineExampleInEveryMode) {
  const ModeCase cases[] = {
      {"default",
       {false, false, true, true, true, false},
       "00000000 | 4d5a 9000 0300 0000 0400 0000 ffff 0000 | MZ.............. |\n"
       "00000010 | 6162 63                                 | abc              |\n"},
      {"no offset",
       {false, false, false, true, true, false},
       "| 4d5a 9000 0300 0000 0400 0000 ffff 0000 | MZ.............. |\n"
       "| 6162 63                                 | abc              |\n"},
      {"no ascii",
       {false, false, true, false, true, false},
       "00000000 | 4d5a 9000 0300 0000 0400 0000 ffff 0000 |\n"
       "00000010 | 6162 63                                 |\n"},
      {"raw", effectiveOptions(withRaw()),
       "4d5a 9000 0300 0000 0400 0000 ffff 0000 \n"
       "6162 63                                 \n"},
      {"uppercase",
       {false, true, true, true, true, false},
       "00000000 | 4D5A 9000 0300 0000 0400 0000 FFFF 0000 | MZ.............. |\n"
       "00000010 | 6162 63                                 | abc              |\n"},
  };
  for (const ModeCase& c : cases) EXPECT_EQ(twoLines(c.options), c.expected) << c.name;
}

TEST(DumpLine, EveryShortLengthHasTheFullWidth) {
  DumpOptions plain;
  plain.color = false;
  for (std::size_t n = 1; n <= 16; ++n) {
    std::vector<std::uint8_t> bytes(n, 0x41);
    EXPECT_EQ(formatLine(plain, bytes, 0).size(), 72u) << n;
    DumpOptions raw = effectiveOptions(withRaw());
    EXPECT_EQ(formatLine(raw, bytes, 0).size(), 41u) << n;
  }
}

TEST(DumpLine, PrintableBoundariesInAsciiColumn) {
  DumpOptions plain;
  EXPECT_EQ(formatLine(plain, {0x1f, 0x20, 0x7e, 0x7f}, 0),
            "00000000 | 1f20 7e7f                               | . ~.             |\n");
}

TEST(DumpLine, OffsetsKeepAllTheirDigits) {
  DumpOptions plain;
  plain.show_ascii = false;
  EXPECT_EQ(formatLine(plain, {0}, 0xfffffff0).substr(0, 9), "fffffff0 ");
  EXPECT_EQ(formatLine(plain, {0}, 0x100000000).substr(0, 10), "100000000 ");
  EXPECT_EQ(formatLine(plain, {0}, 0xffffffffffffff00).substr(0, 17), "ffffffffffffff00 ");
  EXPECT_EQ(formatLine(plain, {0}, 0xa0).substr(0, 9), "000000a0 ");
  plain.uppercase = true;
  EXPECT_EQ(formatLine(plain, {0}, 0xa0).substr(0, 9), "000000A0 ");
}

TEST(DumpLine, ColoredLineWithNamedAndRgbStyles) {
  Palette palette{};
  palette[kC1] = TextStyle{Color::named(colors::kRed), std::nullopt, false, false};
  palette[kC2] = TextStyle{std::nullopt, Color::rgb(1, 2, 3), false, true};
  DumpOptions colored;
  colored.color = true;
  const std::string expected = std::string("00000020 ") + "\x1b[2m|\x1b[0m " + "\x1b[31m41\x1b[0m" +
                               "\x1b[48;2;1;2;3m\x1b[1m00\x1b[0m " + std::string(28 + 7, ' ') +
                               "\x1b[2m|\x1b[0m" + " " + "\x1b[31mA\x1b[0m" + "\x1b[2m.\x1b[0m" +
                               std::string(14, ' ') + " \x1b[2m|\x1b[0m" + "\n";
  EXPECT_EQ(formatLine(colored, {0x41, 0x00}, 0x20, palette, {kC1, kC2}), expected);
}

TEST(DumpLine, ColoredEmptyStyleStillGetsItsReset) {
  Palette palette{};
  DumpOptions colored;
  colored.color = true;
  colored.show_offset = false;
  colored.show_ascii = false;
  EXPECT_EQ(formatLine(colored, {0xab}, 0, palette),
            "\x1b[2m|\x1b[0m ab\x1b[0m" + std::string(30 + 8, ' ') + "\x1b[2m|\x1b[0m\n");
}

TEST(DumpLine, NonPrintableAsciiIsAlwaysJustDim) {
  Palette palette{};
  palette[kC5Accent] = TextStyle{Color::named(15), Color::named(12), false, true};
  DumpOptions colored;
  colored.color = true;
  std::string line = formatLine(colored, {0x01}, 0, palette, {kC5Accent});
  EXPECT_NE(line.find(" \x1b[2m.\x1b[0m"), std::string::npos) << line;
  EXPECT_NE(line.find("\x1b[97m\x1b[104m\x1b[1m01\x1b[0m"), std::string::npos) << line;
}

TEST(DumpLine, LongestPossibleLineFitsTheBound) {
  Palette palette;
  palette.fill(TextStyle{Color::rgb(255, 255, 255), Color::rgb(255, 255, 255), true, true});
  DumpOptions colored;
  colored.color = true;
  std::vector<std::uint8_t> bytes(16, 0x41);
  EXPECT_LT(formatLine(colored, bytes, ~0ull, palette).size(), kMaxLineSize);
}

// Palettes that reach every kind of cell: the default (short escapes),
// empty styles, the longest escapes everywhere, and long ones beside short
// ones, where some slots have a line template and others do not.
std::vector<Palette> cellPalettes() {
  const TextStyle longest{Color::rgb(255, 255, 255), Color::rgb(200, 100, 0), true, true};
  Palette widest;
  widest.fill(longest);
  widest[kNormal] = {};
  Palette mixed = defaultPalette();
  for (std::size_t slot = 0; slot < kSlotCount; slot += 3) mixed[slot] = longest;
  return {defaultPalette(), Palette{}, widest, mixed};
}

// Slot patterns for one line: each slot alone, the byte classes, random
// slots, and two halves.
std::vector<std::array<std::uint8_t, 16>> slotPatterns(const std::array<std::uint8_t, 16>& bytes,
                                                       std::mt19937& random) {
  std::vector<std::array<std::uint8_t, 16>> patterns;
  for (std::uint8_t slot = 0; slot < kSlotCount; ++slot) {
    std::array<std::uint8_t, 16> same{};
    same.fill(slot);
    patterns.push_back(same);
  }
  std::array<std::uint8_t, 16> classes{}, mixed{}, halves{};
  for (std::size_t i = 0; i < 16; ++i) {
    classes[i] = bytes[i] >= 0x20 && bytes[i] <= 0x7e ? kNormal : kNormalAlt;
    mixed[i] = static_cast<std::uint8_t>(random() % kSlotCount);
    halves[i] = i < 7 ? kC2 : kC3Accent;
  }
  patterns.insert(patterns.end(), {classes, mixed, halves});
  return patterns;
}

TEST(DumpLine, FullLinePathsMatchTheByteByByteOne) {
  std::mt19937 random(3);
  std::vector<std::array<std::uint8_t, 16>> lines;
  for (int n = 0; n < 12; ++n) {
    std::array<std::uint8_t, 16> line{};
    // Random bytes, then printable only, then non-printable only.
    for (std::uint8_t& byte : line) {
      byte = static_cast<std::uint8_t>(random());
      if (n % 3 == 1) byte = static_cast<std::uint8_t>(0x20 + byte % 0x5f);
      if (n % 3 == 2) byte = static_cast<std::uint8_t>(byte < 0x80 ? byte % 0x20 : byte | 0x80);
    }
    lines.push_back(line);
  }
  const std::uint64_t offsets[] = {0, 0xfffffff0, 0x123456789a0};
  for (const Palette& palette : cellPalettes()) {
    for (unsigned mode = 0; mode < 32; ++mode) {
      Options given;
      given.color = mode & 1;
      given.uppercase = mode & 2;
      given.show_offset = mode & 4;
      given.show_ascii = mode & 8;
      given.raw = mode & 16;
      const LineFormatter formatter(effectiveOptions(given), palette);
      for (const auto& bytes : lines) {
        for (const auto& slots : slotPatterns(bytes, random)) {
          const std::uint64_t offset = offsets[random() % 3];
          std::string expected(kMaxLineSize, '\0'), fast(kMaxLineSize, '\0');
          expected.resize(
              formatter.formatEachByte(expected.data(), bytes.data(), slots.data(), 16, offset));
          fast.resize(formatter.format(fast.data(), bytes.data(), slots.data(), 16, offset));
          ASSERT_EQ(fast, expected) << "mode " << mode << ", slot " << int{slots[0]};
          if (std::count(slots.begin(), slots.end(), slots[0]) != 16) continue;
          std::string uniform(kMaxLineSize, '\0');
          uniform.resize(formatter.formatUniform(uniform.data(), bytes.data(),
                                                 static_cast<PaletteSlot>(slots[0]), offset));
          ASSERT_EQ(uniform, expected) << "mode " << mode << ", slot " << int{slots[0]};
        }
      }
    }
  }
}

}  // namespace
}  // namespace lumo
