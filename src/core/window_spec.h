#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace lumo {

/// A byte count from the command line (`--skip`, `--length`): its value,
/// and whether it was written with a minus sign (counted from the end).
struct ByteCount {
  std::uint64_t value = 0;
  bool from_end = false;
  friend bool operator==(const ByteCount&, const ByteCount&) = default;
};

/// What part of the input to show, as the command line asked for it.
/// Nothing set: the whole input.
struct WindowSpec {
  std::optional<ByteCount> skip{};
  std::optional<ByteCount> length{};
  std::optional<std::string> section{};

  bool any() const { return skip || length || section; }
  friend bool operator==(const WindowSpec&, const WindowSpec&) = default;
};

}  // namespace lumo
