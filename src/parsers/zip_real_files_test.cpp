// Checks the ZIP parser on archives made here with zip and Python's zipfile
// and on the jar files on the machine, against the layout that zipfile
// reports (header offsets, sizes, name and extra lengths), so the
// expectation never comes from lumo's own reading.

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

// What the script prints per member: its header offset, the name and extra
// lengths of its local header, its compressed size, its flags, the length of
// its central entry and of its name; then where the directory starts, where
// the end record is and the comment's length.
constexpr std::string_view kLayoutScript = R"(
import struct, sys, zipfile
path = sys.argv[1]
raw = open(path, 'rb').read()
with zipfile.ZipFile(path) as z:
    for i in z.infolist():
        n, e = struct.unpack('<HH', raw[i.header_offset + 26:i.header_offset + 30])
        name = i.orig_filename.encode('utf-8' if i.flag_bits & 0x800 else 'cp437')
        central = 46 + len(name) + len(i.extra) + len(i.comment)
        print('M', i.header_offset, n, e, i.compress_size, i.flag_bits, central, len(name),
              i.orig_filename)
    end = len(raw) - 22 - len(z.comment)
    print('D', z.start_dir, end, len(z.comment))
    if raw[end - 20:end - 16] == b'PK\x06\x07':
        record = struct.unpack('<Q', raw[end - 12:end - 4])[0]
        print('Z', record, struct.unpack('<Q', raw[record + 4:record + 12])[0] + 12)
)";

struct MemberReport {
  std::uint64_t local = 0, name = 0, extra = 0, compressed = 0, flags = 0, central = 0,
                central_name = 0;
  std::string path;
};

struct Layout {
  std::vector<MemberReport> members;
  std::uint64_t directory = 0, end = 0, comment = 0;
  std::uint64_t zip64_end = 0, zip64_size = 0;  // 0: no zip64 end record
};

std::optional<Layout> layoutOf(const std::string& python, const std::string& script,
                               const std::string& path) {
  const std::optional<std::string> output =
      commandOutput(python + " \"" + script + "\" \"" + path + "\"");
  if (!output) return std::nullopt;
  Layout layout;
  for (const std::string& line : splitLines(*output)) {
    const std::vector<std::string> w = splitWords(line);
    if (w.size() == 4 && w[0] == "D") {
      layout.directory = std::stoull(w[1]);
      layout.end = std::stoull(w[2]);
      layout.comment = std::stoull(w[3]);
    } else if (w.size() == 3 && w[0] == "Z") {
      layout.zip64_end = std::stoull(w[1]);
      layout.zip64_size = std::stoull(w[2]);
    } else if (w.size() == 9 && w[0] == "M") {
      layout.members.push_back({std::stoull(w[1]), std::stoull(w[2]), std::stoull(w[3]),
                                std::stoull(w[4]), std::stoull(w[5]), std::stoull(w[6]),
                                std::stoull(w[7]), w[8]});
    }
  }
  return layout;
}

PaletteSlot alternating(PaletteSlot base, std::uint64_t index) {
  return static_cast<PaletteSlot>(base + 3 * (index % 2));
}

std::vector<Region> expectedRegions(const Layout& layout, const Bytes& bytes) {
  std::vector<Region> regions;
  std::uint64_t central = layout.directory;
  for (std::size_t i = 0; i < layout.members.size(); ++i) {
    const MemberReport& m = layout.members[i];
    const std::uint64_t data = m.local + 30 + m.name + m.extra;
    regions.push_back({m.local, 30 + m.name + m.extra, alternating(kC2, i)});
    regions.push_back({m.local + 30, m.name, alternating(kC2Accent, i)});
    regions.push_back({data, m.compressed, alternating(kC2Alt, i)});
    if (m.flags & 8) {
      const std::uint64_t after = data + m.compressed;
      const bool signed_descriptor = after + 4 <= bytes.size() && bytes[after] == 'P' &&
                                     bytes[after + 1] == 'K' && bytes[after + 2] == 7 &&
                                     bytes[after + 3] == 8;
      regions.push_back({after, signed_descriptor ? 16u : 12u, alternating(kC2, i)});
    }
    regions.push_back({central, m.central, alternating(kC4, i)});
    regions.push_back({central + 46, m.central_name, alternating(kC4Accent, i)});
    central += m.central;
  }
  if (layout.zip64_end != 0) {
    regions.push_back({layout.zip64_end, layout.zip64_size, kC1});
    regions.push_back({layout.end - 20, 20, kC1});
  }
  regions.push_back({layout.end, 22, kC1});
  regions.push_back({layout.end + 22, layout.comment, kC1Alt});
  return regions;
}

class ZipRealFileTest : public BuiltFilesTest<ZipRealFileTest> {
 protected:
  static void SetUpTestSuite() {
    python_ = findTool({"python3"});
    const std::optional<std::string> zip = findTool({"zip"});
    if (!python_ || !zip) {
      files_.fail("python3 or zip (Debian package zip) is missing");
      return;
    }
    files_.makeFolder("lumo_zip");
    files_.write("layout.py", kLayoutScript);
    files_.write("a.txt", "hello\n");
    std::string lines;
    for (int k = 0; k < 3000; ++k) lines += "line " + std::to_string(k) + "\n";
    files_.write("b.txt", lines);
    files_.write("make.py",
                 "import sys, zipfile\n"
                 "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
                 "    z.writestr('stored.bin', bytes(range(256)) * 4)\n"
                 "    z.writestr(zipfile.ZipInfo('deflated/x.txt'), 'x' * 5000,"
                 " zipfile.ZIP_DEFLATED)\n"
                 "    with z.open('wide.txt', 'w', force_zip64=True) as f: f.write(b'zip64')\n"
                 "    z.comment = b'made by zipfile'\n");
    const std::string d = files_.quotedFolder();
    files_.run({
        "cd " + d + " && " + *zip + " -q -X tool.zip a.txt b.txt",
        "cd " + d + " && echo 'archive comment' | " + *zip + " -q -z tool.zip",
        // A member read from a pipe has its sizes in a data descriptor.
        "cd " + d + " && cat b.txt | " + *zip + " -q -X piped.zip -",
        *python_ + " " + d + "make.py " + d + "python.zip",
    });
  }

  static std::vector<std::string> archives() {
    std::vector<std::string> paths = {files_.path("tool.zip"), files_.path("piped.zip"),
                                      files_.path("python.zip")};
    // Jars of the packages in .ci/test-packages; a missing one is not checked.
    for (const char* jar :
         {"/usr/share/java/commons-lang3.jar", "/usr/share/java/aopalliance-1.0.jar"}) {
      if (firstExisting({jar})) paths.emplace_back(jar);
    }
    return paths;
  }

  static inline std::optional<std::string> python_;
};

TEST_F(ZipRealFileTest, RegionsMatchTheLayoutZipfileReports) {
  for (const std::string& path : archives()) {
    SCOPED_TRACE(path);
    const std::optional<Layout> layout = layoutOf(*python_, files_.path("layout.py"), path);
    ASSERT_TRUE(layout.has_value());
    ASSERT_FALSE(layout->members.empty());
    const std::optional<Bytes> bytes = readWholeFile(path);
    ASSERT_TRUE(bytes.has_value());
    ASSERT_EQ(&detectFormat(*bytes), &kZipFormat);
    const std::string actual = colorize(colorizeZip, *bytes);
    EXPECT_EQ(
        describeMismatch(actual, expectedMask(bytes->size(), expectedRegions(*layout, *bytes))),
        "");
  }
}

TEST_F(ZipRealFileTest, SectionsAreTheMembersDataAtZipfilesOffsets) {
  for (const std::string& path : archives()) {
    SCOPED_TRACE(path);
    const std::optional<Layout> layout = layoutOf(*python_, files_.path("layout.py"), path);
    ASSERT_TRUE(layout.has_value());
    const std::optional<Bytes> bytes = readWholeFile(path);
    ASSERT_TRUE(bytes.has_value());
    // `--section` alone keeps the sections without the labels: the same sections.
    for (KeptNames kept : {KeptNames::All, KeptNames::Sections}) {
      const Result<Colormap> named = buildColormap(MemoryAccess(*bytes), &kZipFormat, kept);
      ASSERT_TRUE(named.ok());
      ASSERT_EQ(named->sections().size(), layout->members.size());
      // Sections follow the local headers' order, as the archives' members do.
      for (std::size_t i = 0; i < layout->members.size(); ++i) {
        const MemberReport& m = layout->members[i];
        const NamedSection& s = named->sections()[i];
        EXPECT_EQ(named->label(s.name), m.path);
        EXPECT_EQ(s.offset, m.local + 30 + m.name + m.extra) << m.path;
        EXPECT_EQ(s.size, m.compressed) << m.path;
      }
    }
  }
}

TEST_F(ZipRealFileTest, LegendNamesEveryStructure) {
  const std::optional<Bytes> bytes = readWholeFile(files_.path("tool.zip"));
  ASSERT_TRUE(bytes.has_value());
  const Result<Colormap> named = buildColormap(*bytes, nullptr, true);
  ASSERT_TRUE(named.ok());
  std::vector<std::string> labels;
  for (const Paint& paint : named->paints()) labels.emplace_back(named->label(paint.label));
  for (const char* expected :
       {"local header of member 0 a.txt", "name of member 0 a.txt", "data of member 1 b.txt",
        "central directory entry 1 b.txt", "name in central directory entry 0 a.txt",
        "end of central directory", "archive comment"}) {
    EXPECT_NE(std::find(labels.begin(), labels.end(), expected), labels.end()) << expected;
  }
}

}  // namespace
}  // namespace lumo
