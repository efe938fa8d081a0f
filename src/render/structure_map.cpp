#include "render/structure_map.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <numeric>
#include <tuple>
#include <utility>

#include "core/checked_add.h"

namespace lumo {

std::uint64_t Structure::end() const { return in_file ? saturatingAdd(offset, size) : offset; }

namespace {

bool startsWithDigit(std::string_view word) {
  return !word.empty() && word.front() >= '0' && word.front() <= '9';
}

// The words of `label` before its first word that starts with a digit;
// without one, the label less `name` at its end.
std::string kindOf(std::string_view label, std::string_view name) {
  std::size_t at = 0;
  while (at < label.size()) {
    const std::size_t space = label.find(' ', at);
    const std::size_t word_end = space == std::string_view::npos ? label.size() : space;
    if (at > 0 && startsWithDigit(label.substr(at, word_end - at))) {
      return std::string(label.substr(0, at - 1));
    }
    at = word_end + 1;
  }
  if (!name.empty() && label.size() > name.size() && label.ends_with(name) &&
      label[label.size() - name.size() - 1] == ' ') {
    return std::string(label.substr(0, label.size() - name.size() - 1));
  }
  return std::string(label);
}

// Whether `label` ends with `name` as a word: after a space, or after the
// comma of a Mach-O segment and section name.
bool endsWithName(std::string_view label, std::string_view name) {
  if (!label.ends_with(name)) return false;
  if (label.size() == name.size()) return true;
  const char before = label[label.size() - name.size() - 1];
  return before == ' ' || before == ',';
}

// Whether `name` is the short form of the name in `label`: what follows the
// comma, as Mach-O adds a section's name alone where it is unique.
bool shortNameOf(std::string_view label, std::string_view name) {
  return label.size() > name.size() && label.ends_with(name) &&
         label[label.size() - name.size() - 1] == ',';
}

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

// Each paint with a label, and which of them have a given exact range.
struct PaintIndex {
  std::vector<std::uint32_t> by_range;  // labelled paint numbers by (start, end, number)
  std::vector<std::uint32_t> draft_of;  // paint number -> draft number
};

}  // namespace

StructureMap structureMap(const Colormap& colormap) {
  StructureMap map;
  const PaintList& paints = colormap.paints();
  std::vector<Draft> drafts;
  PaintIndex index;
  index.draft_of.assign(paints.size(), kNoParent);
  for (std::uint32_t p = 0; p < paints.size(); ++p) {
    const Paint& paint = paints[p];
    if (paint.label == kNoLabel || paint.end <= paint.start) continue;
    index.draft_of[p] = static_cast<std::uint32_t>(drafts.size());
    index.by_range.push_back(p);
    const std::string_view label = colormap.label(paint.label);
    drafts.push_back({.structure = {.kind = kindOf(label, {}),
                                    .label = std::string(label),
                                    .offset = paint.start,
                                    .size = paint.end - paint.start,
                                    .slot = paintSlotAt(paint, paint.start),
                                    .paint = p},
                      .order = p});
  }
  std::sort(index.by_range.begin(), index.by_range.end(), [&](std::uint32_t a, std::uint32_t b) {
    const Paint& x = paints[a];
    const Paint& y = paints[b];
    if (x.start != y.start) return x.start < y.start;
    if (x.end != y.end) return x.end < y.end;
    return a < b;
  });

  // Each section takes the paint of its exact range whose label ends with
  // its name, else any free paint of that range, else a structure of its
  // own. A short name of a section (Mach-O's "__text" for "__TEXT,__text")
  // joins the structure that the long one took.
  const std::vector<NamedSection>& sections = colormap.sections();
  std::vector<std::uint32_t> section_draft(sections.size());
  std::vector<bool> taken(drafts.size(), false);
  // Sections of their own whose name has a comma, by range and the name's
  // part after its first comma: the short name that may join them. Looked
  // up, not scanned, as thousands of bare sections may share one range.
  std::multimap<std::tuple<std::uint64_t, std::uint64_t, std::string_view>, std::uint32_t> own;
  for (std::size_t s = 0; s < sections.size(); ++s) {
    const NamedSection& section = sections[s];
    const std::string_view name = colormap.label(section.name);
    std::uint32_t chosen = kNoParent;
    std::uint32_t alias = kNoParent;
    std::uint32_t free_paint = kNoParent;
    if (section.has_bytes) {
      const std::uint64_t end = saturatingAdd(section.offset, section.size);
      auto it = std::lower_bound(
          index.by_range.begin(), index.by_range.end(), section.offset,
          [&](std::uint32_t p, std::uint64_t offset) { return paints[p].start < offset; });
      for (; it != index.by_range.end() && paints[*it].start == section.offset; ++it) {
        if (paints[*it].end != end) continue;
        const std::uint32_t draft = index.draft_of[*it];
        const std::string_view label = drafts[draft].structure.label;
        if (!taken[draft] && endsWithName(label, name)) {
          chosen = draft;
          break;
        }
        if (taken[draft] && alias == kNoParent && shortNameOf(label, name)) alias = draft;
        if (!taken[draft] && free_paint == kNoParent) free_paint = draft;
      }
    }
    if (chosen == kNoParent) {
      const auto it = own.find(std::make_tuple(section.offset, section.size, name));
      if (it != own.end()) alias = it->second;
    }
    if (chosen == kNoParent) chosen = alias != kNoParent ? alias : free_paint;
    if (chosen == kNoParent) {
      chosen = static_cast<std::uint32_t>(drafts.size());
      drafts.push_back({.structure = {.kind = "section",
                                      .label = "section " + std::string(name),
                                      .offset = section.offset,
                                      .size = section.size,
                                      .in_file = section.has_bytes},
                        .order = paints.size() + s});
      taken.push_back(false);
      if (const std::size_t comma = name.find(','); comma != std::string_view::npos) {
        own.emplace(std::make_tuple(section.offset, section.size, name.substr(comma + 1)), chosen);
      }
    }
    Structure& structure = drafts[chosen].structure;
    if (!taken[chosen]) {
      taken[chosen] = true;
      structure.name = name;
      structure.selectable = true;
      structure.kind = kindOf(structure.label, name);
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
