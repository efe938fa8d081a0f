#pragma once

#include <cstddef>
#include <string_view>

#include "ziggy/token.h"

namespace lumo::ziggy {

/// A place in the text as messages show it: 1-based line and 1-based byte
/// column (a tab counts as one byte).
struct Position {
  std::size_t line = 1;
  std::size_t col = 1;
  friend constexpr bool operator==(const Position&, const Position&) = default;
};

/// The positions of a range's start and end.
struct Selection {
  Position start;
  Position end;
  friend constexpr bool operator==(const Selection&, const Selection&) = default;
};

/// Where `loc` lies in `text`. Scans from the beginning of the text, so it
/// is meant for the one problem that ends a parse, not for every token.
/// Offsets past the text count as lying at its end.
Selection selectionOf(Loc loc, std::string_view text);

}  // namespace lumo::ziggy
