// Checks the names that the parsers record (for --section and the legend) on
// real files against readelf -S -W, readelf -l -W, objdump -h and
// llvm-readobj --sections, so the
// expectation never comes from lumo's own reading.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "config/palette.h"
#include "parsers/real_file_support.h"
#include "parsers/registry.h"
#include "render/legend.h"
#include "render/structure_map.h"

namespace lumo {
namespace {

using namespace lumo::testing;

struct ToolSection {
  std::size_t index = 0;
  std::string name;
  std::string type;
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
};

std::uint64_t hexNumber(const std::string& text) { return std::stoull(text, nullptr, 16); }

// "  [14] .text  PROGBITS  00000000000022d0 0022d0 003a7e 00  AX  0   0 16"
std::vector<ToolSection> readelfSections(const std::string& output) {
  std::vector<ToolSection> sections;
  for (const std::string& line : splitLines(output)) {
    const std::size_t open = line.find('[');
    const std::size_t close = line.find(']');
    if (open == std::string::npos || close == std::string::npos || close < open) continue;
    const std::string index = line.substr(open + 1, close - open - 1);
    if (index.find_first_not_of(' ') == std::string::npos ||
        index.find_first_not_of(" 0123456789") != std::string::npos) {
      continue;
    }
    const std::vector<std::string> words = splitWords(line.substr(close + 1));
    if (words.size() < 5 || std::stoull(index) == 0) continue;
    sections.push_back(
        {std::stoull(index), words[0], words[1], hexNumber(words[3]), hexNumber(words[4])});
  }
  return sections;
}

struct ToolSegment {
  std::string type;
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
  std::string flags;  // "rwx" form
};

// "  LOAD  0x000000 0x0000000000000000 0x0000000000000000 0x0022d0 0x0022d0 R E 0x1000"
std::vector<ToolSegment> readelfSegments(const std::string& output) {
  std::vector<ToolSegment> segments;
  bool inTable = false;
  for (const std::string& line : splitLines(output)) {
    const std::vector<std::string> words = splitWords(line);
    if (!words.empty() && words[0] == "Type") inTable = true;
    if (!inTable || words.size() < 8 || !words[1].starts_with("0x")) continue;
    std::string flags = "---";
    for (std::size_t w = 6; w + 1 < words.size(); ++w) {
      if (words[w].find('R') != std::string::npos) flags[0] = 'r';
      if (words[w].find('W') != std::string::npos) flags[1] = 'w';
      if (words[w].find('E') != std::string::npos) flags[2] = 'x';
    }
    segments.push_back({words[0], hexNumber(words[1]), hexNumber(words[4]), flags});
    if (line.empty()) inTable = false;
  }
  return segments;
}

// "  0 .text  000281f2  00000200  00000200  00000200  2**4"
std::vector<ToolSection> objdumpSections(const std::string& output) {
  std::vector<ToolSection> sections;
  for (const std::string& line : splitLines(output)) {
    const std::vector<std::string> words = splitWords(line);
    if (words.size() != 7 || !words[6].starts_with("2**")) continue;
    if (words[0].find_first_not_of("0123456789") != std::string::npos) continue;
    sections.push_back(
        {std::stoull(words[0]), words[1], "", hexNumber(words[5]), hexNumber(words[2])});
  }
  return sections;
}

// objdump -h gives a PE image section's virtual size where it is smaller;
// the bytes in the file are SizeOfRawData, which llvm-readobj reports.
// "    Name: .text (2E 74 65 78 74 00 00 00)" ... "    RawDataSize: 89088"
std::vector<std::uint64_t> readobjRawSizes(const std::string& output) {
  std::vector<std::uint64_t> sizes;
  for (const std::string& line : splitLines(output)) {
    const std::vector<std::string> words = splitWords(line);
    if (words.size() == 2 && words[0] == "RawDataSize:") sizes.push_back(std::stoull(words[1]));
  }
  return sizes;
}

struct RealFile {
  const char* name;
  const char* path;
  bool pe;
};

void PrintTo(const RealFile& file, std::ostream* out) { *out << file.name; }

class NamedRealFileTest : public ::testing::TestWithParam<RealFile> {};

// The structure of the legend labelled `label`.
std::optional<Structure> findEntry(const StructureMap& map,
                                   const std::vector<std::uint32_t>& legend,
                                   const std::string& label) {
  for (std::uint32_t index : legend) {
    if (map.structures[index].label == label) return map.structures[index];
  }
  return std::nullopt;
}

TEST_P(NamedRealFileTest, SectionsAndLegendMatchTheTools) {
  const RealFile& file = GetParam();
  if (!firstExisting({file.path})) GTEST_SKIP() << file.path << " is not installed";
  const std::optional<Bytes> input = readWholeFile(file.path);
  ASSERT_TRUE(input);
  const std::string path = file.path;
  const std::optional<std::string> sectionText =
      commandOutput((file.pe ? "objdump -h " : "readelf -S -W ") + path);
  if (!sectionText) GTEST_SKIP() << "binutils could not read " << path;
  std::vector<ToolSection> expected =
      file.pe ? objdumpSections(*sectionText) : readelfSections(*sectionText);
  ASSERT_FALSE(expected.empty());
  if (file.pe) {
    const std::optional<std::string> readobj = commandOutput("llvm-readobj --sections " + path);
    if (!readobj) GTEST_SKIP() << "llvm-readobj could not read " << path;
    const std::vector<std::uint64_t> sizes = readobjRawSizes(*readobj);
    ASSERT_EQ(sizes.size(), expected.size());
    for (std::size_t i = 0; i < sizes.size(); ++i) expected[i].size = sizes[i];
  }

  Result<Colormap> colormap = buildColormap(ByteSpan(*input), nullptr, true);
  ASSERT_TRUE(colormap.ok());
  const StructureMap map = structureMap(*colormap);
  bool unnamed = false;
  const std::vector<std::uint32_t> legend =
      legendStructures(*colormap, map, 0, input->size(), unnamed);

  // Every section the tool lists can be selected, with its place and size.
  for (const ToolSection& section : expected) {
    SCOPED_TRACE(section.name);
    const auto& recorded = colormap->sections();
    const auto found = std::find_if(recorded.begin(), recorded.end(), [&](const NamedSection& s) {
      return colormap->label(s.name) == section.name;
    });
    ASSERT_NE(found, recorded.end());
    const bool nobits = section.type == "NOBITS";
    EXPECT_EQ(found->has_bytes, !nobits && section.size > 0);
    if (nobits) continue;
    EXPECT_EQ(found->offset, section.offset);
    EXPECT_EQ(found->size, section.size);
    if (section.size == 0) continue;
    // Sections are painted last and do not overlap: each has its legend line.
    const std::string label = file.pe
                                  ? "PE section " + section.name
                                  : "section " + std::to_string(section.index) + " " + section.name;
    const std::optional<Structure> entry = findEntry(map, legend, label);
    ASSERT_TRUE(entry) << label;
    EXPECT_EQ(entry->offset, section.offset);
    EXPECT_EQ(entry->end(), section.offset + section.size);
    // Its number selects it.
    EXPECT_EQ(structuresNamed(map, *colormap, std::to_string(entry->index)),
              std::vector<std::uint32_t>{entry->index});
  }
  EXPECT_EQ(colormap->sections().size(), expected.size());

  if (file.pe) return;
  const std::optional<std::string> segmentText = commandOutput("readelf -l -W " + path);
  ASSERT_TRUE(segmentText);
  const std::vector<ToolSegment> segments = readelfSegments(*segmentText);
  for (std::size_t i = 0; i < segments.size(); ++i) {
    const ToolSegment& segment = segments[i];
    SCOPED_TRACE(segment.type);
    // The program header entry itself always shows: nothing paints over it.
    const std::string header = "program header " + std::to_string(i) + " (" + segment.type + ")";
    ASSERT_TRUE(findEntry(map, legend, header)) << header;
    // A segment's contents show unless sections cover them wholly; then
    // they are not listed at all.
    const std::string contents =
        "segment " + std::to_string(i) + " (" + segment.type + ", " + segment.flags + ")";
    if (std::optional<Structure> entry = findEntry(map, legend, contents)) {
      EXPECT_EQ(entry->offset, segment.offset);
      EXPECT_EQ(entry->end(), segment.offset + segment.size);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Files, NamedRealFileTest,
    ::testing::Values(RealFile{"Elf64", "/bin/true", false},
                      RealFile{"Elf32", "/usr/lib32/libc.so.6", false},
                      RealFile{"Elf32BigEndian", "/usr/powerpc-linux-gnu/lib/libc.so.6", false},
                      RealFile{"Elf64BigEndian", "/usr/s390x-linux-gnu/lib/libc.so.6", false},
                      RealFile{"Pe32Plus", "/usr/lib/systemd/boot/efi/systemd-bootx64.efi", true},
                      RealFile{"Pe32", "/usr/lib/SYSLINUX.EFI/efi32/syslinux.efi", true}),
    [](const ::testing::TestParamInfo<RealFile>& param_info) { return param_info.param.name; });

}  // namespace
}  // namespace lumo

namespace lumo {
namespace {

using namespace lumo::testing;

struct CompactFile {
  const char* name;
  std::vector<std::string> paths;  // the first that exists
  std::size_t most_lines;          // heading and "no structure" included
};

void PrintTo(const CompactFile& file, std::ostream* out) { *out << file.name; }

class CompactLegendTest : public ::testing::TestWithParam<CompactFile> {};

// The legend of a whole real file fits 80 columns and stays short: tables
// take one line each, so its length follows the sections, not the entries.
TEST_P(CompactLegendTest, FitsEightyColumnsAndStaysShort) {
  const std::optional<std::string> path = firstExisting(GetParam().paths);
  if (!path) GTEST_SKIP() << GetParam().name << " is not installed";
  const std::optional<Bytes> input = readWholeFile(*path);
  ASSERT_TRUE(input);
  Result<Colormap> colormap = buildColormap(ByteSpan(*input), nullptr, true);
  ASSERT_TRUE(colormap.ok());
  const std::string text = legendText(*colormap, 0, input->size(), defaultPalette(), false);
  const std::vector<std::string> lines = splitLines(text);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), "Legend:");
  EXPECT_LE(lines.size(), GetParam().most_lines);
  for (const std::string& line : lines) EXPECT_LE(line.size(), 80U) << line;
  // Every table of entries is one line, and no entry has a line of its own.
  for (const char* entry : {"section header ", "program header "}) {
    EXPECT_EQ(text.find(entry), std::string::npos) << entry;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Files, CompactLegendTest,
    ::testing::Values(
        CompactFile{"Ls", {"/bin/ls", "/usr/bin/ls"}, 45},
        CompactFile{"Libc", {"/lib/x86_64-linux-gnu/libc.so.6", "/usr/lib/libc.so.6"}, 90},
        CompactFile{"Libstdcxx", {"/usr/lib/x86_64-linux-gnu/libstdc++.so.6"}, 90},
        CompactFile{"Elf32Libc", {"/usr/lib32/libc.so.6"}, 90},
        // A PE section header, name and rest, is one entry of its table.
        CompactFile{
            "WineKernel32", {"/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/kernel32.dll"}, 45}),
    [](const ::testing::TestParamInfo<CompactFile>& param_info) { return param_info.param.name; });

}  // namespace
}  // namespace lumo
