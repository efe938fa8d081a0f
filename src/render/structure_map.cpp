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

// Labels of free text (from parsers not yet on the Painter) have no kind
// field: it is guessed from the text.

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

// For sections without a label: each labelled paint by its exact range,
// and the structures of their own by range and the name's part after its
// first comma (the short name that may join them). Looked up, not scanned,
// as thousands of bare sections may share one range.
struct RangeGuess {
  RangeGuess(const PaintList& list,
             const std::vector<std::pair<std::uint32_t, std::uint32_t>>& draft_of)
      : paints(list) {
    for (std::uint32_t p = 0; p < paints.size(); ++p) {
      if (paints[p].label == kNoLabel || paints[p].end <= paints[p].start) continue;
      const auto it = std::lower_bound(draft_of.begin(), draft_of.end(),
                                       std::make_pair(paints[p].label, std::uint32_t{0}));
      by_range.emplace_back(p, it->second);
    }
    std::sort(by_range.begin(), by_range.end(), [&](const auto& a, const auto& b) {
      const Paint& x = paints[a.first];
      const Paint& y = paints[b.first];
      if (x.start != y.start) return x.start < y.start;
      if (x.end != y.end) return x.end < y.end;
      return a.first < b.first;
    });
  }
  void addOwn(const NamedSection& section, std::string_view name, std::uint32_t draft) {
    if (section.label != kNoLabel) return;
    if (const std::size_t comma = name.find(','); comma != std::string_view::npos) {
      own.emplace(std::make_tuple(section.offset, section.size, name.substr(comma + 1)), draft);
    }
  }

  const PaintList& paints;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> by_range;  // paint, draft
  std::multimap<std::tuple<std::uint64_t, std::uint64_t, std::string_view>, std::uint32_t> own;
};

// The paint of the section's exact range whose label ends with its name,
// else any free paint of that range; a short name (Mach-O's "__text" for
// "__TEXT,__text") joins the structure that the long one took. kNoParent
// when none fits.
std::uint32_t guessedStructure(const Colormap& colormap, const NamedSection& section,
                               const std::vector<Draft>& drafts, const std::vector<bool>& taken,
                               const RangeGuess& guess) {
  const std::string_view name = colormap.label(section.name);
  std::uint32_t alias = kNoParent;
  std::uint32_t free_paint = kNoParent;
  if (section.has_bytes) {
    const std::uint64_t end = saturatingAdd(section.offset, section.size);
    auto it = std::lower_bound(guess.by_range.begin(), guess.by_range.end(), section.offset,
                               [&](const auto& entry, std::uint64_t offset) {
                                 return guess.paints[entry.first].start < offset;
                               });
    for (; it != guess.by_range.end() && guess.paints[it->first].start == section.offset; ++it) {
      if (guess.paints[it->first].end != end) continue;
      const std::uint32_t draft = it->second;
      const std::string_view label = drafts[draft].structure.label;
      if (!taken[draft] && endsWithName(label, name)) return draft;
      if (taken[draft] && alias == kNoParent && shortNameOf(label, name)) alias = draft;
      if (!taken[draft] && free_paint == kNoParent) free_paint = draft;
    }
  }
  const auto it = guess.own.find(std::make_tuple(section.offset, section.size, name));
  if (it != guess.own.end()) alias = it->second;
  return alias != kNoParent ? alias : free_paint;
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
    drafts.push_back({.structure = {.kind = kind.empty() ? kindOf(label, {}) : std::string(kind),
                                    .label = std::string(label),
                                    .offset = paint.start,
                                    .size = paint.end - paint.start,
                                    .slot = paintSlotAt(paint, paint.start)},
                      .order = p});
  }
  std::sort(draft_of.begin(), draft_of.end());
  RangeGuess guess(paints, draft_of);

  // Each name joins the structure of its label: the paint of the label, or
  // for a label without one (no bytes painted) a structure of its own,
  // listed as "section NAME" under its first name.
  const std::vector<NamedSection>& sections = colormap.sections();
  std::vector<std::uint32_t> section_draft(sections.size());
  std::vector<bool> taken(drafts.size(), false);
  std::vector<std::pair<std::uint32_t, std::uint32_t>> own;  // label, draft; by label
  for (std::size_t s = 0; s < sections.size(); ++s) {
    const NamedSection& section = sections[s];
    const std::string_view name = colormap.label(section.name);
    std::uint32_t chosen = kNoParent;
    const auto by_label = [&](const std::vector<std::pair<std::uint32_t, std::uint32_t>>& list) {
      const auto it = std::lower_bound(list.begin(), list.end(),
                                       std::make_pair(section.label, std::uint32_t{0}));
      return it != list.end() && it->first == section.label ? it->second : kNoParent;
    };
    if (section.label != kNoLabel) {
      chosen = by_label(draft_of);
      if (chosen == kNoParent) chosen = by_label(own);
    } else {
      chosen = guessedStructure(colormap, section, drafts, taken, guess);
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
      guess.addOwn(section, name, chosen);
      if (section.label != kNoLabel) {
        // Labels come in the order recorded, so the list stays sorted.
        own.insert(std::upper_bound(own.begin(), own.end(), std::make_pair(section.label, chosen)),
                   {section.label, chosen});
      }
    }
    Structure& structure = drafts[chosen].structure;
    if (!taken[chosen]) {
      taken[chosen] = true;
      structure.name = name;
      structure.selectable = true;
      if (section.label == kNoLabel) structure.kind = kindOf(structure.label, name);
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
