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

namespace byte_order_detail {

template <std::size_t kWidth>
std::uint64_t load(const std::uint8_t* bytes, ByteOrder order) {
  std::uint64_t value = 0;
  if (order == ByteOrder::Little) {
    for (std::size_t k = 0; k < kWidth; ++k) value |= std::uint64_t{bytes[k]} << (8 * k);
  } else {
    for (std::size_t k = 0; k < kWidth; ++k) value = (value << 8) | bytes[k];
  }
  return value;
}

}  // namespace byte_order_detail

/// Decodes the unsigned field at `field` of `record` in the given byte order,
/// widened to 64 bits. The bytes are copied out, never read in place. A field
/// that does not lie wholly inside the record, or has a width other than 1, 2,
/// 4 or 8, decodes as 0: record layouts are fixed, so that is a programming
/// error, and it still never reads out of range.
///
/// Inline, as the compiler turns each width's loop into one load (and a byte
/// swap): parsers load every field of every table entry through here.
inline std::uint64_t loadUnsigned(ByteSpan record, FieldAt field, ByteOrder order) {
  if (field.offset > record.size() || field.width > record.size() - field.offset) return 0;
  const std::uint8_t* bytes = record.data() + field.offset;
  switch (field.width) {
    case 1: return bytes[0];
    case 2: return byte_order_detail::load<2>(bytes, order);
    case 4: return byte_order_detail::load<4>(bytes, order);
    case 8: return byte_order_detail::load<8>(bytes, order);
    default: return 0;
  }
}

/// Shorthands for the little-endian records of PE.
inline std::uint16_t loadLe16(ByteSpan record, std::size_t offset) {
  return static_cast<std::uint16_t>(loadUnsigned(record, {offset, 2}, ByteOrder::Little));
}
inline std::uint32_t loadLe32(ByteSpan record, std::size_t offset) {
  return static_cast<std::uint32_t>(loadUnsigned(record, {offset, 4}, ByteOrder::Little));
}

}  // namespace lumo
