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

#include "core/palette_slot.h"
#include "parsers/colormap.h"
#include "parsers/random_access.h"
#include "parsers/registry.h"

namespace lumo::testing {

using Bytes = std::vector<std::uint8_t>;

/// Mask letters: '.' normal, '_' normal_alt, '!' normal_accent; for c1..c5
/// the digit is the base slot, 'a'..'e' the _alt and 'A'..'E' the _accent.
inline char slotChar(std::uint8_t slot) {
  constexpr std::string_view kChars = "._!1aA2bB3cC4dD5eE";
  return slot < kChars.size() ? kChars[slot] : '?';
}

/// The colormap of `bytes` as a mask, one letter per input byte.
inline std::string maskOf(const Colormap& colormap, ByteSpan bytes) {
  std::vector<std::uint8_t> slots(bytes.size());
  Colormap::Reader(colormap).slots(0, bytes.data(), bytes.size(), slots.data());
  std::string mask;
  for (std::uint8_t slot : slots) mask += slotChar(slot);
  return mask;
}

/// Every run of a resolved colormap.
inline std::vector<PaintRun> runsOf(const Colormap& colormap) {
  std::vector<PaintRun> runs;
  RunSweep sweep(colormap);
  for (std::optional<PaintRun> run = sweep.next(); run; run = sweep.next()) runs.push_back(*run);
  return runs;
}

/// What painting a byte array with `paints` in order gives: the
/// straightforward form the resolved runs must equal.
inline std::string replayedMask(const PaintList& paints, std::uint64_t size, std::uint8_t initial) {
  std::string mask(static_cast<std::size_t>(size), slotChar(initial));
  for (const Paint& paint : paints) {
    for (std::uint64_t k = paint.start; k < size && k < paint.end; ++k) {
      mask[static_cast<std::size_t>(k)] = slotChar(paintSlotAt(paint, k));
    }
  }
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
/// parser uses as its background, so an entry a parser forgets to paint shows
/// up. Also checks that the resolved runs equal a byte array painted with the
/// same paints, and that keeping names changes no color.
inline std::string colorize(void (*parser)(const RandomAccess&, Colormap&), const Bytes& input) {
  std::string masks[2];
  for (bool keepNames : {false, true}) {
    Colormap colormap(keepNames);
    colormap.fill(kC5Accent);
    parser(MemoryAccess(input), colormap);
    const PaintList paints = colormap.paints();
    const bool byteClasses = colormap.byteClasses();
    colormap.resolve();
    masks[keepNames] = maskOf(colormap, input);
    if (!byteClasses) {
      EXPECT_EQ(masks[keepNames], replayedMask(paints, input.size(), kNormalAlt))
          << "resolved runs differ from painting a byte array";
    }
  }
  EXPECT_EQ(masks[0], masks[1]) << "keeping names changed the colors";
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
