#pragma once

// Helpers shared by the parser tests: fixtures built byte by byte, and
// colormaps shown as masks with one character per byte, so a failing
// expectation prints a picture of the whole map.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "colormap/colormap.h"
#include "colormap/colormap_test_support.h"
#include "core/palette_slot.h"
#include "parsers/random_access.h"
#include "parsers/registry.h"

namespace lumo::testing {

using Bytes = std::vector<std::uint8_t>;

/// A painted stretch of an expected colormap.
struct Region {
  std::uint64_t start = 0;
  std::uint64_t length = 0;
  PaletteSlot slot = kNormalAlt;
};

/// The mask of a colormap of `size` entries that starts all normal_alt and
/// gets `regions` painted in order, each clipped to the size.
inline std::string expectedMask(std::uint64_t size, const std::vector<Region>& regions) {
  std::string mask(size, slotChar(kNormalAlt));
  for (const Region& region : regions) {
    for (std::uint64_t k = region.start; k < size && k - region.start < region.length; ++k) {
      mask[k] = slotChar(region.slot);
    }
  }
  return mask;
}

/// Runs a parser on `input` over a colormap prefilled with a slot that no
/// parser uses as its background, so an entry a parser forgets to paint shows
/// up. Also checks that the resolved runs equal a byte array painted with the
/// same paints, and that keeping names (sections only, or all) changes no color.
inline std::string colorize(void (*parser)(const RandomAccess&, Colormap&), const Bytes& input) {
  std::string masks[3];
  for (KeptNames kept : {KeptNames::None, KeptNames::Sections, KeptNames::All}) {
    Colormap colormap(kept);
    colormap.fill(kC5Accent);
    parser(MemoryAccess(input), colormap);
    const PaintList paints = colormap.paints();
    const bool byteClasses = colormap.byteClasses();
    colormap.resolve();
    std::string& mask = masks[static_cast<std::size_t>(kept)];
    mask = maskOf(colormap, input);
    if (!byteClasses) {
      EXPECT_EQ(mask, replayedMask(paints, input.size(), kNormalAlt))
          << "resolved runs differ from painting a byte array";
    }
  }
  EXPECT_EQ(masks[0], masks[1]) << "keeping sections changed the colors";
  EXPECT_EQ(masks[0], masks[2]) << "keeping names changed the colors";
  return masks[0];
}

inline Bytes bytesOf(std::string_view text) { return Bytes(text.begin(), text.end()); }

/// Writes `value` as a `width`-byte unsigned field at `offset`, growing the
/// buffer when needed.
inline void put(Bytes& bytes, std::uint64_t offset, std::uint64_t value, std::size_t width,
                bool big_endian = false) {
  const auto at = static_cast<std::size_t>(offset);
  if (bytes.size() < at + width) bytes.resize(at + width);
  for (std::size_t k = 0; k < width; ++k) {
    const std::size_t shift = 8 * (big_endian ? width - 1 - k : k);
    bytes[at + k] = static_cast<std::uint8_t>(value >> shift);
  }
}

}  // namespace lumo::testing
