#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "colormap/colormap.h"

namespace lumo {

/// No parent: the "none" value of Structure::parent.
inline constexpr std::uint32_t kNoParent = 0xffffffff;

/// One structure of the input, as `--list` shows it and `--section N`
/// selects it. Text fields are raw bytes from the parser and live as long as
/// the colormap; whoever prints them escapes them.
struct Structure {
  std::uint32_t index{};    // its place in the map: the number --section takes
  std::string kind{};       // "section", "program header", "ELF header"...
  std::string_view name{};  // the name --section takes; empty when it has none
  std::string label{};      // the whole label: "section 15 .text"
  std::uint64_t offset{};
  std::uint64_t size{};
  std::uint32_t parent = kNoParent;  // the nearest structure that contains it
  bool selectable = false;           // whether --section may select it by name
  bool in_file = true;               // false: it occupies no byte of the file (NOBITS)
  PaletteSlot slot = kNormalAlt;     // the slot of its first byte
  std::uint32_t paint = kNoParent;   // the labelled paint it stands for; none for a bare section

  /// The end of its bytes in the file (exclusive); the offset when it has
  /// none there. Never wraps.
  std::uint64_t end() const;
};

/// Where the format's walk stopped early, and why (raw, as recorded; it
/// lives as long as the colormap).
struct MapStop {
  std::uint64_t offset{};
  std::string_view reason{};
};

/// Every structure of a colormap that keeps names, in order of offset, a
/// container before what it contains, for every recorded section the number
/// of its structure, and the walk's stops in order of offset.
struct StructureMap {
  std::vector<Structure> structures;
  std::vector<std::uint32_t> of_section;  // parallel to Colormap::sections()
  std::vector<MapStop> stops;
};

/// The map of a resolved colormap. This is where labels are read: each
/// labelled paint is a structure, whether or not later paints cover it, with
/// its label's text and kind; each name of a selectable structure in
/// sections() joins the structure of its label, the first one naming it.
/// A selectable label that no paint stands for (no bytes painted, or no
/// labels kept) is a structure of its own, listed as "section NAME" (a
/// section without bytes in the file is always such a one).
///
/// parent: the nearest structure before it in the map whose range holds its
/// range (a structure without bytes lies in one that holds its offset past
/// its first byte).
StructureMap structureMap(const Colormap& colormap);

/// Whether `--section` reads `value` as a structure's number: digits only.
bool isStructureNumber(std::string_view value);

/// The one stretch that every recorded section named `name` stands for, or
/// none when no section has that name or the sections of that name lie in
/// different places (the name is ambiguous). Needs no labels.
std::optional<NamedSection> onlySectionNamed(const Colormap& colormap, std::string_view name);

/// The numbers of the structures that `--section` means by `value`: the
/// structure numbered `value` when it is all digits, else every structure
/// that a section of that name stands for (several when the name is
/// ambiguous). Empty when none fits.
std::vector<std::uint32_t> structuresNamed(const StructureMap& map, const Colormap& colormap,
                                           std::string_view value);

}  // namespace lumo
