#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "core/palette_slot.h"

namespace lumo {

/// A terminal color: one of the sixteen named colors (index 0-15, 8-15 being
/// the bright variants of 0-7) or a 24-bit RGB triple.
struct Color {
  enum class Kind : std::uint8_t { Named, Rgb };
  Kind kind = Kind::Named;
  std::uint8_t index = 0;            // Named
  std::uint8_t r = 0, g = 0, b = 0;  // Rgb

  static constexpr Color named(std::uint8_t i) { return Color{Kind::Named, i, 0, 0, 0}; }
  static constexpr Color rgb(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    return Color{Kind::Rgb, 0, red, green, blue};
  }
  friend constexpr bool operator==(const Color&, const Color&) = default;
};

namespace colors {
inline constexpr std::uint8_t kBlack = 0, kRed = 1, kGreen = 2, kYellow = 3, kBlue = 4,
                              kMagenta = 5, kCyan = 6, kWhite = 7, kBright = 8;
}

struct TextStyle {
  std::optional<Color> fg;
  std::optional<Color> bg;
  bool dim = false;
  bool bold = false;
  friend constexpr bool operator==(const TextStyle&, const TextStyle&) = default;
};

using Palette = std::array<TextStyle, kSlotCount>;

/// The built-in palette: each group's base color plain, dimmed, bright+bold.
Palette defaultPalette();

/// A named color (exact, case-sensitive) or "#rrggbb"; nothing otherwise.
std::optional<Color> parseColor(std::string_view text);

/// "fg[:bg[:dim|bold]]"; nothing when the text is rejected.
std::optional<TextStyle> parseStyle(std::string_view text);

}  // namespace lumo
