#pragma once

#include <cstdint>
#include <limits>
#include <optional>

namespace lumo {

/// a + b, or nothing when the sum wraps past 2^64: for an offset read from
/// a file that another offset is added to.
constexpr std::optional<std::uint64_t> checkedAdd(std::uint64_t a, std::uint64_t b) {
  if (b > std::numeric_limits<std::uint64_t>::max() - a) return std::nullopt;
  return a + b;
}

/// a + b, held at 2^64 - 1 when it would wrap: for the end of a region that
/// may reach past everything.
constexpr std::uint64_t saturatingAdd(std::uint64_t a, std::uint64_t b) {
  return checkedAdd(a, b).value_or(std::numeric_limits<std::uint64_t>::max());
}

}  // namespace lumo
