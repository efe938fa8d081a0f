#include "render/legend.h"

#include <algorithm>
#include <charconv>
#include <optional>

#include "core/printable_name.h"
#include "render/number_text.h"
#include "render/style_escape.h"

namespace lumo {
namespace {}  // namespace

std::vector<LegendEntry> legendEntries(const Colormap& colormap, std::uint64_t start,
                                       std::uint64_t end, std::uint64_t input_size) {
  std::vector<LegendEntry> entries;
  if (end <= start) return entries;  // no byte shown, so no color to explain
  if (colormap.byteClasses()) {
    entries.push_back({.slot = kNormal, .name = "printable ASCII bytes", .has_range = false});
    entries.push_back({.slot = kNormalAlt, .name = "other bytes", .has_range = false});
    return entries;
  }
  bool unnamed = false;
  for (const NamedStructure& structure : namedStructures(colormap, start, end, unnamed)) {
    entries.push_back({.start = structure.start,
                       .end = std::min(structure.end, input_size),
                       .slot = structure.slot,
                       .name = structure.name});
  }
  if (unnamed) {
    entries.push_back({.slot = kNormalAlt, .name = "no structure", .has_range = false});
  }
  return entries;
}

namespace {

bool hasRange(const LegendEntry& entry) { return entry.has_range && entry.end > entry.start; }

// "0x{first}-0x{last}" and "{size} bytes"; empty for an entry without a
// range.
std::string rangeText(const LegendEntry& entry) {
  return hasRange(entry) ? hexText(entry.start) + "-" + hexText(entry.end - 1) : std::string();
}
std::string sizeText(const LegendEntry& entry) {
  return hasRange(entry) ? decimalText(entry.end - entry.start) + " bytes" : std::string();
}

// Calls `emit` with each line of the legend in turn, "Legend:\n" first.
template <typename Emit>
Status forEachLine(const std::vector<LegendEntry>& entries, const Palette& palette, bool color,
                   Emit emit) {
  std::size_t ranges = 0;
  std::size_t sizes = 0;
  // Measured on a first pass, so that no line is kept to be padded later.
  for (const LegendEntry& entry : entries) {
    ranges = std::max(ranges, rangeText(entry).size());
    sizes = std::max(sizes, sizeText(entry).size());
  }
  // Nothing shown, nothing to explain: no bare heading.
  if (entries.empty()) return {};
  const SlotEscapes escapes = slotEscapes(palette);
  if (Status written = emit("Legend:\n"); !written) return written;
  std::string text;
  for (const LegendEntry& entry : entries) {
    text = "  ";
    if (ranges > 0) {
      const std::string range = rangeText(entry);
      const std::string size = sizeText(entry);
      text += range;
      text.append(ranges - range.size() + 1 + sizes - size.size(), ' ');
      text += size;
      text += "  ";
    }
    if (color) {
      const StyleEscape& escape = escapes[entry.slot];
      text.append(escape.bytes.data(), escape.size);
      text += "####";
      text += kReset;
      text += ' ';
    }
    text += escapedName(entry.name);
    text += '\n';
    if (Status written = emit(text); !written) return written;
  }
  return {};
}

}  // namespace

std::string legendText(const std::vector<LegendEntry>& entries, const Palette& palette,
                       bool color) {
  std::string text;
  // Appending to a string cannot fail as a value (only by bad_alloc).
  static_cast<void>(forEachLine(entries, palette, color, [&](std::string_view line) -> Status {
    text += line;
    return {};
  }));
  return text;
}

Status writeLegend(const std::vector<LegendEntry>& entries, const Palette& palette, bool color,
                   OutputBuffer& out) {
  return forEachLine(entries, palette, color,
                     [&](std::string_view line) { return out.append(line); });
}

}  // namespace lumo
