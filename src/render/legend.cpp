#include "render/legend.h"

#include <algorithm>
#include <optional>
#include <string>
#include <utility>

#include "render/structure_list.h"
#include "render/style_escape.h"

namespace lumo {

std::vector<std::uint32_t> legendStructures(const Colormap& colormap, const StructureMap& map,
                                            std::uint64_t start, std::uint64_t end, bool& unnamed) {
  std::vector<std::uint32_t> shown;
  unnamed = false;
  if (end <= start) return shown;
  const PaintList& paints = colormap.paints();
  std::vector<bool> owns(paints.size(), false);
  std::uint64_t named = 0;
  RunSweep sweep = colormap.runs();
  for (std::optional<PaintRun> run = sweep.next(); run && run->start < end; run = sweep.next()) {
    if (run->end <= start || paints[run->paint].label == kNoLabel) continue;
    owns[run->paint] = true;
    named += std::min(run->end, end) - std::max(run->start, start);
  }
  unnamed = named < end - start;
  for (const Structure& structure : map.structures) {
    if (structure.paint < owns.size() && owns[structure.paint]) shown.push_back(structure.index);
  }
  return shown;
}

namespace {

// Plain data has no structures: its two byte classes explain the colors.
Status writeByteClasses(const Palette& palette, bool color, OutputBuffer& out) {
  const SlotEscapes escapes = slotEscapes(palette);
  for (const auto& [slot, name] :
       {std::pair{kNormal, "printable ASCII bytes"}, std::pair{kNormalAlt, "other bytes"}}) {
    std::string text = "  ";
    if (color) {
      const StyleEscape& escape = escapes[slot];
      text.append(escape.bytes.data(), escape.size);
      text += "####";
      text += kReset;
      text += ' ';
    }
    text += name;
    text += '\n';
    if (Status written = out.append(text); !written) return written;
  }
  return {};
}

}  // namespace

Status writeLegend(const Colormap& colormap, std::uint64_t start, std::uint64_t end,
                   const Palette& palette, bool color, OutputBuffer& out) {
  // Nothing shown, nothing to explain: no bare heading.
  if (end <= start) return {};
  if (colormap.byteClasses()) {
    if (Status written = out.append("Legend:\n"); !written) return written;
    return writeByteClasses(palette, color, out);
  }
  const StructureMap map = structureMap(colormap);
  bool unnamed = false;
  const std::vector<std::uint32_t> shown = legendStructures(colormap, map, start, end, unnamed);
  if (Status written = out.append("Legend:\n"); !written) return written;
  return writeStructureList(map, shown, palette, color, out, unnamed ? "no structure" : "",
                            stopsBefore(map, end));
}

std::string legendText(const Colormap& colormap, std::uint64_t start, std::uint64_t end,
                       const Palette& palette, bool color) {
  StringSink sink;
  OutputBuffer out(sink);
  // A string sink fails only by bad_alloc, which is thrown.
  static_cast<void>(writeLegend(colormap, start, end, palette, color, out));
  static_cast<void>(out.flush());
  return sink.text;
}

}  // namespace lumo
