// Checks the JPEG parser against the segments that exiftool reports for
// images written here by cjpeg (baseline, progressive, with restart markers,
// and with Exif, XMP and a comment added by exiftool), and against hostile
// marker streams.

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "parsers/parsers.h"
#include "parsers/real_file_support.h"

namespace lumo {
namespace {

using namespace lumo::testing;

// One marker as `exiftool -v3` lists it: "JPEG DQT (65 bytes):" and, on the
// next line, the offset of the payload's first byte ("    0018: 00 08 ...").
// SOS, RSTn and EOI come without a size.
struct MarkerReport {
  std::string name;
  std::optional<std::uint64_t> payload;
  std::uint64_t length = 0;
};

std::vector<MarkerReport> parseMarkers(const std::string& output) {
  std::vector<MarkerReport> markers;
  bool wantOffset = false;
  for (const std::string& line : splitLines(output)) {
    const std::vector<std::string> words = splitWords(line);
    if (line.starts_with("JPEG ") && words.size() >= 2) {
      MarkerReport m;
      m.name = words[1];
      wantOffset = words.size() >= 4 && words[2].starts_with('(');
      if (wantOffset) m.length = std::stoull(words[2].substr(1));
      markers.push_back(m);
    } else if (wantOffset && !words.empty() && words[0].ends_with(':')) {
      markers.back().payload = std::stoull(words[0], nullptr, 16);
      wantOffset = false;
    }
  }
  return markers;
}

PaletteSlot alternating(PaletteSlot base, std::uint64_t index) {
  return static_cast<PaletteSlot>(base + 3 * (index % 2));
}

bool isRestart(const std::string& name) { return name.size() == 4 && name.starts_with("RST"); }

// Where the entropy-coded data from `from` ends: at the first FF that is
// neither stuffed (FF 00) nor a restart marker.
std::uint64_t scanEnd(const Bytes& bytes, std::uint64_t from) {
  for (std::uint64_t k = from; k + 1 < bytes.size(); ++k) {
    if (bytes[k] == 0xff && bytes[k + 1] != 0 && (bytes[k + 1] < 0xd0 || bytes[k + 1] > 0xd7)) {
      return k;
    }
  }
  return bytes.size();
}

// The regions and sections that exiftool's report gives: every segment's
// header and payload; an SOS segment begins where the one before it ends
// (cjpeg writes no fill bytes), and its scan ends where exiftool's next
// segment begins, or at the next marker when no offset follows.
struct Expected {
  std::vector<Region> regions;
  std::multimap<std::string, std::pair<std::uint64_t, std::uint64_t>> sections;
};

Expected expectedFrom(const std::vector<MarkerReport>& markers, const Bytes& bytes) {
  Expected e;
  e.regions.push_back({0, 2, kC1});
  std::uint64_t end = 2;  // after the last segment or scan
  std::uint64_t segment = 0;
  std::uint64_t scan = 0;
  auto addSection = [&e](const std::string& name, std::uint64_t offset, std::uint64_t size) {
    e.sections.emplace(name, std::pair{offset, size});
  };
  for (std::size_t i = 0; i < markers.size(); ++i) {
    const MarkerReport& m = markers[i];
    if (isRestart(m.name)) continue;  // inside a scan
    if (m.name == "EOI") {
      e.regions.push_back({bytes.size() - 2, 2, kC1});
      break;
    }
    if (m.name != "SOS") {
      EXPECT_TRUE(m.payload.has_value()) << m.name;
      const std::uint64_t payload = m.payload.value_or(0);
      EXPECT_EQ(payload - 4, end) << m.name << " does not follow what came before";
      e.regions.push_back({payload - 4, 4, alternating(kC2, segment)});
      e.regions.push_back({payload, m.length, alternating(kC2Alt, segment)});
      addSection(m.name, payload, m.length);
      end = payload + m.length;
      ++segment;
      continue;
    }
    const std::uint64_t length = std::uint64_t{bytes.at(end + 2)} << 8 | bytes.at(end + 3);
    e.regions.push_back({end, 4, alternating(kC2, segment)});
    e.regions.push_back({end + 4, length - 2, alternating(kC2Alt, segment)});
    addSection("SOS", end + 4, length - 2);
    ++segment;
    const std::uint64_t data = end + 2 + length;
    std::uint64_t after = scanEnd(bytes, data);
    for (std::size_t j = i + 1; j < markers.size(); ++j) {
      if (isRestart(markers[j].name)) continue;
      if (markers[j].payload) {
        EXPECT_EQ(after, *markers[j].payload - 4) << "scan " << scan;
        after = *markers[j].payload - 4;
      }
      break;
    }
    e.regions.push_back({data, after - data, alternating(kC4Alt, scan)});
    addSection("scan " + std::to_string(scan), data, after - data);
    ++scan;
    end = after;
  }
  return e;
}

// A PPM image of smooth gradients, so that the scans have stuffed bytes.
std::string ppm() {
  constexpr int kWidth = 96, kHeight = 64;
  std::string out = "P6 " + std::to_string(kWidth) + ' ' + std::to_string(kHeight) + " 255\n";
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      out += static_cast<char>(x * 5 + y * 3);
      out += static_cast<char>(x * y);
      out += static_cast<char>(255 - y * 4);
    }
  }
  return out;
}

class JpegRealFileTest : public BuiltFilesTest<JpegRealFileTest> {
 protected:
  static void SetUpTestSuite() {
    exiftool_ = findTool({"exiftool"});
    const std::optional<std::string> cjpeg = findTool({"cjpeg"});
    if (!exiftool_ || !cjpeg) {
      files_.fail("exiftool or cjpeg is missing");
      return;
    }
    files_.makeFolder("lumo_jpeg");
    files_.write("image.ppm", ppm());
    const std::string d = files_.quotedFolder();
    const std::string in = " " + d + "image.ppm";
    files_.run({
        *cjpeg + " -outfile " + d + "baseline.jpg" + in,
        *cjpeg + " -progressive -restart 1 -outfile " + d + "progressive.jpg" + in,
        *cjpeg + " -grayscale -restart 2 -outfile " + d + "restart.jpg" + in,
        *exiftool_ + " -Comment=hello -Artist=lumo -XMP:Title=x -o " + d + "tagged.jpg " + d +
            "baseline.jpg",
    });
  }

  static inline std::optional<std::string> exiftool_;
};

TEST_F(JpegRealFileTest, SegmentsScansAndSectionsMatchWhatExiftoolReports) {
  for (const char* name : {"baseline.jpg", "progressive.jpg", "restart.jpg", "tagged.jpg"}) {
    SCOPED_TRACE(name);
    const std::string path = files_.path(name);
    const std::optional<std::string> output = commandOutput(*exiftool_ + " -v3 \"" + path + "\"");
    ASSERT_TRUE(output.has_value());
    const std::vector<MarkerReport> markers = parseMarkers(*output);
    const std::optional<Bytes> bytes = readWholeFile(path);
    ASSERT_TRUE(bytes.has_value());
    ASSERT_GE(markers.size(), 5u);
    ASSERT_EQ(markers.back().name, "EOI");
    ASSERT_EQ(&detectFormat(*bytes), &kJpegFormat);

    const Expected expected = expectedFrom(markers, *bytes);
    const std::string actual = colorize(colorizeJpeg, *bytes);
    EXPECT_EQ(describeMismatch(actual, expectedMask(bytes->size(), expected.regions)), "");

    // A marker name selects a segment's payload (several of one marker are
    // ambiguous); `scan N` a scan's data.
    const Result<Colormap> named = buildColormap(*bytes, &kJpegFormat, true);
    ASSERT_TRUE(named.ok());
    std::multimap<std::string, std::pair<std::uint64_t, std::uint64_t>> sections;
    for (const NamedSection& section : named->sections()) {
      sections.emplace(named->label(section.name), std::pair{section.offset, section.size});
      EXPECT_EQ(section.has_bytes, section.size > 0);
    }
    EXPECT_EQ(sections, expected.sections);
  }
  // The made files have the structures this test is about.
  const std::optional<std::string> progressive =
      commandOutput(*exiftool_ + " -v3 \"" + files_.path("progressive.jpg") + "\"");
  const std::optional<std::string> tagged =
      commandOutput(*exiftool_ + " -v3 \"" + files_.path("tagged.jpg") + "\"");
  ASSERT_TRUE(progressive && tagged);
  std::map<std::string, int> counts;
  for (const MarkerReport& m : parseMarkers(*progressive)) ++counts[m.name];
  EXPECT_GE(counts["SOS"], 5);
  EXPECT_GE(counts["RST0"], 5);
  counts.clear();
  for (const MarkerReport& m : parseMarkers(*tagged)) ++counts[m.name];
  EXPECT_EQ(counts["APP1"], 2);
  EXPECT_EQ(counts["COM"], 1);
}

void append(Bytes& b, std::initializer_list<std::uint8_t> bytes) {
  b.insert(b.end(), bytes.begin(), bytes.end());
}

// A segment whose length field counts `payload` and itself.
void appendSegment(Bytes& b, std::uint8_t code, std::string_view payload) {
  const std::size_t length = payload.size() + 2;
  append(b,
         {0xff, code, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)});
  b.insert(b.end(), payload.begin(), payload.end());
}

TEST(JpegTest, MagicIsStartOfImageAndAMarker) {
  struct Case {
    const char* name;
    Bytes input;
    bool jpeg;
  };
  const Case cases[] = {
      {"SOI and a marker", Bytes{0xff, 0xd8, 0xff}, true},
      {"SOI and fill", Bytes{0xff, 0xd8, 0xff, 0xff, 0xff}, true},
      {"SOI alone", Bytes{0xff, 0xd8}, false},
      {"SOI and data", Bytes{0xff, 0xd8, 0x00, 0xff}, false},
      {"EOI first", Bytes{0xff, 0xd9, 0xff}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(&detectFormat(c.input) == &kJpegFormat, c.jpeg);
  }
  // After PNG, before gzip: the registry's order decides nothing else here.
  EXPECT_EQ(detectFormat(Bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'}).name, "png");
}

TEST(JpegTest, LegendNamesEveryPartAndSectionsNameEverySegment) {
  Bytes b = {0xff, 0xd8};
  appendSegment(b, 0xe1, std::string_view("Exif\0\0MM", 8));
  appendSegment(b, 0xe1, std::string_view("a\x1b[m\0x", 6));
  appendSegment(b, 0xfe, "");
  appendSegment(b, 0x02, "r");
  append(b, {0xff, 0xd3});
  appendSegment(b, 0xe2, std::string(40, 'I'));  // a name past the cap
  appendSegment(b, 0xda, "sos");
  append(b, {1, 0xff, 0x00, 2, 0xff, 0xd0, 3});
  append(b, {0xff, 0xd9, 'x'});
  Colormap colormap(true);
  colorizeJpeg(MemoryAccess(b), colormap);
  std::vector<std::string> labels;
  for (const Paint& paint : colormap.paints()) {
    if (paint.label != kNoLabel) labels.emplace_back(colormap.label(paint.label));
  }
  const std::string cut(32, 'I');
  // An empty payload paints nothing, so it has no name either.
  EXPECT_EQ(labels, (std::vector<std::string>{
                        "SOI",
                        "segment 0 APP1 (Exif)",
                        "payload of segment 0 APP1 (Exif)",
                        "segment 1 APP1 (a\x1b[m)",
                        "payload of segment 1 APP1 (a\x1b[m)",
                        "segment 2 COM",
                        "segment 3 marker 0x02",
                        "payload of segment 3 marker 0x02",
                        "segment 4 RST3",
                        "segment 5 APP2 (" + cut + ")",
                        "payload of segment 5 APP2 (" + cut + ")",
                        "segment 6 SOS",
                        "payload of segment 6 SOS",
                        "scan 0 data",
                        "EOI",
                    }));
  std::vector<std::string> sections;
  for (const NamedSection& section : colormap.sections()) {
    sections.push_back(std::string(colormap.label(section.name)) + "@" +
                       std::to_string(section.offset) + "+" + std::to_string(section.size));
  }
  // The reserved marker 2 has no name to select it by, and RST3 no payload.
  EXPECT_EQ(sections, (std::vector<std::string>{"APP1@6+8", "APP1@18+6", "COM@28+0", "APP2@39+40",
                                                "SOS@83+3", "scan 0@86+7"}));
}

TEST(HostileJpegTest, DamagedMarkerStreamsStopTheWalk) {
  struct Case {
    const char* what;
    Bytes input;
    std::string mask;
  };
  auto jpeg = [](std::initializer_list<std::uint8_t> rest) {
    Bytes b = {0xff, 0xd8};
    append(b, rest);
    return b;
  };
  const Case cases[] = {
      {"length 0", jpeg({0xff, 0xdb, 0, 0, 9, 9}), "11______"},
      {"length 1", jpeg({0xff, 0xfe, 0, 2, 0xff, 0xdb, 0, 1, 9}), "112222_____"},
      {"length cut short", jpeg({0xff, 0xdb, 0}), "11___"},
      {"no marker", jpeg({0xff, 0xfe, 0, 3, 7, 0x12, 0xff, 0xd9}), "112222b___"},
      {"stuffed byte outside a scan", jpeg({0xff, 0x00, 0xff, 0xd9}), "11____"},
      {"a second SOI", jpeg({0xff, 0xd8, 0xff, 0xd9}), "11____"},
      {"a lone FF at the end", jpeg({0xff, 0xfe, 0, 2, 0xff}), "112222_"},
      {"fill bytes", jpeg({0xff, 0xff, 0xff, 0xfe, 0, 2, 0xff, 0xff, 0xd9, 1}), "11__2222_11_"},
      {"fill to the end", jpeg({0xff, 0xff, 0xff}), "11___"},
      {"standalone markers alternate", jpeg({0xff, 0x01, 0xff, 0xd7, 0xff, 0xd9}), "11223311"},
      {"payload past the end", jpeg({0xff, 0xe0, 0x10, 0, 1, 2}), "112222bb"},
      {"scan that never ends",
       jpeg({0xff, 0xda, 0, 2, 1, 0xff, 0x00, 0xff, 0xd5, 2, 0xff, 0x00, 3}), "112222ddddddddd"},
      {"scan ends in a lone FF", jpeg({0xff, 0xda, 0, 2, 1, 0xff}), "112222dd"},
      {"scan ended by fill and EOI", jpeg({0xff, 0xda, 0, 2, 1, 0xff, 0xff, 0xd9, 'x'}),
       "112222d_11_"},
      {"scans alternate",
       jpeg({0xff, 0xda, 0, 2, 1, 0xff, 0xda, 0, 3, 0, 2, 0xff, 0xda, 0, 2, 3, 0xff, 0xd9}),
       "112222d3333ce2222d11"},
      {"scan ended by damage", jpeg({0xff, 0xda, 0, 2, 1, 0xff, 0x00, 0xff, 0xdb, 0, 1}),
       "112222ddd____"},
      {"nothing after EOI", jpeg({0xff, 0xd9, 0xff, 0xfe, 0, 2}), "1111____"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(colorize(colorizeJpeg, c.input), c.mask);
  }
}

TEST(HostileJpegTest, AScanAfterTheEndSelectsNothing) {
  const Bytes b = {0xff, 0xd8, 0xff, 0xda, 0, 0x10, 1};
  EXPECT_EQ(colorize(colorizeJpeg, b), "112222b");
  const Result<Colormap> named = buildColormap(ByteSpan(b), &kJpegFormat, true);
  ASSERT_TRUE(named.ok());
  ASSERT_EQ(named->sections().size(), 2u);
  const NamedSection& scan = named->sections()[1];
  EXPECT_EQ(named->label(scan.name), "scan 0");
  EXPECT_EQ(scan.size, 0u);
  EXPECT_FALSE(scan.has_bytes);
}

TEST(HostileJpegTest, AMillionTinySegmentsStopAtTheBound) {
  struct Case {
    const char* what;
    std::initializer_list<std::uint8_t> structure;
    PaletteSlot last;  // of the last structure inside the bound (an odd one)
  };
  const Case cases[] = {
      {"empty comments", {0xff, 0xfe, 0, 2}, kC3},
      {"one-byte comments", {0xff, 0xfe, 0, 3, 'c'}, kC3Alt},
      {"TEM markers", {0xff, 0x01}, kC3},
      {"empty scans", {0xff, 0xda, 0, 2}, kC3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes b = {0xff, 0xd8};
    b.reserve(2 + c.structure.size() * 1000000);
    for (int k = 0; k < 1000000; ++k) append(b, c.structure);
    const Result<Colormap> colormap = buildColormap(ByteSpan(b), nullptr);
    ASSERT_TRUE(colormap.ok());
    // At most two paints per segment up to 262144 segments, then the fill and SOI.
    EXPECT_LE(colormap->paints().size(), 2u * 262144 + 2);
    const std::uint64_t bound = 2 + c.structure.size() * 262144;
    EXPECT_EQ(colormap->slotAt(bound - 1, 0), c.last);
    EXPECT_EQ(colormap->slotAt(bound, 0), kNormalAlt);
  }
}

}  // namespace
}  // namespace lumo
