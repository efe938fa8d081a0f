#pragma once

#include <cstddef>
#include <cstdint>

#include "core/byte_span.h"

namespace lumo {

enum class ByteOrder : std::uint8_t { Little, Big };

/// Where an unsigned field sits inside a record: its offset and its width in
/// bytes (1, 2, 4 or 8).
struct FieldAt {
  std::size_t offset = 0;
  std::size_t width = 0;
};

/// Decodes the unsigned field at `field` of `record` in the given byte order,
/// widened to 64 bits. The bytes are copied out, never read in place. A field
/// that does not lie wholly inside the record, or has a width other than 1, 2,
/// 4 or 8, decodes as 0: record layouts are fixed, so that is a programming
/// error, and it still never reads out of range.
std::uint64_t loadUnsigned(ByteSpan record, FieldAt field, ByteOrder order);

/// Shorthands for the little-endian records of PE.
inline std::uint16_t loadLe16(ByteSpan record, std::size_t offset) {
  return static_cast<std::uint16_t>(loadUnsigned(record, {offset, 2}, ByteOrder::Little));
}
inline std::uint32_t loadLe32(ByteSpan record, std::size_t offset) {
  return static_cast<std::uint32_t>(loadUnsigned(record, {offset, 4}, ByteOrder::Little));
}

}  // namespace lumo
