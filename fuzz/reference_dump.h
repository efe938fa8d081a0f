#pragma once

// An independent, deliberately plain rendering of the hex dump, written
// straight from the rules of the dump format, and the shape rules every
// dump obeys. The dump fuzz target holds the real renderer against both.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "config/palette.h"

namespace lumo::fuzz {

/// The display options that shape a dump, as given (raw mode not yet
/// applied).
struct DumpMode {
  bool color = false;
  bool uppercase = false;
  bool show_offset = true;
  bool show_ascii = true;
  bool skip_lines = true;
  bool raw = false;
};

/// The number of display modes: every combination of the six options.
inline constexpr unsigned kDumpModes = 64;

/// The mode for an index below kDumpModes, one bit per option: 1 color,
/// 2 uppercase, 4 offset, 8 ASCII column, 16 skipping, 32 raw.
DumpMode dumpModeOf(unsigned index);

/// Appends the dump lines and skip messages of `input` (no footer) to
/// `out`, each byte painted with the palette entry of its slot.
void referenceDump(std::span<const std::uint8_t> input, std::span<const std::uint8_t> slots,
                   const DumpMode& mode, const Palette& palette, std::string& out);

/// Checks what holds whatever the bytes: without skipping one line per 16
/// bytes, in raw mode every line 40 characters, otherwise every line of one
/// width once escape sequences are taken out, and only well-formed escape
/// sequences. Aborts on a violation.
void checkDumpShape(std::string_view dump, std::size_t inputSize, const DumpMode& mode);

}  // namespace lumo::fuzz
