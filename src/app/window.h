#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "colormap/colormap.h"
#include "core/window_spec.h"
#include "render/dump.h"

namespace lumo {

/// Why a window cannot be shown.
enum class WindowProblem : std::uint8_t {
  None,
  SkipFromEndWithoutSize,  // a negative --skip on input without a size
  NoNamedSections,         // --section on input that records none
  UnknownSection,          // --section names none of them
  SectionWithoutBytes,     // the section occupies nothing in the file
};

struct WindowChoice {
  DumpWindow window;
  WindowProblem problem = WindowProblem::None;
  const NamedSection* section = nullptr;  // the one --section chose
};

/// The window that `spec` asks for, on input of `size` bytes (none for a
/// stream that is not read whole). A section bounds the window and `--skip`
/// and `--length` count inside it; a negative skip counts back from the end
/// of the section or input; skipping past the end gives an empty window
/// that starts at the offset asked for.
WindowChoice chooseWindow(const WindowSpec& spec, std::optional<std::uint64_t> size,
                          const Colormap& colormap);

/// The section names of the colormap, escaped, separated by ", ", cut after
/// a few dozen (a hostile table may hold 65535).
std::string sectionNameList(const Colormap& colormap);

}  // namespace lumo
