#include "render/line_simd.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>
#include <string>

namespace lumo {
namespace {

// Lines of random bytes, and lines of every byte value in turn, so each
// value meets every lane.
std::vector<std::array<std::uint8_t, 16>> testLines() {
  std::vector<std::array<std::uint8_t, 16>> lines;
  for (unsigned first = 0; first < 256; first += 16) {
    for (unsigned shift = 0; shift < 16; ++shift) {
      std::array<std::uint8_t, 16> line{};
      for (unsigned i = 0; i < 16; ++i)
        line[i] = static_cast<std::uint8_t>(first + (i + shift) % 16);
      lines.push_back(line);
    }
  }
  std::mt19937 random(7);
  for (int n = 0; n < 2000; ++n) {
    std::array<std::uint8_t, 16> line{};
    for (std::uint8_t& byte : line) byte = static_cast<std::uint8_t>(random());
    lines.push_back(line);
  }
  return lines;
}

TEST(LineSimd, EveryPathMatchesThePortableCode) {
  for (const auto& line : testLines()) {
    for (bool uppercase : {false, true}) {
      std::string fast(32, '\0'), portable(32, '\0');
      hexDigits16(line.data(), uppercase, fast.data());
      scalar::hexDigits16(line.data(), uppercase, portable.data());
      ASSERT_EQ(fast, portable);
    }
    std::string fast(16, '\0'), portable(16, '\0');
    asciiColumn16(line.data(), fast.data());
    scalar::asciiColumn16(line.data(), portable.data());
    ASSERT_EQ(fast, portable);

    std::array<std::uint8_t, 16> choices{}, picked{}, expected{};
    for (std::size_t i = 0; i < 16; ++i) choices[i] = static_cast<std::uint8_t>(i * 7);
    pickPrintable16(line.data(), choices.data(), 0xee, picked.data());
    scalar::pickPrintable16(line.data(), choices.data(), 0xee, expected.data());
    ASSERT_EQ(picked, expected);
  }
}

// Exactly the blocks asked for: the bytes after them stay as they were.
TEST(LineSimd, BlockCopiesMoveWholeBlocksOnly) {
  std::string from(64, '\0');
  for (std::size_t i = 0; i < from.size(); ++i) from[i] = static_cast<char>('A' + i % 50);
  std::string fast(64, '.'), portable(64, '.');
  copyBlocks16<3>(fast.data(), from.data());
  scalar::copyBlocks16<3>(portable.data(), from.data());
  EXPECT_EQ(fast, from.substr(0, 48) + std::string(16, '.'));
  EXPECT_EQ(portable, fast);
}

TEST(LineSimd, PortableCodeFollowsTheByteRules) {
  const std::array<std::uint8_t, 16> line = {0x00, 0x1f, 0x20, 0x41, 0x7e, 0x7f, 0x80, 0xff,
                                             0x0a, 0x9f, 0x30, 0x61, 0x5a, 0xa0, 0xfe, 0x01};
  std::string digits(32, '\0');
  scalar::hexDigits16(line.data(), false, digits.data());
  EXPECT_EQ(digits, "001f20417e7f80ff0a9f30615aa0fe01");
  scalar::hexDigits16(line.data(), true, digits.data());
  EXPECT_EQ(digits, "001F20417E7F80FF0A9F30615AA0FE01");
  std::string ascii(16, '\0');
  scalar::asciiColumn16(line.data(), ascii.data());
  EXPECT_EQ(ascii, ".. A~.....0aZ...");
}

}  // namespace
}  // namespace lumo
