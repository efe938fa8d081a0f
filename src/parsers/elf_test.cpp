#include <gtest/gtest.h>

#include <limits>
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

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
constexpr std::uint32_t kPtLoad = 1;
constexpr std::uint32_t kPtNote = 4;
constexpr std::uint32_t kPtPhdr = 6;
constexpr std::uint32_t kShtProgbits = 1;
constexpr std::uint32_t kShtNull = 0;
constexpr std::uint32_t kShtNobits = 8;

// Writes ELF fixtures field by field at the offsets of the ELF standard, for
// either class and either byte order.
struct ElfWriter {
  bool is64 = true;
  bool big_endian = false;
  Bytes bytes;

  std::uint64_t headerSize() const { return is64 ? 64 : 52; }
  std::uint64_t programEntrySize() const { return is64 ? 56 : 32; }
  std::uint64_t sectionEntrySize() const { return is64 ? 64 : 40; }
  std::size_t wordSize() const { return is64 ? 8 : 4; }

  void field(std::uint64_t at, std::uint64_t value, std::size_t width) {
    put(bytes, at, value, width, big_endian);
  }

  void header(std::uint64_t phoff, std::uint16_t phnum, std::uint64_t shoff, std::uint16_t shnum) {
    if (bytes.size() < headerSize()) bytes.resize(headerSize());
    bytes[0] = 0x7f, bytes[1] = 'E', bytes[2] = 'L', bytes[3] = 'F';
    bytes[4] = is64 ? 2 : 1;        // EI_CLASS
    bytes[5] = big_endian ? 2 : 1;  // EI_DATA
    bytes[6] = 1;                   // EI_VERSION
    field(16, 3, 2);                // e_type ET_DYN; not consulted
    field(is64 ? 32 : 28, phoff, wordSize());
    field(is64 ? 40 : 32, shoff, wordSize());
    field(is64 ? 52 : 40, headerSize(), 2);
    field(is64 ? 54 : 42, programEntrySize(), 2);
    field(is64 ? 56 : 44, phnum, 2);
    field(is64 ? 58 : 46, sectionEntrySize(), 2);
    field(is64 ? 60 : 48, shnum, 2);
  }

  void programEntry(std::uint64_t at, std::uint32_t type, std::uint64_t offset,
                    std::uint64_t filesz) {
    if (bytes.size() < at + programEntrySize()) bytes.resize(at + programEntrySize());
    field(at, type, 4);
    field(at + (is64 ? 8 : 4), offset, wordSize());
    field(at + (is64 ? 32 : 16), filesz, wordSize());
    // p_memsz larger than p_filesz: only the file size counts.
    field(at + (is64 ? 40 : 20), filesz + 0x1000, wordSize());
  }

  void sectionEntry(std::uint64_t at, std::uint32_t type, std::uint64_t offset,
                    std::uint64_t size) {
    if (bytes.size() < at + sectionEntrySize()) bytes.resize(at + sectionEntrySize());
    field(at + 4, type, 4);
    field(at + (is64 ? 24 : 16), offset, wordSize());
    field(at + (is64 ? 32 : 20), size, wordSize());
  }
};

struct Variant {
  bool is64;
  bool big_endian;
};

void PrintTo(const Variant& variant, std::ostream* out) {
  *out << (variant.is64 ? "ELF64 " : "ELF32 ") << (variant.big_endian ? "big" : "little");
}

std::string variantName(const ::testing::TestParamInfo<Variant>& param_info) {
  return std::string(param_info.param.is64 ? "Elf64" : "Elf32") +
         (param_info.param.big_endian ? "Big" : "Little");
}

class ElfVariantTest : public ::testing::TestWithParam<Variant> {
 protected:
  ElfWriter writer() const { return ElfWriter{GetParam().is64, GetParam().big_endian, {}}; }
};

// Both tables, contents of every kind, overlaps between segments and
// sections, alternating groups, and section contents running off the end.
TEST_P(ElfVariantTest, PaintsTablesAndContentsInOrder) {
  ElfWriter w = writer();
  const std::uint64_t h = w.headerSize(), p = w.programEntrySize(), s = w.sectionEntrySize();
  const std::uint64_t contents = h + 4 * p;  // 48 bytes of segment and section data
  const std::uint64_t shoff = contents + 48;
  const std::uint64_t trailer = shoff + 4 * s;  // 8 bytes after the section table
  const std::uint64_t size = trailer + 8;

  w.header(h, 4, shoff, 4);
  // Entry sizes in the header are ignored: the class fixes them.
  w.field(w.is64 ? 54 : 42, 1, 2);
  w.field(w.is64 ? 58 : 46, 0, 2);
  w.programEntry(h, kPtLoad, 0, size);       // holds the headers: never painted
  w.programEntry(h + p, kPtPhdr, h, 4 * p);  // the table itself: never painted
  w.programEntry(h + 2 * p, kPtLoad, contents, 32);
  w.programEntry(h + 3 * p, kPtNote, contents + 32, 16);
  w.sectionEntry(shoff, kShtNull, contents, 4);                  // SHT_NULL: no contents
  w.sectionEntry(shoff + s, kShtProgbits, contents + 8, 8);      // inside segment 2
  w.sectionEntry(shoff + 2 * s, kShtNobits, contents + 32, 16);  // no file contents
  w.sectionEntry(shoff + 3 * s, kShtProgbits, trailer, 100);     // clipped at the end
  w.bytes.resize(size);

  const std::vector<Region> painted = {
      {0, h, kC1},
      {h, p, kC2},
      {h + p, p, kC3},
      {h + 2 * p, p, kC2},
      {contents, 32, kC2Alt},
      {h + 3 * p, p, kC3},
      {contents + 32, 16, kC3Alt},
      {shoff, s, kC4},
      {shoff + s, s, kC5},
      {contents + 8, 8, kC5Alt},
      {shoff + 2 * s, s, kC4},
      {shoff + 3 * s, s, kC5},
      {trailer, 8, kC5Alt},
  };
  EXPECT_EQ(colorize(colorizeElf, w.bytes), expectedMask(size, painted));
}

TEST_P(ElfVariantTest, ShortProgramTableStopsBeforeTheSectionTable) {
  ElfWriter w = writer();
  const std::uint64_t h = w.headerSize(), p = w.programEntrySize();
  // The section table lies wholly inside the input, over the header.
  w.header(h, 3, 0, 1);
  w.programEntry(h, kPtLoad, 8, 4);  // painted before the table runs out
  w.programEntry(h + p, kPtLoad, 0, 0);
  w.bytes.resize(h + p + 10);

  EXPECT_EQ(
      colorize(colorizeElf, w.bytes),
      expectedMask(w.bytes.size(), {{0, h, kC1}, {h, p, kC2}, {8, 4, kC2Alt}, {h + p, p, kC3}}));
}

TEST_P(ElfVariantTest, ShortSectionTableKeepsWhatCameBefore) {
  ElfWriter w = writer();
  const std::uint64_t h = w.headerSize(), s = w.sectionEntrySize();
  w.header(0, 0, h, 3);
  w.sectionEntry(h, kShtProgbits, 2, 3);
  w.bytes.resize(h + s + s / 2);

  EXPECT_EQ(
      colorize(colorizeElf, w.bytes),
      expectedMask(w.bytes.size(), {{0, h, kC1}, {h, s, kC4}, {2, 3, kC4Alt}, {h + s, s, kC5}}));
}

TEST_P(ElfVariantTest, NoProgramEntriesWhateverTheOffset) {
  ElfWriter w = writer();
  const std::uint64_t h = w.headerSize(), s = w.sectionEntrySize();
  w.header(h, 0, h, 1);  // both tables at the same place; only sections count
  w.sectionEntry(h, kShtProgbits, h + s, 4);
  w.bytes.resize(h + s + 6);

  EXPECT_EQ(colorize(colorizeElf, w.bytes),
            expectedMask(w.bytes.size(), {{0, h, kC1}, {h, s, kC4}, {h + s, 4, kC4Alt}}));
}

TEST_P(ElfVariantTest, TablesAtOffsetZeroCoverTheHeader) {
  ElfWriter w = writer();
  const std::uint64_t h = w.headerSize(), p = w.programEntrySize(), s = w.sectionEntrySize();
  w.header(0, 1, 0, 1);
  w.bytes.resize(std::max(h, s) + 16);

  // Read as entries, the header's own bytes give no contents that show in
  // this input.
  EXPECT_EQ(colorize(colorizeElf, w.bytes),
            expectedMask(w.bytes.size(), {{0, h, kC1}, {0, p, kC2}, {0, s, kC4}}));
}

// Counts at their maximum end at the input's end; contents that start past
// the end, or whose start + size wraps past 2^64, are clipped.
TEST_P(ElfVariantTest, HostileProgramEntries) {
  ElfWriter w = writer();
  const std::uint64_t h = w.headerSize(), p = w.programEntrySize();
  const std::uint64_t word_max = w.is64 ? kMax : 0xffffffff;
  w.header(h, 0xffff, 0, 0);
  w.programEntry(h, kPtLoad, word_max, word_max);
  w.programEntry(h + p, kPtLoad, 1, word_max);
  w.programEntry(h + 2 * p, kPtLoad, word_max - 1, 2);
  w.bytes.resize(h + 3 * p + 5);

  EXPECT_EQ(colorize(colorizeElf, w.bytes), expectedMask(w.bytes.size(), {{0, h, kC1},
                                                                          {h, p, kC2},
                                                                          {h + p, p, kC3},
                                                                          {1, kMax, kC3Alt},
                                                                          {h + 2 * p, p, kC2},
                                                                          {h + 3 * p, p, kC3}}));
}

TEST_P(ElfVariantTest, HostileSectionEntries) {
  ElfWriter w = writer();
  const std::uint64_t h = w.headerSize(), s = w.sectionEntrySize();
  const std::uint64_t word_max = w.is64 ? kMax : 0xffffffff;
  w.header(0, 0, h, 0xffff);
  w.sectionEntry(h, kShtProgbits, word_max, word_max);
  w.sectionEntry(h + s, kShtProgbits, 2, word_max);
  w.sectionEntry(h + 2 * s, kShtProgbits, word_max - 1, 2);
  w.bytes.resize(h + 3 * s + 5);

  EXPECT_EQ(colorize(colorizeElf, w.bytes), expectedMask(w.bytes.size(), {{0, h, kC1},
                                                                          {h, s, kC4},
                                                                          {h + s, s, kC5},
                                                                          {2, kMax, kC5Alt},
                                                                          {h + 2 * s, s, kC4},
                                                                          {h + 3 * s, s, kC5}}));
}

TEST_P(ElfVariantTest, TableOffsetsNearTheTopOfTheRange) {
  ElfWriter w = writer();
  const std::uint64_t h = w.headerSize();
  const std::uint64_t word_max = w.is64 ? kMax : 0xffffffff;
  // 0xfffe: the largest count that is no PN_XNUM escape.
  w.header(word_max - 3, 0xfffe, h, 1);
  w.sectionEntry(h, kShtProgbits, 1, 1);  // never reached
  EXPECT_EQ(colorize(colorizeElf, w.bytes), expectedMask(w.bytes.size(), {{0, h, kC1}}));

  w.header(0, 0, word_max - 3, 0xffff);
  EXPECT_EQ(colorize(colorizeElf, w.bytes), expectedMask(w.bytes.size(), {{0, h, kC1}}));
}

INSTANTIATE_TEST_SUITE_P(ClassesAndByteOrders, ElfVariantTest,
                         ::testing::Values(Variant{true, false}, Variant{true, true},
                                           Variant{false, false}, Variant{false, true}),
                         variantName);

TEST(ElfParserTest, InputsWithoutAUsableClass) {
  struct Case {
    const char* name;
    Bytes input;
  };
  Bytes class0(64, 0), class3(64, 0);
  for (Bytes* b : {&class0, &class3}) {
    (*b)[0] = 0x7f, (*b)[1] = 'E', (*b)[2] = 'L', (*b)[3] = 'F';
  }
  class3[4] = 3;
  const Case cases[] = {
      {"magic only", {0x7f, 'E', 'L', 'F'}},
      {"class 0", class0},
      {"class 3", class3},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(colorize(colorizeElf, c.input), std::string(c.input.size(), '_')) << c.name;
  }
}

TEST(ElfParserTest, HeaderCutShortIsPaintedAsFarAsItReaches) {
  struct Case {
    const char* name;
    std::uint8_t elf_class;
    std::size_t size;
  };
  const Case cases[] = {
      {"class byte only", 1, 5},
      {"40-byte ELF32", 1, 40},
      {"51-byte ELF32", 1, 51},
      {"63-byte ELF64", 2, 63},
      // 52 bytes are a whole ELF32 header but not an ELF64 one.
      {"52-byte ELF64", 2, 52},
  };
  for (const Case& c : cases) {
    Bytes input(c.size, 0xff);  // hostile counts, were they ever read
    input[0] = 0x7f, input[1] = 'E', input[2] = 'L', input[3] = 'F', input[4] = c.elf_class;
    EXPECT_EQ(colorize(colorizeElf, input), std::string(c.size, '1')) << c.name;
  }
}

TEST(ElfParserTest, OnlyDataValueTwoMeansBigEndian) {
  // A little-endian file whose EI_DATA byte varies.
  ElfWriter w{true, false, {}};
  w.header(64, 1, 0, 0);
  w.programEntry(64, kPtLoad, 120, 4);
  w.bytes.resize(124);
  const std::string little = expectedMask(124, {{0, 64, kC1}, {64, 56, kC2}, {120, 4, kC2Alt}});

  for (const int data : {0, 1, 3, 0xff}) {
    w.bytes[5] = static_cast<std::uint8_t>(data);
    EXPECT_EQ(colorize(colorizeElf, w.bytes), little) << "EI_DATA " << data;
  }
  // Read big-endian, e_phoff becomes 0x4000000000000000 and the table is
  // out of reach.
  w.bytes[5] = 2;
  EXPECT_EQ(colorize(colorizeElf, w.bytes), expectedMask(124, {{0, 64, kC1}}));
}

}  // namespace
}  // namespace lumo
