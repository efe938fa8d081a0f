#include <array>
#include <optional>
#include <string>

#include "colormap/alternating_slot.h"
#include "parsers/byte_order.h"
#include "parsers/input_cursor.h"
#include "parsers/parsers.h"
#include "parsers/pe_long_name.h"

namespace lumo {
namespace {

constexpr std::uint64_t kDosHeaderSize = 64;
constexpr std::size_t kLfanewOffset = 60;
constexpr std::uint64_t kCoffRecordSize = 24;  // "PE\0\0" and the COFF file header
constexpr std::uint64_t kSignatureSize = 4;
constexpr std::size_t kNumberOfSectionsOffset = 6;
constexpr std::size_t kSizeOfOptionalHeaderOffset = 20;
// A fixed split, the same for PE32 and PE32+: what lies past it shows as _alt.
// It is no field boundary: the data directories start at byte 96 (PE32) or
// 112 (PE32+), so the part past it is named by its place alone.
constexpr std::uint64_t kOptionalHeaderSplit = 216;
constexpr std::uint64_t kSectionHeaderSize = 40;
constexpr std::uint8_t kSectionNameSize = 8;
constexpr std::size_t kSizeOfRawDataOffset = 16;
constexpr std::size_t kPointerToRawDataOffset = 20;

void paintDosHeader(Colormap& colormap) {
  colormap.paint(0, 2, kC1Accent, "DOS header e_magic");
  colormap.paint(2, kLfanewOffset - 2, kC1, "DOS header");
  colormap.paint(kLfanewOffset, 4, kC1Accent, "DOS header e_lfanew");
}

void paintOptionalHeader(std::uint64_t start, std::uint16_t size, Colormap& colormap) {
  colormap.paint(start, size, kC3, "PE optional header");
  if (size > kOptionalHeaderSplit) {
    colormap.paint(start + kOptionalHeaderSplit, size - kOptionalHeaderSplit, kC3Alt,
                   "PE optional header from byte 216");
  }
}

// The name field up to its first NUL.
std::string_view sectionName(ByteSpan record) {
  std::size_t length = 0;
  while (length < kSectionNameSize && record[length] != 0) ++length;
  return {reinterpret_cast<const char*>(record.data()), length};
}

// What the names of the section table need: the input, and where the COFF
// string table that holds the long ones starts, if there is one.
struct NameSource {
  const RandomAccess& input;
  std::optional<std::uint64_t> string_table;
};

void paintSection(std::uint64_t start, std::uint16_t i, ByteSpan record, const NameSource& names,
                  Colormap& colormap) {
  const std::uint64_t offset = loadLe32(record, kPointerToRawDataOffset);
  const std::uint64_t size = loadLe32(record, kSizeOfRawDataOffset);
  if (!colormap.keepsNames()) {
    colormap.paintEntry(start, kSectionHeaderSize, kC4, i, {},
                        {.size = kSectionNameSize, .base = kC4Accent});
    colormap.paint(offset, size, alternatingSlot(kC4Alt, i));
    return;
  }
  // A name longer than the field is "/N", N its offset in the string table.
  std::optional<std::string> long_name;
  const std::string_view field = sectionName(record);
  if (names.string_table) long_name = longSectionName(names.input, *names.string_table, field);
  const std::string_view name = long_name ? std::string_view(*long_name) : field;
  const auto number = std::uint64_t{i};
  LabelText head;
  head << "section header " << number << " name";
  colormap.paintEntry(start, kSectionHeaderSize, kC4, i,
                      (LabelText() << "section header " << number << ' ' << name).view(),
                      {.size = kSectionNameSize, .base = kC4Accent, .label = head.view()});
  colormap.paint(offset, size, alternatingSlot(kC4Alt, i),
                 (LabelText() << "PE section " << name).view());
  if (!name.empty()) colormap.addSection(name, offset, size, size > 0);
}

// Reading comes before painting here: an entry cut short stays unpainted.
void paintSections(InputCursor& cursor, std::uint16_t count, const NameSource& names,
                   Colormap& colormap) {
  const std::uint64_t table = cursor.position();
  for (std::uint16_t i = 0; i < count; ++i) {
    const std::uint64_t start = cursor.position();
    const Result<ByteSpan> record = cursor.readExact(kSectionHeaderSize);
    if (!record) {
      // Past the end, the stop shows at the table.
      if (start < names.input.size()) {
        colormap.addStop(start, LabelText()
                                    << "input ends inside section header " << std::uint64_t{i});
      } else {
        colormap.addStop(table, LabelText() << "input ends before section header "
                                            << std::uint64_t{i} << " of " << std::uint64_t{count});
      }
      return;
    }
    paintSection(start, i, *record, names, colormap);
  }
}

}  // namespace

void colorizePe(const RandomAccess& input, Colormap& colormap) {
  colormap.fill(kNormalAlt);
  InputCursor cursor(input);
  const Result<ByteSpan> dos_header = cursor.readExact(kDosHeaderSize);
  if (!dos_header) {
    colormap.addStop(0, LabelText() << "input ends inside the DOS header");
    return;
  }
  paintDosHeader(colormap);

  // A 32-bit offset: every sum below stays far from wrapping.
  const std::uint64_t lfanew = loadLe32(*dos_header, kLfanewOffset);
  cursor.seek(lfanew);
  colormap.paint(lfanew, kSignatureSize, kC2Accent, "PE signature");
  colormap.paint(lfanew + kSignatureSize, kCoffRecordSize - kSignatureSize, kC2,
                 "COFF file header");
  const Result<ByteSpan> coff = cursor.readExact(kCoffRecordSize);
  if (!coff) {
    colormap.addStop(lfanew < input.size() ? lfanew : kLfanewOffset,
                     lfanew < input.size()
                         ? LabelText() << "input ends inside the PE header"
                         : (LabelText() << "e_lfanew ").hex(lfanew) << " points past the end");
    return;
  }
  const std::uint16_t section_count = loadLe16(*coff, kNumberOfSectionsOffset);
  const std::uint16_t optional_size = loadLe16(*coff, kSizeOfOptionalHeaderOffset);

  if (!cursor.skip(optional_size)) {
    colormap.addStop(lfanew + kSignatureSize, LabelText() << "optional header claims "
                                                          << std::uint64_t{optional_size}
                                                          << " bytes, past the end");
    return;
  }
  paintOptionalHeader(lfanew + kCoffRecordSize, optional_size, colormap);
  const NameSource names{.input = input,
                         .string_table = coffStringTableAt(coff->subspan(kSignatureSize))};
  paintSections(cursor, section_count, names, colormap);
}

const Format kPeFormat{
    .name = "pe",
    .description = "PE (portable executable) files",
    .prefix = 2,
    .matches = [](ByteSpan start) { return startsWith(start, "MZ"); },
    .need = InputNeed::Anywhere,
    .colorize = colorizePe,
};

}  // namespace lumo
