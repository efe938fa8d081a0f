#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

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

template <typename Unsigned>
Unsigned byteSwap(Unsigned value) {
#if defined(__GNUC__) || defined(__clang__)
  if constexpr (sizeof(Unsigned) == 2) return __builtin_bswap16(value);
  if constexpr (sizeof(Unsigned) == 4) return __builtin_bswap32(value);
  if constexpr (sizeof(Unsigned) == 8) return __builtin_bswap64(value);
#else
  Unsigned swapped = 0;
  for (std::size_t k = 0; k < sizeof(Unsigned); ++k) {
    swapped = static_cast<Unsigned>((swapped << 8) | (value & 0xff));
    value = static_cast<Unsigned>(value >> 8);
  }
  return swapped;
#endif
}

// The bytes are copied into a value of the field's width, then swapped
// when the input's order is not the machine's.
template <typename Unsigned>
std::uint64_t load(const std::uint8_t* bytes, ByteOrder order) {
  Unsigned value;
  std::memcpy(&value, bytes, sizeof value);
  const ByteOrder native =
      std::endian::native == std::endian::big ? ByteOrder::Big : ByteOrder::Little;
  return order == native ? value : byteSwap(value);
}

}  // namespace byte_order_detail

/// Decodes the unsigned field at `field` of `record` in the given byte order,
/// widened to 64 bits. The bytes are copied out, never read in place. A field
/// that does not lie wholly inside the record, or has a width other than 1, 2,
/// 4 or 8, decodes as 0: record layouts are fixed, so that is a programming
/// error, and it still never reads out of range.
///
/// Inline, and one load (and a byte swap) per field: parsers load every field
/// of every table entry through here.
inline std::uint64_t loadUnsigned(ByteSpan record, FieldAt field, ByteOrder order) {
  if (field.offset > record.size() || field.width > record.size() - field.offset) return 0;
  const std::uint8_t* bytes = record.data() + field.offset;
  switch (field.width) {
    case 1: return bytes[0];
    case 2: return byte_order_detail::load<std::uint16_t>(bytes, order);
    case 4: return byte_order_detail::load<std::uint32_t>(bytes, order);
    case 8: return byte_order_detail::load<std::uint64_t>(bytes, order);
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
