#include "app/window.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

#include "core/checked_add.h"
#include "core/printable_name.h"
#include "render/number_text.h"
#include "render/structure_map.h"

namespace lumo {
namespace {

constexpr std::size_t kListedNames = 40;

// "3 (0x40-0x47), 9 (0x88-0x8f)": the structures a name is ambiguous
// between, cut after a few dozen.
std::string candidateList(const StructureMap& map, const std::vector<std::uint32_t>& numbers) {
  std::string list;
  for (std::size_t k = 0; k < numbers.size(); ++k) {
    if (k == kListedNames) return list + ", ...";
    const Structure& structure = map.structures[numbers[k]];
    if (k > 0) list += ", ";
    // Appended piece by piece: g++ 12 warns falsely of an overlap on `"-" + string`.
    list += std::to_string(structure.index);
    list += " (";
    list += hexText(structure.offset);
    if (structure.end() > structure.offset) {
      list += '-';
      list += hexText(structure.end() - 1);
    }
    list += ')';
  }
  return list;
}

// The bytes that --section chose.
struct ChosenSection {
  std::uint64_t offset = 0;
  std::uint64_t end = 0;
  bool in_file = false;
};

// The structure that --section means, or why there is none.
WindowChoice chooseSection(const std::string& value, const Colormap& colormap,
                           std::optional<ChosenSection>& chosen) {
  const bool number = isStructureNumber(value);
  if (!number && colormap.sections().empty()) return {.problem = WindowProblem::NoNamedSections};
  if (!number) {
    // A name in one place needs no map: a million-member archive is
    // colored without labels for it.
    if (const std::optional<NamedSection> only = onlySectionNamed(colormap, value)) {
      chosen = ChosenSection{.offset = only->offset,
                             .end = saturatingAdd(only->offset, only->size),
                             .in_file = only->has_bytes};
      return {.section_offset = only->offset};
    }
  }
  const StructureMap map = structureMap(colormap);
  if (map.structures.empty()) return {.problem = WindowProblem::NoNamedSections};
  const std::vector<std::uint32_t> found = structuresNamed(map, colormap, value);
  if (found.empty() && number) {
    return {.problem = WindowProblem::NoStructureNumbered,
            .detail = "0-" + std::to_string(map.structures.size() - 1)};
  }
  if (found.empty()) return {.problem = WindowProblem::UnknownSection};
  if (found.size() > 1) {
    return {.problem = WindowProblem::AmbiguousSection, .detail = candidateList(map, found)};
  }
  const Structure& structure = map.structures[found.front()];
  chosen = ChosenSection{
      .offset = structure.offset, .end = structure.end(), .in_file = structure.in_file};
  return {.section_offset = structure.offset};
}

}  // namespace

WindowChoice chooseWindow(const WindowSpec& spec, std::optional<std::uint64_t> size,
                          const Colormap& colormap) {
  WindowChoice choice;
  std::uint64_t base = 0;
  std::optional<std::uint64_t> end = size;
  if (spec.section) {
    std::optional<ChosenSection> section;
    choice = chooseSection(*spec.section, colormap, section);
    if (!section) return choice;
    if (!section->in_file) {
      choice.problem = WindowProblem::SectionWithoutBytes;
      return choice;
    }
    base = section->offset;
    end = end ? std::min(*end, section->end) : section->end;
    base = std::min(base, *end);
  }
  std::uint64_t start = base;
  if (spec.skip) {
    if (spec.skip->from_end) {
      if (!end) return {.problem = WindowProblem::SkipFromEndWithoutSize};
      start = *end - std::min(spec.skip->value, *end - base);
    } else {
      // Not clamped to the end: an empty window still names the offset asked for.
      start = saturatingAdd(base, spec.skip->value);
    }
  }
  std::uint64_t length = end ? *end - std::min(start, *end) : UINT64_MAX;
  if (spec.length) length = std::min(length, spec.length->value);
  choice.window = {.start = start, .length = length};
  return choice;
}

std::string sectionNameList(const Colormap& colormap) {
  std::string list;
  std::size_t listed = 0;
  for (const NamedSection& section : colormap.sections()) {
    if (listed == kListedNames) {
      list += ", ...";
      break;
    }
    if (listed++ > 0) list += ", ";
    list += escapedName(colormap.label(section.name));
  }
  return list;
}

RunResult<DumpWindow> windowOf(const Document& document, const Options& options,
                               SectionPolicy policy) {
  const WindowChoice choice = chooseWindow(options.window, document.size(), document.colormap());
  const bool dump = policy == SectionPolicy::Dump;
  switch (choice.problem) {
    case WindowProblem::None: return choice.window;
    case WindowProblem::SkipFromEndWithoutSize:
      return failed(ErrorMessage::SkipFromEndOfStream, document.displayName());
    case WindowProblem::NoNamedSections:
      return failed(ErrorMessage::NoNamedSections, document.displayName());
    case WindowProblem::UnknownSection:
      if (dump) {
        return failed(ErrorMessage::NoSectionNamed, escapedName(*options.window.section),
                      sectionNameList(document.colormap()));
      }
      return failed(ErrorMessage::NoSectionNamedIn, *options.window.section,
                    document.displayName());
    case WindowProblem::NoStructureNumbered:
      return failed(ErrorMessage::NoStructureNumbered, *options.window.section, choice.detail);
    case WindowProblem::AmbiguousSection:
      return failed(ErrorMessage::AmbiguousSection, escapedName(*options.window.section),
                    choice.detail);
    case WindowProblem::SectionWithoutBytes:
      if (dump) {
        return notice("lumo: section " + escapedName(*options.window.section) +
                      " has no bytes in the file\n");
      }
      return DumpWindow{.start = choice.section_offset, .length = 0};
  }
  return choice.window;
}

}  // namespace lumo
