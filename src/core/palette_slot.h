#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace lumo {

/// Palette slot numbers as stored in the colormap: six groups of three
/// (base, _alt = base + 1, _accent = base + 2).
// One group of three per line:
// clang-format off
enum PaletteSlot : std::uint8_t {
  kNormal = 0, kNormalAlt, kNormalAccent,
  kC1, kC1Alt, kC1Accent,
  kC2, kC2Alt, kC2Accent,
  kC3, kC3Alt, kC3Accent,
  kC4, kC4Alt, kC4Accent,
  kC5, kC5Alt, kC5Accent,
};
// clang-format on
inline constexpr std::size_t kSlotCount = 18;

/// The configuration keys of the slots, in slot order.
inline constexpr std::array<std::string_view, kSlotCount> kSlotNames = {
    "normal", "normal_alt", "normal_accent", "c1", "c1_alt", "c1_accent",
    "c2",     "c2_alt",     "c2_accent",     "c3", "c3_alt", "c3_accent",
    "c4",     "c4_alt",     "c4_accent",     "c5", "c5_alt", "c5_accent"};

}  // namespace lumo
