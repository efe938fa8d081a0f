#include "parsers/macho_painter.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace lumo {

void MachOPainter::addOtherNames(std::size_t first) const {
  const std::size_t end = colormap_.sections().size();
  // Copies: recording a name may move the text that a view points into.
  std::vector<std::pair<std::string, std::size_t>> short_names;
  for (std::size_t k = first; k < end; ++k) {
    const std::string_view name = colormap_.label(colormap_.sections()[k].name);
    const std::size_t comma = name.find(',');
    if (comma != std::string_view::npos && comma + 1 < name.size())
      short_names.emplace_back(name.substr(comma + 1), k);
  }
  std::sort(short_names.begin(), short_names.end());
  for (std::size_t i = 0; i < short_names.size(); ++i) {
    const bool unique =
        (i == 0 || short_names[i - 1].first != short_names[i].first) &&
        (i + 1 == short_names.size() || short_names[i + 1].first != short_names[i].first);
    if (!unique) continue;
    const NamedSection section = colormap_.sections()[short_names[i].second];
    colormap_.addSection(short_names[i].first, section.offset, section.size, section.has_bytes);
  }
  if (slice_.name.empty()) return;
  // Every name of the slice again after its prefix, the short ones too.
  const std::size_t named_end = colormap_.sections().size();
  for (std::size_t k = first; k < named_end; ++k) {
    const NamedSection section = colormap_.sections()[k];
    LabelText name;
    name << slice_.name << colormap_.label(section.name);
    colormap_.addSection(name.view(), section.offset, section.size, section.has_bytes);
  }
}

}  // namespace lumo
