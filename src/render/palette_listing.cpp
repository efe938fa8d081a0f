#include "render/palette_listing.h"

#include "render/style_escape.h"

namespace lumo {

Status writePaletteListing(const Palette& palette, ByteSink& out) {
  if (Status s = out.write("                  (alt)    (accent)\n"); !s) return s;
  if (Status s = out.write("(main)   "); !s) return s;
  for (std::size_t row = 0; row < 6; ++row) {
    if (row > 0) {
      if (Status s = out.write("         "); !s) return s;
    }
    for (std::size_t cell = 0; cell < 3; ++cell) {
      if (Status s = writeStyle(palette[row * 3 + cell], out); !s) return s;
      if (Status s = out.write(cell < 2 ? "0x112233\x1b[0m " : "0x112233\x1b[0m\n"); !s) return s;
    }
  }
  return {};
}

}  // namespace lumo
