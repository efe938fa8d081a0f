#pragma once

#include <cstdint>
#include <limits>
#include <vector>

#include "config/palette.h"
#include "core/failure.h"
#include "render/output.h"
#include "render/structure_map.h"
#include "render/style_escape.h"

namespace lumo {

/// The headings that annotate a dump: one line before the dump line that
/// holds the first byte of each structure that begins in the window, such
/// as "── section 15 .text  0x46b0-0x1974d  86174 bytes". A structure
/// without bytes in the file begins nowhere and has none.
class DumpHeadings {
 public:
  /// No heading at all.
  static constexpr std::uint64_t kNone = std::numeric_limits<std::uint64_t>::max();

  /// The headings of the structures of `map` whose first byte lies in
  /// [start, end), in the map's order: by offset, a container before what
  /// it contains. A run of unnamed table entries has one heading, as it has
  /// one line in the list. Labels are escaped and cut in the middle to keep
  /// a heading within the list's width; with `color`, a heading is painted
  /// in its structure's style. `map` must outlive the headings.
  DumpHeadings(const StructureMap& map, std::uint64_t start, std::uint64_t end,
               const Palette& palette, bool color);

  /// The offset of the next heading not yet written, or kNone.
  std::uint64_t next() const { return next_ < entries_.size() ? entries_[next_].offset : kNone; }

  /// Writes every heading not yet written whose offset lies below `end`.
  Status writeBefore(std::uint64_t end, OutputBuffer& out);

 private:
  // A heading is made when it is written, so that a map of many structures
  // costs a few words each until then.
  struct Entry {
    std::uint64_t offset = 0;
    std::uint32_t first = 0;
    std::uint32_t last = 0;
  };

  const StructureMap& map_;
  std::vector<Entry> entries_;
  std::size_t next_ = 0;
  SlotEscapes escapes_{};
  bool color_ = false;
};

}  // namespace lumo
