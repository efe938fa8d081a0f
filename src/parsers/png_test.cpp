// Checks the PNG parser against the chunk offsets that pngcheck reports for
// real images (those on the machine and those written here with Python's
// zlib), and against hostile chunk tables.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "parsers/parsers.h"
#include "parsers/real_file_support.h"

namespace lumo {
namespace {

using namespace lumo::testing;

// One line of `pngcheck -v`: "  chunk IDAT at offset 0x00049, length 114",
// where the offset is that of the type, after the length.
struct ChunkReport {
  std::string type;
  std::uint64_t type_offset = 0;
  std::uint64_t length = 0;
};

std::vector<ChunkReport> parseChunks(const std::string& output) {
  std::vector<ChunkReport> chunks;
  for (const std::string& line : splitLines(output)) {
    const std::vector<std::string> words = splitWords(line);
    if (words.size() < 7 || words[0] != "chunk" || words[2] != "at" || words[5] != "length") {
      continue;
    }
    chunks.push_back({words[1], std::stoull(words[4], nullptr, 16), std::stoull(words[6])});
  }
  return chunks;
}

PaletteSlot alternating(PaletteSlot base, std::uint64_t index) {
  return static_cast<PaletteSlot>(base + 3 * (index % 2));
}

std::vector<Region> expectedRegions(const std::vector<ChunkReport>& chunks) {
  std::vector<Region> regions = {{0, 8, kC1}};
  for (std::size_t i = 0; i < chunks.size(); ++i) {
    const std::uint64_t start = chunks[i].type_offset - 4;
    regions.push_back({start, 8, alternating(kC2, i)});
    regions.push_back({start + 8, chunks[i].length, alternating(kC2Alt, i)});
    regions.push_back({start + 8 + chunks[i].length, 4, alternating(kC2Accent, i)});
  }
  return regions;
}

// A script that writes a PNG with the given chunks after IHDR: each
// argument "TYPE:text" becomes a chunk; "IDAT*n" splits the image data into
// n chunks. Anything after "--tail=" is appended after IEND.
constexpr const char* kWritePng = R"(import struct, sys, zlib
def chunk(t, d): return struct.pack('>I', len(d)) + t + d + struct.pack('>I', zlib.crc32(t + d))
w, h = 40, 30
raw = b''.join(b'\0' + bytes((x * 7 + y * 3) & 255 for x in range(w * 3)) for y in range(h))
out = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 2, 0, 0, 0))
tail = b''
for arg in sys.argv[2:]:
    if arg.startswith('--tail='): tail = arg[7:].encode(); continue
    if arg.startswith('IDAT*'):
        data = zlib.compress(raw); n = int(arg[5:]); step = len(data) // n + 1
        for k in range(0, len(data), step): out += chunk(b'IDAT', data[k:k + step])
        continue
    t, text = arg.split(':', 1); out += chunk(t.encode(), text.encode())
open(sys.argv[1], 'wb').write(out + chunk(b'IEND', b'') + tail)
)";

class PngRealFileTest : public BuiltFilesTest<PngRealFileTest> {
 protected:
  static void SetUpTestSuite() {
    pngcheck_ = findTool({"pngcheck"});
    const std::optional<std::string> python = findTool({"python3"});
    if (!pngcheck_ || !python) {
      files_.fail("pngcheck or python3 is missing");
      return;
    }
    files_.makeFolder("lumo_png");
    files_.write("write_png.py", kWritePng);
    const std::string d = files_.quotedFolder();
    const std::string write = *python + " " + d + "write_png.py " + d;
    files_.run({
        write + "text.png \"tEXt:Title\\0lumo\" IDAT*5 \"zTXt:c\\0\\0x\" --tail=after",
        write + "one.png IDAT*1",
    });
  }

  // The PNG files to check: those made here and up to a few on the machine.
  static std::vector<std::string> files() {
    std::vector<std::string> paths = {files_.path("text.png"), files_.path("one.png")};
    for (const char* folder : {"/usr/share/gitweb", "/usr/share/pixmaps", "/usr/share/icons"}) {
      std::error_code error;
      std::size_t taken = 0;
      for (auto it = std::filesystem::recursive_directory_iterator(folder, error);
           !error && it != std::filesystem::recursive_directory_iterator() && taken < 3;
           it.increment(error)) {
        if (it->path().extension() == ".png" && it->is_regular_file(error)) {
          paths.push_back(it->path().string());
          ++taken;
        }
      }
    }
    return paths;
  }

  static inline std::optional<std::string> pngcheck_;
};

TEST_F(PngRealFileTest, ChunksAndSectionsMatchWhatPngcheckReports) {
  for (const std::string& path : files()) {
    SCOPED_TRACE(path);
    // pngcheck exits with failure on data after IEND, but still lists the
    // chunks; the pipe's status is that of cat.
    const std::optional<std::string> output =
        commandOutput(*pngcheck_ + " -v \"" + path + "\" | cat");
    ASSERT_TRUE(output.has_value());
    const std::vector<ChunkReport> chunks = parseChunks(*output);
    const std::optional<Bytes> bytes = readWholeFile(path);
    ASSERT_TRUE(bytes.has_value());
    ASSERT_GE(chunks.size(), 3u);
    ASSERT_EQ(chunks.front().type, "IHDR");
    ASSERT_EQ(chunks.back().type, "IEND");
    ASSERT_EQ(&detectFormat(*bytes), &kPngFormat);

    const std::string actual = colorize(colorizePng, *bytes);
    EXPECT_EQ(describeMismatch(actual, expectedMask(bytes->size(), expectedRegions(chunks))), "");

    // Every chunk's data is a section named by its type (a type that
    // several chunks have is ambiguous, and each is reachable by number).
    const Result<Colormap> named = buildColormap(*bytes, &kPngFormat, true);
    ASSERT_TRUE(named.ok());
    ASSERT_EQ(named->sections().size(), chunks.size());
    for (std::size_t k = 0; k < chunks.size(); ++k) {
      const NamedSection& section = named->sections()[k];
      const ChunkReport& chunk = chunks[k];
      EXPECT_EQ(named->label(section.name), chunk.type);
      EXPECT_EQ(section.offset, chunk.type_offset + 4) << chunk.type;
      EXPECT_EQ(section.size, chunk.length) << chunk.type;
      EXPECT_EQ(section.has_bytes, chunk.length > 0) << chunk.type;
    }
  }
  // The made file has the structures this test is about.
  const std::optional<std::string> made =
      commandOutput(*pngcheck_ + " -v \"" + files_.path("text.png") + "\" | cat");
  ASSERT_TRUE(made.has_value());
  EXPECT_EQ(parseChunks(*made).size(), 9u);
}

// Cut inside each chunk's data, a PNG stops its walk at that chunk, whose
// length pngcheck gives when it reports the end of the file there.
TEST_F(PngRealFileTest, CutFilesStopWherePngcheckFindsTheEnd) {
  const std::optional<std::string> whole =
      commandOutput(*pngcheck_ + " -v \"" + files_.path("text.png") + "\" | cat");
  const std::optional<Bytes> bytes = readWholeFile(files_.path("text.png"));
  ASSERT_TRUE(whole.has_value() && bytes.has_value());
  std::size_t checked = 0;
  for (const ChunkReport& chunk : parseChunks(*whole)) {
    if (chunk.length < 2) continue;
    const std::uint64_t cut = chunk.type_offset + 4 + chunk.length / 2;
    SCOPED_TRACE(chunk.type + " cut at " + std::to_string(cut));
    const Bytes part(bytes->begin(), bytes->begin() + static_cast<std::ptrdiff_t>(cut));
    files_.write("cut.png", std::string_view(reinterpret_cast<const char*>(part.data()), cut));
    const std::optional<std::string> report =
        commandOutput(*pngcheck_ + " -v \"" + files_.path("cut.png") + "\" | cat");
    ASSERT_TRUE(report.has_value());
    ASSERT_NE(report->find("EOF while reading data"), std::string::npos) << *report;
    const std::vector<ChunkReport> chunks = parseChunks(*report);
    ASSERT_FALSE(chunks.empty());
    const ChunkReport& last = chunks.back();
    const Result<Colormap> colormap = buildColormap(part, nullptr, true);
    ASSERT_TRUE(colormap.ok());
    ASSERT_EQ(colormap->stops().size(), 1u);
    EXPECT_EQ(colormap->stops()[0].offset, last.type_offset - 4);
    EXPECT_EQ(colormap->label(colormap->stops()[0].reason),
              "chunk " + std::to_string(chunks.size() - 1) + " claims " +
                  std::to_string(last.length) + " bytes, past the end");
    ++checked;
  }
  EXPECT_GE(checked, 5u);
}

Bytes pngSignature() { return {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'}; }

// A chunk with a big-endian length that need not match its data.
void appendChunk(Bytes& b, std::uint32_t length, std::string_view type, std::size_t data_size) {
  put(b, b.size(), length, 4, true);
  b.insert(b.end(), type.begin(), type.end());
  b.insert(b.end(), data_size + 4, 0x55);
}

TEST(PngTest, LegendNamesEveryChunkPart) {
  Bytes b = pngSignature();
  appendChunk(b, 2, "IHDR", 2);
  appendChunk(b, 0, std::string_view("a\x1b[m", 4), 0);
  appendChunk(b, 0, "IEND", 0);
  Colormap colormap(true);
  colorizePng(MemoryAccess(b), colormap);
  std::vector<std::string> labels;
  for (const Paint& paint : colormap.paints()) {
    if (paint.label != kNoLabel) labels.emplace_back(colormap.label(paint.label));
  }
  // Empty data paints nothing, so it has no name either.
  EXPECT_EQ(labels, (std::vector<std::string>{"PNG signature", "chunk 0 IHDR",
                                              "data of chunk 0 IHDR", "CRC of chunk 0 IHDR",
                                              "chunk 1 a\x1b[m", "CRC of chunk 1 a\x1b[m",
                                              "chunk 2 IEND", "CRC of chunk 2 IEND"}));
}

TEST(HostilePngTest, DamagedChunkTablesStopTheWalk) {
  struct Case {
    const char* what;
    Bytes input;
    std::string mask;
  };
  auto with = [](std::initializer_list<std::pair<std::uint32_t, std::size_t>> chunks) {
    Bytes b = pngSignature();
    for (auto [length, data] : chunks) appendChunk(b, length, "abcd", data);
    return b;
  };
  const Case cases[] = {
      {"length 2^31", with({{0x80000000u, 0}}), "11111111____________"},
      {"length 2^32 - 1", with({{0, 0}, {0xffffffffu, 0}}),
       "11111111"
       "22222222BBBB"
       "____________"},
      {"header cut short", Bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0},
       "11111111___"},
      {"signature alone", pngSignature(), "11111111"},
      {"signature cut short", Bytes{0x89, 'P', 'N'}, "111"},
      // The data runs past the end: what is there is the chunk's.
      {"data past the end", with({{0, 0}, {1000, 0}}),
       "11111111"
       "22222222BBBB"
       "33333333cccc"},
      {"nothing after IEND",
       [] {
         Bytes b = pngSignature();
         appendChunk(b, 0, "IEND", 0);
         appendChunk(b, 0, "abcd", 0);
         return b;
       }(),
       "11111111"
       "22222222BBBB"
       "____________"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(colorize(colorizePng, c.input), c.mask);
  }
}

TEST(HostilePngTest, AMillionEmptyChunksStopAtTheBound) {
  Bytes b = pngSignature();
  b.reserve(8 + 12 * 1000000);
  for (int k = 0; k < 1000000; ++k) appendChunk(b, 0, "abcd", 0);
  const Result<Colormap> colormap = buildColormap(ByteSpan(b), nullptr);
  ASSERT_TRUE(colormap.ok());
  // Three paints per chunk up to 262144 chunks, then the fill.
  EXPECT_LE(colormap->paints().size(), 3u * 262144 + 2);
  const std::uint64_t bound = 8 + 12 * 262144;
  EXPECT_EQ(colormap->slotAt(bound - 1, 0x55), kC3Accent);
  EXPECT_EQ(colormap->slotAt(bound, 0), kNormalAlt);
}

}  // namespace
}  // namespace lumo
