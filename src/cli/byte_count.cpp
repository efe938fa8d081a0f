#include "cli/byte_count.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <limits>

namespace lumo {
namespace {

struct Unit {
  std::string_view suffix;
  std::uint64_t factor;
};

constexpr std::array<Unit, 6> kUnits = {{
    {"KiB", std::uint64_t{1} << 10},
    {"MiB", std::uint64_t{1} << 20},
    {"GiB", std::uint64_t{1} << 30},
    {"kB", 1000},
    {"MB", 1000 * 1000},
    {"GB", 1000 * 1000 * 1000},
}};

}  // namespace

std::optional<ByteCount> parseByteCount(std::string_view text) {
  ByteCount count;
  if (!text.empty() && text[0] == '-') {
    count.from_end = true;
    text.remove_prefix(1);
  }
  std::uint64_t factor = 1;
  for (const Unit& unit : kUnits) {
    if (text.size() > unit.suffix.size() && text.ends_with(unit.suffix)) {
      factor = unit.factor;
      text.remove_suffix(unit.suffix.size());
      break;
    }
  }
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  // from_chars would take a sign of its own; the sign was handled above.
  if (text.empty() || text[0] == '-' || text[0] == '+') return std::nullopt;
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (value > std::numeric_limits<std::uint64_t>::max() / factor) return std::nullopt;
  count.value = value * factor;
  return count;
}

}  // namespace lumo
