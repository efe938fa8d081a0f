#include "render/diff_dump.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lumo {
namespace {

using Bytes = std::vector<std::uint8_t>;

Colormap plainColormap() {
  Colormap colormap;
  colormap.fill(kNormalAlt);
  colormap.resolve();
  return colormap;
}

Bytes counting(std::size_t size) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(0x41 + i % 26);
  return bytes;
}

struct Compared {
  std::string text;
  DiffResult result;
};

Compared compare(const Bytes& a, const Bytes& b, bool color = false, DumpWindow window = {},
                 std::size_t chunk = kDumpChunkBytes) {
  const Colormap colormap = plainColormap();
  // Each stream begins at the window's start, as the run hands it over.
  const auto from = [&](const Bytes& bytes) {
    const std::size_t start = std::min<std::size_t>(window.start, bytes.size());
    return std::span<const std::uint8_t>(bytes).subspan(start);
  };
  MemoryStream first(from(a));
  MemoryStream second(from(b));
  Options options;
  options.color = color;
  StringSink sink;
  OutputBuffer out(sink, 4096);
  Compared compared;
  compared.result = writeDiffDump({first, colormap, window}, {second, colormap, window}, options,
                                  out, false, chunk);
  EXPECT_TRUE(compared.result.written.ok());
  EXPECT_TRUE(out.flush().ok());
  compared.text = sink.text;
  return compared;
}

TEST(DiffDump, IdenticalInputsAreOneCollapsedStretch) {
  const Compared compared = compare(counting(100), counting(100));
  EXPECT_EQ(compared.text, "... 7 identical lines ...\n");
  EXPECT_EQ(diffSummaryText(compared.result.summary), "Files are identical: 100 bytes\n");
}

TEST(DiffDump, ADifferingByteShowsBothLinesAndAMarkerLine) {
  Bytes other = counting(48);
  other[0x13] = 0x00;
  const Compared compared = compare(counting(48), other);
  EXPECT_EQ(compared.text,
            "... 1 identical line ...\n"
            "- 00000010 | 5152 5354 5556 5758 595a 4142 4344 4546 | QRSTUVWXYZABCDEF |\n"
            "+ 00000010 | 5152 5300 5556 5758 595a 4142 4344 4546 | QRS.UVWXYZABCDEF |\n"
            "                    ^^                                    ^\n"
            "... 1 identical line ...\n");
  EXPECT_EQ(diffSummaryText(compared.result.summary),
            "Files differ: 1 byte in 1 line, first at 0x13; sizes 48 and 48 bytes\n");
}

TEST(DiffDump, TheShorterSideShowsBlankCellsAndItsMissingBytesDiffer) {
  const Compared compared = compare(counting(18), counting(20));
  EXPECT_EQ(compared.text,
            "... 1 identical line ...\n"
            "- 00000010 | 5152                                    | QR               |\n"
            "+ 00000010 | 5152 5354                               | QRST             |\n"
            "                  ^^^^                                   ^^\n");
  EXPECT_EQ(diffSummaryText(compared.result.summary),
            "Files differ: 2 bytes in 1 line, first at 0x12; sizes 18 and 20 bytes\n");
}

TEST(DiffDump, AnEmptySideShowsItsLinesWithoutBytes) {
  const Compared compared = compare({}, {0x41});
  EXPECT_EQ(compared.text,
            "- 00000000 |                                         |                  |\n"
            "+ 00000000 | 41                                      | A                |\n"
            "             ^^                                        ^\n");
}

TEST(DiffDump, DifferingBytesAreReversedOnTopOfTheirStyle) {
  Bytes other = counting(2);
  other[1] = 0x01;
  const std::string text = compare(counting(2), other, true).text;
  // The second byte of each line: its style, then reverse video.
  EXPECT_NE(text.find("\x1b[7m42\x1b[0m"), std::string::npos) << text;
  EXPECT_NE(text.find("\x1b[7m01\x1b[0m"), std::string::npos) << text;
  EXPECT_NE(text.find("\x1b[2m\x1b[7m.\x1b[0m"), std::string::npos) << text;
  EXPECT_EQ(text.find('^'), std::string::npos) << "no marker line in color";
}

TEST(DiffDump, WindowsKeepTheFilesLineBoundariesAndChunksDoNotMatter) {
  Bytes other = counting(64);
  other[0x25] = 0;
  const DumpWindow window{.start = 0x23, .length = 0x10};
  for (std::size_t chunk : {std::size_t{16}, std::size_t{64}, kDumpChunkBytes}) {
    const Compared compared = compare(counting(64), other, false, window, chunk);
    EXPECT_EQ(compared.text,
              "- 00000020 |        4a 4b4c 4d4e 4f50 5152 5354 5556 |    JKLMNOPQRSTUV |\n"
              "+ 00000020 |        4a 4b00 4d4e 4f50 5152 5354 5556 |    JK.MNOPQRSTUV |\n"
              "                         ^^                                 ^\n"
              "... 1 identical line ...\n")
        << "chunk " << chunk;
    EXPECT_EQ(compared.result.summary.sizes[0], 16u);
    EXPECT_EQ(compared.result.summary.first, 0x25u);
  }
}

}  // namespace
}  // namespace lumo
