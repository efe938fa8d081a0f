#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "colormap/colormap.h"

namespace lumo {

/// How the structures of one slice of a universal file are named: labels
/// start with `label` ("slice 1 (arm64): "), and each section also answers
/// to its name after `name` ("slice 1:"). Both are empty for a thin file.
struct SliceNames {
  std::string_view label;
  std::string_view name;
};

/// Every paint and section of the Mach-O parser goes through here. A slice
/// of a universal file is painted with offsets from its own start, nothing
/// it paints leaves it, and its labels say which slice it is.
class MachOPainter {
 public:
  MachOPainter(Colormap& colormap, std::uint64_t base, std::uint64_t limit, SliceNames slice = {})
      : colormap_(colormap), base_(base), limit_(limit), slice_(slice) {}

  bool keepsNames() const { return colormap_.keepsNames(); }

  void paint(std::uint64_t start, std::uint64_t length, PaletteSlot slot,
             std::string_view label = {}) const {
    if (start >= limit_) return;
    const std::uint64_t inside = std::min(length, limit_ - start);
    if (!prefixes(label)) {
      colormap_.paint(base_ + start, inside, slot, label);
      return;
    }
    LabelText text;
    colormap_.paint(base_ + start, inside, slot, (text << slice_.label << label).view());
  }

  // The colormap numbers table entries with 32 bits; 2^32 is even, so the
  // low bits keep the alternation.
  void paintEntry(std::uint64_t start, std::uint64_t length, PaletteSlot base, std::uint64_t index,
                  std::string_view label = {}) const {
    if (start >= limit_) return;
    const std::uint64_t inside = std::min(length, limit_ - start);
    const auto number = static_cast<std::uint32_t>(index);
    if (!prefixes(label)) {
      colormap_.paintEntry(base_ + start, inside, base, number, label);
      return;
    }
    LabelText text;
    colormap_.paintEntry(base_ + start, inside, base, number,
                         (text << slice_.label << label).view());
  }

  void addSection(std::string_view name, std::uint64_t offset, std::uint64_t size,
                  bool has_bytes) const {
    const std::uint64_t start = std::min(offset, limit_);
    const std::uint64_t inside = std::min(size, limit_ - start);
    colormap_.addSection(name, base_ + start, inside, has_bytes && inside > 0);
  }

  /// Records that the walk stopped early at `offset` (inside the slice),
  /// the reason after the slice's title.
  void stop(std::uint64_t offset, const LabelText& reason) const {
    if (!colormap_.keepsLabels()) return;
    LabelText text;
    colormap_.addStop(base_ + std::min(offset, limit_), text << slice_.label << reason.view());
  }

  /// The names that the sections recorded since `first` also answer to:
  /// `__text` for `__TEXT,__text` when no other of them has that section
  /// name, and in a slice each name after the slice's prefix.
  void addOtherNames(std::size_t first) const;

  std::size_t sectionCount() const { return colormap_.sections().size(); }

 private:
  // Whether `label` goes in after the slice's prefix; a label is built
  // only when names are kept.
  bool prefixes(std::string_view label) const {
    return !label.empty() && !slice_.label.empty() && keepsNames();
  }

  Colormap& colormap_;
  std::uint64_t base_;
  std::uint64_t limit_;
  SliceNames slice_;
};

}  // namespace lumo
