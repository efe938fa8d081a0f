#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "config/palette.h"
#include "render/output.h"

namespace lumo {

inline constexpr std::string_view kReset = "\x1b[0m";
inline constexpr std::string_view kDim = "\x1b[2m";
inline constexpr std::string_view kBold = "\x1b[1m";
inline constexpr std::string_view kReverse = "\x1b[7m";

/// One escape sequence, at most "\x1b[38;2;255;255;255m".
struct EscapeSequence {
  std::array<char, 20> bytes{};
  std::uint8_t size = 0;
  std::string_view view() const { return {bytes.data(), size}; }
};

/// The sequences of a style in their fixed order: foreground, background,
/// dim, bold; each only when present.
struct StyleSequences {
  std::array<EscapeSequence, 4> items{};
  std::size_t count = 0;
};
StyleSequences styleSequences(const TextStyle& style);

/// The sequences of one style, concatenated; empty for an empty style.
struct StyleEscape {
  std::array<char, 64> bytes{};
  std::uint8_t size = 0;
  std::string_view view() const { return {bytes.data(), size}; }
};
StyleEscape styleEscape(const TextStyle& style);

/// Writes the sequences of a style, each as its own write; nothing for an
/// empty style. Never writes the reset.
Status writeStyle(const TextStyle& style, ByteSink& out);

/// The escape of every palette slot, built once per run.
using SlotEscapes = std::array<StyleEscape, kSlotCount>;
SlotEscapes slotEscapes(const Palette& palette);

}  // namespace lumo
