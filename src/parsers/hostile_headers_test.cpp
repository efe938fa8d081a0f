// Headers written to hurt: tables at their largest count lying wholly
// inside the input, tables that overlap each other, and contents painted
// over the tables that describe them. Each must give exactly the colormap
// the painting order defines, and quickly.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "parsers/parser_test_support.h"
#include "parsers/parsers.h"

namespace lumo {
namespace {

using testing::Bytes;
using testing::colorize;
using testing::expectedMask;
using testing::put;
using testing::Region;

constexpr std::uint16_t kMaxCount = 0xffff;  // the counts are 16-bit fields
constexpr std::uint64_t kEntries = kMaxCount;
constexpr std::uint32_t kPtLoad = 1;
constexpr std::uint32_t kShtProgbits = 1;

PaletteSlot alternating(PaletteSlot base, std::uint64_t entry) {
  return static_cast<PaletteSlot>(base + 3 * (entry % 2));
}

// Field offsets of the ELF classes, as the ELF standard places them.
struct ElfClass {
  bool is64;
  std::uint64_t header, programEntry, sectionEntry;
  std::size_t word;
  std::uint64_t phoff, shoff, phnum, shnum;
  std::uint64_t pOffset, pFilesz, shOffset, shSize;
};
constexpr ElfClass kElf64 = {true, 64, 56, 64, 8, 32, 40, 56, 60, 8, 32, 24, 32};
constexpr ElfClass kElf32 = {false, 52, 32, 40, 4, 28, 32, 44, 48, 4, 16, 16, 20};

Bytes elfHeader(const ElfClass& c, std::uint64_t phoff, std::uint16_t phnum, std::uint64_t shoff,
                std::uint16_t shnum) {
  Bytes b(c.header, 0);
  b[0] = 0x7f, b[1] = 'E', b[2] = 'L', b[3] = 'F';
  b[4] = c.is64 ? 2 : 1;
  b[5] = 1;  // little-endian
  put(b, c.phoff, phoff, c.word);
  put(b, c.shoff, shoff, c.word);
  put(b, c.phnum, phnum, 2);
  put(b, c.shnum, shnum, 2);
  return b;
}

// The work of the parser and of the resolution grows with the tables and
// no faster: at most one paint per entry with contents of its own (the
// entries of a table share paints), and the paints resolve into no more
// runs than that.
void expectWorkPerEntry(void (*parser)(const RandomAccess&, Colormap&), const Bytes& input,
                        std::uint64_t entriesWithContents) {
  constexpr std::uint64_t kHeaders = 16;  // headers, tables, the fill
  Colormap colormap;
  parser(MemoryAccess(input), colormap);
  EXPECT_LE(colormap.paints().size(), entriesWithContents + kHeaders);
  colormap.resolve();
  EXPECT_LE(testing::runsOf(colormap).size(), entriesWithContents + kHeaders);
}

TEST(HostileElfTest, LargestTablesWhollyInsideTheInput) {
  // The classes share the walk; the 64-bit one makes the larger input.
  const ElfClass& c = kElf64;
  const std::uint64_t programTable = c.header;
  const std::uint64_t sectionTable = programTable + kMaxCount * c.programEntry;
  const std::uint64_t contents = sectionTable + kMaxCount * c.sectionEntry;
  Bytes b = elfHeader(c, programTable, kMaxCount, sectionTable, kMaxCount);
  std::vector<Region> regions = {{0, c.header, kC1}};
  // Every entry has contents of its own, 8 bytes each, one after another
  // after both tables: segments first, then sections.
  for (std::uint64_t i = 0; i < kMaxCount; ++i) {
    const std::uint64_t entry = programTable + i * c.programEntry;
    put(b, entry, kPtLoad, 4);
    put(b, entry + c.pOffset, contents + 8 * i, c.word);
    put(b, entry + c.pFilesz, 8, c.word);
    regions.push_back({entry, c.programEntry, alternating(kC2, i)});
    regions.push_back({contents + 8 * i, 8, alternating(kC2Alt, i)});
  }
  const std::uint64_t sectionContents = contents + 8 * kEntries;
  for (std::uint64_t i = 0; i < kMaxCount; ++i) {
    const std::uint64_t entry = sectionTable + i * c.sectionEntry;
    put(b, entry + 4, kShtProgbits, 4);
    put(b, entry + c.shOffset, sectionContents + 8 * i, c.word);
    put(b, entry + c.shSize, 8, c.word);
    regions.push_back({entry, c.sectionEntry, alternating(kC4, i)});
    regions.push_back({sectionContents + 8 * i, 8, alternating(kC4Alt, i)});
  }
  b.resize(sectionContents + 8 * kEntries);
  // e_phnum 0xffff is PN_XNUM: the program header count is section 0's sh_info.
  put(b, sectionTable + 44, kMaxCount, 4);

  expectWorkPerEntry(colorizeElf, b, 2 * kMaxCount);
  EXPECT_TRUE(colorize(colorizeElf, b) == expectedMask(b.size(), regions)) << "colormaps differ";
}

TEST(HostileElfTest, SectionTableOverlappingTheProgramTable) {
  // Both tables at offset 64: the section entries are read from the bytes
  // of the program entries, and painted over them.
  const ElfClass& c = kElf64;
  Bytes b = elfHeader(c, 64, 2, 64, 2);
  put(b, 64, kPtLoad, 4);
  put(b, 64 + 4, kShtProgbits, 4);  // p_flags, read as section 0's sh_type
  put(b, 64 + c.pOffset, 200, 8);
  put(b, 64 + 24, 216, 8);       // p_paddr, read as section 0's sh_offset
  put(b, 64 + c.pFilesz, 8, 8);  // also section 0's sh_size
  put(b, 120, kPtLoad, 4);
  put(b, 120 + c.pOffset, 208, 8);  // its high half is section 1's sh_type: SHT_NULL
  put(b, 120 + c.pFilesz, 8, 8);
  b.resize(232);

  EXPECT_EQ(colorize(colorizeElf, b), expectedMask(b.size(), {{0, 64, kC1},
                                                              {64, 56, kC2},
                                                              {200, 8, kC2Alt},
                                                              {120, 56, kC3},
                                                              {208, 8, kC3Alt},
                                                              {64, 64, kC4},
                                                              {216, 8, kC4Alt},
                                                              {128, 64, kC5}}));
}

TEST(HostileElfTest, ContentsCoveringTheTablesAreOverpaintedByLaterEntries) {
  // Segment 0 covers the whole file, header and both tables included; what
  // comes later in the painting order shows over it.
  const ElfClass& c = kElf32;
  Bytes b = elfHeader(c, 52, 2, 116, 2);
  put(b, 52, kPtLoad, 4), put(b, 52 + c.pOffset, 1, 4), put(b, 52 + c.pFilesz, 0xffffffff, 4);
  put(b, 84, kPtLoad, 4), put(b, 84 + c.pOffset, 0xfffffff0, 4),
      put(b, 84 + c.pFilesz, 0xffffffff, 4);
  put(b, 116 + 4, kShtProgbits, 4), put(b, 116 + c.shOffset, 60, 4), put(b, 116 + c.shSize, 4, 4);
  put(b, 156 + 4, kShtProgbits, 4), put(b, 156 + c.shOffset, 2, 4), put(b, 156 + c.shSize, 3, 4);
  b.resize(220);

  EXPECT_EQ(colorize(colorizeElf, b), expectedMask(b.size(), {{0, 52, kC1},
                                                              {52, 32, kC2},
                                                              {1, 0xffffffff, kC2Alt},
                                                              {84, 32, kC3},
                                                              {116, 40, kC4},
                                                              {60, 4, kC4Alt},
                                                              {156, 40, kC5},
                                                              {2, 3, kC5Alt}}));
}

// The PE offsets of the PE/COFF format.
Bytes peHeaders(std::uint32_t lfanew, std::uint16_t sections, std::uint16_t optionalSize) {
  Bytes b(64, 0);
  b[0] = 'M', b[1] = 'Z';
  put(b, 60, lfanew, 4);
  put(b, lfanew, 0x00004550, 4);  // "PE\0\0"
  put(b, lfanew + 6, sections, 2);
  put(b, lfanew + 20, optionalSize, 2);
  return b;
}

void peSection(Bytes& b, std::uint64_t at, std::uint32_t rawSize, std::uint32_t rawPointer) {
  put(b, at + 16, rawSize, 4);
  put(b, at + 20, rawPointer, 4);
}

const std::vector<Region> kPeHeaderRegions = {
    {0, 2, kC1Accent}, {2, 58, kC1}, {60, 4, kC1Accent}, {64, 4, kC2Accent}, {68, 20, kC2}};

TEST(HostilePeTest, LargestSectionTableAndOptionalHeaderInsideTheInput) {
  const std::uint64_t table = 64 + 24 + kMaxCount;
  const std::uint64_t data = table + 40 * kEntries;
  Bytes b = peHeaders(64, kMaxCount, kMaxCount);
  std::vector<Region> regions = kPeHeaderRegions;
  regions.push_back({88, 216, kC3});
  regions.push_back({88 + 216, kMaxCount - 216u, kC3Alt});
  for (std::uint64_t i = 0; i < kMaxCount; ++i) {
    const std::uint64_t entry = table + 40 * i;
    peSection(b, entry, 4, static_cast<std::uint32_t>(data + 4 * i));
    regions.push_back({entry, 8, alternating(kC4Accent, i)});
    regions.push_back({entry + 8, 32, alternating(kC4, i)});
    regions.push_back({data + 4 * i, 4, alternating(kC4Alt, i)});
  }
  b.resize(data + 4 * kEntries);

  expectWorkPerEntry(colorizePe, b, kMaxCount);
  EXPECT_TRUE(colorize(colorizePe, b) == expectedMask(b.size(), regions)) << "colormaps differ";
}

TEST(HostilePeTest, SectionDataOverTheHeadersIsOverpaintedByLaterSections) {
  // Section 0's data covers the whole file; section 1's header and data
  // come later and show over it; section 2 points back at the COFF header.
  constexpr std::uint64_t kTable = 64 + 24;
  Bytes b = peHeaders(64, 3, 0);
  peSection(b, kTable, 0xffffffff, 0);
  peSection(b, kTable + 40, 2, 70);
  peSection(b, kTable + 80, 8, 60);
  b.resize(kTable + 120 + 10);

  std::vector<Region> regions = kPeHeaderRegions;
  regions.insert(regions.end(), {{kTable, 8, kC4Accent},
                                 {kTable + 8, 32, kC4},
                                 {0, 0xffffffff, kC4Alt},
                                 {kTable + 40, 8, kC5Accent},
                                 {kTable + 48, 32, kC5},
                                 {70, 2, kC5Alt},
                                 {kTable + 80, 8, kC4Accent},
                                 {kTable + 88, 32, kC4},
                                 {60, 8, kC4Alt}});
  EXPECT_EQ(colorize(colorizePe, b), expectedMask(b.size(), regions));
}

}  // namespace
}  // namespace lumo
