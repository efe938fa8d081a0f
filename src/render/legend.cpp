#include "render/legend.h"

#include <algorithm>
#include <charconv>
#include <optional>

#include "core/printable_name.h"
#include "render/style_escape.h"

namespace lumo {
namespace {

std::string hex(std::uint64_t value) {
  char digits[20];
  char* end = std::to_chars(digits, digits + sizeof digits, value, 16).ptr;
  return "0x" + std::string(static_cast<const char*>(digits), static_cast<const char*>(end));
}

std::string decimal(std::uint64_t value) {
  char digits[24];
  char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  return std::string(static_cast<const char*>(digits), static_cast<const char*>(end));
}

}  // namespace

std::vector<LegendEntry> legendEntries(const Colormap& colormap, std::uint64_t start,
                                       std::uint64_t end, std::uint64_t input_size) {
  std::vector<LegendEntry> entries;
  if (colormap.byteClasses()) {
    entries.push_back({.slot = kNormal, .name = "printable ASCII bytes", .has_range = false});
    entries.push_back({.slot = kNormalAlt, .name = "other bytes", .has_range = false});
    return entries;
  }
  const PaintList& paints = colormap.paints();
  std::vector<std::uint32_t> owners;
  std::uint64_t named = 0;
  RunSweep sweep(colormap);
  for (std::optional<PaintRun> run = sweep.next(); run && run->start < end; run = sweep.next()) {
    if (run->end <= start || paints[run->paint].label == kNoLabel) continue;
    owners.push_back(run->paint);
    named += std::min(run->end, end) - std::max(run->start, start);
  }
  std::sort(owners.begin(), owners.end(), [&](std::uint32_t a, std::uint32_t b) {
    return paints[a].start != paints[b].start ? paints[a].start < paints[b].start : a < b;
  });
  owners.erase(std::unique(owners.begin(), owners.end()), owners.end());
  for (std::uint32_t owner : owners) {
    const Paint& paint = paints[owner];
    entries.push_back({.start = paint.start,
                       .end = std::min(paint.end, input_size),
                       .slot = paintSlotAt(paint, paint.start),
                       .name = std::string(colormap.label(paint.label))});
  }
  if (named < end - start) {
    entries.push_back({.slot = kNormalAlt, .name = "no structure", .has_range = false});
  }
  return entries;
}

std::string legendText(const std::vector<LegendEntry>& entries, const Palette& palette,
                       bool color) {
  std::size_t rangeWidth = 0;
  std::size_t sizeWidth = 0;
  std::vector<std::string> ranges;
  std::vector<std::string> sizes;
  for (const LegendEntry& entry : entries) {
    std::string range;
    std::string size;
    if (entry.has_range && entry.end > entry.start) {
      range = hex(entry.start) + "-" + hex(entry.end - 1);
      size = decimal(entry.end - entry.start) + " bytes";
    }
    rangeWidth = std::max(rangeWidth, range.size());
    sizeWidth = std::max(sizeWidth, size.size());
    ranges.push_back(std::move(range));
    sizes.push_back(std::move(size));
  }
  const SlotEscapes escapes = slotEscapes(palette);
  std::string text = "Legend:\n";
  for (std::size_t i = 0; i < entries.size(); ++i) {
    text += "  ";
    if (rangeWidth > 0) {
      text += ranges[i];
      text.append(rangeWidth - ranges[i].size() + 1 + sizeWidth - sizes[i].size(), ' ');
      text += sizes[i];
      text += "  ";
    }
    if (color) {
      const StyleEscape& escape = escapes[entries[i].slot];
      text.append(escape.bytes.data(), escape.size);
      text += "####";
      text += kReset;
      text += ' ';
    }
    text += escapedName(entries[i].name);
    text += '\n';
  }
  return text;
}

Status writeLegend(const std::vector<LegendEntry>& entries, const Palette& palette, bool color,
                   OutputBuffer& out) {
  return out.append(legendText(entries, palette, color));
}

}  // namespace lumo
