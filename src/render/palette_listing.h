#pragma once

#include "config/palette.h"
#include "render/output.h"

namespace lumo {

/// Writes the eighteen palette styles as six rows of sample cells, with
/// escape sequences whatever the color option says. Every piece is its own
/// write (`out` is unbuffered standard output in the program).
Status writePaletteListing(const Palette& palette, ByteSink& out);

}  // namespace lumo
