#pragma once

#include <optional>
#include <string>

#include "core/format.h"
#include "core/window_spec.h"

namespace lumo {

/// What the command line gave. Each switch is a tri-state: absent, true or
/// false. Every field starts absent (the explicit `{}` lets designated
/// initializers name only some fields).
struct Args {
  std::optional<std::string> file{};
  std::optional<bool> color{};
  std::optional<bool> uppercase{};
  std::optional<bool> show_size{};
  std::optional<bool> show_offset{};
  std::optional<bool> show_ascii{};
  std::optional<bool> skip_lines{};
  std::optional<bool> raw{};
  std::optional<bool> show_palette{};
  /// `--parser`: null when absent.
  const Format* parser = nullptr;
  /// `--skip`, `--length`, `--section`: the last value of each.
  WindowSpec window{};
  std::optional<bool> legend{};
  /// `--annotate`: a heading before the line where each structure begins.
  std::optional<bool> annotate{};
  /// `--list` and `--json`: the map of the input instead of a dump.
  std::optional<bool> list{};
  std::optional<bool> json{};
  /// `--diff`: the file to compare with ("-" for standard input).
  std::optional<std::string> diff{};

  friend bool operator==(const Args&, const Args&) = default;
};

}  // namespace lumo
