#include "parsers/colormap.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace lumo {

Result<Colormap> Colormap::create(std::uint64_t size) {
  if (size > std::numeric_limits<std::size_t>::max()) return Failure::OutOfMemory;
  Colormap colormap;
  const auto count = static_cast<std::size_t>(size);
  if (Status reserved = colormap.slots_.reserve(count); !reserved) return reserved.failure();
  colormap.slots_.commit(count);
  colormap.fill(kNormalAlt);
  return colormap;
}

void Colormap::paintRegion(std::uint64_t start, std::uint64_t length, PaletteSlot slot) {
  const std::uint64_t end = size();
  if (start >= end || length == 0) return;
  // end - start cannot underflow here, and the min avoids start + length.
  const std::uint64_t count = std::min(length, end - start);
  std::memset(slots_.data() + start, slot, static_cast<std::size_t>(count));
}

void Colormap::fill(PaletteSlot slot) {
  if (size() > 0) std::memset(slots_.data(), slot, slots_.size());
}

}  // namespace lumo
