#pragma once

#include <cstdint>
#include <limits>
#include <span>

#include "config/options.h"
#include "parsers/colormap.h"
#include "render/input_stream.h"
#include "render/output.h"

namespace lumo {

/// The stretch of the input a dump shows: `length` bytes (or fewer, where
/// the input ends) from offset `start`. The input stream handed to writeDump
/// begins at `start`; offsets stay those of the whole input.
struct DumpWindow {
  std::uint64_t start = 0;
  std::uint64_t length = std::numeric_limits<std::uint64_t>::max();
};

/// How a dump ended: how many input bytes it showed, and the first failure
/// of writing the output or of reading the input (at most one of the two).
struct DumpResult {
  std::uint64_t size = 0;
  Status written;
  Status read;
};

/// Writes every dump line of the input into `out`, reading it in chunks as
/// it goes and collapsing runs of three or more identical lines into a skip
/// message. When reading fails, the lines before the failure are written out
/// first. Leaves the last lines in the buffer; the caller writes the footer
/// and flushes. Lines stay on 16-byte boundaries of the whole input: a
/// window that starts inside a line shows that line with blank cells before
/// its start. Reading stops at the window's end.
DumpResult writeDump(InputStream& input, const Colormap& colormap, const Options& options,
                     OutputBuffer& out, DumpWindow window = {});
DumpResult writeDump(std::span<const std::uint8_t> input, const Colormap& colormap,
                     const Options& options, OutputBuffer& out);

/// "... {d} lines skipped ...\n", plain in every mode.
Status writeSkippedLines(std::uint64_t count, OutputBuffer& out);

}  // namespace lumo
