#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/document.h"
#include "app/run_error.h"
#include "colormap/colormap.h"
#include "config/options.h"
#include "core/window_spec.h"
#include "render/dump.h"

namespace lumo {

/// Why a window cannot be shown.
enum class WindowProblem : std::uint8_t {
  None,
  SkipFromEndWithoutSize,  // a negative --skip on input without a size
  NoNamedSections,         // --section on input that records none
  UnknownSection,          // --section names none of them
  NoStructureNumbered,     // --section gives a number past the last structure
  AmbiguousSection,        // --section names more than one structure
  SectionWithoutBytes,     // the section occupies nothing in the file
};

struct WindowChoice {
  DumpWindow window{};
  WindowProblem problem = WindowProblem::None;
  std::uint64_t section_offset{};  // where the section --section chose starts
  // AmbiguousSection: each candidate's number and range, "3 (0x40-0x47)",
  // ", " between them; NoStructureNumbered: the range of numbers there are.
  std::string detail{};
};

/// The window that `spec` asks for, on input of `size` bytes (none for a
/// stream that is not read whole). A section, by name or by its number in
/// the structure map, bounds the window and `--skip` and `--length` count
/// inside it; a negative skip counts back from the end of the section or
/// input; skipping past the end gives an empty window that starts at the
/// offset asked for.
WindowChoice chooseWindow(const WindowSpec& spec, std::optional<std::uint64_t> size,
                          const Colormap& colormap);

/// The section names of the colormap, escaped, separated by ", ", cut after
/// a few dozen (a hostile table may hold 65535).
std::string sectionNameList(const Colormap& colormap);

/// What a run makes of a section it cannot show: a dump lists the names
/// there are and ends with a notice for a section without bytes; a
/// comparison names the file that lacks it and compares no bytes.
enum class SectionPolicy : std::uint8_t { Dump, Compare };

/// chooseWindow() on the document, its problems turned into the run's
/// failures (or, for a section without bytes in a dump, a notice).
RunResult<DumpWindow> windowOf(const Document& document, const Options& options,
                               SectionPolicy policy);

}  // namespace lumo
