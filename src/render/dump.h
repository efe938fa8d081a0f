#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>

#include "colormap/colormap.h"
#include "config/options.h"
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

/// How a dump ended: how many input bytes it showed, the first failure of
/// writing the output, and the failure of reading the input. A failed write
/// ends the dump at once, so it never has a read failure after it; a failed
/// read still has the lines before it written, and when that write fails
/// too, both are set.
struct DumpResult {
  std::uint64_t size = 0;
  Status written;
  Status read;
};

enum class DumpFailure : std::uint8_t { None, Write, Read };

/// The one failure of a dump that the run reports. A failed write wins over
/// a failed read: the output it broke (a reader gone, a full disk) is what
/// stops the run, and whatever came after the read could not be shown
/// anyway.
DumpFailure reportedFailure(const DumpResult& result);

/// The bytes the dump reads at a time: big enough that a file costs few
/// reads, small enough that memory stays flat whatever the input's size.
inline constexpr std::size_t kDumpChunkBytes = std::size_t{256} << 10;

/// Writes every dump line of the input into `out`, reading it in chunks of
/// `chunkBytes` (at least one line's worth) as it goes and collapsing runs
/// of three or more identical lines into a skip message. When reading fails,
/// the lines before the failure are written out first. Leaves the last lines
/// in the buffer; the caller writes the footer and flushes. Lines stay on
/// 16-byte boundaries of the whole input: a window that starts inside a line
/// shows that line with blank cells before its start. Reading stops at the
/// window's end.
DumpResult writeDump(InputStream& input, const Colormap& colormap, const Options& options,
                     OutputBuffer& out, DumpWindow window = {},
                     std::size_t chunkBytes = kDumpChunkBytes);
DumpResult writeDump(std::span<const std::uint8_t> input, const Colormap& colormap,
                     const Options& options, OutputBuffer& out);

/// "... {d} lines skipped ...\n", plain in every mode.
Status writeSkippedLines(std::uint64_t count, OutputBuffer& out);

}  // namespace lumo
