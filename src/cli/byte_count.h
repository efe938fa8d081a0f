#pragma once

#include <optional>
#include <string_view>

#include "core/window_spec.h"

namespace lumo {

/// Reads a byte count as `--skip` and `--length` take it: an optional "-",
/// then decimal digits or "0x" and hexadecimal digits, then optionally one
/// unit: KiB, MiB, GiB (powers of 1024) or kB, MB, GB (powers of 1000).
/// Nothing else, no spaces, and no value past 2^64 - 1.
std::optional<ByteCount> parseByteCount(std::string_view text);

/// Whether an argument after `--skip` or `--length` is its value though it
/// starts with "-": a minus sign followed by a digit.
inline bool looksNegativeNumber(std::string_view text) {
  return text.size() >= 2 && text[0] == '-' && text[1] >= '0' && text[1] <= '9';
}

}  // namespace lumo
