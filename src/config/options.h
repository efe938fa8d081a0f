#pragma once

#include <optional>

#include "config/palette.h"
#include "core/args.h"
#include "core/failure.h"
#include "platform/platform.h"

namespace lumo {

/// The resolved display options; a plain value that nothing changes after
/// resolveOptions.
struct Options {
  bool color = false;
  bool uppercase = false;
  bool show_size = true;
  bool show_offset = true;
  bool show_ascii = true;
  bool skip_lines = true;
  bool raw = false;
  const Format* parser = nullptr;  // null: chosen by the input
  WindowSpec window{};
  bool legend = false;
  bool annotate = false;  // headings where structures begin in the dump
  bool list = false;      // the map of the input instead of a dump
  Palette palette = defaultPalette();

  friend bool operator==(const Options&, const Options&) = default;
};

/// The configuration file's values; every field absent unless given.
struct Config {
  std::optional<bool> color{};
  std::optional<bool> uppercase{};
  std::optional<bool> show_size{};
  std::optional<bool> show_offset{};
  std::optional<bool> show_ascii{};
  std::optional<bool> skip_lines{};
  std::optional<bool> raw{};
  std::optional<Palette> palette{};
};

/// Defaults, then the configuration file, then NO_COLOR, then the flags.
/// Fails with InvalidConfig (diagnostics already on standard error),
/// OutOfMemory, or a read failure of the configuration file.
Result<Options> resolveOptions(const Args& args);

/// The merge itself, without touching the process: `terminal` is the answer
/// of the color test of standard output.
Options mergeOptions(const Args& args, bool terminal, const std::optional<Config>& config,
                     const platform::Environment& environment);

}  // namespace lumo
