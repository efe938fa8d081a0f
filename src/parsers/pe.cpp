#include <array>
#include <optional>
#include <string>

#include "colormap/alternating_slot.h"
#include "colormap/painter.h"
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

void paintDosHeader(const Painter& painter) {
  painter.paint(0, 2, kC1Accent, titled("DOS header e_magic"));
  painter.paint(2, kLfanewOffset - 2, kC1, titled("DOS header"));
  painter.paint(kLfanewOffset, 4, kC1Accent, titled("DOS header e_lfanew"));
}

void paintOptionalHeader(std::uint64_t start, std::uint16_t size, const Painter& painter) {
  painter.paint(start, size, kC3, titled("PE optional header"));
  if (size > kOptionalHeaderSplit) {
    // The part is numbered by the byte it starts at.
    painter.paint(start + kOptionalHeaderSplit, size - kOptionalHeaderSplit, kC3Alt,
                  [](Label& label) {
                    label.kind = "PE optional header from byte";
                    label.index = kOptionalHeaderSplit;
                  });
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

// A section's name, read on first use: the field, or the long name that
// "/N" in it stands for.
class SectionName {
 public:
  SectionName(const NameSource& names, ByteSpan record) : names_(names), record_(record) {}
  std::string_view get() {
    if (!read_) {
      read_ = true;
      field_ = sectionName(record_);
      if (names_.string_table) {
        long_name_ = longSectionName(names_.input, *names_.string_table, field_);
      }
    }
    return long_name_ ? std::string_view(*long_name_) : field_;
  }

 private:
  const NameSource& names_;
  ByteSpan record_;
  bool read_ = false;
  std::string_view field_;
  std::optional<std::string> long_name_;
};

void paintSection(std::uint64_t start, std::uint16_t i, ByteSpan record, const NameSource& names,
                  const Painter& painter) {
  const std::uint64_t offset = loadLe32(record, kPointerToRawDataOffset);
  const std::uint64_t size = loadLe32(record, kSizeOfRawDataOffset);
  SectionName name(names, record);
  painter.paintEntry(
      start, kSectionHeaderSize, kC4, i,
      [&](Label& label) {
        label.kind = "section header";
        label.index = i;
        label.name = name.get();
        label.form = NameForm::Spaced;
      },
      {.size = kSectionNameSize, .base = kC4Accent},
      [&](Label& label) {
        label.kind = "section header";
        label.index = i;
        label.part = "name";
      });
  painter.paintSelectable(offset, size, alternatingSlot(kC4Alt, i), [&](Label& label) {
    label.kind = "PE section";
    label.name = name.get();
    label.form = NameForm::Spaced;
    label.select = label.name;
  });
}

// Reading comes before painting here: an entry cut short stays unpainted.
void paintSections(InputCursor& cursor, std::uint16_t count, const NameSource& names,
                   const Painter& painter) {
  const std::uint64_t table = cursor.position();
  for (std::uint16_t i = 0; i < count; ++i) {
    const std::uint64_t start = cursor.position();
    const Result<ByteSpan> record = cursor.readExact(kSectionHeaderSize);
    if (!record) {
      // Past the end, the stop shows at the table.
      if (start < names.input.size()) {
        painter.stop(start, LabelText() << "input ends inside section header " << std::uint64_t{i});
      } else {
        painter.stop(table, LabelText() << "input ends before section header " << std::uint64_t{i}
                                        << " of " << std::uint64_t{count});
      }
      return;
    }
    paintSection(start, i, *record, names, painter);
  }
}

}  // namespace

void colorizePe(const RandomAccess& input, Colormap& colormap) {
  const Painter painter(colormap);
  painter.fill(kNormalAlt);
  InputCursor cursor(input);
  const Result<ByteSpan> dos_header = cursor.readExact(kDosHeaderSize);
  if (!dos_header) {
    painter.stop(0, LabelText() << "input ends inside the DOS header");
    return;
  }
  paintDosHeader(painter);

  // A 32-bit offset: every sum below stays far from wrapping.
  const std::uint64_t lfanew = loadLe32(*dos_header, kLfanewOffset);
  cursor.seek(lfanew);
  painter.paint(lfanew, kSignatureSize, kC2Accent, titled("PE signature"));
  painter.paint(lfanew + kSignatureSize, kCoffRecordSize - kSignatureSize, kC2,
                titled("COFF file header"));
  const Result<ByteSpan> coff = cursor.readExact(kCoffRecordSize);
  if (!coff) {
    painter.stop(lfanew < input.size() ? lfanew : kLfanewOffset,
                 lfanew < input.size()
                     ? LabelText() << "input ends inside the PE header"
                     : (LabelText() << "e_lfanew ").hex(lfanew) << " points past the end");
    return;
  }
  const std::uint16_t section_count = loadLe16(*coff, kNumberOfSectionsOffset);
  const std::uint16_t optional_size = loadLe16(*coff, kSizeOfOptionalHeaderOffset);

  if (!cursor.skip(optional_size)) {
    painter.stop(lfanew + kSignatureSize, LabelText() << "optional header claims "
                                                      << std::uint64_t{optional_size}
                                                      << " bytes, past the end");
    return;
  }
  paintOptionalHeader(lfanew + kCoffRecordSize, optional_size, painter);
  const NameSource names{.input = input,
                         .string_table = coffStringTableAt(coff->subspan(kSignatureSize))};
  paintSections(cursor, section_count, names, painter);
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
