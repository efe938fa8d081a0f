// Checks the gzip parser against what gzip -lvN reports (the trailer's CRC
// and size, the stored name) for files on the machine and files compressed
// here, against the block offsets of a bgzip index for BGZF files, and
// against hostile headers.

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "parsers/parsers.h"
#include "parsers/real_file_support.h"

namespace lumo {
namespace {

using namespace lumo::testing;

std::uint64_t littleEndian(const Bytes& b, std::size_t at, std::size_t width) {
  std::uint64_t value = 0;
  for (std::size_t k = width; k-- > 0;) value = (value << 8) | b[at + k];
  return value;
}

class GzipRealFileTest : public BuiltFilesTest<GzipRealFileTest> {
 protected:
  static void SetUpTestSuite() {
    gzip_ = findTool({"gzip"});
    const std::optional<std::string> bgzip = findTool({"bgzip"});
    if (!gzip_ || !bgzip) {
      files_.fail("gzip or bgzip (Debian package tabix) is missing");
      return;
    }
    files_.makeFolder("lumo_gzip");
    files_.write("notes.txt", "hello, gzip\n");
    std::string numbers;
    for (int k = 0; k < 60000; ++k) numbers += std::to_string(k * 7919 % 100003) + "\n";
    files_.write("numbers.txt", numbers);
    const std::string d = files_.quotedFolder();
    files_.run({
        *gzip_ + " -kN " + d + "notes.txt",
        // In a subshell: the harness sends the command's own output elsewhere.
        "(" + *gzip_ + " -c -n " + d + "numbers.txt > " + d + "plain.gz)",
        // -i writes the block offsets to numbers.txt.gz.gzi.
        "(" + *bgzip + " -i -c " + d + "numbers.txt > " + d + "numbers.txt.gz)",
        *bgzip + " -r " + d + "numbers.txt.gz",
    });
  }

  static inline std::optional<std::string> gzip_;
};

// One member to the end: the header, the name when stored, the data, and
// the trailer, whose CRC and size gzip -lv must report.
TEST_F(GzipRealFileTest, OneMemberFilesMatchWhatGzipReports) {
  std::vector<std::string> paths = {files_.path("notes.txt.gz"), files_.path("plain.gz")};
  for (const char* candidate :
       {"/usr/share/doc/gzip/changelog.Debian.gz", "/usr/share/doc/bash/changelog.Debian.gz",
        "/usr/share/doc/coreutils/changelog.Debian.gz"}) {
    if (firstExisting({candidate})) paths.emplace_back(candidate);
  }
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    const std::optional<std::string> output = commandOutput(*gzip_ + " -lvN \"" + path + "\"");
    ASSERT_TRUE(output.has_value());
    const std::vector<std::string> lines = splitLines(*output);
    ASSERT_GE(lines.size(), 2u);
    // method crc month day time compressed uncompressed ratio name
    const std::vector<std::string> words = splitWords(lines[1]);
    ASSERT_EQ(words.size(), 9u);
    const std::optional<Bytes> bytes = readWholeFile(path);
    ASSERT_TRUE(bytes.has_value());
    ASSERT_GT(bytes->size(), 18u);
    ASSERT_EQ(&detectFormat(*bytes), &kGzipFormat);
    const std::size_t size = bytes->size();
    EXPECT_EQ(littleEndian(*bytes, size - 8, 4), std::stoull(words[1], nullptr, 16));
    EXPECT_EQ(littleEndian(*bytes, size - 4, 4), std::stoull(words[6]) & 0xffffffff);

    const bool named = ((*bytes)[3] & 0x08) != 0;
    const std::string name = words[8].substr(words[8].rfind('/') + 1);
    const std::uint64_t data = named ? 10 + name.size() + 1 : 10;
    const std::string actual = colorize(colorizeGzip, *bytes);
    EXPECT_EQ(describeMismatch(actual, expectedMask(size, {{0, 10, kC2},
                                                           {10, data - 10, kC2Accent},
                                                           {data, size - 8 - data, kC2Alt},
                                                           {size - 8, 8, kC2}})),
              "");
    const Result<Colormap> colormap = buildColormap(*bytes, &kGzipFormat, true);
    ASSERT_TRUE(colormap.ok());
    ASSERT_EQ(colormap->sections().size(), named ? 1u : 0u);
    if (named) {
      EXPECT_EQ(colormap->label(colormap->sections()[0].name), name);
      EXPECT_EQ(colormap->sections()[0].offset, data);
      EXPECT_EQ(colormap->sections()[0].size, size - 8 - data);
    }
  }
}

// A BGZF file is walked block by block: each block starts where the bgzip
// index says, and ends with its own trailer.
TEST_F(GzipRealFileTest, BgzfBlocksStartWhereTheIndexSays) {
  const std::optional<Bytes> bytes = readWholeFile(files_.path("numbers.txt.gz"));
  const std::optional<Bytes> index = readWholeFile(files_.path("numbers.txt.gz.gzi"));
  ASSERT_TRUE(bytes && index);
  // The index: a count, then (compressed, uncompressed) offset pairs of
  // every block after the first; the file ends with an empty block.
  std::vector<std::uint64_t> starts = {0};
  const std::uint64_t count = littleEndian(*index, 0, 8);
  ASSERT_EQ(index->size(), 8 + 16 * count);
  for (std::uint64_t k = 0; k < count; ++k) starts.push_back(littleEndian(*index, 8 + 16 * k, 8));
  if (starts.back() != bytes->size() - 28) starts.push_back(bytes->size() - 28);
  ASSERT_GE(starts.size(), 3u);
  starts.push_back(bytes->size());

  std::vector<Region> regions;
  for (std::size_t k = 0; k + 1 < starts.size(); ++k) {
    const PaletteSlot shift = static_cast<PaletteSlot>(3 * (k % 2));
    // bgzip's header: 10 bytes, XLEN, and the one 6-byte BC subfield.
    regions.push_back({starts[k], 10, static_cast<PaletteSlot>(kC2 + shift)});
    regions.push_back({starts[k] + 10, 8, static_cast<PaletteSlot>(kC2Accent + shift)});
    regions.push_back(
        {starts[k] + 18, starts[k + 1] - starts[k] - 26, static_cast<PaletteSlot>(kC2Alt + shift)});
    regions.push_back({starts[k + 1] - 8, 8, static_cast<PaletteSlot>(kC2 + shift)});
  }
  EXPECT_EQ(describeMismatch(colorize(colorizeGzip, *bytes), expectedMask(bytes->size(), regions)),
            "");
}

Bytes gzipHeader(std::uint8_t flags) { return {0x1f, 0x8b, 8, flags, 0, 0, 0, 0, 0, 3}; }

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// An empty BGZF block of 28 bytes, as bgzip ends its files.
Bytes emptyBgzfBlock() {
  return gzipHeader(0x04) + Bytes{6, 0, 'B', 'C', 2, 0, 27, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0};
}

TEST(GzipTest, LegendNamesEveryPart) {
  const Bytes b = gzipHeader(0x1e) + Bytes{4, 0, 'x', 'y', 2, 0} + bytesOf("a.txt") + Bytes{0} +
                  bytesOf("hi") + Bytes{0, 0xaa, 0xbb, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  Colormap colormap(true);
  colorizeGzip(MemoryAccess(b), colormap);
  std::vector<std::string> labels;
  for (const Paint& paint : colormap.paints()) {
    if (paint.label != kNoLabel) labels.emplace_back(colormap.label(paint.label));
  }
  EXPECT_EQ(labels,
            (std::vector<std::string>{"gzip member 0 header", "extra field in gzip member 0",
                                      "name in gzip member 0 (a.txt)", "comment in gzip member 0",
                                      "header CRC of gzip member 0", "data of gzip member 0",
                                      "trailer of gzip member 0"}));
  EXPECT_EQ(colorize(colorizeGzip, b), "2222222222BBBBBBBBBBBBBBB22b22222222");
}

TEST(HostileGzipTest, DamagedHeadersStopTheWalk) {
  struct Case {
    const char* what;
    Bytes input;
    std::string mask;
  };
  const Case cases[] = {
      {"name without a NUL", gzipHeader(0x08) + bytesOf("abcdefgh"), "2222222222________"},
      {"comment without a NUL", gzipHeader(0x10) + bytesOf("abc"), "2222222222___"},
      {"extra field past the end", gzipHeader(0x04) + Bytes{0xff, 0xff, 1, 2}, "2222222222____"},
      {"header cut short", Bytes{0x1f, 0x8b, 8, 0, 0}, "_____"},
      {"shorter than a trailer", gzipHeader(0) + Bytes{1, 2, 3}, "2222222222222"},
      // A block size below its own header and trailer is no size: the
      // member then runs to the end.
      {"BGZF size too small",
       gzipHeader(0x04) + Bytes{6, 0, 'B', 'C', 2, 0, 3, 0, 9, 9, 1, 2, 3, 4, 5, 6, 7, 8},
       "2222222222BBBBBBBBbb22222222"},
      {"BGZF block then other bytes", emptyBgzfBlock() + Bytes{1, 2, 3},
       "2222222222BBBBBBBBbb22222222___"},
      {"two BGZF blocks", emptyBgzfBlock() + emptyBgzfBlock(),
       "2222222222BBBBBBBBbb22222222"
       "3333333333CCCCCCCCcc33333333"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(colorize(colorizeGzip, c.input), c.mask);
  }
}

TEST(HostileGzipTest, AMillionEmptyBlocksStopAtTheBound) {
  Bytes b;
  const Bytes block = emptyBgzfBlock();
  b.reserve(block.size() * 1000000);
  for (int k = 0; k < 1000000; ++k) b.insert(b.end(), block.begin(), block.end());
  const Result<Colormap> colormap = buildColormap(ByteSpan(b), nullptr);
  ASSERT_TRUE(colormap.ok());
  EXPECT_LE(colormap->paints().size(), 4u * 131072 + 1);
  const std::uint64_t bound = 28 * 131072;
  EXPECT_EQ(colormap->slotAt(bound - 1, 0), kC3);
  EXPECT_EQ(colormap->slotAt(bound, 0x1f), kNormalAlt);
}

}  // namespace
}  // namespace lumo
