// Checks the ELF parser on real files against the structure that readelf
// (binutils) reports, so the expectation never comes from lumo's own reading.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "parsers/parsers.h"
#include "parsers/real_file_support.h"

namespace lumo {
namespace {

using namespace lumo::testing;

struct ElfEntryReport {
  std::string type;
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
};

// The parts of `readelf -h -l -S -W` that decide the colors.
struct ReadelfReport {
  std::string elf_class;
  std::string data;
  std::uint64_t header_size = 0;
  std::uint64_t phoff = 0, phentsize = 0, phnum = 0;
  std::uint64_t shoff = 0, shentsize = 0, shnum = 0;
  std::vector<ElfEntryReport> segments;
  std::vector<ElfEntryReport> sections;
  std::optional<std::size_t> text_index;
};

// "  Start of section headers:          149360 (bytes into file)" and alike.
std::optional<std::string> headerValue(const std::string& line, std::string_view key) {
  const std::size_t at = line.find(key);
  if (at == std::string::npos || line.compare(0, at, std::string(at, ' ')) != 0) {
    return std::nullopt;
  }
  const std::vector<std::string> words = splitWords(line.substr(at + key.size()));
  if (words.empty()) return std::nullopt;
  return line.substr(line.find(words.front(), at + key.size()));
}

std::uint64_t number(const std::string& text) { return std::stoull(text, nullptr, 0); }

ReadelfReport parseReadelf(const std::string& output) {
  ReadelfReport report;
  enum class Block { None, Sections, Segments } block = Block::None;
  for (const std::string& line : splitLines(output)) {
    if (auto v = headerValue(line, "Class:")) report.elf_class = *v;
    if (auto v = headerValue(line, "Data:")) report.data = *v;
    if (auto v = headerValue(line, "Size of this header:")) report.header_size = number(*v);
    if (auto v = headerValue(line, "Start of program headers:")) report.phoff = number(*v);
    if (auto v = headerValue(line, "Size of program headers:")) report.phentsize = number(*v);
    if (auto v = headerValue(line, "Number of program headers:")) report.phnum = number(*v);
    if (auto v = headerValue(line, "Start of section headers:")) report.shoff = number(*v);
    if (auto v = headerValue(line, "Size of section headers:")) report.shentsize = number(*v);
    if (auto v = headerValue(line, "Number of section headers:")) report.shnum = number(*v);

    if (line.starts_with("Section Headers:")) block = Block::Sections;
    if (line.starts_with("Program Headers:")) block = Block::Segments;
    if (line.starts_with("Key to Flags:") || line.empty()) block = Block::None;

    std::vector<std::string> words = splitWords(line);
    if (block == Block::Sections && line.starts_with("  [") && words[1] != "Name") {
      // "[ 0]" or "[12]": drop the index; section 0 has an empty name.
      words = splitWords(line.substr(line.find(']') + 1));
      if (report.sections.empty() && words.front() == "NULL") words.insert(words.begin(), "");
      if (words[0] == ".text") report.text_index = report.sections.size();
      // Name Type Address Off Size ...
      report.sections.push_back(
          {words[1], std::stoull(words[3], nullptr, 16), std::stoull(words[4], nullptr, 16)});
    }
    if (block == Block::Segments && words.size() >= 5 && words[1].starts_with("0x")) {
      // Type Offset VirtAddr PhysAddr FileSiz ...
      report.segments.push_back({words[0], number(words[1]), number(words[4])});
    }
  }
  return report;
}

// The colors that follow from readelf's view of the file: the header, each
// program header entry then its segment (except at offset 0 and PT_PHDR),
// each section header entry then its section (except SHT_NULL, SHT_NOBITS
// and offset 0), consecutive entries alternating, later paints winning.
std::string expectedFromReport(const ReadelfReport& r, std::uint64_t size) {
  std::vector<Region> regions = {{0, r.header_size, kC1}};
  for (std::size_t i = 0; i < r.segments.size(); ++i) {
    const auto odd = static_cast<std::uint8_t>(3 * (i % 2));
    regions.push_back(
        {r.phoff + i * r.phentsize, r.phentsize, static_cast<PaletteSlot>(kC2 + odd)});
    const ElfEntryReport& s = r.segments[i];
    if (s.offset != 0 && s.type != "PHDR") {
      regions.push_back({s.offset, s.size, static_cast<PaletteSlot>(kC2Alt + odd)});
    }
  }
  for (std::size_t i = 0; i < r.sections.size(); ++i) {
    const auto odd = static_cast<std::uint8_t>(3 * (i % 2));
    regions.push_back(
        {r.shoff + i * r.shentsize, r.shentsize, static_cast<PaletteSlot>(kC4 + odd)});
    const ElfEntryReport& s = r.sections[i];
    if (s.offset != 0 && s.type != "NULL" && s.type != "NOBITS") {
      regions.push_back({s.offset, s.size, static_cast<PaletteSlot>(kC4Alt + odd)});
    }
  }
  return expectedMask(size, regions);
}

struct RealElf {
  const char* name;
  std::vector<std::string> candidates;
  const char* package;
  const char* elf_class;
  bool big_endian;
};

void PrintTo(const RealElf& file, std::ostream* out) { *out << file.name; }

class ElfRealFileTest : public ::testing::TestWithParam<RealElf> {};

TEST_P(ElfRealFileTest, ColorsMatchTheStructureReadelfReports) {
  const RealElf& file = GetParam();
  const std::optional<std::string> path = firstExisting(file.candidates);
  if (!path) GTEST_SKIP() << "no " << file.name << " here; install the package " << file.package;
  const std::optional<std::string> output = commandOutput("readelf -h -l -S -W " + *path);
  if (!output) GTEST_SKIP() << "readelf (binutils) could not be run";
  const std::optional<Bytes> bytes = readWholeFile(*path);
  ASSERT_TRUE(bytes.has_value()) << *path;

  const ReadelfReport report = parseReadelf(*output);
  // The report must describe the kind of file this case is meant to cover,
  // and be complete, or the comparison below would prove little.
  ASSERT_EQ(report.elf_class, file.elf_class) << *path;
  ASSERT_EQ(report.data.find("big endian") != std::string::npos, file.big_endian) << report.data;
  ASSERT_GT(report.segments.size(), 1u);
  ASSERT_EQ(report.segments.size(), report.phnum);
  ASSERT_EQ(report.sections.size(), report.shnum);
  ASSERT_TRUE(report.text_index.has_value()) << "no .text section in " << *path;

  // Also compares the resolved runs with a byte array painted alike.
  const std::string actual = colorize(colorizeElf, *bytes);

  // A few landmarks first, each with a readable message.
  const ElfEntryReport& text = report.sections[*report.text_index];
  const char text_slot = *report.text_index % 2 == 0 ? 'd' : 'e';
  EXPECT_EQ(actual[text.offset], text_slot) << ".text starts at 0x" << std::hex << text.offset;
  EXPECT_EQ(actual[text.offset + text.size - 1], text_slot) << ".text ends";
  EXPECT_EQ(actual[report.shoff], '4') << "first section header entry";
  EXPECT_EQ(actual[report.shoff + report.shentsize], '5') << "second section header entry";
  EXPECT_EQ(actual.back(), report.shnum % 2 == 1 ? '4' : '5') << "last section header entry";
  EXPECT_EQ(actual.substr(0, report.header_size), std::string(report.header_size, '1'));

  EXPECT_EQ(describeMismatch(actual, expectedFromReport(report, bytes->size())), "") << *path;
}

// Cut at or inside the section header table that readelf places, the walk
// stops there and says so.
TEST_P(ElfRealFileTest, CutFilesStopAtTheSectionHeadersReadelfPlaces) {
  const RealElf& file = GetParam();
  const std::optional<std::string> path = firstExisting(file.candidates);
  if (!path) GTEST_SKIP() << "no " << file.name << " here; install the package " << file.package;
  const std::optional<std::string> output = commandOutput("readelf -h -W " + *path);
  if (!output) GTEST_SKIP() << "readelf (binutils) could not be run";
  const std::optional<Bytes> bytes = readWholeFile(*path);
  ASSERT_TRUE(bytes.has_value()) << *path;
  const ReadelfReport report = parseReadelf(*output);
  ASSERT_GT(report.shnum, 2u);
  ASSERT_EQ(report.shoff + report.shnum * report.shentsize, bytes->size()) << "table not last";
  const std::uint64_t half = report.shnum / 2;
  const std::uint64_t entry = report.shoff + half * report.shentsize;
  const auto hex = [](std::uint64_t n) {
    std::ostringstream text;
    text << "0x" << std::hex << n;
    return text.str();
  };
  struct Cut {
    std::uint64_t size;
    std::uint64_t offset;
    std::string reason;
  };
  for (const Cut& cut : std::vector<Cut>{
           {report.shoff, 0, "section header table at " + hex(report.shoff) + " lies past the end"},
           {entry, report.shoff,
            "input ends before section header " + std::to_string(half) + " of " +
                std::to_string(report.shnum)},
           {entry + report.shentsize / 2, entry,
            "input ends inside section header " + std::to_string(half)},
       }) {
    SCOPED_TRACE(cut.size);
    const Bytes part(bytes->begin(), bytes->begin() + static_cast<std::ptrdiff_t>(cut.size));
    const Result<Colormap> colormap = buildColormap(part, nullptr, true);
    ASSERT_TRUE(colormap.ok());
    ASSERT_EQ(colormap->stops().size(), 1u);
    EXPECT_EQ(colormap->stops()[0].offset, cut.offset);
    EXPECT_EQ(colormap->label(colormap->stops()[0].reason), cut.reason);
  }
  // The whole file records none.
  const Result<Colormap> whole = buildColormap(*bytes, nullptr, true);
  ASSERT_TRUE(whole.ok());
  EXPECT_TRUE(whole->stops().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Files, ElfRealFileTest,
    ::testing::Values(
        RealElf{"Elf64Little", {"/bin/ls", "/usr/bin/ls"}, "coreutils", "ELF64", false},
        RealElf{"Elf32Little",
                {"/usr/lib32/libc.so.6", "/usr/i686-linux-gnu/lib/libc.so.6"},
                "libc6-i386 or libc6-i386-cross",
                "ELF32",
                false},
        RealElf{"Elf32Big",
                {"/usr/powerpc-linux-gnu/lib/libc.so.6"},
                "libc6-powerpc-cross",
                "ELF32",
                true},
        RealElf{"Elf64Big",
                {"/usr/s390x-linux-gnu/lib/libc.so.6"},
                "libc6-s390x-cross",
                "ELF64",
                true}),
    [](const ::testing::TestParamInfo<RealElf>& param_info) { return param_info.param.name; });

// An object of 70,000 sections needs extended numbering: e_shnum 0 with
// the count in section 0's sh_size, e_shstrndx SHN_XINDEX with the index in
// its sh_link. Every section readelf lists is selectable at its place.
class ElfExtendedNumberingTest : public BuiltFilesTest<ElfExtendedNumberingTest> {
 protected:
  static void SetUpTestSuite() {
    const std::optional<std::string> compiler = findTool({"gcc", "clang", "cc"});
    if (!compiler) return files_.fail("no C compiler (gcc or clang) to assemble the object");
    files_.makeFolder("lumo_elf_xnum");
    std::string source;
    for (int i = 0; i < kSections; ++i) {
      source +=
          ".section .s" + std::to_string(i) + ",\"a\"\n.byte " + std::to_string(i % 256) + "\n";
    }
    files_.write("many.s", source);
    files_.run({*compiler + " -c " + files_.quotedFolder() + "many.s -o " + files_.quotedFolder() +
                "many.o"});
  }
  static constexpr int kSections = 70000;
};

TEST_F(ElfExtendedNumberingTest, EverySectionReadelfListsIsRecorded) {
  const std::string path = files_.path("many.o");
  const std::optional<std::string> output = commandOutput("readelf -S -W \"" + path + "\"");
  if (!output) GTEST_SKIP() << "readelf (binutils) could not be run";
  // "[  N] name type address offset size ...", names without spaces.
  std::vector<std::string> expected;
  for (const std::string& line : splitLines(*output)) {
    const std::size_t close = line.find(']');
    if (line.find('[') == std::string::npos || close == std::string::npos) continue;
    const std::vector<std::string> words = splitWords(std::string_view(line).substr(close + 1));
    // Section 0 has no name and is no section; the heading line is none.
    if (words.size() < 5 || words[0] == "Name" || line.find("[ 0]") != std::string::npos) continue;
    const std::uint64_t offset = std::stoull(words[3], nullptr, 16);
    const std::uint64_t size = std::stoull(words[4], nullptr, 16);
    expected.push_back(words[0] + " " + std::to_string(offset) + " " + std::to_string(size));
  }
  ASSERT_GT(expected.size(), static_cast<std::size_t>(kSections));

  const std::optional<Bytes> bytes = readWholeFile(path);
  ASSERT_TRUE(bytes);
  Colormap colormap(true);
  colorizeElf(MemoryAccess(*bytes), colormap);
  std::vector<std::string> actual;
  for (const NamedSection& section : colormap.sections()) {
    actual.push_back(std::string(colormap.label(section.name)) + " " +
                     std::to_string(section.offset) + " " + std::to_string(section.size));
  }
  std::sort(expected.begin(), expected.end());
  std::sort(actual.begin(), actual.end());
  EXPECT_EQ(actual.size(), expected.size());
  const auto [a, e] = std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end());
  EXPECT_TRUE(a == actual.end() && e == expected.end())
      << "first difference: " << (a == actual.end() ? "(none)" : *a) << " recorded, "
      << (e == expected.end() ? "(none)" : *e) << " listed by readelf";
}

}  // namespace
}  // namespace lumo
