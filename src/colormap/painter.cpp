#include "colormap/painter.h"

namespace lumo {

void Painter::prefixNamesSince(std::size_t first) const {
  if (prefix_.name.size() == 0) return;
  const std::size_t end = sectionCount();
  for (std::size_t k = first; k < end; ++k) {
    LabelText name;
    name << prefix_.name.view() << sectionName(k);
    alsoName(k, name.view());
  }
}

}  // namespace lumo
