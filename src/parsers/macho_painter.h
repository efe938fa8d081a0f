#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "colormap/colormap.h"

namespace lumo {

/// Every paint and section of the Mach-O parser goes through here. A slice
/// of a universal file is painted with offsets from its own start, and
/// nothing it paints leaves it.
class MachOPainter {
 public:
  MachOPainter(Colormap& colormap, std::uint64_t base, std::uint64_t limit)
      : colormap_(colormap), base_(base), limit_(limit) {}

  bool keepsNames() const { return colormap_.keepsNames(); }

  void paint(std::uint64_t start, std::uint64_t length, PaletteSlot slot,
             std::string_view label = {}) const {
    if (start >= limit_) return;
    colormap_.paint(base_ + start, std::min(length, limit_ - start), slot, label);
  }

  // The colormap numbers table entries with 16 bits; 65536 is even, so the
  // low bits keep the alternation.
  void paintEntry(std::uint64_t start, std::uint64_t length, PaletteSlot base, std::uint64_t index,
                  std::string_view label = {}) const {
    if (start >= limit_) return;
    colormap_.paintEntry(base_ + start, std::min(length, limit_ - start), base,
                         static_cast<std::uint16_t>(index), label);
  }

  void addSection(std::string_view name, std::uint64_t offset, std::uint64_t size,
                  bool has_bytes) const {
    const std::uint64_t start = std::min(offset, limit_);
    const std::uint64_t inside = std::min(size, limit_ - start);
    colormap_.addSection(name, base_ + start, inside, has_bytes && inside > 0);
  }

  /// `__text` also selects `__TEXT,__text` when no other section of the
  /// file recorded since `first` has that name.
  void addUniqueShortNames(std::size_t first) const;

  std::size_t sectionCount() const { return colormap_.sections().size(); }

 private:
  Colormap& colormap_;
  std::uint64_t base_;
  std::uint64_t limit_;
};

}  // namespace lumo
