#pragma once

#include <cstddef>
#include <cstdint>

#include "parsers/forward_walk.h"
#include "render/dump.h"
#include "render/dump_line.h"
#include "render/input_stream.h"
#include "render/output.h"

namespace lumo {

/// A forward dump's outcome: the dump's, and the input's whole length when
/// it was read to its end.
struct ForwardDumpResult {
  DumpResult dump;
  std::optional<std::uint64_t> total;
};

/// Dumps a stream (from offset 0) colored by `walk` as it is read, in
/// memory bounded by `bufferBytes` and the few paints that reach past the
/// shown bytes: the walk paints what is in memory, the bytes it is done
/// with go to the dump and are dropped, and the stream is read on. The
/// bytes shown and their colors are those of the same input as a file.
/// With `readToEnd` the stream is read on after the window, for its length.
ForwardDumpResult writeForwardDump(InputStream& input, ForwardWalk& walk,
                                   const LineFormatter& formatter, OutputBuffer& out,
                                   DumpWindow window, bool readToEnd,
                                   std::size_t bufferBytes = kDumpChunkBytes);

}  // namespace lumo
