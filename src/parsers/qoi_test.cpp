#include <gtest/gtest.h>

#include <string>

#include "parsers/parser_test_support.h"
#include "parsers/parsers.h"

namespace lumo {
namespace {

using testing::Bytes;
using testing::bytesOf;
using testing::colorize;

TEST(QoiParserTest, PaintsOnlyTheHeader) {
  // 14-byte header, two chunks, the 8-byte end marker.
  Bytes image = bytesOf("qoif");
  const Bytes rest = {0, 0, 0, 1, 0, 0, 0, 1, 4, 0, 0xfe, 1, 2, 3, 0xc0, 0, 0, 0, 0, 0, 0, 0, 1};
  image.insert(image.end(), rest.begin(), rest.end());

  struct Case {
    const char* name;
    Bytes input;
    std::string mask;
  };
  const Case cases[] = {
      {"magic only", bytesOf("qoif"), "AAAA"},
      {"cut inside the header", bytesOf("qoif\x01\x02\x03\x04\x05\x06"), "AAAA111111"},
      // The 5 chunk bytes and the 8-byte end marker keep the background.
      {"complete image", image, "AAAA1111111111" + std::string(13, '_')},
      // No value is consulted: zero sizes and a bogus channel count change nothing.
      {"odd values", bytesOf(std::string("qoif\0\0\0\0\0\0\0\0\x09\x07z", 15)), "AAAA1111111111_"},
      // Called directly, a parser copes with less than its magic.
      {"shorter than magic", bytesOf("qo"), "AA"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(colorize(colorizeQoi, c.input), c.mask) << c.name;
  }
}

}  // namespace
}  // namespace lumo
