#include "parsers/macho_layout.h"

namespace lumo {
namespace {

constexpr std::uint32_t kMhMagic = 0xfeedface;
constexpr std::uint32_t kMhMagic64 = 0xfeedfacf;
constexpr std::uint32_t kMhCigam = 0xcefaedfe;
constexpr std::uint32_t kMhCigam64 = 0xcffaedfe;
constexpr std::uint32_t kFatMagic = 0xcafebabe;
constexpr std::uint32_t kFatMagic64 = 0xcafebabf;

constexpr std::uint64_t kHeaderSize32 = 28;
constexpr std::uint64_t kHeaderSize64 = 32;

constexpr FatKind kFat32 = {.arch_size = 20, .offset = {8, 4}, .size = {12, 4}};
constexpr FatKind kFat64 = {.arch_size = 32, .offset = {8, 8}, .size = {16, 8}};

constexpr SegmentLayout kSegment32 = {.command_size = 56,
                                      .section_size = 68,
                                      .fileoff = {32, 4},
                                      .filesize = {36, 4},
                                      .nsects = {48, 4},
                                      .section_offset = {40, 4},
                                      .section_size_field = {36, 4},
                                      .section_flags = {56, 4}};
constexpr SegmentLayout kSegment64 = {.command_size = 72,
                                      .section_size = 80,
                                      .fileoff = {40, 8},
                                      .filesize = {48, 8},
                                      .nsects = {64, 4},
                                      .section_offset = {48, 4},
                                      .section_size_field = {40, 8},
                                      .section_flags = {64, 4}};

// The low byte of a section's flags is its type.
constexpr std::uint32_t kSectionTypeMask = 0xff;
constexpr std::uint32_t kSZerofill = 0x1;
constexpr std::uint32_t kSGbZerofill = 0xc;
constexpr std::uint32_t kSThreadLocalZerofill = 0x12;

constexpr std::size_t kSegnameInCommand = 8;
constexpr std::size_t kSectnameInSection = 0;
constexpr std::size_t kSegnameInSection = 16;

FixedName nameAt(ByteSpan record, std::size_t offset) {
  FixedName name;
  while (name.size < name.text.size() && offset + name.size < record.size()) {
    const std::uint8_t byte = record[offset + name.size];
    if (byte == 0) break;
    name.text[name.size++] = static_cast<char>(byte);
  }
  return name;
}

std::uint32_t bigEndian32(ByteSpan bytes, std::size_t offset) {
  return static_cast<std::uint32_t>(loadUnsigned(bytes, {offset, 4}, ByteOrder::Big));
}

}  // namespace

std::optional<MachOKind> machOKindOf(ByteSpan magic) {
  if (magic.size() < 4) return std::nullopt;
  switch (bigEndian32(magic, 0)) {
    case kMhMagic: return MachOKind{false, ByteOrder::Big, kHeaderSize32};
    case kMhMagic64: return MachOKind{true, ByteOrder::Big, kHeaderSize64};
    case kMhCigam: return MachOKind{false, ByteOrder::Little, kHeaderSize32};
    case kMhCigam64: return MachOKind{true, ByteOrder::Little, kHeaderSize64};
    default: return std::nullopt;
  }
}

std::optional<FatKind> fatKindOf(ByteSpan header) {
  if (header.size() < kFatHeaderSize) return std::nullopt;
  const std::uint32_t magic = bigEndian32(header, 0);
  const std::uint32_t count = bigEndian32(header, 4);
  if (count == 0 || count > kMaxFatArchs) return std::nullopt;
  if (magic == kFatMagic) return kFat32;
  if (magic == kFatMagic64) return kFat64;
  return std::nullopt;
}

bool looksLikeMachO(ByteSpan start) {
  return machOKindOf(start).has_value() || fatKindOf(start).has_value();
}

std::optional<SegmentLayout> segmentLayoutOf(std::uint32_t cmd) {
  if (cmd == kLcSegment) return kSegment32;
  if (cmd == kLcSegment64) return kSegment64;
  return std::nullopt;
}

MachOSegment decodeSegment(const SegmentLayout& layout, ByteSpan record, ByteOrder order) {
  return {.segname = nameAt(record, kSegnameInCommand),
          .fileoff = loadUnsigned(record, layout.fileoff, order),
          .filesize = loadUnsigned(record, layout.filesize, order),
          .nsects = static_cast<std::uint32_t>(loadUnsigned(record, layout.nsects, order))};
}

MachOSection decodeSection(const SegmentLayout& layout, ByteSpan record, ByteOrder order) {
  const auto type = static_cast<std::uint32_t>(loadUnsigned(record, layout.section_flags, order)) &
                    kSectionTypeMask;
  return {.sectname = nameAt(record, kSectnameInSection),
          .segname = nameAt(record, kSegnameInSection),
          .offset = loadUnsigned(record, layout.section_offset, order),
          .size = loadUnsigned(record, layout.section_size_field, order),
          .zerofill = type == kSZerofill || type == kSGbZerofill || type == kSThreadLocalZerofill};
}

}  // namespace lumo
