#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "colormap/colormap.h"
#include "config/palette.h"
#include "core/failure.h"
#include "render/output.h"
#include "render/structure_map.h"

namespace lumo {

/// The structures of `map` (the map of the resolved `colormap`) whose color
/// shows in [start, end): those that own at least one byte of it, in map
/// order. A structure that later paints cover wholly owns no byte and is
/// left out, as is a section that stands for no paint. `unnamed` tells
/// whether some byte of the window is owned by no labelled structure.
std::vector<std::uint32_t> legendStructures(const Colormap& colormap, const StructureMap& map,
                                            std::uint64_t start, std::uint64_t end, bool& unnamed);

/// "Legend:\n", then the list lines (writeStructureList) of the structures
/// whose color shows in [start, end), the walk's stops before `end`, and a
/// last line "no structure" when some byte there belongs to none. For plain
/// data, the two byte classes instead, each "  " then a swatch "####" in its
/// style when `color`, then its name. Nothing at all, not even the heading,
/// for an empty window.
Status writeLegend(const Colormap& colormap, std::uint64_t start, std::uint64_t end,
                   const Palette& palette, bool color, OutputBuffer& out);

/// writeLegend() into a string, for checks.
std::string legendText(const Colormap& colormap, std::uint64_t start, std::uint64_t end,
                       const Palette& palette, bool color);

}  // namespace lumo
