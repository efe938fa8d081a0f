#include "parsers/byte_order.h"

#include <cstddef>

namespace lumo {
namespace {

// One loop per width, so that each unrolls: parsers load every field of
// every table entry through here.
template <std::size_t kWidth>
std::uint64_t load(const std::uint8_t* bytes, ByteOrder order) {
  std::uint64_t value = 0;
  for (std::size_t k = 0; k < kWidth; ++k) {
    // Most significant byte first: the last byte for little-endian.
    const std::size_t index = order == ByteOrder::Little ? kWidth - 1 - k : k;
    value = (value << 8) | bytes[index];
  }
  return value;
}

}  // namespace

std::uint64_t loadUnsigned(ByteSpan record, FieldAt field, ByteOrder order) {
  if (field.offset > record.size() || field.width > record.size() - field.offset) return 0;
  const std::uint8_t* bytes = record.data() + field.offset;
  switch (field.width) {
    case 1: return bytes[0];
    case 2: return load<2>(bytes, order);
    case 4: return load<4>(bytes, order);
    case 8: return load<8>(bytes, order);
    default: return 0;
  }
}

}  // namespace lumo
