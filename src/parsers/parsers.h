#pragma once

#include "parsers/colormap.h"
#include "parsers/registry.h"

namespace lumo {

/// Each parser fills the colormap of `input`; a parser that runs out of
/// input stops quietly with what it painted so far.
void colorizeElf(ByteSpan input, Colormap& colormap);
void colorizePe(ByteSpan input, Colormap& colormap);
void colorizeQoi(ByteSpan input, Colormap& colormap);
void colorizeData(ByteSpan input, Colormap& colormap);

}  // namespace lumo
