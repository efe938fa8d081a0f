#pragma once

// Helpers shared by the parser tests: fixtures built byte by byte, and
// colormaps shown as masks with one character per byte, so a failing
// expectation prints a picture of the whole map.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/palette.h"
#include "parsers/colormap.h"
#include "parsers/registry.h"

namespace lumo::testing {

using Bytes = std::vector<std::uint8_t>;

/// Mask letters: '.' normal, '_' normal_alt, '!' normal_accent; for c1..c5
/// the digit is the base slot, 'a'..'e' the _alt and 'A'..'E' the _accent.
inline char slotChar(std::uint8_t slot) {
  constexpr std::string_view kChars = "._!1aA2bB3cC4dD5eE";
  return slot < kChars.size() ? kChars[slot] : '?';
}

inline std::string maskOf(const Colormap& colormap) {
  std::string mask;
  for (std::uint64_t k = 0; k < colormap.size(); ++k) mask += slotChar(colormap.data()[k]);
  return mask;
}

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
/// parser uses as its background, so an entry a parser forgets to assign
/// shows up.
inline std::string colorize(void (*parser)(ByteSpan, Colormap&), const Bytes& input) {
  Result<Colormap> colormap = Colormap::create(input.size());
  if (!colormap) return "<allocation failed>";
  colormap->fill(kC5Accent);
  parser(input, *colormap);
  return maskOf(*colormap);
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
