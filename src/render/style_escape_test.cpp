#include "render/style_escape.h"

#include <gtest/gtest.h>

#include "render/palette_listing.h"

namespace lumo {
namespace {

std::string escape(const TextStyle& style) { return std::string(styleEscape(style).view()); }

TEST(StyleEscape, SequencesInFixedOrder) {
  const struct {
    TextStyle style;
    const char* expected;
  } cases[] = {
      {TextStyle{}, ""},
      {TextStyle{std::nullopt, std::nullopt, false, true}, "\x1b[1m"},
      {TextStyle{std::nullopt, std::nullopt, true, true}, "\x1b[2m\x1b[1m"},
      {TextStyle{Color::named(1), Color::rgb(10, 20, 30), true, true},
       "\x1b[31m\x1b[48;2;10;20;30m\x1b[2m\x1b[1m"},
      {TextStyle{Color::rgb(0, 0, 0), std::nullopt, false, false}, "\x1b[38;2;0;0;0m"},
      {TextStyle{std::nullopt, Color::rgb(255, 255, 255), false, false}, "\x1b[48;2;255;255;255m"},
      {TextStyle{Color::named(15), Color::named(12), false, false}, "\x1b[97m\x1b[104m"},
      {TextStyle{Color::named(8), Color::named(8), false, false}, "\x1b[90m\x1b[100m"},
      {TextStyle{Color::named(7), Color::named(0), false, false}, "\x1b[37m\x1b[40m"},
  };
  for (const auto& c : cases) EXPECT_EQ(escape(c.style), c.expected);
}

TEST(StyleEscape, WriteStyleWritesEachSequenceSeparately) {
  struct CountingSink final : ByteSink {
    Status write(const char* data, std::size_t size) override {
      ++writes;
      text.append(data, size);
      return {};
    }
    using ByteSink::write;
    int writes = 0;
    std::string text;
  } sink;
  ASSERT_TRUE(writeStyle(TextStyle{Color::named(3), std::nullopt, true, false}, sink).ok());
  EXPECT_EQ(sink.writes, 2);
  EXPECT_EQ(sink.text, "\x1b[33m\x1b[2m");
}

TEST(PaletteListing, DefaultPalette) {
  StringSink sink;
  ASSERT_TRUE(writePaletteListing(defaultPalette(), sink).ok());
  std::string expected = "                  (alt)    (accent)\n(main)   ";
  const char* const base[] = {"33", "31", "32", "34", "35", "36"};
  const char* const bright[] = {"93", "91", "92", "94", "95", "96"};
  for (int row = 0; row < 6; ++row) {
    if (row > 0) expected += "         ";
    expected += std::string("\x1b[") + base[row] + "m0x112233\x1b[0m ";
    expected += std::string("\x1b[") + base[row] + "m\x1b[2m0x112233\x1b[0m ";
    expected += std::string("\x1b[") + bright[row] + "m\x1b[1m0x112233\x1b[0m\n";
  }
  EXPECT_EQ(sink.text, expected);
}

TEST(PaletteListing, EmptyStylesStillGetTheirReset) {
  StringSink sink;
  ASSERT_TRUE(writePaletteListing(Palette{}, sink).ok());
  EXPECT_EQ(sink.text.substr(0, sink.text.find('\n', 36) + 1),
            "                  (alt)    (accent)\n(main)   0x112233\x1b[0m 0x112233\x1b[0m "
            "0x112233\x1b[0m\n");
}

}  // namespace
}  // namespace lumo
