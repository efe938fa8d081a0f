#include "parsers/colormap.h"

#include <algorithm>
#include <limits>
#include <new>

namespace lumo {

Result<Colormap> Colormap::create(std::uint64_t size) {
  if (size > std::numeric_limits<std::size_t>::max()) return Failure::OutOfMemory;
  Colormap colormap;
  try {
    colormap.slots_.assign(static_cast<std::size_t>(size), kNormalAlt);
  } catch (const std::bad_alloc&) {
    return Failure::OutOfMemory;
  }
  return colormap;
}

void Colormap::paintRegion(std::uint64_t start, std::uint64_t length, PaletteSlot slot) {
  const std::uint64_t end = size();
  if (start >= end || length == 0) return;
  // end - start cannot underflow here, and the min avoids start + length.
  const std::uint64_t count = std::min(length, end - start);
  auto first = slots_.begin() + static_cast<std::ptrdiff_t>(start);
  std::fill(first, first + static_cast<std::ptrdiff_t>(count), slot);
}

void Colormap::fill(PaletteSlot slot) { std::fill(slots_.begin(), slots_.end(), slot); }

}  // namespace lumo
