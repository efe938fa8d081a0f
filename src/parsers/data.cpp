#include "parsers/parsers.h"

namespace lumo {

// Each byte's slot follows from its value alone, so it is computed while the
// dump is written instead of being stored.
void colorizeData(const RandomAccess& /*input*/, Colormap& colormap) { colormap.useByteClasses(); }

const Format kDataFormat{
    .name = "data",
    .description = "Binary or ASCII data",
    .prefix = 0,
    .matches = [](ByteSpan) { return true; },
    .need = InputNeed::Prefix,
    .colorize = colorizeData,
};

}  // namespace lumo
