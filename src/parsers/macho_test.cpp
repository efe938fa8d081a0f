#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <string_view>
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

constexpr std::uint32_t kLcSegment = 0x1;
constexpr std::uint32_t kLcSymtab = 0x2;
constexpr std::uint32_t kLcSegment64 = 0x19;
constexpr std::uint32_t kSRegular = 0x0;
constexpr std::uint32_t kSZerofill = 0x1;
constexpr std::uint32_t kSGbZerofill = 0xc;
constexpr std::uint32_t kSThreadLocalZerofill = 0x12;
constexpr std::uint32_t kPureInstructions = 0x80000000;  // an attribute bit beside the type

// Writes Mach-O fixtures field by field at the places the Mach-O headers
// (mach-o/loader.h) give them, for either width and either byte order.
struct MachOWriter {
  bool is64 = true;
  bool big_endian = false;
  Bytes bytes;

  std::uint64_t headerSize() const { return is64 ? 32 : 28; }
  std::uint64_t segmentSize() const { return is64 ? 72 : 56; }
  std::uint64_t sectionSize() const { return is64 ? 80 : 68; }

  void field(std::uint64_t at, std::uint64_t value, std::size_t width) {
    put(bytes, at, value, width, big_endian);
  }

  void header(std::uint32_t ncmds) {
    field(0, is64 ? 0xfeedfacf : 0xfeedface, 4);
    field(4, is64 ? 0x0100000c : 12, 4);  // cputype: arm64 or arm; not consulted
    field(12, 2, 4);                      // filetype MH_EXECUTE; not consulted
    field(16, ncmds, 4);
  }

  // A 16-byte name field; a name of 16 characters has no NUL.
  void name(std::uint64_t at, std::string_view text) {
    for (std::size_t k = 0; k < text.size(); ++k) {
      put(bytes, at + k, static_cast<std::uint8_t>(text[k]), 1);
    }
  }

  void command(std::uint64_t at, std::uint32_t cmd, std::uint32_t cmdsize) {
    field(at, cmd, 4);
    field(at + 4, cmdsize, 4);
  }

  // A segment command with room for `nsects` records; returns its end.
  std::uint64_t segment(std::uint64_t at, std::string_view name, std::uint64_t fileoff,
                        std::uint64_t filesize, std::uint32_t nsects) {
    const std::uint64_t size = segmentSize() + nsects * sectionSize();
    command(at, is64 ? kLcSegment64 : kLcSegment, static_cast<std::uint32_t>(size));
    this->name(at + 8, name);
    field(at + (is64 ? 40 : 32), fileoff, is64 ? 8 : 4);
    field(at + (is64 ? 48 : 36), filesize, is64 ? 8 : 4);
    field(at + (is64 ? 64 : 48), nsects, 4);
    if (bytes.size() < at + size) bytes.resize(at + size);
    return at + size;
  }

  std::uint64_t sectionAt(std::uint64_t segment_at, std::uint64_t k) const {
    return segment_at + segmentSize() + k * sectionSize();
  }

  void section(std::uint64_t segment_at, std::uint64_t k, std::uint64_t offset, std::uint64_t size,
               std::uint32_t flags, std::string_view segname = "", std::string_view sectname = "") {
    const std::uint64_t at = sectionAt(segment_at, k);
    name(at, sectname);
    name(at + 16, segname);
    field(at + (is64 ? 40 : 36), size, is64 ? 8 : 4);
    field(at + (is64 ? 48 : 40), offset, 4);
    field(at + (is64 ? 64 : 56), flags, 4);
  }
};

// __TEXT at file offset 0 with two sections, __DATA with a regular and a
// zero-fill section, and a symbol table command, then the contents.
struct ThinFixture {
  Bytes bytes;
  std::vector<Region> regions;
};

ThinFixture thinFile(bool is64, bool big_endian) {
  MachOWriter w{is64, big_endian, {}};
  w.header(3);
  const std::uint64_t text = w.headerSize();
  const std::uint64_t data = w.segment(text, "__TEXT", 0, 0x1000, 2);
  const std::uint64_t symtab = w.segment(data, "__DATA", 560, 32, 2);
  w.command(symtab, kLcSymtab, 24);
  w.section(text, 0, 528, 16, kSRegular | kPureInstructions, "__TEXT", "__text");
  w.section(text, 1, 548, 8, kSRegular, "__TEXT", "__cstring");
  w.section(data, 0, 560, 8, kSRegular, "__DATA", "__data");
  w.section(data, 1, 0, 64, kSZerofill, "__DATA", "__bss");
  w.bytes.resize(600);
  const std::uint64_t seg = w.segmentSize(), sec = w.sectionSize();
  return {w.bytes,
          {{0, w.headerSize(), kC1},
           {text, seg + 2 * sec, kC2},
           {w.sectionAt(text, 0), sec, kC4},
           {528, 16, kC4Alt},
           {w.sectionAt(text, 1), sec, kC5},
           {548, 8, kC5Alt},
           {data, seg + 2 * sec, kC3},
           {560, 32, kC3Alt},
           {w.sectionAt(data, 0), sec, kC4},
           {560, 8, kC4Alt},
           {w.sectionAt(data, 1), sec, kC5},
           {symtab, 24, kC2}}};
}

struct Variant {
  bool is64;
  bool big_endian;
};

class MachOVariantTest : public ::testing::TestWithParam<Variant> {};

TEST_P(MachOVariantTest, HeaderCommandsSegmentsSectionsAndContents) {
  const ThinFixture f = thinFile(GetParam().is64, GetParam().big_endian);
  EXPECT_EQ(colorize(colorizeMachO, f.bytes), expectedMask(f.bytes.size(), f.regions));
}

INSTANTIATE_TEST_SUITE_P(WidthsAndByteOrders, MachOVariantTest,
                         ::testing::Values(Variant{true, false}, Variant{true, true},
                                           Variant{false, false}, Variant{false, true}),
                         [](const ::testing::TestParamInfo<Variant>& param_info) {
                           return std::string(param_info.param.is64 ? "Bits64" : "Bits32") +
                                  (param_info.param.big_endian ? "Big" : "Little");
                         });

TEST(MachOTest, ZeroFillSectionsPaintNoContents) {
  struct Case {
    std::uint32_t flags;
    bool painted;
  };
  const Case cases[] = {{kSRegular, true},
                        {kSZerofill, false},
                        {kSGbZerofill, false},
                        {kSThreadLocalZerofill, false},
                        {kSThreadLocalZerofill | kPureInstructions, false},
                        {0x13, true}};  // S_THREAD_LOCAL_VARIABLES: a type with file contents
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flags);
    MachOWriter w;
    w.header(1);
    w.segment(32, "__DATA", 200, 16, 1);
    w.section(32, 0, 200, 8, c.flags);
    w.bytes.resize(216);
    std::vector<Region> regions = {{0, 32, kC1}, {32, 152, kC2}, {200, 16, kC2Alt}, {104, 80, kC4}};
    if (c.painted) regions.push_back({200, 8, kC4Alt});
    EXPECT_EQ(colorize(colorizeMachO, w.bytes), expectedMask(w.bytes.size(), regions));
  }
}

TEST(MachOTest, SectionsAlternateAcrossSegments) {
  // One section in each of two segments: the second is section 1, so c5.
  MachOWriter w;
  w.header(2);
  const std::uint64_t second = w.segment(32, "__A", 400, 8, 1);
  w.segment(second, "__B", 408, 8, 1);
  w.section(32, 0, 400, 4, kSRegular, "__A", "__text");
  w.section(second, 0, 408, 4, kSRegular, "__B", "__text");
  w.bytes.resize(416);
  EXPECT_EQ(colorize(colorizeMachO, w.bytes), expectedMask(416, {{0, 32, kC1},
                                                                 {32, 152, kC2},
                                                                 {400, 8, kC2Alt},
                                                                 {104, 80, kC4},
                                                                 {400, 4, kC4Alt},
                                                                 {184, 152, kC3},
                                                                 {408, 8, kC3Alt},
                                                                 {256, 80, kC5},
                                                                 {408, 4, kC5Alt}}));
}

// Damaged and crafted headers: the walk stops or is capped as the rules
// say, and nothing is painted that the rules do not call for.
TEST(HostileMachOTest, CommandSizesThatStopTheWalk) {
  struct Case {
    const char* name;
    std::uint32_t second_size;
  };
  const Case cases[] = {{"size 0", 0},
                        {"size 6", 6},
                        {"size 4, below its own head", 4},
                        {"size 13", 13},
                        {"size 0xfffffffe", 0xfffffffe}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MachOWriter w;
    w.header(3);
    w.command(32, kLcSymtab, 24);
    w.command(56, kLcSymtab, c.second_size);
    w.command(80, kLcSymtab, 24);
    w.bytes.resize(120);
    EXPECT_EQ(colorize(colorizeMachO, w.bytes), expectedMask(120, {{0, 32, kC1}, {32, 24, kC2}}));
  }
}

TEST(HostileMachOTest, HugeCountsAreCappedByTheBytesThatRemain) {
  // ncmds and nsects at their largest: as many commands as fit, and only
  // the section records that fit inside their command.
  MachOWriter w;
  w.header(0xffffffff);
  w.segment(32, "__X", 0, 0, 1);    // room for one record...
  w.field(32 + 64, 0xffffffff, 4);  // ...but nsects says more
  w.section(32, 0, 0, 0, kSRegular);
  w.command(184, kLcSymtab, 8);
  w.command(192, kLcSymtab, 8);
  w.bytes.resize(200);
  Colormap colormap;
  colorizeMachO(MemoryAccess(w.bytes), colormap);
  EXPECT_LE(colormap.paints().size(), 6u);  // fill, header, three commands, one record
  EXPECT_EQ(colorize(colorizeMachO, w.bytes),
            expectedMask(
                200, {{0, 32, kC1}, {32, 152, kC2}, {104, 80, kC4}, {184, 8, kC3}, {192, 8, kC2}}));
}

TEST(HostileMachOTest, OffsetsNearTheTopOfTheRangeDoNotWrap) {
  MachOWriter w;
  w.header(1);
  w.segment(32, "__X", 0xfffffffffffffff0, 0x100, 1);
  w.section(32, 0, 0xfffffff0, 0xffffffffffffffff, kSRegular);
  w.bytes.resize(200);
  // Both regions start far past the end; a wrapped sum would reach offset 0.
  EXPECT_EQ(colorize(colorizeMachO, w.bytes),
            expectedMask(200, {{0, 32, kC1}, {32, 152, kC2}, {104, 80, kC4}}));
}

TEST(HostileMachOTest, InputsCutShort) {
  const ThinFixture f = thinFile(true, false);
  struct Case {
    const char* name;
    std::size_t size;
    std::vector<Region> regions;
  };
  const Case cases[] = {
      {"inside the header", 20, {{0, 32, kC1}}},
      {"inside a command head", 36, {{0, 32, kC1}}},
      // The record that comes up short shows, as an ELF table entry does.
      {"inside a section record", 150, {{0, 32, kC1}, {32, 232, kC2}, {104, 80, kC4}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes cut(f.bytes.begin(), f.bytes.begin() + static_cast<std::ptrdiff_t>(c.size));
    EXPECT_EQ(colorize(colorizeMachO, cut), expectedMask(c.size, c.regions));
  }
}

TEST(HostileMachOTest, SegmentCommandTooSmallForItsFields) {
  // A segment command of 16 bytes: painted as a command, nothing more.
  MachOWriter w;
  w.header(2);
  w.command(32, kLcSegment64, 16);
  w.field(32 + 40, 60, 8);  // would-be fileoff, inside the next command
  w.command(48, kLcSymtab, 24);
  w.bytes.resize(100);
  EXPECT_EQ(colorize(colorizeMachO, w.bytes),
            expectedMask(100, {{0, 32, kC1}, {32, 16, kC2}, {48, 24, kC3}}));
}

// Universal files: the fat header is always big-endian.
struct FatWriter {
  bool wide = false;  // the fat_arch_64 layout
  Bytes bytes;

  std::uint64_t archSize() const { return wide ? 32 : 20; }
  void header(std::uint32_t count) {
    put(bytes, 0, wide ? 0xcafebabf : 0xcafebabe, 4, true);
    put(bytes, 4, count, 4, true);
  }
  void arch(std::uint64_t k, std::uint32_t cputype, std::uint64_t offset, std::uint64_t size) {
    const std::uint64_t at = 8 + k * archSize();
    put(bytes, at, cputype, 4, true);
    put(bytes, at + 8, offset, wide ? 8 : 4, true);
    put(bytes, at + (wide ? 16 : 12), size, wide ? 8 : 4, true);
  }
  void place(std::uint64_t at, const Bytes& slice) {
    if (bytes.size() < at + slice.size()) bytes.resize(at + slice.size());
    std::copy(slice.begin(), slice.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
  }
};

// The regions of a slice, moved to its offset and cut at its end.
void addSlice(std::vector<Region>& regions, const std::vector<Region>& slice, std::uint64_t at,
              std::uint64_t size) {
  for (const Region& r : slice) {
    if (r.start >= size) continue;
    regions.push_back({at + r.start, std::min(r.length, size - r.start), r.slot});
  }
}

// A thin file of load commands of 8 and 12 bytes in turn, so that no two
// neighbours share a paint; `at` gets the offset of each command.
Bytes mixedCommands(std::uint32_t count, std::vector<std::uint64_t>& at) {
  MachOWriter w;
  w.header(count);
  std::uint64_t next = w.headerSize();
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint32_t size = i % 2 == 0 ? 8 : 12;
    w.command(next, kLcSymtab, size);
    at.push_back(next);
    next += size;
  }
  w.bytes.resize(next);
  return w.bytes;
}

// More load commands than any real file has: the walk stops after the
// 65536th in the whole file, all slices together, so the paints stay few
// with names or without, however large the input is.
TEST(HostileMachOTest, TheWalkStopsAfterTheLastCommandItReads) {
  constexpr std::uint32_t kMaxCommands = 65536;
  std::vector<std::uint64_t> at;
  const Bytes thin = mixedCommands(kMaxCommands + 10, at);
  for (bool keepNames : {false, true}) {
    SCOPED_TRACE(keepNames ? "with names" : "without names");
    Colormap colormap(keepNames);
    colorizeMachO(MemoryAccess(thin), colormap);
    EXPECT_LE(colormap.paints().size(), 2 + kMaxCommands);  // the fill, the header, the commands
    colormap.resolve();
    EXPECT_EQ(colormap.slotAt(at[kMaxCommands - 2], 0), kC2);
    EXPECT_EQ(colormap.slotAt(at[kMaxCommands - 1], 0), kC3);
    EXPECT_EQ(colormap.slotAt(at[kMaxCommands], 0), kNormalAlt);
    EXPECT_EQ(colormap.slotAt(thin.size() - 1, 0), kNormalAlt);
  }

  // Two slices of 40000 commands: the second one's walk stops at its 25536th.
  std::vector<std::uint64_t> in_slice;
  const Bytes slice = mixedCommands(40000, in_slice);
  FatWriter w{false, {}};
  w.header(2);
  const std::uint64_t second = 4096 + slice.size();
  w.arch(0, 0x0100000c, 4096, slice.size());
  w.arch(1, 0x0100000c, second, slice.size());
  w.place(4096, slice);
  w.place(second, slice);
  Colormap colormap;
  colorizeMachO(MemoryAccess(w.bytes), colormap);
  colormap.resolve();
  EXPECT_EQ(colormap.slotAt(4096 + in_slice.back(), 0), kC3);
  EXPECT_EQ(colormap.slotAt(second + in_slice[25535], 0), kC3);
  EXPECT_EQ(colormap.slotAt(second + in_slice[25536], 0), kNormalAlt);
}

// A thin file of one segment whose section records all name __TEXT,__text
// at the header's bytes: the most structures per byte a segment can hold.
Bytes manySections(std::uint32_t count) {
  MachOWriter w;
  w.header(1);
  w.segment(32, "__TEXT", 0, 0, count);
  for (std::uint32_t k = 0; k < count; ++k) w.section(32, k, 0, 16, kSRegular, "__TEXT", "__text");
  return w.bytes;
}

Bytes stacked(const Bytes& thin, std::uint32_t slices, std::uint64_t size_step) {
  FatWriter w;
  w.header(slices);
  for (std::uint32_t k = 0; k < slices; ++k)
    w.arch(k, 0x0100000c, 4096, thin.size() - k * size_step);
  w.place(4096, thin);
  return w.bytes;
}

// Slices that point at the same bytes are walked once, and the section
// records of all slices share the one bound on structures with the load
// commands, however the slices overlap.
TEST(HostileMachOUniversalTest, StackedSlicesCostNoMoreThanOneFile) {
  const Bytes few = manySections(1000);
  for (bool keepNames : {false, true}) {
    SCOPED_TRACE(keepNames ? "with names" : "without names");
    Colormap thin(keepNames), fat(keepNames);
    colorizeMachO(MemoryAccess(few), thin);
    colorizeMachO(MemoryAccess(stacked(few, 30, 0)), fat);
    // The fat header and 30 records are all that is added.
    EXPECT_EQ(fat.paints().size(), thin.paints().size() + 31);
    // The slice's sections answer to their names and to those after "slice 0:".
    EXPECT_EQ(fat.sections().size(), 2 * thin.sections().size());
  }

  // More records than the bound, in 30 slices of different sizes at one
  // offset: per structure at most a record and its contents are painted.
  constexpr std::uint64_t kMaxStructures = 65536;
  const Bytes many = manySections(kMaxStructures + 100);
  for (const std::uint64_t step : {std::uint64_t{0}, std::uint64_t{80}}) {
    SCOPED_TRACE(step);
    Colormap colormap(true);
    colorizeMachO(MemoryAccess(stacked(many, 30, step)), colormap);
    EXPECT_LE(colormap.paints().size(), 1 + 31 + 30 + 2 * kMaxStructures);
    EXPECT_LE(colormap.sections().size(), 2 * kMaxStructures);
  }
  // A thin file: the command and 65535 records, the last of them c5.
  Colormap colormap;
  colorizeMachO(MemoryAccess(many), colormap);
  colormap.resolve();
  const std::uint64_t records = 32 + 72;
  EXPECT_EQ(colormap.slotAt(records + (kMaxStructures - 2) * 80, 0), kC4);
  EXPECT_EQ(colormap.slotAt(records + (kMaxStructures - 1) * 80, 0), kC2);
}

TEST(MachOUniversalTest, HeaderRecordsThenEachSliceAsTheFileItIs) {
  for (bool wide : {false, true}) {
    SCOPED_TRACE(wide ? "fat_arch_64" : "fat_arch");
    const ThinFixture thin = thinFile(true, false);
    FatWriter w{wide, {}};
    w.header(2);
    w.arch(0, 0x0100000c, 128, thin.bytes.size());
    w.arch(1, 0x01000007, 768, 16);
    w.place(128, thin.bytes);
    w.place(768, testing::bytesOf("not a mach-o one"));
    std::vector<Region> regions = {
        {0, 8, kC1}, {8, w.archSize(), kC1}, {8 + w.archSize(), w.archSize(), kC1}};
    addSlice(regions, thin.regions, 128, thin.bytes.size());
    EXPECT_EQ(colorize(colorizeMachO, w.bytes), expectedMask(w.bytes.size(), regions));
  }
}

TEST(MachOUniversalTest, NothingOfASliceReachesPastItsEnd) {
  // The slice ends inside the second section's contents: the reads and
  // paints of the slice stop there, though the bytes after it would make a
  // whole file.
  const ThinFixture thin = thinFile(true, false);
  FatWriter w;
  w.header(1);
  w.arch(0, 0x0100000c, 64, 552);
  w.place(64, thin.bytes);
  std::vector<Region> regions = {{0, 8, kC1}, {8, 20, kC1}};
  addSlice(regions, thin.regions, 64, 552);
  EXPECT_EQ(colorize(colorizeMachO, w.bytes), expectedMask(w.bytes.size(), regions));
}

TEST(HostileMachOUniversalTest, SlicesThatAreNotLookedInto) {
  const ThinFixture thin = thinFile(false, true);
  // A universal file as slice 0, whose own slice is a good thin file: it
  // stays as it is. Slice 1 lies past the end of the input.
  FatWriter inner;
  inner.header(1);
  inner.arch(0, 12, 32, thin.bytes.size());
  inner.place(32, thin.bytes);
  FatWriter w;
  w.header(2);
  w.arch(0, 12, 64, inner.bytes.size());
  w.arch(1, 12, 0xfffffff0, 0xffffffff);
  w.place(64, inner.bytes);
  EXPECT_EQ(colorize(colorizeMachO, w.bytes),
            expectedMask(w.bytes.size(), {{0, 8, kC1}, {8, 20, kC1}, {28, 20, kC1}}));
}

TEST(HostileMachOUniversalTest, RecordsCutShortStopTheParser) {
  const ThinFixture thin = thinFile(true, false);
  FatWriter w;
  w.header(30);
  w.arch(0, 12, 0, thin.bytes.size());  // would be painted, had all records been read
  w.bytes.resize(100);
  std::vector<Region> regions = {{0, 8, kC1}};
  for (std::uint64_t k = 0; k < 5; ++k) regions.push_back({8 + 20 * k, 20, kC1});
  EXPECT_EQ(colorize(colorizeMachO, w.bytes), expectedMask(100, regions));
}

// The labels of the paints in the order they were made, and the sections
// recorded for --section, when names are kept.
struct Names {
  std::vector<std::string> labels;
  std::vector<std::string> sections;  // "name offset size" and "-" without bytes
};

Names namesOf(const Bytes& input) {
  Colormap colormap(true);
  colorizeMachO(MemoryAccess(input), colormap);
  Names names;
  for (const Paint& paint : colormap.paints()) {
    if (paint.label != kNoLabel) names.labels.emplace_back(colormap.label(paint.label));
  }
  for (const NamedSection& section : colormap.sections()) {
    names.sections.push_back(std::string(colormap.label(section.name)) + " " +
                             std::to_string(section.offset) + " " + std::to_string(section.size) +
                             (section.has_bytes ? "" : " -"));
  }
  return names;
}

TEST(MachONamesTest, CommandsSegmentsSectionsAndUniqueShortNames) {
  const Names names = namesOf(thinFile(true, false).bytes);
  EXPECT_EQ(
      names.labels,
      (std::vector<std::string>{
          "Mach-O header", "load command 0 (LC_SEGMENT_64)", "section header 0 __TEXT,__text",
          "section __TEXT,__text", "section header 1 __TEXT,__cstring", "section __TEXT,__cstring",
          "load command 1 (LC_SEGMENT_64)", "segment __DATA", "section header 2 __DATA,__data",
          "section __DATA,__data", "section header 3 __DATA,__bss", "load command 2 (LC_SYMTAB)"}));
  EXPECT_EQ(names.sections,
            (std::vector<std::string>{"__TEXT,__text 528 16", "__TEXT,__cstring 548 8",
                                      "__DATA,__data 560 8", "__DATA,__bss 0 64 -", "__bss 0 64 -",
                                      "__cstring 548 8", "__data 560 8", "__text 528 16"}));
}

TEST(MachONamesTest, AShortNameInTwoSegmentsSelectsNeither) {
  MachOWriter w;
  w.header(2);
  const std::uint64_t second = w.segment(32, "__A", 400, 8, 1);
  w.segment(second, "__B", 408, 8, 1);
  w.section(32, 0, 400, 4, kSRegular, "__A", "__text");
  w.section(second, 0, 408, 4, kSRegular, "__B", "__text");
  // Names of 16 characters fill their fields with no NUL; an unknown command.
  w.name(32 + 8, "__SIXTEEN_CHARS_");
  w.bytes.resize(416);
  w.command(336, 0x7777, 8);
  w.field(16, 3, 4);
  const Names names = namesOf(w.bytes);
  EXPECT_EQ(names.sections, (std::vector<std::string>{"__A,__text 400 4", "__B,__text 408 4"}));
  EXPECT_EQ(names.labels[2], "segment __SIXTEEN_CHARS_");
  EXPECT_EQ(names.labels.back(), "load command 2 (cmd 30583)");
}

TEST(MachONamesTest, AnUnnamedSegmentHasNoTrailingSpace) {
  for (const std::string name : {"", "__DATA", " "}) {
    SCOPED_TRACE("[" + name + "]");
    MachOWriter w;
    w.header(1);
    w.segment(32, name, 400, 8, 0);
    w.bytes.resize(408);
    const Names names = namesOf(w.bytes);
    ASSERT_GE(names.labels.size(), 3u);
    EXPECT_EQ(names.labels[2], name.empty() ? "segment" : "segment " + name);
  }
}

TEST(MachONamesTest, UniversalHeaderAndSlices) {
  const ThinFixture thin = thinFile(true, false);
  FatWriter w;
  w.header(3);
  w.arch(0, 0x0100000c, 128, thin.bytes.size());
  w.arch(1, 0x01000007, 800, 4);
  w.arch(2, 0x12345, 800, 4);
  w.place(128, thin.bytes);
  const Names names = namesOf(w.bytes);
  ASSERT_GE(names.labels.size(), 5u);
  EXPECT_EQ(
      std::vector<std::string>(names.labels.begin(), names.labels.begin() + 5),
      (std::vector<std::string>{"universal header", "slice 0 (arm64)", "slice 1 (x86_64)",
                                "slice 2 (cputype 74565)", "slice 0 (arm64): Mach-O header"}));
  // A slice's sections lie at their offsets in the whole file.
  EXPECT_EQ(names.sections.front(), "__TEXT,__text 656 16");
}

// Each slice's structures say which slice they are in, and each slice's
// sections answer to their names, alone and after the slice's prefix; the
// same bytes as an earlier slice's are that slice's.
TEST(MachONamesTest, EachSliceNamesItsStructuresAndSections) {
  MachOWriter thin;
  thin.header(1);
  thin.segment(32, "__TEXT", 0, 256, 1);
  thin.section(32, 0, 200, 8, kSRegular, "__TEXT", "__text");
  thin.bytes.resize(256);
  FatWriter w;
  w.header(3);
  w.arch(0, 0x0100000c, 256, 256);
  w.arch(1, 0x01000007, 512, 256);
  w.arch(2, 0x01000007, 512, 256);  // slice 1 again
  w.place(256, thin.bytes);
  w.place(512, thin.bytes);
  const Names names = namesOf(w.bytes);
  EXPECT_EQ(names.labels,
            (std::vector<std::string>{
                "universal header", "slice 0 (arm64)", "slice 1 (x86_64)", "slice 2 (x86_64)",
                "slice 0 (arm64): Mach-O header", "slice 0 (arm64): load command 0 (LC_SEGMENT_64)",
                "slice 0 (arm64): section header 0 __TEXT,__text",
                "slice 0 (arm64): section __TEXT,__text", "slice 1 (x86_64): Mach-O header",
                "slice 1 (x86_64): load command 0 (LC_SEGMENT_64)",
                "slice 1 (x86_64): section header 0 __TEXT,__text",
                "slice 1 (x86_64): section __TEXT,__text"}));
  EXPECT_EQ(names.sections,
            (std::vector<std::string>{"__TEXT,__text 456 8", "__text 456 8",
                                      "slice 0:__TEXT,__text 456 8", "slice 0:__text 456 8",
                                      "__TEXT,__text 712 8", "__text 712 8",
                                      "slice 1:__TEXT,__text 712 8", "slice 1:__text 712 8"}));
}

}  // namespace
}  // namespace lumo
