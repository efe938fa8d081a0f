#pragma once

// Checks of the colormap that every parser builds for one input, shared by
// the colormap and dump fuzz targets.

#include <cstdint>
#include <vector>

#include "colormap/colormap.h"
#include "core/byte_span.h"

namespace lumo::fuzz {

/// Builds the colormap of `input` with the automatic choice and with every
/// forced parser, and checks it: only palette slots, each parser only its
/// own and exactly those its rules fix, resolved runs that equal painting a
/// byte array, a number of paints linear in the input's size, the same
/// colors when names are kept, NonMatchingParser exactly when a forced parser's magic
/// number does not match. Aborts on a violation. Returns the automatic
/// colormap, and its slot per input byte in `slots`.
Colormap checkedColormap(ByteSpan input, std::vector<std::uint8_t>& slots);

}  // namespace lumo::fuzz
