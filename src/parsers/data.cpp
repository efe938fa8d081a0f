#include <algorithm>
#include <cstddef>

#include "parsers/parsers.h"

namespace lumo {

void colorizeData(ByteSpan input, Colormap& colormap) {
  std::uint8_t* slots = colormap.data();
  const std::size_t count =
      static_cast<std::size_t>(std::min<std::uint64_t>(input.size(), colormap.size()));
  for (std::size_t k = 0; k < count; ++k) {
    // One unsigned range test: bytes below space wrap around to large values.
    const bool printable = static_cast<std::uint8_t>(input[k] - 0x20) <= 0x7e - 0x20;
    slots[k] = printable ? kNormal : kNormalAlt;
  }
}

}  // namespace lumo
