#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "parsers/parser_test_support.h"
#include "parsers/parsers.h"
#include "parsers/pe_long_name.h"

namespace lumo {
namespace {

using testing::Bytes;
using testing::colorize;
using testing::expectedMask;
using testing::put;
using testing::Region;

constexpr std::uint64_t kCoffEnd = 24;  // signature and COFF file header
constexpr std::uint64_t kSectionHeader = 40;

// Writes PE fixtures at the offsets of the PE/COFF format.
struct PeWriter {
  Bytes bytes;

  void grow(std::uint64_t size) {
    if (bytes.size() < size) bytes.resize(static_cast<std::size_t>(size));
  }

  void dosHeader(std::uint32_t lfanew) {
    grow(64);
    bytes[0] = 'M', bytes[1] = 'Z';
    put(bytes, 60, lfanew, 4);
  }

  void coffHeader(std::uint64_t at, std::uint16_t sections, std::uint16_t optional_size,
                  std::string_view signature = std::string_view("PE\0\0", 4)) {
    grow(at + kCoffEnd);
    std::copy(signature.begin(), signature.end(), bytes.begin() + static_cast<long>(at));
    put(bytes, at + 4, 0x8664, 2);  // Machine; not consulted
    put(bytes, at + 6, sections, 2);
    put(bytes, at + 20, optional_size, 2);
  }

  void sectionHeader(std::uint64_t at, std::string_view name, std::uint32_t raw_size,
                     std::uint32_t raw_pointer) {
    grow(at + kSectionHeader);
    std::copy(name.begin(), name.end(), bytes.begin() + static_cast<long>(at));
    put(bytes, at + 8, raw_size / 2, 4);  // VirtualSize; not consulted
    put(bytes, at + 16, raw_size, 4);
    put(bytes, at + 20, raw_pointer, 4);
  }
};

const std::vector<Region> kDosHeaderRegions = {{0, 2, kC1Accent}, {2, 58, kC1}, {60, 4, kC1Accent}};

std::vector<Region> withDosHeader(std::vector<Region> regions) {
  regions.insert(regions.begin(), kDosHeaderRegions.begin(), kDosHeaderRegions.end());
  return regions;
}

TEST(PeParserTest, WithoutAWholeDosHeaderNothingIsPainted) {
  for (std::size_t size : {2u, 63u}) {
    Bytes input(size, 0);
    input[0] = 'M', input[1] = 'Z';
    EXPECT_EQ(colorize(colorizePe, input), std::string(size, '_')) << size << " bytes";
  }
}

TEST(PeParserTest, COFFHeaderAtOrNearTheEnd) {
  struct Case {
    const char* name;
    std::uint32_t lfanew;
    std::size_t size;
    std::vector<Region> regions;
  };
  const Case cases[] = {
      {"at the end", 64, 64, {}},
      {"far beyond the end", 0xffffffff, 100, {}},
      {"near 2^32", 0xfffffff0, 100, {}},
      {"10 bytes before the end", 90, 100, {{90, 4, kC2Accent}, {94, 6, kC2}}},
      // Inside the MS-DOS header: painted over it, fields taken from its bytes.
      {"inside the DOS header", 40, 64, {{40, 4, kC2Accent}, {44, 20, kC2}}},
  };
  for (const Case& c : cases) {
    PeWriter w;
    w.dosHeader(c.lfanew);
    w.grow(c.size);
    EXPECT_EQ(colorize(colorizePe, w.bytes), expectedMask(c.size, withDosHeader(c.regions)))
        << c.name;
  }
}

class OptionalHeaderTest : public ::testing::TestWithParam<std::uint16_t> {};

TEST_P(OptionalHeaderTest, SplitAt216AndSectionTableRightAfter) {
  const std::uint16_t optional_size = GetParam();
  constexpr std::uint64_t kLfanew = 0x80;  // a stub lies between
  const std::uint64_t optional = kLfanew + kCoffEnd;
  const std::uint64_t table = optional + optional_size;
  const std::uint64_t data = table + kSectionHeader + 8;
  PeWriter w;
  w.dosHeader(kLfanew);
  w.coffHeader(kLfanew, 1, optional_size);
  w.sectionHeader(table, ".text", 16, static_cast<std::uint32_t>(data));
  w.grow(data + 16 + 8);  // 8 bytes of overlay at the end

  std::vector<Region> regions = {{kLfanew, 4, kC2Accent}, {kLfanew + 4, 20, kC2}};
  regions.push_back({optional, std::min<std::uint64_t>(optional_size, 216), kC3});
  if (optional_size > 216) regions.push_back({optional + 216, optional_size - 216u, kC3Alt});
  regions.push_back({table, 8, kC4Accent});
  regions.push_back({table + 8, 32, kC4});
  regions.push_back({data, 16, kC4Alt});
  EXPECT_EQ(colorize(colorizePe, w.bytes), expectedMask(w.bytes.size(), withDosHeader(regions)));

  // The part past the split is named by its place: the data directories
  // begin at byte 96 or 112, not there.
  Colormap colormap(true);
  colorizePe(MemoryAccess(w.bytes), colormap);
  std::vector<std::string> labels;
  for (const Paint& paint : colormap.paints()) {
    if (paint.label != kNoLabel && paint.start >= optional && paint.start < table) {
      labels.emplace_back(colormap.label(paint.label));
    }
  }
  std::vector<std::string> expected;
  if (optional_size > 0) expected.emplace_back("PE optional header");
  if (optional_size > 216) expected.emplace_back("PE optional header from byte 216");
  EXPECT_EQ(labels, expected);
}

INSTANTIATE_TEST_SUITE_P(Sizes, OptionalHeaderTest,
                         ::testing::Values(std::uint16_t{0}, std::uint16_t{100}, std::uint16_t{216},
                                           std::uint16_t{217}, std::uint16_t{224},
                                           std::uint16_t{240}));

TEST(PeParserTest, OptionalHeaderPastTheEndStopsBeforeIt) {
  PeWriter w;
  w.dosHeader(64);
  w.coffHeader(64, 1, 240);
  w.sectionHeader(64 + kCoffEnd, ".text", 8, 0);  // inside the would-be optional header
  w.grow(64 + kCoffEnd + 239);

  EXPECT_EQ(colorize(colorizePe, w.bytes),
            expectedMask(w.bytes.size(), withDosHeader({{64, 4, kC2Accent}, {68, 20, kC2}})));
}

TEST(PeParserTest, SectionsAlternateAndPaintTheirRawData) {
  constexpr std::uint64_t kTable = 64 + kCoffEnd;  // no optional header
  constexpr std::uint64_t kData = kTable + 4 * kSectionHeader;
  PeWriter w;
  w.dosHeader(64);
  // Neither the signature nor anything else is validated.
  w.coffHeader(64, 4, 0, std::string_view("PX\1\1", 4));
  w.sectionHeader(kTable, ".text", 32, kData);
  w.sectionHeader(kTable + 40, ".data", 16, kData + 32);
  w.sectionHeader(kTable + 80, ".bss", 0, kData + 48);  // no raw data
  w.sectionHeader(kTable + 120, ".zero", 10, 0);        // from offset 0, over the header
  w.grow(kData + 48 + 16);                              // overlay keeps the background

  const std::vector<Region> painted = withDosHeader({
      {64, 4, kC2Accent},
      {68, 20, kC2},
      {kTable, 8, kC4Accent},
      {kTable + 8, 32, kC4},
      {kData, 32, kC4Alt},
      {kTable + 40, 8, kC5Accent},
      {kTable + 48, 32, kC5},
      {kData + 32, 16, kC5Alt},
      {kTable + 80, 8, kC4Accent},
      {kTable + 88, 32, kC4},
      {kTable + 120, 8, kC5Accent},
      {kTable + 128, 32, kC5},
      {0, 10, kC5Alt},
  });
  EXPECT_EQ(colorize(colorizePe, w.bytes), expectedMask(w.bytes.size(), painted));
}

TEST(PeParserTest, SectionTableCutShortLeavesTheShortEntryAlone) {
  constexpr std::uint64_t kTable = 64 + kCoffEnd;
  PeWriter w;
  w.dosHeader(64);
  w.coffHeader(64, 3, 0);
  w.sectionHeader(kTable, ".a", 4, 0x200);   // data past the end: clipped away
  w.sectionHeader(kTable + 40, ".b", 4, 2);  // data over the DOS header
  w.grow(kTable + 80 + 39);

  const std::vector<Region> painted = withDosHeader({
      {64, 4, kC2Accent},
      {68, 20, kC2},
      {kTable, 8, kC4Accent},
      {kTable + 8, 32, kC4},
      {kTable + 40, 8, kC5Accent},
      {kTable + 48, 32, kC5},
      {2, 4, kC5Alt},
  });
  EXPECT_EQ(colorize(colorizePe, w.bytes), expectedMask(w.bytes.size(), painted));
}

TEST(PeParserTest, HostileCountsAndSizes) {
  constexpr std::uint64_t kTable = 64 + kCoffEnd;
  PeWriter w;
  w.dosHeader(64);
  w.coffHeader(64, 0xffff, 0);
  w.sectionHeader(kTable, ".far", 0xffffffff, 0xffffffff);
  w.sectionHeader(kTable + 40, ".all", 0xffffffff, 0x10);
  w.grow(kTable + 80 + 20);

  const std::vector<Region> painted = withDosHeader({
      {64, 4, kC2Accent},
      {68, 20, kC2},
      {kTable, 8, kC4Accent},
      {kTable + 8, 32, kC4},
      {kTable + 40, 8, kC5Accent},
      {kTable + 48, 32, kC5},
      {0x10, 0xffffffff, kC5Alt},
  });
  EXPECT_EQ(colorize(colorizePe, w.bytes), expectedMask(w.bytes.size(), painted));
}

// A name longer than 8 bytes is "/N" in the section header, N the decimal
// offset of the name in the COFF string table after the symbol table. The
// fixture has one section, two symbols and then the table; each case
// breaks one part of that chain, and the field then stays the name.
TEST(PeNamesTest, LongNamesComeFromTheStringTable) {
  constexpr std::uint64_t kTable = 64 + kCoffEnd;
  constexpr std::uint64_t kSymbols = kTable + kSectionHeader;
  constexpr std::uint64_t kStrings = kSymbols + 2 * 18;
  const std::string longest(kMaxLongName, 'x');
  struct Case {
    const char* name;
    std::string field;
    std::uint32_t symbols_at = kSymbols;
    std::uint32_t symbol_count = 2;
    std::string table{};          // after its size field
    std::int64_t size_delta = 0;  // added to the size field's true value
    std::string expected;
  };
  const Case cases[] = {
      {"resolved", "/4", kSymbols, 2, std::string(".debug_info\0.x\0", 15), 0, ".debug_info"},
      {"the second name", "/16", kSymbols, 2, std::string(".debug_info\0.x\0", 15), 0, ".x"},
      {"leading zeros", "/0000004", kSymbols, 2, std::string(".a\0", 3), 0, ".a"},
      {"no symbol table", "/4", 0, 2, std::string(".a\0", 3), 0, "/4"},
      {"not digits", "/4a", kSymbols, 2, std::string(".a\0", 3), 0, "/4a"},
      {"no number", "/", kSymbols, 2, std::string(".a\0", 3), 0, "/"},
      {"inside the size field", "/2", kSymbols, 2, std::string(".a\0", 3), 0, "/2"},
      {"past the table", "/7", kSymbols, 2, std::string(".a\0", 3), 0, "/7"},
      {"no NUL inside the table", "/4", kSymbols, 2, std::string(".a\0", 3), -1, "/4"},
      {"no NUL before the input ends", "/4", kSymbols, 2, ".abc", 100, "/4"},
      {"the table far past the end", "/4", 0xffffffff, 0xffffffff, "", 0, "/4"},
      {"the longest name", "/4", kSymbols, 2, longest + std::string(1, '\0'), 0, longest},
      {"one byte longer", "/4", kSymbols, 2, longest + "x" + std::string(1, '\0'), 0, "/4"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PeWriter w;
    w.dosHeader(64);
    w.coffHeader(64, 1, 0);
    put(w.bytes, 64 + 12, c.symbols_at, 4);
    put(w.bytes, 64 + 16, c.symbol_count, 4);
    w.sectionHeader(kTable, c.field, 4, 0);
    put(w.bytes, kStrings, static_cast<std::uint64_t>(4 + std::ssize(c.table) + c.size_delta), 4);
    w.grow(kStrings + 4 + c.table.size());
    std::copy(c.table.begin(), c.table.end(), w.bytes.begin() + kStrings + 4);

    Colormap colormap(true);
    colorizePe(MemoryAccess(w.bytes), colormap);
    ASSERT_EQ(colormap.sections().size(), 1u);
    EXPECT_EQ(colormap.label(colormap.sections()[0].name), c.expected);
    std::vector<std::string> labels;
    for (const Paint& paint : colormap.paints()) labels.emplace_back(colormap.label(paint.label));
    // A label holds LabelText::kCapacity bytes; a name, up to kMaxLongName.
    const auto cut = [](const std::string& label) { return label.substr(0, LabelText::kCapacity); };
    EXPECT_EQ(labels.back(), cut("PE section " + c.expected));
    EXPECT_NE(std::find(labels.begin(), labels.end(), cut("section header 0 " + c.expected)),
              labels.end());
  }
}

}  // namespace
}  // namespace lumo
