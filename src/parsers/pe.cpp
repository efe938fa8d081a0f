#include "parsers/alternating_slot.h"
#include "parsers/byte_order.h"
#include "parsers/input_cursor.h"
#include "parsers/parsers.h"

namespace lumo {
namespace {

constexpr std::uint64_t kDosHeaderSize = 64;
constexpr std::size_t kLfanewOffset = 60;
constexpr std::uint64_t kCoffRecordSize = 24;  // "PE\0\0" and the COFF file header
constexpr std::uint64_t kSignatureSize = 4;
constexpr std::size_t kNumberOfSectionsOffset = 6;
constexpr std::size_t kSizeOfOptionalHeaderOffset = 20;
// A fixed split, the same for PE32 and PE32+: what lies past it shows as _alt.
constexpr std::uint64_t kOptionalHeaderSplit = 216;
constexpr std::uint64_t kSectionHeaderSize = 40;
constexpr std::uint64_t kSectionNameSize = 8;
constexpr std::size_t kSizeOfRawDataOffset = 16;
constexpr std::size_t kPointerToRawDataOffset = 20;

void paintDosHeader(Colormap& colormap) {
  colormap.paintRegion(0, 2, kC1Accent);
  colormap.paintRegion(2, kLfanewOffset - 2, kC1);
  colormap.paintRegion(kLfanewOffset, 4, kC1Accent);
}

void paintOptionalHeader(std::uint64_t start, std::uint16_t size, Colormap& colormap) {
  colormap.paintRegion(start, size, kC3);
  if (size > kOptionalHeaderSplit) {
    colormap.paintRegion(start + kOptionalHeaderSplit, size - kOptionalHeaderSplit, kC3Alt);
  }
}

// Reading comes before painting here: an entry cut short stays unpainted.
void paintSections(InputCursor& cursor, std::uint16_t count, Colormap& colormap) {
  for (std::uint16_t i = 0; i < count; ++i) {
    const std::uint64_t start = cursor.position();
    const Result<ByteSpan> record = cursor.readExact(kSectionHeaderSize);
    if (!record) return;
    colormap.paintRegion(start, kSectionNameSize, alternatingSlot(kC4Accent, i));
    colormap.paintRegion(start + kSectionNameSize, kSectionHeaderSize - kSectionNameSize,
                         alternatingSlot(kC4, i));
    colormap.paintRegion(loadLe32(*record, kPointerToRawDataOffset),
                         loadLe32(*record, kSizeOfRawDataOffset), alternatingSlot(kC4Alt, i));
  }
}

}  // namespace

void colorizePe(const RandomAccess& input, Colormap& colormap) {
  colormap.fill(kNormalAlt);
  InputCursor cursor(input);
  const Result<ByteSpan> dos_header = cursor.readExact(kDosHeaderSize);
  if (!dos_header) return;
  paintDosHeader(colormap);

  // A 32-bit offset: every sum below stays far from wrapping.
  const std::uint64_t lfanew = loadLe32(*dos_header, kLfanewOffset);
  cursor.seek(lfanew);
  colormap.paintRegion(lfanew, kSignatureSize, kC2Accent);
  colormap.paintRegion(lfanew + kSignatureSize, kCoffRecordSize - kSignatureSize, kC2);
  const Result<ByteSpan> coff = cursor.readExact(kCoffRecordSize);
  if (!coff) return;
  const std::uint16_t section_count = loadLe16(*coff, kNumberOfSectionsOffset);
  const std::uint16_t optional_size = loadLe16(*coff, kSizeOfOptionalHeaderOffset);

  if (!cursor.skip(optional_size)) return;
  paintOptionalHeader(lfanew + kCoffRecordSize, optional_size, colormap);
  paintSections(cursor, section_count, colormap);
}

}  // namespace lumo
