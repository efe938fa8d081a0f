#include "app/window.h"

#include <algorithm>
#include <cstdint>

#include "core/printable_name.h"

namespace lumo {
namespace {

constexpr std::size_t kListedNames = 40;

}  // namespace

WindowChoice chooseWindow(const WindowSpec& spec, std::optional<std::uint64_t> size,
                          const Colormap& colormap) {
  WindowChoice choice;
  std::uint64_t base = 0;
  std::optional<std::uint64_t> end = size;
  if (spec.section) {
    const std::vector<NamedSection>& sections = colormap.sections();
    if (sections.empty()) return {.window = {}, .problem = WindowProblem::NoNamedSections};
    const auto found = std::find_if(sections.begin(), sections.end(), [&](const NamedSection& s) {
      return colormap.label(s.name) == *spec.section;
    });
    if (found == sections.end()) return {.window = {}, .problem = WindowProblem::UnknownSection};
    choice.section = &*found;
    if (!found->has_bytes) {
      choice.problem = WindowProblem::SectionWithoutBytes;
      return choice;
    }
    base = found->offset;
    const std::uint64_t sectionEnd =
        found->size > UINT64_MAX - base ? UINT64_MAX : base + found->size;
    end = end ? std::min(*end, sectionEnd) : sectionEnd;
    base = end ? std::min(base, *end) : base;
  }
  std::uint64_t start = base;
  if (spec.skip) {
    if (spec.skip->from_end) {
      if (!end) return {.window = {}, .problem = WindowProblem::SkipFromEndWithoutSize};
      start = *end - std::min(spec.skip->value, *end - base);
    } else {
      // Not clamped to the end: an empty window still names the offset asked for.
      start = spec.skip->value > UINT64_MAX - base ? UINT64_MAX : base + spec.skip->value;
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

}  // namespace lumo
