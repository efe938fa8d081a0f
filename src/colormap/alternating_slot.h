#pragma once

#include <cstdint>

#include "core/palette_slot.h"

namespace lumo {

/// Consecutive table entries alternate between two color groups: `base` for
/// even entries, the same slot of the next group (base + 3) for odd ones.
inline PaletteSlot alternatingSlot(PaletteSlot base, std::uint64_t index) {
  return static_cast<PaletteSlot>(base + 3 * (index % 2));
}

}  // namespace lumo
