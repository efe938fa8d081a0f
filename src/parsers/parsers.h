#pragma once

#include "colormap/colormap.h"
#include "parsers/random_access.h"
#include "parsers/registry.h"

namespace lumo {

/// Each parser paints the colormap of `input`; a parser that runs out of
/// input stops quietly with what it painted so far.
void colorizeElf(const RandomAccess& input, Colormap& colormap);
void colorizePe(const RandomAccess& input, Colormap& colormap);
void colorizeQoi(const RandomAccess& input, Colormap& colormap);
void colorizeMachO(const RandomAccess& input, Colormap& colormap);
void colorizeWasm(const RandomAccess& input, Colormap& colormap);
void colorizeData(const RandomAccess& input, Colormap& colormap);

}  // namespace lumo
