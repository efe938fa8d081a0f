#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "core/byte_span.h"
#include "parsers/byte_order.h"

namespace lumo {

/// What the magic number of a thin Mach-O file settles: the width of its
/// header and the byte order of every field after it.
struct MachOKind {
  bool is64 = false;
  ByteOrder order = ByteOrder::Little;
  std::uint64_t header_size = 0;
};

/// The kind for the first four bytes of a thin file: feedface or feedfacf in
/// either byte order; nothing for anything else.
std::optional<MachOKind> machOKindOf(ByteSpan magic);

/// What a universal file's magic settles: the size of its fat_arch records
/// and where their fields sit. Universal files are always big-endian.
struct FatKind {
  std::uint64_t arch_size = 0;
  FieldAt offset, size;
};

inline constexpr std::uint64_t kFatHeaderSize = 8;
/// The largest nfat_arch taken as universal: a Java class file, whose
/// magic is the same, has a version of 45 or more there.
inline constexpr std::uint32_t kMaxFatArchs = 30;

/// The kind for a fat header (cafebabe or cafebabf, big-endian) whose
/// nfat_arch lies between 1 and kMaxFatArchs; nothing otherwise.
std::optional<FatKind> fatKindOf(ByteSpan header);

/// True when the input starts as a thin or universal Mach-O file.
bool looksLikeMachO(ByteSpan start);

inline constexpr std::uint64_t kLoadCommandHeadSize = 8;
inline constexpr std::uint32_t kLcSegment = 0x1;
inline constexpr std::uint32_t kLcSegment64 = 0x19;

/// A name field of 16 bytes, up to its first NUL; it need not have one.
struct FixedName {
  std::array<char, 16> text{};
  std::size_t size = 0;
  std::string_view view() const { return {text.data(), size}; }
};

/// A segment command's fields that decide the colors, from LC_SEGMENT or
/// LC_SEGMENT_64 alike.
struct MachOSegment {
  FixedName segname;
  std::uint64_t fileoff = 0;
  std::uint64_t filesize = 0;
  std::uint32_t nsects = 0;
};

/// One section(_64) record's file stretch and whether it has one at all.
struct MachOSection {
  FixedName sectname;
  FixedName segname;
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
  bool zerofill = false;
};

/// Record sizes and field places of one segment command type; the command's
/// type, not the header's width, decides them.
struct SegmentLayout {
  std::uint64_t command_size = 0;
  std::uint64_t section_size = 0;
  FieldAt fileoff, filesize, nsects;
  FieldAt section_offset, section_size_field, section_flags;
};

/// The layout for a load command type, or nothing when it is no segment.
std::optional<SegmentLayout> segmentLayoutOf(std::uint32_t cmd);

MachOSegment decodeSegment(const SegmentLayout& layout, ByteSpan record, ByteOrder order);
MachOSection decodeSection(const SegmentLayout& layout, ByteSpan record, ByteOrder order);

}  // namespace lumo
