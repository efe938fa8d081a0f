// The colormap of every parser for one input, on its own: the dump target
// checks the same and then renders every display mode, which makes it far
// slower; this one explores the parsers at full speed.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "colormap_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> slots;
  (void)lumo::fuzz::checkedColormap(lumo::ByteSpan(data, size), slots);
  return 0;
}
