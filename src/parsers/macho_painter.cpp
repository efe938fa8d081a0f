#include "parsers/macho_painter.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace lumo {

void MachOPainter::addUniqueShortNames(std::size_t first) const {
  std::vector<std::pair<std::string, std::size_t>> short_names;
  for (std::size_t k = first; k < colormap_.sections().size(); ++k) {
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
}

}  // namespace lumo
