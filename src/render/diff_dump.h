#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "colormap/colormap.h"
#include "config/options.h"
#include "render/dump.h"
#include "render/input_stream.h"
#include "render/output.h"

namespace lumo {

/// One side of a comparison: its input from the window's start on, its
/// colormap, and the window (offsets of its own file).
struct DiffSide {
  InputStream& input;
  const Colormap& colormap;
  DumpWindow window;
};

/// What a comparison found. Positions count from each window's start; a
/// byte that only the longer side has differs.
struct DiffSummary {
  std::array<std::uint64_t, 2> sizes{};  // the bytes compared of each side
  std::uint64_t differing_bytes = 0;
  std::uint64_t differing_lines = 0;
  std::optional<std::uint64_t> first;  // the first difference, an offset of the first side
};

/// How many differing bytes each named structure of one side holds, in the
/// order their first difference came; bytes that no named structure owns
/// count under kNoLabel.
struct DiffTally {
  struct Entry {
    std::uint32_t label = kNoLabel;
    std::uint64_t bytes = 0;
  };
  std::vector<Entry> entries;
};

struct DiffResult {
  DiffSummary summary;
  std::array<DiffTally, 2> tallies;  // only when asked for
  Status written;
  std::array<Status, 2> read;
};

/// Writes the comparison of two inputs, position by position: each stretch
/// of identical lines as one "... N identical lines ..." line (shown with a
/// two-space margin instead when skipping lines is off), each differing line
/// as the first side's line marked "- " and the second side's marked "+ ",
/// each colored by its own colormap, the differing bytes in reverse video
/// when color is on, else with a line of `^` under them. Lines follow the
/// files' 16-byte boundaries when both windows start at the same place in a
/// line, else they start at the windows' starts. With `tally`, counts the
/// differing bytes of each side by the named structure that owns them.
DiffResult writeDiffDump(DiffSide first, DiffSide second, const Options& options, OutputBuffer& out,
                         bool tally = false, std::size_t chunkBytes = kDumpChunkBytes);

/// "Files differ: {n} bytes in {m} lines, first at 0x{x}; sizes {a} and {b} bytes\n"
/// or "Files are identical: {n} bytes\n".
std::string diffSummaryText(const DiffSummary& summary);

}  // namespace lumo
