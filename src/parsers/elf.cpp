#include <algorithm>
#include <optional>

#include "colormap/alternating_slot.h"
#include "colormap/painter.h"
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

// The segment type's name, or "type N" built in `room`.
std::string_view segmentType(std::uint32_t type, LabelText& room) {
  const std::string_view name = segmentTypeName(type);
  if (!name.empty()) return name;
  return (room << "type " << std::uint64_t{type}).view();
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

// What a table walk needs to name what it paints. The string table is
// found on the first name asked for, so a run without names reads nothing
// for them.
class Namer {
 public:
  Namer(const RandomAccess& input, const ElfLayout& layout, const ElfHeader& header)
      : input_(input), layout_(layout), header_(header) {}
  std::string_view name(std::uint32_t at, NameStorage& storage);
  const RandomAccess& input() const { return input_; }

 private:
  const RandomAccess& input_;
  const ElfLayout& layout_;
  const ElfHeader& header_;
  std::optional<StringTable> strings_;
};

void paintProgramEntry(const Painter& painter, const ElfTable& table, std::uint64_t at,
                       std::uint32_t i, const ElfEntry* entry) {
  painter.paintEntry(at, table.entry_size, table.entry_slot, i, [&](Label& label) {
    label.kind = "program header";
    label.index = i;
    if (entry != nullptr) label.detail = segmentType(entry->type, label.scratch[0]);
  });
}

void paintSegment(const Painter& painter, const ElfTable& table, std::uint32_t i,
                  const ElfEntry& entry) {
  painter.paint(
      entry.offset, entry.size, alternatingSlot(table.contents_slot, i), [&](Label& label) {
        label.kind = "segment";
        label.index = i;
        LabelText& detail = label.scratch[0];
        detail << segmentType(entry.type, label.scratch[1]) << ", ";
        detail << ((entry.flags & 4) != 0 ? 'r' : '-') << ((entry.flags & 2) != 0 ? 'w' : '-')
               << ((entry.flags & 1) != 0 ? 'x' : '-');
        label.detail = detail.view();
      });
}

void paintSectionEntry(const Painter& painter, const ElfTable& table, Namer& namer,
                       std::uint64_t at, std::uint32_t i, const ElfEntry* entry) {
  painter.paintEntry(at, table.entry_size, table.entry_slot, i, [&](Label& label) {
    label.kind = "section header";
    label.index = i;
    if (entry != nullptr) label.name = namer.name(entry->name, label.storage);
  });
}

// Section 0 and sections without a name are no choice for --section.
void paintSection(const Painter& painter, const ElfTable& table, Namer& namer, std::uint32_t i,
                  const ElfEntry& entry) {
  const auto describe = [&](Label& label) {
    label.kind = "section";
    label.index = i;
    label.name = namer.name(entry.name, label.storage);
    if (i != 0) label.select = label.name;
  };
  if (sectionHasFileContents(entry)) {
    painter.paintSelectable(entry.offset, entry.size, alternatingSlot(table.contents_slot, i),
                            describe);
  } else {
    painter.mark(entry.offset, entry.size,
                 entry.type != kShtNobits && entry.type != kShtNull && entry.size > 0, describe);
  }
}

// Where a stop at `at` in the table shows: there when it lies in the input,
// else at the table, else at the ELF header that points to the table.
std::uint64_t stopOffset(const ElfTable& table, const Namer& namer, std::uint64_t at) {
  const std::uint64_t size = namer.input().size();
  return at < size ? at : table.offset < size ? table.offset : 0;
}

// Each entry is painted before it is read, so an entry cut short by the end
// of the input still shows. Returns false when an entry could not be read
// whole, which ends the whole parse.
bool paintTable(const ElfTable& table, const RandomAccess& input, Namer& namer,
                const Painter& painter) {
  InputCursor cursor(input);
  cursor.seek(table.offset);
  const std::uint64_t count = std::min(table.count, kMaxTableEntries);
  const std::string_view kind = table.sections ? "section header" : "program header";
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint64_t at = cursor.position();
    const Result<ByteSpan> record = cursor.readExact(table.entry_size);
    if (!record) {
      if (at < namer.input().size()) {
        painter.stop(at, LabelText() << "input ends inside " << kind << ' ' << std::uint64_t{i});
      } else if (i == 0) {
        painter.stop(0, (LabelText() << kind << " table at ").hex(at) << " lies past the end");
      } else {
        painter.stop(stopOffset(table, namer, at), LabelText() << "input ends before " << kind
                                                               << ' ' << std::uint64_t{i} << " of "
                                                               << table.count);
      }
      if (table.sections) {
        paintSectionEntry(painter, table, namer, at, i, nullptr);
      } else {
        paintProgramEntry(painter, table, at, i, nullptr);
      }
      return false;
    }
    const ElfEntry entry = table.decode(*record);
    if (table.sections) {
      paintSectionEntry(painter, table, namer, at, i, &entry);
      paintSection(painter, table, namer, i, entry);
    } else {
      paintProgramEntry(painter, table, at, i, &entry);
      if (segmentHasOwnContents(entry)) paintSegment(painter, table, i, entry);
    }
  }
  if (table.count > kMaxTableEntries) {
    painter.stop(stopOffset(table, namer, cursor.position()),
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

std::string_view Namer::name(std::uint32_t at, NameStorage& storage) {
  if (!strings_) strings_ = findStrings(layout_, header_, input_);
  return nameInTable(input_, *strings_, at, storage);
}

}  // namespace

void colorizeElf(const RandomAccess& input, Colormap& colormap) {
  const Painter painter(colormap);
  painter.fill(kNormalAlt);
  std::uint8_t elf_class = 0;
  if (input.readAt(kElfClassOffset, &elf_class, 1) != 1) return;
  const std::optional<ElfLayout> class_layout = elfLayoutForClass(elf_class);
  if (!class_layout) return;

  // The header shows even when the input ends inside it.
  painter.paint(0, class_layout->header_size, kC1, titled("ELF header"));
  InputCursor cursor(input);
  const Result<ByteSpan> header_record = cursor.readExact(class_layout->header_size);
  if (!header_record) {
    painter.stop(0, LabelText() << "input ends inside the ELF header");
    return;
  }

  const ElfLayout layout = withByteOrder(*class_layout, (*header_record)[kElfDataOffset]);
  const ElfHeader header =
      withExtendedNumbering(layout, decodeElfHeader(layout, *header_record), input);
  Namer namer(input, layout, header);

  const ElfTable program_headers = {.offset = header.phoff,
                                    .count = header.phnum,
                                    .entry_size = layout.program_entry_size,
                                    .entry_slot = kC2,
                                    .contents_slot = kC2Alt,
                                    .decode = entryDecoders(layout).program};
  if (!paintTable(program_headers, input, namer, painter)) return;

  const ElfTable section_headers = {.offset = header.shoff,
                                    .count = header.shnum,
                                    .entry_size = layout.section_entry_size,
                                    .entry_slot = kC4,
                                    .contents_slot = kC4Alt,
                                    .decode = entryDecoders(layout).section,
                                    .sections = true};
  paintTable(section_headers, input, namer, painter);
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
