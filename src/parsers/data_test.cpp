#include <gtest/gtest.h>

#include <cctype>

#include "parsers/parser_test_support.h"
#include "parsers/parsers.h"

namespace lumo {
namespace {

using testing::Bytes;
using testing::bytesOf;
using testing::colorize;

TEST(DataParserTest, EveryByteValueAgainstCLocalePrintable) {
  Bytes all(256);
  for (int b = 0; b < 256; ++b) all[static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(b);
  const std::string mask = colorize(colorizeData, all);
  ASSERT_EQ(mask.size(), 256u);
  for (int b = 0; b < 256; ++b) {
    // The "C" locale's isprint is exactly space through tilde.
    const char expected = std::isprint(b) != 0 ? '.' : '_';
    EXPECT_EQ(mask[static_cast<std::size_t>(b)], expected) << "byte " << b;
  }
}

TEST(DataParserTest, MasksOfTypicalInputs) {
  struct Case {
    const char* name;
    Bytes input;
    std::string mask;
  };
  const Case cases[] = {
      {"empty", {}, ""},
      {"boundaries", {0x1f, 0x20, 0x7e, 0x7f}, "_.._"},
      {"text with tab and crlf", bytesOf("a\tb\r\nc"), "._.__."},
      {"utf8 letter", bytesOf("\xc3\xa9t\xc3\xa9"), "__.__"},
      {"printable only", bytesOf("Hello, World! ~"), "..............."},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(colorize(colorizeData, c.input), c.mask) << c.name;
  }
}

}  // namespace
}  // namespace lumo
