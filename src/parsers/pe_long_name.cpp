#include "parsers/pe_long_name.h"

#include <algorithm>

#include "parsers/byte_order.h"
#include "parsers/input_cursor.h"

namespace lumo {
namespace {

constexpr std::size_t kPointerToSymbolTableOffset = 8;
constexpr std::size_t kNumberOfSymbolsOffset = 12;
constexpr std::size_t kCoffHeaderSize = 20;
constexpr std::uint64_t kSymbolSize = 18;
constexpr std::uint64_t kTableSizeField = 4;  // the table's size, counting itself
constexpr std::size_t kMaxDigits = 7;         // what fits in the 8-byte field after '/'

// N of "/N", digits only.
std::optional<std::uint64_t> offsetIn(std::string_view field) {
  if (field.size() < 2 || field.size() > 1 + kMaxDigits || field[0] != '/') return std::nullopt;
  std::uint64_t offset = 0;
  for (const char c : field.substr(1)) {
    if (c < '0' || c > '9') return std::nullopt;
    offset = offset * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return offset;
}

}  // namespace

std::optional<std::uint64_t> coffStringTableAt(ByteSpan coff) {
  if (coff.size() < kCoffHeaderSize) return std::nullopt;
  const std::uint64_t symbols = loadLe32(coff, kPointerToSymbolTableOffset);
  if (symbols == 0) return std::nullopt;
  // 32-bit fields: the sum stays below 2^37.
  return symbols + kSymbolSize * loadLe32(coff, kNumberOfSymbolsOffset);
}

std::optional<std::string> longSectionName(const RandomAccess& input, std::uint64_t table,
                                           std::string_view field) {
  const std::optional<std::uint64_t> offset = offsetIn(field);
  if (!offset || *offset < kTableSizeField) return std::nullopt;
  InputCursor cursor(input);
  cursor.seek(table);
  const Result<ByteSpan> size_field = cursor.readExact(kTableSizeField);
  if (!size_field) return std::nullopt;
  const std::uint64_t table_size = loadLe32(*size_field, 0);
  if (*offset >= table_size) return std::nullopt;
  // Both below 2^37: no sum here wraps.
  const std::uint64_t end = table + table_size;
  std::string name;
  cursor.seek(table + *offset);
  while (cursor.position() < end) {
    const ByteSpan chunk = cursor.peekUpTo(end - cursor.position());
    if (chunk.empty()) return std::nullopt;
    const auto nul = std::find(chunk.begin(), chunk.end(), std::uint8_t{0});
    name.append(chunk.begin(), nul);
    if (name.size() > kMaxLongName) return std::nullopt;
    if (nul != chunk.end()) return name;
    cursor.seek(cursor.position() + chunk.size());
  }
  return std::nullopt;  // no NUL before the table ends
}

}  // namespace lumo
