#include "parsers/alternating_slot.h"
#include "parsers/elf_layout.h"
#include "parsers/input_cursor.h"
#include "parsers/parsers.h"

namespace lumo {
namespace {

constexpr std::uint32_t kPtPhdr = 6;
constexpr std::uint32_t kShtNull = 0;
constexpr std::uint32_t kShtNobits = 8;

// The segment at offset 0 holds the headers and PT_PHDR is the program
// header table itself; painting either would hide the tables.
bool segmentHasOwnContents(const ElfEntry& entry) {
  return entry.offset != 0 && entry.type != kPtPhdr;
}

bool sectionHasFileContents(const ElfEntry& entry) {
  return entry.offset != 0 && entry.type != kShtNull && entry.type != kShtNobits;
}

struct ElfTable {
  std::uint64_t offset = 0;
  std::uint16_t count = 0;
  std::uint64_t entry_size = 0;
  PaletteSlot entry_slot = kNormalAlt;
  PaletteSlot contents_slot = kNormalAlt;
  ElfEntry (*decode)(const ElfLayout&, ByteSpan) = nullptr;
  bool (*paintsContents)(const ElfEntry&) = nullptr;
};

// Each entry is painted before it is read, so an entry cut short by the end
// of the input still shows. Returns false when an entry could not be read
// whole, which ends the whole parse.
bool paintTable(const ElfTable& table, const ElfLayout& layout, const RandomAccess& input,
                Colormap& colormap) {
  InputCursor cursor(input);
  cursor.seek(table.offset);
  for (std::uint16_t i = 0; i < table.count; ++i) {
    colormap.paintRegion(cursor.position(), table.entry_size, alternatingSlot(table.entry_slot, i));
    const Result<ByteSpan> record = cursor.readExact(table.entry_size);
    if (!record) return false;
    const ElfEntry entry = table.decode(layout, *record);
    if (table.paintsContents(entry)) {
      colormap.paintRegion(entry.offset, entry.size, alternatingSlot(table.contents_slot, i));
    }
  }
  return true;
}

}  // namespace

void colorizeElf(const RandomAccess& input, Colormap& colormap) {
  colormap.fill(kNormalAlt);
  std::uint8_t elf_class = 0;
  if (input.readAt(kElfClassOffset, &elf_class, 1) != 1) return;
  const std::optional<ElfLayout> class_layout = elfLayoutForClass(elf_class);
  if (!class_layout) return;

  // The header shows even when the input ends inside it.
  colormap.paintRegion(0, class_layout->header_size, kC1);
  InputCursor cursor(input);
  const Result<ByteSpan> header_record = cursor.readExact(class_layout->header_size);
  if (!header_record) return;

  const ElfLayout layout = withByteOrder(*class_layout, (*header_record)[kElfDataOffset]);
  const ElfHeader header = decodeElfHeader(layout, *header_record);

  const ElfTable program_headers = {.offset = header.phoff,
                                    .count = header.phnum,
                                    .entry_size = layout.program_entry_size,
                                    .entry_slot = kC2,
                                    .contents_slot = kC2Alt,
                                    .decode = decodeProgramEntry,
                                    .paintsContents = segmentHasOwnContents};
  if (!paintTable(program_headers, layout, input, colormap)) return;

  const ElfTable section_headers = {.offset = header.shoff,
                                    .count = header.shnum,
                                    .entry_size = layout.section_entry_size,
                                    .entry_slot = kC4,
                                    .contents_slot = kC4Alt,
                                    .decode = decodeSectionEntry,
                                    .paintsContents = sectionHasFileContents};
  paintTable(section_headers, layout, input, colormap);
}

}  // namespace lumo
