#include "parsers/byte_order.h"

#include <array>
#include <cstring>

namespace lumo {

std::uint64_t loadUnsigned(ByteSpan record, FieldAt field, ByteOrder order) {
  constexpr std::size_t kMaxWidth = 8;
  const bool valid_width =
      field.width == 1 || field.width == 2 || field.width == 4 || field.width == kMaxWidth;
  if (!valid_width || field.offset > record.size() || field.width > record.size() - field.offset) {
    return 0;
  }
  std::array<std::uint8_t, kMaxWidth> bytes{};
  std::memcpy(bytes.data(), record.data() + field.offset, field.width);
  std::uint64_t value = 0;
  for (std::size_t k = 0; k < field.width; ++k) {
    // Most significant byte first: the last byte for little-endian.
    const std::size_t index = order == ByteOrder::Little ? field.width - 1 - k : k;
    value = (value << 8) | bytes[index];
  }
  return value;
}

}  // namespace lumo
