#include "ziggy/position.h"

#include <algorithm>

namespace lumo::ziggy {
namespace {

// Moves `position` from offset `from` to offset `to` (from <= to).
void advance(Position& position, std::string_view text, std::size_t from, std::size_t to) {
  for (std::size_t i = from; i < to; ++i) {
    if (text[i] == '\n') {
      ++position.line;
      position.col = 1;
    } else {
      ++position.col;
    }
  }
}

}  // namespace

Selection selectionOf(Loc loc, std::string_view text) {
  std::size_t start = std::min<std::size_t>(loc.start, text.size());
  std::size_t end = std::clamp<std::size_t>(loc.end, start, text.size());
  Selection selection;
  advance(selection.start, text, 0, start);
  selection.end = selection.start;
  advance(selection.end, text, start, end);
  return selection;
}

}  // namespace lumo::ziggy
