#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "colormap/colormap.h"
#include "config/palette.h"
#include "render/output.h"

namespace lumo {

/// One line of the legend: a structure whose color shows in the dump.
struct LegendEntry {
  std::uint64_t start = 0;
  std::uint64_t end = 0;  // exclusive
  PaletteSlot slot = kNormalAlt;
  std::string_view name;  // raw, as the parser recorded it; lives as long as the colormap
  bool has_range = true;  // false for the byte classes of plain data
};

/// The structures that own at least one byte of [start, end): each labelled
/// paint once, in order of its start, its range clipped to `input_size`. A
/// structure that later paints cover wholly owns no byte and is left out.
/// Bytes of the window that no named structure owns add one entry without
/// a range. For plain data, the two byte classes. None for an empty window.
std::vector<LegendEntry> legendEntries(const Colormap& colormap, std::uint64_t start,
                                       std::uint64_t end, std::uint64_t input_size);

/// "Legend:\n", then per entry "  0x{first}-0x{last} {size} bytes  " (the
/// range padded so the sizes line up), a swatch "####" in the entry's style
/// when `color`, and the name with every byte outside printable ASCII
/// written as \xNN. Nothing at all, not even the heading, for no entries.
std::string legendText(const std::vector<LegendEntry>& entries, const Palette& palette, bool color);

/// legendText(), written line by line: a legend of a hundred thousand
/// structures never sits whole in memory.
Status writeLegend(const std::vector<LegendEntry>& entries, const Palette& palette, bool color,
                   OutputBuffer& out);

}  // namespace lumo
