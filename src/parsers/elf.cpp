#include <algorithm>
#include <optional>

#include "colormap/alternating_slot.h"
#include "core/checked_add.h"
#include "parsers/elf_layout.h"
#include "parsers/input_cursor.h"
#include "parsers/name_reader.h"
#include "parsers/parsers.h"

namespace lumo {
namespace {

constexpr std::uint32_t kPtPhdr = 6;
constexpr std::uint32_t kShtNull = 0;
constexpr std::uint32_t kShtNobits = 8;
// The 16-bit header values that send the reader to section header 0.
constexpr std::uint64_t kPnXnum = 0xffff;
constexpr std::uint64_t kShnXindex = 0xffff;
// Extended numbering allows 2^32 entries; a walk stops after this many,
// which bounds the time and memory a crafted table costs.
constexpr std::uint64_t kMaxTableEntries = std::uint64_t{1} << 20;

// The segment at offset 0 holds the headers and PT_PHDR is the program
// header table itself; painting either would hide the tables.
bool segmentHasOwnContents(const ElfEntry& entry) {
  return entry.offset != 0 && entry.type != kPtPhdr;
}

bool sectionHasFileContents(const ElfEntry& entry) {
  return entry.offset != 0 && entry.type != kShtNull && entry.type != kShtNobits;
}

std::string_view segmentTypeName(std::uint32_t type) {
  switch (type) {
    case 0: return "NULL";
    case 1: return "LOAD";
    case 2: return "DYNAMIC";
    case 3: return "INTERP";
    case 4: return "NOTE";
    case 5: return "SHLIB";
    case 6: return "PHDR";
    case 7: return "TLS";
    case 0x6474e550: return "GNU_EH_FRAME";
    case 0x6474e551: return "GNU_STACK";
    case 0x6474e552: return "GNU_RELRO";
    case 0x6474e553: return "GNU_PROPERTY";
    default: return {};
  }
}

LabelText& withSegmentType(LabelText& text, std::uint32_t type) {
  const std::string_view name = segmentTypeName(type);
  if (!name.empty()) return text << name;
  return text << "type " << std::uint64_t{type};
}

// The section-header string table, where section names live.
struct StringTable {
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
};

// The name at `at` in the table: up to its terminator, the table's end, the
// input's end or kNameCap bytes, whichever comes first; so a hostile offset
// reads nothing.
std::string_view nameInTable(const RandomAccess& input, const StringTable& table, std::uint32_t at,
                             NameStorage& storage) {
  if (at >= table.size) return {};
  const std::optional<std::uint64_t> start = checkedAdd(table.offset, at);
  if (!start || *start >= input.size()) return {};
  InputCursor cursor(input);
  cursor.seek(*start);
  return readName(cursor, std::min(table.size - at, input.size() - *start), NameEnd::Nul, storage);
}

struct ElfTable {
  std::uint64_t offset = 0;
  std::uint64_t count = 0;
  std::uint64_t entry_size = 0;
  PaletteSlot entry_slot = kNormalAlt;
  PaletteSlot contents_slot = kNormalAlt;
  EntryDecoder decode = nullptr;
  bool sections = false;
};

// What a table walk needs to name what it paints (used only when the
// colormap keeps names).
struct Namer {
  const RandomAccess& input;
  StringTable strings;
};

void paintProgramEntry(Colormap& colormap, const ElfTable& table, std::uint64_t at, std::uint32_t i,
                       const ElfEntry* entry) {
  if (!colormap.keepsNames()) {
    colormap.paintEntry(at, table.entry_size, table.entry_slot, i);
    return;
  }
  LabelText label;
  label << "program header " << std::uint64_t{i};
  if (entry != nullptr) withSegmentType(label << " (", entry->type) << ')';
  colormap.paintEntry(at, table.entry_size, table.entry_slot, i, label.view());
}

void paintSegment(Colormap& colormap, const ElfTable& table, std::uint32_t i,
                  const ElfEntry& entry) {
  const PaletteSlot slot = alternatingSlot(table.contents_slot, i);
  if (!colormap.keepsNames()) {
    colormap.paint(entry.offset, entry.size, slot);
    return;
  }
  LabelText label;
  withSegmentType(label << "segment " << std::uint64_t{i} << " (", entry.type) << ", ";
  label << ((entry.flags & 4) != 0 ? 'r' : '-') << ((entry.flags & 2) != 0 ? 'w' : '-')
        << ((entry.flags & 1) != 0 ? 'x' : '-') << ')';
  colormap.paint(entry.offset, entry.size, slot, label.view());
}

void paintSectionEntry(Colormap& colormap, const ElfTable& table, const Namer& namer,
                       std::uint64_t at, std::uint32_t i, const ElfEntry* entry) {
  if (!colormap.keepsNames()) {
    colormap.paintEntry(at, table.entry_size, table.entry_slot, i);
    return;
  }
  NameStorage storage{};
  LabelText label;
  label << "section header " << std::uint64_t{i};
  if (entry != nullptr) {
    const std::string_view name = nameInTable(namer.input, namer.strings, entry->name, storage);
    if (!name.empty()) label << ' ' << name;
  }
  colormap.paintEntry(at, table.entry_size, table.entry_slot, i, label.view());
}

void paintSection(Colormap& colormap, const ElfTable& table, const Namer& namer, std::uint32_t i,
                  const ElfEntry& entry) {
  const PaletteSlot slot = alternatingSlot(table.contents_slot, i);
  const bool painted = sectionHasFileContents(entry);
  if (!colormap.keepsNames()) {
    if (painted) colormap.paint(entry.offset, entry.size, slot);
    return;
  }
  NameStorage storage{};
  const std::string_view name = nameInTable(namer.input, namer.strings, entry.name, storage);
  if (i != 0 && !name.empty()) {
    colormap.addSection(name, entry.offset, entry.size,
                        entry.type != kShtNobits && entry.type != kShtNull && entry.size > 0);
  }
  if (!painted) return;
  LabelText label;
  label << "section " << std::uint64_t{i};
  if (!name.empty()) label << ' ' << name;
  colormap.paint(entry.offset, entry.size, slot, label.view());
}

// Where a stop at `at` in the table shows: there when it lies in the input,
// else at the table, else at the ELF header that points to the table.
std::uint64_t stopOffset(const ElfTable& table, const Namer& namer, std::uint64_t at) {
  const std::uint64_t size = namer.input.size();
  return at < size ? at : table.offset < size ? table.offset : 0;
}

// Each entry is painted before it is read, so an entry cut short by the end
// of the input still shows. Returns false when an entry could not be read
// whole, which ends the whole parse.
bool paintTable(const ElfTable& table, const Namer& namer, Colormap& colormap) {
  InputCursor cursor(namer.input);
  cursor.seek(table.offset);
  const std::uint64_t count = std::min(table.count, kMaxTableEntries);
  const std::string_view kind = table.sections ? "section header" : "program header";
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint64_t at = cursor.position();
    const Result<ByteSpan> record = cursor.readExact(table.entry_size);
    if (!record) {
      if (at < namer.input.size()) {
        colormap.addStop(at, LabelText()
                                 << "input ends inside " << kind << ' ' << std::uint64_t{i});
      } else if (i == 0) {
        colormap.addStop(0, (LabelText() << kind << " table at ").hex(at) << " lies past the end");
      } else {
        colormap.addStop(stopOffset(table, namer, at), LabelText() << "input ends before " << kind
                                                                   << ' ' << std::uint64_t{i}
                                                                   << " of " << table.count);
      }
      if (table.sections) {
        paintSectionEntry(colormap, table, namer, at, i, nullptr);
      } else {
        paintProgramEntry(colormap, table, at, i, nullptr);
      }
      return false;
    }
    const ElfEntry entry = table.decode(*record);
    if (table.sections) {
      paintSectionEntry(colormap, table, namer, at, i, &entry);
      paintSection(colormap, table, namer, i, entry);
    } else {
      paintProgramEntry(colormap, table, at, i, &entry);
      if (segmentHasOwnContents(entry)) paintSegment(colormap, table, i, entry);
    }
  }
  if (table.count > kMaxTableEntries) {
    colormap.addStop(stopOffset(table, namer, cursor.position()),
                     LabelText() << "after " << kMaxTableEntries << ' ' << kind << 's');
  }
  return true;
}

// The string table's place, from section header e_shstrndx; none when that
// header cannot be read.
StringTable findStrings(const ElfLayout& layout, const ElfHeader& header,
                        const RandomAccess& input) {
  if (header.shstrndx >= std::min(header.shnum, kMaxTableEntries)) return {};
  InputCursor cursor(input);
  // The index is below 2^20 and an entry 64 bytes at most: only the sum can wrap.
  const std::optional<std::uint64_t> at =
      checkedAdd(header.shoff, header.shstrndx * layout.section_entry_size);
  if (!at) return {};
  cursor.seek(*at);
  const Result<ByteSpan> record = cursor.readExact(layout.section_entry_size);
  if (!record) return {};
  const ElfEntry entry = entryDecoders(layout).section(*record);
  return {entry.offset, entry.size};
}

// Extended numbering: a section count of 0, a string-table index of
// SHN_XINDEX or a program-header count of PN_XNUM stand for the values in
// section header 0's sh_size, sh_link and sh_info. Left as read when that
// header cannot be read.
ElfHeader withExtendedNumbering(const ElfLayout& layout, ElfHeader header,
                                const RandomAccess& input) {
  if (header.shoff == 0) return header;
  if (header.shnum != 0 && header.shstrndx != kShnXindex && header.phnum != kPnXnum) {
    return header;
  }
  InputCursor cursor(input);
  cursor.seek(header.shoff);
  const Result<ByteSpan> record = cursor.readExact(layout.section_entry_size);
  if (!record) return header;
  const ElfEntry first = entryDecoders(layout).section(*record);
  if (header.shnum == 0) header.shnum = first.size;
  if (header.shstrndx == kShnXindex) header.shstrndx = first.link;
  if (header.phnum == kPnXnum) header.phnum = first.info;
  return header;
}

}  // namespace

void colorizeElf(const RandomAccess& input, Colormap& colormap) {
  colormap.fill(kNormalAlt);
  std::uint8_t elf_class = 0;
  if (input.readAt(kElfClassOffset, &elf_class, 1) != 1) return;
  const std::optional<ElfLayout> class_layout = elfLayoutForClass(elf_class);
  if (!class_layout) return;

  // The header shows even when the input ends inside it.
  colormap.paint(0, class_layout->header_size, kC1, "ELF header");
  InputCursor cursor(input);
  const Result<ByteSpan> header_record = cursor.readExact(class_layout->header_size);
  if (!header_record) {
    colormap.addStop(0, LabelText() << "input ends inside the ELF header");
    return;
  }

  const ElfLayout layout = withByteOrder(*class_layout, (*header_record)[kElfDataOffset]);
  const ElfHeader header =
      withExtendedNumbering(layout, decodeElfHeader(layout, *header_record), input);
  Namer namer{input, {}};
  if (colormap.keepsNames()) namer.strings = findStrings(layout, header, input);

  const ElfTable program_headers = {.offset = header.phoff,
                                    .count = header.phnum,
                                    .entry_size = layout.program_entry_size,
                                    .entry_slot = kC2,
                                    .contents_slot = kC2Alt,
                                    .decode = entryDecoders(layout).program};
  if (!paintTable(program_headers, namer, colormap)) return;

  const ElfTable section_headers = {.offset = header.shoff,
                                    .count = header.shnum,
                                    .entry_size = layout.section_entry_size,
                                    .entry_slot = kC4,
                                    .contents_slot = kC4Alt,
                                    .decode = entryDecoders(layout).section,
                                    .sections = true};
  paintTable(section_headers, namer, colormap);
}

const Format kElfFormat{
    .name = "elf",
    .description = "32-bit and 64-bit ELF files",
    .prefix = 4,
    .matches = [](ByteSpan start) { return startsWith(start, "\177ELF"); },  // \177 is DEL, 0x7f
    .need = InputNeed::Anywhere,
    .colorize = colorizeElf,
};

}  // namespace lumo
