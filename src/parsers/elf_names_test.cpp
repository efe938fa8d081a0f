// Section names from hostile string tables: every read stays inside the
// table and the input, under a length cap, and names go in raw (escaping is
// the printer's job, tested with escapedName).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/printable_name.h"
#include "parsers/parser_test_support.h"
#include "parsers/parsers.h"

namespace lumo {
namespace {

using testing::Bytes;
using testing::put;

constexpr std::uint64_t kShoff = 0x100;
constexpr std::uint32_t kShtProgbits = 1;
constexpr std::uint32_t kShtStrtab = 3;

// A 64-bit little-endian ELF with `names.size() + 1` section headers at
// kShoff: entry 0 is the string table (at `table_offset`, `table_size`
// bytes), entry i + 1 a PROGBITS section of 16 bytes named by offset
// names[i] into that table.
Bytes elfWithNames(const std::string& table, std::uint64_t table_offset, std::uint64_t table_size,
                   const std::vector<std::uint32_t>& names, std::uint16_t shstrndx = 0) {
  Bytes bytes(64);
  bytes[0] = 0x7f, bytes[1] = 'E', bytes[2] = 'L', bytes[3] = 'F', bytes[4] = 2, bytes[5] = 1;
  const auto count = static_cast<std::uint16_t>(names.size() + 1);
  put(bytes, 40, kShoff, 8);
  put(bytes, 60, count, 2);
  put(bytes, 62, shstrndx, 2);
  auto entry = [&](std::uint64_t i, std::uint32_t name, std::uint32_t type, std::uint64_t offset,
                   std::uint64_t size) {
    const std::uint64_t at = kShoff + 64 * i;
    put(bytes, at, name, 4);
    put(bytes, at + 4, type, 4);
    put(bytes, at + 24, offset, 8);
    put(bytes, at + 32, size, 8);
  };
  entry(0, 0, kShtStrtab, table_offset, table_size);
  for (std::size_t i = 0; i < names.size(); ++i) {
    entry(i + 1, names[i], kShtProgbits, 0x40 + 16 * i, 16);
  }
  if (!table.empty()) {
    if (bytes.size() < table_offset + table.size()) bytes.resize(table_offset + table.size());
    std::copy(table.begin(), table.end(), bytes.begin() + static_cast<long>(table_offset));
  }
  return bytes;
}

std::vector<std::string> recordedNames(const Bytes& input) {
  Colormap colormap(true);
  colorizeElf(MemoryAccess(input), colormap);
  std::vector<std::string> names;
  for (const NamedSection& section : colormap.sections()) {
    names.emplace_back(colormap.label(section.name));
  }
  return names;
}

struct NamesCase {
  const char* what;
  Bytes input;
  std::vector<std::string> expected;
};

TEST(ElfNames, HostileStringTablesReadOnlyWhatIsThere) {
  const std::string table =
      std::string("\0.text\0.data\0", 13) + std::string("\x1b]0;owned\x07\0", 11);
  const std::string unterminated = std::string("\0.text\0", 7) + "abcdef";
  const std::vector<NamesCase> cases = {
      {"plain names", elfWithNames(table, 0x400, table.size(), {1, 7, 0}), {".text", ".data"}},
      {"escape bytes go in raw",
       elfWithNames(table, 0x400, table.size(), {13}),
       {"\x1b]0;owned\x07"}},
      // The table ends before the terminator: the name ends with the table.
      {"no terminator",
       elfWithNames(unterminated + "gh", 0x400, unterminated.size(), {7}),
       {"abcdef"}},
      // ... or with the input.
      {"no terminator at the end of the input",
       elfWithNames(unterminated, 0x400, 0x1000, {7}),
       {"abcdef"}},
      {"name offset past the table", elfWithNames(table, 0x400, table.size(), {500}), {}},
      {"name offset wraps", elfWithNames(table, 0x400, 0xffffffffffffffff, {0xffffffff}), {}},
      {"table past the end of the input", elfWithNames("", 0x100000, 64, {1}), {}},
      {"table offset wraps", elfWithNames("", 0xfffffffffffffff0, 0x100, {0x20}), {}},
      {"no string table", elfWithNames(table, 0x400, table.size(), {1}, 9), {}},
      {"capped at 128 bytes",
       elfWithNames(std::string(1, '\0') + std::string(300, 'n'), 0x400, 301, {1}),
       {std::string(128, 'n')}},
  };
  for (const NamesCase& c : cases) {
    EXPECT_EQ(recordedNames(c.input), c.expected) << c.what;
  }
}

TEST(ElfNames, LabelsNameSectionsAndKeepColors) {
  const std::string table = std::string("\0.text\0", 7);
  const Bytes input = elfWithNames(table, 0x400, table.size(), {1});
  // Keeping names must not change a color (colorize compares both).
  testing::colorize(colorizeElf, input);
  Colormap colormap(true);
  colorizeElf(MemoryAccess(input), colormap);
  std::vector<std::string> labels;
  for (const Paint& paint : colormap.paints()) labels.emplace_back(colormap.label(paint.label));
  EXPECT_EQ(labels, (std::vector<std::string>{"", "ELF header", "section header 0", "section 0",
                                              "section header 1 .text", "section 1 .text"}));
}

TEST(ElfNames, ManyEntriesNamingOneLongUnterminatedNameStayCheap) {
  // 65534 sections all named by a name that runs to the end of a large
  // table: each read stops at the cap, so the work is linear in the entries.
  const std::string table = std::string(1, '\0') + std::string(1 << 20, 'x');
  const Bytes input =
      elfWithNames(table, 0x100 + 64 * 65535, table.size(), std::vector<std::uint32_t>(65534, 1));
  Colormap colormap(true);
  colorizeElf(MemoryAccess(input), colormap);
  ASSERT_EQ(colormap.sections().size(), 65534u);
  EXPECT_EQ(colormap.label(colormap.sections().back().name), std::string(128, 'x'));
}

TEST(EscapedName, EscapesEveryByteOutsidePrintableAscii) {
  EXPECT_EQ(escapedName(".text"), ".text");
  EXPECT_EQ(escapedName("a\x1b[2Jb"), "a\\x1b[2Jb");
  EXPECT_EQ(escapedName(std::string("\0\n\x7f\x80\xff", 5)), "\\x00\\x0a\\x7f\\x80\\xff");
  EXPECT_EQ(escapedName("caf\xc3\xa9"), "caf\\xc3\\xa9");
  EXPECT_EQ(escapedName("a\\b ~"), "a\\b ~");
}

// Extended numbering: the 16-bit header fields e_shnum 0, e_shstrndx
// SHN_XINDEX and e_phnum PN_XNUM send the reader to section header 0's
// sh_size, sh_link and sh_info.
struct XnumCase {
  const char* what;
  std::uint16_t shnum;     // e_shnum as written
  std::uint16_t shstrndx;  // e_shstrndx as written
  std::uint16_t phnum;     // e_phnum as written
  std::uint64_t size0;     // section 0's sh_size
  std::uint32_t link0;     // section 0's sh_link
  std::uint32_t info0;     // section 0's sh_info
  std::vector<std::string> sections;
  std::size_t programHeaders;
};

// Sections 1 .a and 2 .shstrtab after section 0; one LOAD program header.
Bytes elfWithXnum(const XnumCase& c) {
  constexpr std::uint64_t kPhoff = 0x40;
  constexpr std::uint64_t kStrings = 0x300;
  const std::string strings("\0.a\0.shstrtab\0", 14);
  Bytes bytes(kStrings + strings.size());
  bytes[0] = 0x7f, bytes[1] = 'E', bytes[2] = 'L', bytes[3] = 'F', bytes[4] = 2, bytes[5] = 1;
  put(bytes, 32, kPhoff, 8);
  put(bytes, 40, kShoff, 8);
  put(bytes, 56, c.phnum, 2);
  put(bytes, 60, c.shnum, 2);
  put(bytes, 62, c.shstrndx, 2);
  put(bytes, kPhoff, 1, 4);         // PT_LOAD
  put(bytes, kPhoff + 8, 0x78, 8);  // p_offset
  put(bytes, kPhoff + 32, 8, 8);    // p_filesz
  auto entry = [&](std::uint64_t i, std::uint32_t name, std::uint32_t type, std::uint64_t offset,
                   std::uint64_t size) {
    const std::uint64_t at = kShoff + 64 * i;
    put(bytes, at, name, 4);
    put(bytes, at + 4, type, 4);
    put(bytes, at + 24, offset, 8);
    put(bytes, at + 32, size, 8);
  };
  entry(0, 0, 0, 0, c.size0);
  put(bytes, kShoff + 40, c.link0, 4);
  put(bytes, kShoff + 44, c.info0, 4);
  entry(1, 1, kShtProgbits, 0x80, 16);
  entry(2, 4, kShtStrtab, kStrings, strings.size());
  std::copy(strings.begin(), strings.end(), bytes.begin() + static_cast<long>(kStrings));
  return bytes;
}

TEST(ElfNames, ExtendedNumberingFromSectionZero) {
  const std::vector<std::string> both = {".a", ".shstrtab"};
  const std::vector<XnumCase> cases = {
      {"ordinary header", 3, 2, 1, 0, 0, 0, both, 1},
      {"count in sh_size", 0, 2, 1, 3, 0, 0, both, 1},
      {"index in sh_link", 3, 0xffff, 1, 0, 2, 0, both, 1},
      {"program header count in sh_info", 3, 2, 0xffff, 0, 0, 1, both, 1},
      {"all three", 0, 0xffff, 0xffff, 3, 2, 1, both, 1},
      // Without the escapes, section 0's fields mean nothing.
      {"fields ignored without the escapes", 3, 2, 1, 99, 1, 5, both, 1},
      // A count of 0 in sh_size too: no sections at all.
      {"no sections", 0, 2, 1, 0, 0, 0, {}, 1},
      // An index past the count names nothing, as for a 16-bit one.
      {"index past the count", 3, 0xffff, 1, 0, 7, 0, {}, 1},
      // A huge count stops at the input's end, after the entries there are.
      {"count past the input", 0, 2, 1, std::uint64_t{1} << 40, 0, 0, both, 1},
  };
  for (const XnumCase& c : cases) {
    SCOPED_TRACE(c.what);
    const Bytes input = elfWithXnum(c);
    EXPECT_EQ(recordedNames(input), c.sections);
    Colormap colormap(true);
    colorizeElf(MemoryAccess(input), colormap);
    std::size_t programHeaders = 0;
    for (const Paint& paint : colormap.paints()) {
      if (colormap.label(paint.label).starts_with("program header ")) ++programHeaders;
    }
    EXPECT_EQ(programHeaders, c.programHeaders);
  }
}

}  // namespace
}  // namespace lumo
