// Checks the Mach-O parser on real files, built here with Debian's clang and
// lld, against the structure that llvm-objdump reports, so the expectation
// never comes from lumo's own reading. Also checks that a real Java class
// file, whose magic number is that of a universal file, stays data.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "parsers/parsers.h"
#include "parsers/real_file_support.h"

namespace lumo {
namespace {

using namespace lumo::testing;

std::uint64_t number(const std::string& text) { return std::stoull(text, nullptr, 0); }

// What `llvm-objdump --macho --private-headers` says about one thin file.
struct CommandReport {
  std::string cmd;
  std::uint64_t cmdsize = 0;
  std::uint64_t fileoff = 0, filesize = 0;
  struct Section {
    std::string name, segment;
    std::uint64_t offset = 0, size = 0;
    std::string type;
  };
  std::vector<Section> sections;
};

struct ThinReport {
  std::string magic;
  std::uint64_t ncmds = 0;
  std::vector<CommandReport> commands;
};

ThinReport parsePrivateHeaders(const std::string& output) {
  ThinReport report;
  std::vector<std::string> columns;
  bool in_section = false;
  for (const std::string& line : splitLines(output)) {
    const std::vector<std::string> words = splitWords(line);
    if (words.empty()) continue;
    if (words[0] == "magic") {
      columns = words;
      continue;
    }
    if (!columns.empty() && report.magic.empty()) {
      // The values line under the column names of the Mach header.
      report.magic = words[0];
      for (std::size_t k = 0; k < columns.size() && k < words.size(); ++k) {
        if (columns[k] == "ncmds") report.ncmds = number(words[k]);
      }
      continue;
    }
    if (words[0] == "Load" && words.size() == 3 && words[1] == "command") {
      report.commands.emplace_back();
      in_section = false;
      continue;
    }
    if (report.commands.empty()) continue;
    CommandReport& command = report.commands.back();
    if (words[0] == "Section" && words.size() == 1) {
      command.sections.emplace_back();
      in_section = true;
      continue;
    }
    if (words.size() < 2) continue;
    if (in_section) {
      CommandReport::Section& section = command.sections.back();
      if (words[0] == "sectname") section.name = words[1];
      if (words[0] == "segname") section.segment = words[1];
      if (words[0] == "offset") section.offset = number(words[1]);
      if (words[0] == "size") section.size = number(words[1]);
      if (words[0] == "type") section.type = words[1];
    } else {
      if (words[0] == "cmd") command.cmd = words[1];
      if (words[0] == "cmdsize") command.cmdsize = number(words[1]);
      if (words[0] == "fileoff") command.fileoff = number(words[1]);
      if (words[0] == "filesize") command.filesize = number(words[1]);
    }
  }
  return report;
}

bool isZeroFill(const std::string& type) {
  return type == "S_ZEROFILL" || type == "S_GB_ZEROFILL" || type == "S_THREAD_LOCAL_ZEROFILL";
}

PaletteSlot alternating(PaletteSlot base, std::uint64_t index) {
  return static_cast<PaletteSlot>(base + 3 * (index % 2));
}

// The colors that follow from the report, by the format's record sizes:
// the header, then each load command, its segment's range unless it starts
// at 0, and each section record followed by its contents unless zero-fill.
std::vector<Region> expectedRegions(const ThinReport& r) {
  const bool is64 = r.magic == "MH_MAGIC_64" || r.magic == "MH_CIGAM_64";
  const std::uint64_t header = is64 ? 32 : 28;
  std::vector<Region> regions = {{0, header, kC1}};
  std::uint64_t at = header;
  std::uint64_t section_index = 0;
  for (std::size_t i = 0; i < r.commands.size(); ++i) {
    const CommandReport& c = r.commands[i];
    regions.push_back({at, c.cmdsize, alternating(kC2, i)});
    const bool segment64 = c.cmd == "LC_SEGMENT_64";
    if (segment64 || c.cmd == "LC_SEGMENT") {
      if (c.fileoff != 0) regions.push_back({c.fileoff, c.filesize, alternating(kC2Alt, i)});
      const std::uint64_t command_size = segment64 ? 72 : 56;
      const std::uint64_t record_size = segment64 ? 80 : 68;
      for (std::size_t k = 0; k < c.sections.size(); ++k, ++section_index) {
        const CommandReport::Section& s = c.sections[k];
        regions.push_back(
            {at + command_size + k * record_size, record_size, alternating(kC4, section_index)});
        if (!isZeroFill(s.type)) {
          regions.push_back({s.offset, s.size, alternating(kC4Alt, section_index)});
        }
      }
    }
    at += c.cmdsize;
  }
  return regions;
}

// Every section the report lists can be selected as "SEGMENT,section", at
// its offset and size; a zero-fill section is recorded with no bytes.
void expectSectionsRecorded(const ThinReport& r, const Bytes& bytes) {
  const Result<Colormap> colormap = buildColormap(bytes, formatByName("macho"), true);
  ASSERT_TRUE(colormap.ok());
  for (const CommandReport& command : r.commands) {
    for (const CommandReport::Section& s : command.sections) {
      const std::string name = s.segment + "," + s.name;
      bool found = false;
      for (const NamedSection& recorded : colormap->sections()) {
        if (colormap->label(recorded.name) != name) continue;
        found = true;
        EXPECT_EQ(recorded.size, s.size) << name;
        EXPECT_EQ(recorded.has_bytes, !isZeroFill(s.type) && s.size > 0) << name;
        if (recorded.has_bytes) {
          EXPECT_EQ(recorded.offset, s.offset) << name;
        }
      }
      EXPECT_TRUE(found) << name;
    }
  }
}

// The files are built once for all tests.
class MachORealFileTest : public BuiltFilesTest<MachORealFileTest> {
 protected:
  static void SetUpTestSuite() {
    const std::optional<std::string> clang = findTool({"clang", "clang-14"});
    const std::optional<std::string> ld = findTool({"ld64.lld", "ld64.lld-14"});
    const std::optional<std::string> lipo = findTool({"llvm-lipo", "llvm-lipo-14"});
    objdump_ = findTool({"llvm-objdump", "llvm-objdump-14"});
    if (!clang || !ld || !lipo || !objdump_) {
      files_.fail("clang, ld64.lld (lld), llvm-lipo or llvm-objdump (llvm) is missing");
      return;
    }
    files_.makeFolder("lumo_macho");
    files_.write("m.c",
                 "int counter = 3;\n"
                 "static int zeros[64];\n"
                 "const char *greeting(void) { return \"hello\"; }\n"
                 "int helper(int x) { return x * counter + zeros[x & 63]; }\n"
                 "int main(void) { return helper(2) + greeting()[0]; }\n");
    const std::string d = files_.quotedFolder();
    const std::string link = *ld + " -platform_version macos 11.0 11.0 ";
    files_.run({
        *clang + " -target arm64-apple-macos11 -c " + d + "m.c -o " + d + "arm64.o",
        *clang + " -target x86_64-apple-macos11 -c " + d + "m.c -o " + d + "x86_64.o",
        *clang + " -target i386-apple-macos10.13 -c " + d + "m.c -o " + d + "i386.o",
        link + "-arch arm64 -e _main " + d + "arm64.o -o " + d + "arm64",
        link + "-arch x86_64 -e _main " + d + "x86_64.o -o " + d + "x86_64",
        link + "-arch arm64 -dylib -undefined dynamic_lookup " + d + "arm64.o -o " + d +
            "arm64.dylib",
        *lipo + " -create " + d + "arm64 " + d + "x86_64 -output " + d + "universal",
    });
  }

  static ThinReport report(const std::string& file, const std::string& arch = "") {
    const std::string option = arch.empty() ? "" : " --arch=" + arch;
    const std::optional<std::string> output = commandOutput(
        *objdump_ + " --macho --private-headers" + option + " \"" + path(file) + "\"");
    EXPECT_TRUE(output.has_value()) << file;
    return output ? parsePrivateHeaders(*output) : ThinReport{};
  }

  static std::string path(const std::string& file) { return files_.path(file); }

  static inline std::optional<std::string> objdump_;
};

TEST_F(MachORealFileTest, ThinFilesMatchTheLoadCommandsLlvmObjdumpReports) {
  struct Case {
    const char* file;
    const char* magic;
  };
  for (const Case& c :
       {Case{"arm64.o", "MH_MAGIC_64"}, Case{"x86_64.o", "MH_MAGIC_64"}, Case{"i386.o", "MH_MAGIC"},
        Case{"arm64", "MH_MAGIC_64"}, Case{"arm64.dylib", "MH_MAGIC_64"}}) {
    SCOPED_TRACE(c.file);
    const ThinReport r = report(c.file);
    // The report must be complete, or the comparison would prove little.
    ASSERT_EQ(r.magic, c.magic);
    ASSERT_GT(r.commands.size(), 1u);
    ASSERT_EQ(r.commands.size(), r.ncmds);
    const std::optional<Bytes> bytes = readWholeFile(path(c.file));
    ASSERT_TRUE(bytes.has_value());
    ASSERT_EQ(detectFormat(*bytes).name, "macho");

    const std::string actual = colorize(colorizeMachO, *bytes);
    EXPECT_EQ(describeMismatch(actual, expectedMask(bytes->size(), expectedRegions(r))), "");
    // A landmark with a readable message: __text holds code, in a section color.
    bool found_text = false;
    for (const CommandReport& command : r.commands) {
      for (const CommandReport::Section& s : command.sections) {
        if (s.name != "__text") continue;
        found_text = true;
        EXPECT_NE(std::string("de").find(actual[s.offset]), std::string::npos)
            << "__text at 0x" << std::hex << s.offset;
      }
    }
    EXPECT_TRUE(found_text);
    expectSectionsRecorded(r, *bytes);
  }
}

TEST_F(MachORealFileTest, UniversalFileMatchesItsFatHeadersAndEachSlice) {
  const std::optional<std::string> output =
      commandOutput(*objdump_ + " --macho --universal-headers \"" + path("universal") + "\"");
  ASSERT_TRUE(output.has_value());
  struct Arch {
    std::string name;
    std::uint64_t offset = 0, size = 0;
  };
  std::vector<Arch> archs;
  std::string fat_magic;
  for (const std::string& line : splitLines(*output)) {
    const std::vector<std::string> words = splitWords(line);
    if (words.size() < 2) continue;
    if (words[0] == "fat_magic") fat_magic = words[1];
    if (words[0] == "architecture") archs.push_back({words[1]});
    if (archs.empty()) continue;
    if (words[0] == "offset") archs.back().offset = number(words[1]);
    if (words[0] == "size") archs.back().size = number(words[1]);
  }
  ASSERT_EQ(fat_magic, "FAT_MAGIC");
  ASSERT_EQ(archs.size(), 2u);
  const std::optional<Bytes> bytes = readWholeFile(path("universal"));
  ASSERT_TRUE(bytes.has_value());
  ASSERT_EQ(detectFormat(*bytes).name, "macho");

  const Result<Colormap> named = buildColormap(*bytes, formatByName("macho"), true);
  ASSERT_TRUE(named.ok());
  std::vector<Region> regions = {{0, 8, kC1}};
  for (std::size_t k = 0; k < archs.size(); ++k) regions.push_back({8 + 20 * k, 20, kC1});
  for (std::size_t k = 0; k < archs.size(); ++k) {
    const Arch& arch = archs[k];
    SCOPED_TRACE(arch.name);
    const ThinReport r = report("universal", arch.name);
    ASSERT_EQ(r.commands.size(), r.ncmds);
    ASSERT_GT(r.commands.size(), 1u);
    // Every section of every slice can be selected after its slice's prefix.
    for (const CommandReport& command : r.commands) {
      for (const CommandReport::Section& s : command.sections) {
        const std::string name = "slice " + std::to_string(k) + ":" + s.segment + "," + s.name;
        const auto found = std::find_if(
            named->sections().begin(), named->sections().end(),
            [&](const NamedSection& recorded) { return named->label(recorded.name) == name; });
        ASSERT_NE(found, named->sections().end()) << name;
        EXPECT_EQ(found->size, s.size) << name;
        if (found->has_bytes) {
          EXPECT_EQ(found->offset, arch.offset + s.offset) << name;
        }
      }
    }
    for (const Region& region : expectedRegions(r)) {
      if (region.start >= arch.size) continue;
      regions.push_back({arch.offset + region.start,
                         std::min(region.length, arch.size - region.start), region.slot});
    }
  }
  const std::string actual = colorize(colorizeMachO, *bytes);
  EXPECT_EQ(describeMismatch(actual, expectedMask(bytes->size(), regions)), "");
  EXPECT_EQ(actual[archs[0].offset], '1') << "a slice's header";
}

TEST(JavaClassFileTest, StaysData) {
  const std::string jar = "/usr/share/java/commons-lang3.jar";
  if (!firstExisting({jar})) GTEST_SKIP() << "no " << jar << "; install libcommons-lang3-java";
  const std::optional<std::string> class_file =
      commandOutput("unzip -p " + jar + " org/apache/commons/lang3/StringUtils.class");
  if (!class_file) GTEST_SKIP() << "unzip could not be run";
  const Bytes bytes(class_file->begin(), class_file->end());
  ASSERT_GE(bytes.size(), 8u);
  // The universal magic, then a minor and a major class file version.
  ASSERT_EQ(Bytes(bytes.begin(), bytes.begin() + 4), (Bytes{0xca, 0xfe, 0xba, 0xbe}));
  ASSERT_GE(bytes[6] * 256 + bytes[7], 45);
  EXPECT_EQ(detectFormat(bytes).name, "data");
  EXPECT_FALSE(formatByName("macho")->matches(bytes));
}

}  // namespace
}  // namespace lumo
