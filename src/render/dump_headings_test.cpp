#include "render/dump_headings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "colormap/painter.h"
#include "render/dump.h"

namespace lumo {
namespace {

// 0x00 header, 0x40 a segment and its first section at one offset, a
// second section inside a line, then three table entries of 8 bytes.
Colormap structuredColormap() {
  Colormap colormap(true);
  const Painter painter(colormap);
  painter.fill(kNormalAlt);
  painter.paint(0, 0x20, kC1, titled("file header"));
  painter.paint(0x40, 0x30, kC2, [](Label& label) {
    label.kind = "segment";
    label.index = 0;
    label.detail = "LOAD";
  });
  const auto section = [](std::uint64_t index, std::string_view name) {
    return [index, name](Label& label) {
      label.kind = "section";
      label.index = index;
      label.name = name;
      label.select = name;
    };
  };
  painter.paintSelectable(0x40, 0x10, kC3, section(1, ".text"));
  painter.paintSelectable(0x55, 0x1b, kC4, section(2, ".data"));
  for (std::uint32_t k = 0; k < 3; ++k) {
    painter.paintEntry(0x80 + 8 * k, 8, kC5, k, [k](Label& label) {
      label.kind = "program header";
      label.index = k;
    });
  }
  colormap.resolve();
  return colormap;
}

std::string annotated(const std::vector<std::uint8_t>& input, const Colormap& colormap,
                      Options options, DumpWindow window = {}) {
  options.annotate = true;
  StringSink sink;
  OutputBuffer out(sink, 4096);
  MemoryStream stream(std::span<const std::uint8_t>(input).subspan(
      std::min<std::size_t>(input.size(), static_cast<std::size_t>(window.start))));
  const DumpResult result = writeDump(stream, colormap, options, out, window);
  EXPECT_TRUE(result.written.ok());
  EXPECT_TRUE(out.flush().ok());
  return sink.text;
}

Options plain() {
  Options options;
  options.color = false;
  options.show_ascii = false;
  return options;
}

constexpr const char* kZeros = "0000 0000 0000 0000 0000 0000 0000 0000";

std::string zeroLine(const char* offset) { return std::string(offset) + " | " + kZeros + " |\n"; }

// Every heading goes before the line that holds its structure's first byte;
// nested starts give one heading each, outermost first; the unnamed table
// entries share one heading; identical lines collapse between headings and
// a heading ends a run.
TEST(DumpHeadings, HeadEachStructureWhereItBegins) {
  const std::vector<std::uint8_t> input(0xa0, 0);
  EXPECT_EQ(annotated(input, structuredColormap(), plain()),
            "── file header  0x0-0x1f  32 bytes\n" + zeroLine("00000000") +
                "... 2 lines skipped ...\n" + zeroLine("00000030") +
                "── segment 0 (LOAD)  0x40-0x6f  48 bytes\n"
                "── section 1 .text  0x40-0x4f  16 bytes\n" +
                zeroLine("00000040") + "── section 2 .data  0x55-0x6f  27 bytes\n" +
                zeroLine("00000050") + "... 1 lines skipped ...\n" + zeroLine("00000070") +
                "── program headers 0-2, 8 bytes each  0x80-0x97  24 bytes\n" +
                zeroLine("00000080") + zeroLine("00000090"));
}

// Only structures whose first byte is shown are headed, also when the
// window starts inside a line; the window's end drops the later ones.
TEST(DumpHeadings, OnlyStructuresThatBeginInTheWindow) {
  const std::vector<std::uint8_t> input(0xa0, 0);
  const Colormap colormap = structuredColormap();
  EXPECT_EQ(annotated(input, colormap, plain(), {.start = 0x44, .length = 0x20}),
            "00000040 |           0000 0000 0000 0000 0000 0000 |\n"
            "── section 2 .data  0x55-0x6f  27 bytes\n"
            "00000050 | 0000 0000 0000 0000 0000 0000 0000 0000 |\n"
            "00000060 | 0000 0000                               |\n");
  EXPECT_EQ(annotated(input, colormap, plain(), {.start = 0x55, .length = 1}),
            "── section 2 .data  0x55-0x6f  27 bytes\n"
            "00000050 |             00                          |\n");
  // One entry of the table alone keeps its own label.
  EXPECT_EQ(annotated(input, colormap, plain(), {.start = 0x90, .length = 8}),
            "── program header 2  0x90-0x97  8 bytes\n"
            "00000090 | 0000 0000 0000 0000                     |\n");
}

TEST(DumpHeadings, ColoredInTheStructuresStyle) {
  Options options;
  options.color = true;
  options.show_ascii = false;
  options.show_offset = false;
  const std::vector<std::uint8_t> input(0x10, 0x41);
  Colormap colormap(true);
  colormap.paint(0, 0x10, kC3, "section 1 .text");
  colormap.resolve();
  const std::string escape(slotEscapes(options.palette)[kC3].view());
  const std::string text = annotated(input, colormap, options);
  EXPECT_TRUE(text.starts_with(escape + "── section 1 .text  0x0-0xf  16 bytes\x1b[0m\n")) << text;
}

// A name from the file reaches the terminal escaped, and a long one is cut
// in its middle so that the heading keeps within 80 columns.
TEST(DumpHeadings, HostileNamesAreEscapedAndCut) {
  const std::vector<std::uint8_t> input(0x20, 0);
  Colormap colormap(true);
  colormap.paint(0, 0x10, kC1, "section 1 \x1b[2J\n\xff");
  colormap.paint(0x10, 0x10, kC2, "section 2 ." + std::string(100, 'a') + std::string(100, 'z'));
  colormap.resolve();
  const std::string text = annotated(input, colormap, plain());
  EXPECT_TRUE(text.starts_with("── section 1 \\x1b[2J\\x0a\\xff  0x0-0xf  16 bytes\n")) << text;
  const std::size_t at = text.find("── section 2 .aaaa");
  ASSERT_NE(at, std::string::npos) << text;
  const std::string second = text.substr(at, text.find('\n', at) - at);
  EXPECT_NE(second.find("a...z"), std::string::npos) << second;
  EXPECT_TRUE(second.ends_with("zzzz  0x10-0x1f  16 bytes")) << second;
  // The rule's two characters take three bytes each and one column each.
  EXPECT_EQ(second.size() - 4, 80U) << second;
}

// Raw mode drops the headings, as it drops the legend.
TEST(DumpHeadings, RawModeHasNone) {
  Options options = plain();
  options.raw = true;
  const std::vector<std::uint8_t> input(0x20, 0);
  EXPECT_EQ(annotated(input, structuredColormap(), options),
            "0000 0000 0000 0000 0000 0000 0000 0000 \n"
            "0000 0000 0000 0000 0000 0000 0000 0000 \n");
}

}  // namespace
}  // namespace lumo
