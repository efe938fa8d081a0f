#pragma once

#include <cstdint>
#include <span>

#include "config/options.h"
#include "parsers/colormap.h"
#include "render/output.h"

namespace lumo {

/// Writes every dump line of `input` into `out`, collapsing runs of three or
/// more identical lines into a skip message. Leaves the last lines in the
/// buffer; the caller writes the footer and flushes.
Status writeDump(std::span<const std::uint8_t> input, const Colormap& colormap,
                 const Options& options, OutputBuffer& out);

/// "... {d} lines skipped ...\n", plain in every mode.
Status writeSkippedLines(std::uint64_t count, OutputBuffer& out);

}  // namespace lumo
