// Checks the GIF parser on images written here and rewritten by gifsicle
// (its own encoder, an animation loop extension, comments) against a small
// walk of the block structure written for this test, after checking that
// walk against what gifsicle --info reports.

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

constexpr const char* kWriteGif = R"(import struct, sys
# A GIF of w x h pixels, a 4-color global table, each pixel LZW-coded after a
# clear code so that every code stays 3 bits wide.
def image(w, h, local=False):
    codes = []
    for k in range(w * h): codes += [4, k % 4]
    codes.append(5)
    bits = 0; n = 0; out = bytearray()
    for c in codes:
        bits |= c << n; n += 3
        while n >= 8: out.append(bits & 255); bits >>= 8; n -= 8
    if n: out.append(bits & 255)
    blocks = b''.join(bytes([len(out[i:i + 255])]) + out[i:i + 255] for i in range(0, len(out), 255))
    desc = b',' + struct.pack('<HHHHB', 0, 0, w, h, 0x81 if local else 0)
    return desc + (bytes(12) if local else b'') + b'\x02' + blocks + b'\0'
w, h = 30, 20
out = b'GIF89a' + struct.pack('<HHBBB', w, h, 0x81, 0, 0) + bytes([0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255])
out += b'\x21\xf9\x04\x00\x0a\x00\x00\x00' + image(w, h)
out += b'\x21\xfe\x05hello\x03abc\x00'
out += b'\x21\xf9\x04\x00\x0a\x00\x00\x00' + image(10, 5, local=True)
open(sys.argv[1], 'wb').write(out + b';')
)";

// What the test's own walk finds: the regions, the images' sizes, the
// number of comments and whether the file has a global table.
struct Walk {
  std::vector<Region> regions;
  std::vector<std::string> image_sizes;
  std::size_t comments = 0;
  std::uint64_t global_table = 0;
  std::vector<std::pair<std::uint64_t, std::uint64_t>> image_data;  // offset, size
};

PaletteSlot shifted(PaletteSlot base, std::uint64_t k) {
  return static_cast<PaletteSlot>(base + 3 * (k % 2));
}

std::uint64_t subBlocksEnd(const Bytes& b, std::uint64_t at) {
  while (b.at(at) != 0) at += 1u + b.at(at);
  return at + 1;
}

Walk walkGif(const Bytes& b) {
  Walk w;
  w.regions.push_back({0, 13, kC1});
  if (b[10] & 0x80) w.global_table = 3u << ((b[10] & 7) + 1);
  w.regions.push_back({13, w.global_table, kC1Alt});
  std::uint64_t at = 13 + w.global_table, extensions = 0, images = 0;
  while (b.at(at) != 0x3b) {
    if (b[at] == 0x21) {
      const std::uint64_t end = subBlocksEnd(b, at + 2);
      w.regions.push_back({at, 2, shifted(kC2, extensions)});
      w.regions.push_back({at + 2, end - at - 2, shifted(kC2Alt, extensions++)});
      if (b[at + 1] == 0xfe) ++w.comments;
      at = end;
    } else {
      EXPECT_EQ(b[at], 0x2c);
      const std::uint64_t table = (b[at + 9] & 0x80) ? 3u << ((b[at + 9] & 7) + 1) : 0;
      const std::uint64_t data = at + 10 + table;
      const std::uint64_t end = subBlocksEnd(b, data + 1);
      w.image_sizes.push_back(std::to_string(b[at + 5] | b[at + 6] << 8u) + "x" +
                              std::to_string(b[at + 7] | b[at + 8] << 8));
      w.regions.push_back({at, 10, shifted(kC4, images)});
      w.regions.push_back({at + 10, table, shifted(kC4Accent, images)});
      w.regions.push_back({data, end - data, shifted(kC4Alt, images++)});
      w.image_data.emplace_back(data, end - data);
      at = end;
    }
  }
  w.regions.push_back({at, 1, kC1});
  return w;
}

class GifRealFileTest : public BuiltFilesTest<GifRealFileTest> {
 protected:
  static void SetUpTestSuite() {
    gifsicle_ = findTool({"gifsicle"});
    const std::optional<std::string> python = findTool({"python3"});
    if (!gifsicle_ || !python) {
      files_.fail("gifsicle or python3 is missing");
      return;
    }
    files_.makeFolder("lumo_gif");
    files_.write("write_gif.py", kWriteGif);
    const std::string d = files_.quotedFolder();
    files_.run({
        *python + " " + d + "write_gif.py " + d + "made.gif",
        *gifsicle_ + " -O2 " + d + "made.gif -o " + d + "optimized.gif",
        *gifsicle_ + " --loopcount=3 --comment \"from gifsicle\" " + d + "made.gif " + d +
            "made.gif -o " + d + "animation.gif",
    });
  }

  static inline std::optional<std::string> gifsicle_;
};

TEST_F(GifRealFileTest, BlocksMatchGifsicleAndTheWalk) {
  for (const char* file : {"made.gif", "optimized.gif", "animation.gif"}) {
    SCOPED_TRACE(file);
    const std::string path = files_.path(file);
    const std::optional<std::string> info = commandOutput(*gifsicle_ + " --info \"" + path + "\"");
    ASSERT_TRUE(info.has_value());
    const std::optional<Bytes> bytes = readWholeFile(path);
    ASSERT_TRUE(bytes.has_value());
    ASSERT_EQ(&detectFormat(*bytes), &kGifFormat);
    // The walk agrees with gifsicle on the images, their sizes, the
    // comments and the global table.
    const Walk walk = walkGif(*bytes);
    std::vector<std::string> sizes;
    std::size_t comments = 0;
    std::uint64_t global_table = 0;
    for (const std::string& line : splitLines(*info)) {
      const std::vector<std::string> words = splitWords(line);
      if (words.size() >= 4 && words[0] == "+" && words[1] == "image") sizes.push_back(words[3]);
      if (!words.empty() && words[0] == "comment") ++comments;
      if (words.size() == 4 && words[0] == "global" && words[2] == "table") {
        global_table = 3 * std::stoull(words[3].substr(1));
      }
    }
    ASSERT_FALSE(sizes.empty());
    EXPECT_EQ(walk.image_sizes, sizes);
    EXPECT_EQ(walk.comments, comments);
    EXPECT_EQ(walk.global_table, global_table);

    const std::string actual = colorize(colorizeGif, *bytes);
    EXPECT_EQ(describeMismatch(actual, expectedMask(bytes->size(), walk.regions)), "");

    const Result<Colormap> named = buildColormap(*bytes, &kGifFormat, true);
    ASSERT_TRUE(named.ok());
    std::size_t images = 0;
    for (const NamedSection& s : named->sections()) {
      const std::string name(named->label(s.name));
      if (name.rfind("image ", 0) != 0) continue;
      ASSERT_LT(images, walk.image_data.size());
      EXPECT_EQ(name, "image " + std::to_string(images));
      EXPECT_EQ(s.offset, walk.image_data[images].first);
      EXPECT_EQ(s.size, walk.image_data[images].second);
      ++images;
    }
    EXPECT_EQ(images, walk.image_data.size());
  }
}

Bytes gifStart() {
  Bytes b = bytesOf("GIF89a");
  b.insert(b.end(), {1, 0, 1, 0, 0, 0, 0});  // 1x1, no global table
  return b;
}

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(GifTest, LegendNamesEveryBlock) {
  const Bytes b =
      gifStart() + Bytes{0x21, 0xfe, 1,    'x', 0, 0x21, 0xf9, 0, 0x2c, 0, 0, 0, 0, 0x80, 2,
                         0xe0, 1,    0x80, 1,   2, 3,    4,    5, 6,    2, 1, 7, 0, 0x3b};
  Colormap colormap(true);
  colorizeGif(MemoryAccess(b), colormap);
  std::vector<std::string> labels;
  for (const Paint& paint : colormap.paints()) {
    if (paint.label != kNoLabel) labels.emplace_back(colormap.label(paint.label));
  }
  EXPECT_EQ(labels, (std::vector<std::string>{
                        "GIF header and logical screen descriptor", "extension 0 (comment)",
                        "sub-blocks of extension 0", "extension 1 (graphic control)",
                        "sub-blocks of extension 1", "image 0 descriptor (640x480)",
                        "local color table of image 0", "data of image 0", "GIF trailer"}));
  std::vector<std::string> sections;
  for (const NamedSection& s : colormap.sections()) sections.emplace_back(colormap.label(s.name));
  EXPECT_EQ(sections, (std::vector<std::string>{"comment 0", "image 0"}));
}

TEST(HostileGifTest, DamagedBlocksStopTheWalk) {
  struct Case {
    const char* what;
    Bytes input;
    std::string mask;
  };
  const Case cases[] = {
      {"unknown block", gifStart() + Bytes{0x99, 0x3b}, "1111111111111__"},
      {"sub-blocks past the end", gifStart() + Bytes{0x21, 0x01, 200, 1, 2}, "111111111111122bbb"},
      {"descriptor cut short", gifStart() + Bytes{0x2c, 0, 0}, "1111111111111___"},
      {"global table past the end", bytesOf("GIF87a") + Bytes{1, 0, 1, 0, 0x87, 0, 0, 1, 2},
       "1111111111111aa"},
      {"nothing after the trailer", gifStart() + Bytes{0x3b, 0x21, 0xfe, 0}, "11111111111111___"},
      {"empty extensions", gifStart() + Bytes{0x21, 0xfe, 0, 0x21, 0xfe, 0},
       "1111111111111"
       "22b"
       "33c"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(colorize(colorizeGif, c.input), c.mask);
  }
}

TEST(HostileGifTest, AMillionEmptyExtensionsStopAtTheBound) {
  Bytes b = gifStart();
  b.reserve(b.size() + 3 * 1000000);
  for (int k = 0; k < 1000000; ++k) b.insert(b.end(), {0x21, 0xfe, 0});
  const Result<Colormap> colormap = buildColormap(ByteSpan(b), nullptr);
  ASSERT_TRUE(colormap.ok());
  EXPECT_LE(colormap->paints().size(), 2u * 262144 + 3);
  const std::uint64_t bound = 13 + 3 * 262144;
  EXPECT_EQ(colormap->slotAt(bound - 1, 0), kC3Alt);
  EXPECT_EQ(colormap->slotAt(bound, 0x21), kNormalAlt);
}

}  // namespace
}  // namespace lumo
