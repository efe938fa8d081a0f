#include "colormap/painter.h"
#include "parsers/parsers.h"

namespace lumo {

// Only the 14-byte header has a structure worth showing; the chunk stream
// after it is not interpreted.
void colorizeQoi(const RandomAccess& /*input*/, Colormap& colormap) {
  const Painter painter(colormap);
  painter.fill(kNormalAlt);
  painter.paint(4, 10, kC1, titled("QOI header"));
  painter.paint(0, 4, kC1Accent, titled("QOI magic"));
}

const Format kQoiFormat{
    .name = "qoi",
    .description = "QOI (Quite OK Image)",
    .prefix = 4,
    .matches = [](ByteSpan start) { return startsWith(start, "qoif"); },
    .need = InputNeed::Prefix,
    .colorize = colorizeQoi,
};

}  // namespace lumo
