#pragma once

// Helpers shared by the tests of colormaps: a colormap shown as a mask with
// one character per byte, so a failing expectation prints a picture of the
// whole map.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "colormap/colormap.h"
#include "core/byte_span.h"
#include "core/palette_slot.h"

namespace lumo::testing {

/// Mask letters: '.' normal, '_' normal_alt, '!' normal_accent; for c1..c5
/// the digit is the base slot, 'a'..'e' the _alt and 'A'..'E' the _accent.
inline char slotChar(std::uint8_t slot) {
  constexpr std::string_view kChars = "._!1aA2bB3cC4dD5eE";
  return slot < kChars.size() ? kChars[slot] : '?';
}

/// A selectable section that no paint stands for, as a parser records one
/// without bytes in the file (SHT_NOBITS) or apart from its paints.
inline void markSection(Colormap& colormap, std::string_view name, std::uint64_t offset,
                        std::uint64_t size, bool has_bytes) {
  Label label;
  label.kind = "section";
  label.name = name;
  label.select = name;
  colormap.mark(offset, size, has_bytes, label);
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

}  // namespace lumo::testing
