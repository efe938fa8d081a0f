#include "render/structure_map.h"

#include <algorithm>
#include <charconv>
#include <numeric>
#include <utility>

#include "core/checked_add.h"

namespace lumo {

std::uint64_t Structure::end() const { return in_file ? saturatingAdd(offset, size) : offset; }

namespace {

// Before the map is numbered: where each structure came from, so that
// equal ranges keep the order in which the parser recorded them.
struct Draft {
  Structure structure;
  std::uint64_t order = 0;
};

// Whether `outer` holds `inner`: its whole range, or for a structure
// without bytes in the file, its offset.
bool holds(const Structure& outer, const Structure& inner) {
  if (!outer.in_file || outer.size == 0) return false;
  if (inner.offset < outer.offset) return false;
  // Not at the container's first byte: a section without bytes where
  // another begins lies after what ends there, not inside what begins.
  if (!inner.in_file || inner.size == 0) {
    return inner.offset > outer.offset && inner.offset < outer.end();
  }
  return inner.end() <= outer.end();
}

}  // namespace

StructureMap structureMap(const Colormap& colormap) {
  StructureMap map;
  const PaintList& paints = colormap.paints();
  std::vector<Draft> drafts;
  // Each labelled paint's label and draft, by label.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> draft_of;
  for (std::uint32_t p = 0; p < paints.size(); ++p) {
    const Paint& paint = paints[p];
    if (paint.label == kNoLabel || paint.end <= paint.start) continue;
    draft_of.emplace_back(paint.label, static_cast<std::uint32_t>(drafts.size()));
    const std::string_view label = colormap.label(paint.label);
    const std::string_view kind = colormap.labelKind(paint.label);
    drafts.push_back({.structure = {.kind = std::string(kind),
                                    .label = std::string(label),
                                    .offset = paint.start,
                                    .size = paint.end - paint.start,
                                    .slot = paintSlotAt(paint, paint.start),
                                    .paint = p},
                      .order = p});
  }
  std::sort(draft_of.begin(), draft_of.end());

  // Each name joins the structure of its label: the paint of the label, or
  // for a label without one (no bytes painted, or labels not kept) a
  // structure of its own, listed as "section NAME" under its first name.
  const std::vector<NamedSection>& sections = colormap.sections();
  std::vector<std::uint32_t> section_draft(sections.size());
  std::vector<bool> taken(drafts.size(), false);
  std::vector<std::pair<std::uint32_t, std::uint32_t>> own;  // label, draft; by label
  for (std::size_t s = 0; s < sections.size(); ++s) {
    const NamedSection& section = sections[s];
    const std::string_view name = colormap.label(section.name);
    const std::uint32_t label = colormap.sectionLabel(section);
    std::uint32_t chosen = kNoParent;
    const auto by_label = [&](const std::vector<std::pair<std::uint32_t, std::uint32_t>>& list) {
      const auto it =
          std::lower_bound(list.begin(), list.end(), std::make_pair(label, std::uint32_t{0}));
      return it != list.end() && it->first == label ? it->second : kNoParent;
    };
    if (label != kNoLabel) {
      chosen = by_label(draft_of);
      if (chosen == kNoParent) chosen = by_label(own);
    }
    if (chosen == kNoParent) {
      chosen = static_cast<std::uint32_t>(drafts.size());
      drafts.push_back({.structure = {.kind = "section",
                                      .label = "section " + std::string(name),
                                      .offset = section.offset,
                                      .size = section.size,
                                      .in_file = section.has_bytes},
                        .order = paints.size() + s});
      taken.push_back(false);
      if (label != kNoLabel) {
        // Labels come in the order recorded, so the list stays sorted.
        own.insert(std::upper_bound(own.begin(), own.end(), std::make_pair(label, chosen)),
                   {label, chosen});
      }
    }
    Structure& structure = drafts[chosen].structure;
    if (!taken[chosen]) {
      taken[chosen] = true;
      structure.name = name;
      structure.selectable = true;
    }
    section_draft[s] = chosen;
  }

  // Containers first: by offset, then the longer range, then as recorded.
  std::vector<std::uint32_t> order(drafts.size());
  std::iota(order.begin(), order.end(), 0U);
  std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    const Structure& x = drafts[a].structure;
    const Structure& y = drafts[b].structure;
    if (x.offset != y.offset) return x.offset < y.offset;
    if (x.end() != y.end()) return x.end() > y.end();
    return drafts[a].order < drafts[b].order;
  });
  std::vector<std::uint32_t> number_of(drafts.size());
  map.structures.reserve(drafts.size());
  std::vector<std::uint32_t> open;  // the chain of containers of the latest structure
  for (std::uint32_t draft : order) {
    Structure structure = std::move(drafts[draft].structure);
    structure.index = static_cast<std::uint32_t>(map.structures.size());
    if (structure.in_file && structure.size > 0) {
      while (!open.empty() && !holds(map.structures[open.back()], structure)) open.pop_back();
      if (!open.empty()) structure.parent = open.back();
      open.push_back(structure.index);
    } else {
      // It holds nothing, so the chain stays for what follows it.
      for (std::size_t k = open.size(); k-- > 0;) {
        if (holds(map.structures[open[k]], structure)) {
          structure.parent = open[k];
          break;
        }
      }
    }
    number_of[draft] = structure.index;
    map.structures.push_back(std::move(structure));
  }
  map.of_section.reserve(sections.size());
  for (std::uint32_t draft : section_draft) map.of_section.push_back(number_of[draft]);
  for (const WalkStop& stop : colormap.stops()) {
    map.stops.push_back({.offset = stop.offset, .reason = colormap.label(stop.reason)});
  }
  std::stable_sort(map.stops.begin(), map.stops.end(),
                   [](const MapStop& a, const MapStop& b) { return a.offset < b.offset; });
  return map;
}

bool isStructureNumber(std::string_view value) {
  return !value.empty() &&
         std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::optional<NamedSection> onlySectionNamed(const Colormap& colormap, std::string_view name) {
  std::optional<NamedSection> only;
  for (const NamedSection& section : colormap.sections()) {
    if (colormap.label(section.name) != name) continue;
    if (only && (only->offset != section.offset || only->size != section.size ||
                 only->has_bytes != section.has_bytes)) {
      return std::nullopt;
    }
    only = section;
  }
  return only;
}

std::vector<std::uint32_t> structuresNamed(const StructureMap& map, const Colormap& colormap,
                                           std::string_view value) {
  std::vector<std::uint32_t> found;
  if (isStructureNumber(value)) {
    std::uint32_t number = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (error == std::errc() && end == value.data() + value.size() &&
        number < map.structures.size()) {
      found.push_back(number);
    }
    return found;
  }
  const std::vector<NamedSection>& sections = colormap.sections();
  for (std::size_t s = 0; s < sections.size() && s < map.of_section.size(); ++s) {
    if (colormap.label(sections[s].name) == value) found.push_back(map.of_section[s]);
  }
  std::sort(found.begin(), found.end());
  found.erase(std::unique(found.begin(), found.end()), found.end());
  return found;
}

}  // namespace lumo
