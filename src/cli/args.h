#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/error_report.h"
#include "parsers/registry.h"

namespace lumo {

/// What the command line gave. Each switch is a tri-state: absent, true or
/// false.
struct Args {
  std::optional<std::string> file;
  std::optional<bool> color;
  std::optional<bool> uppercase;
  std::optional<bool> show_size;
  std::optional<bool> show_offset;
  std::optional<bool> show_ascii;
  std::optional<bool> skip_lines;
  std::optional<bool> raw;
  std::optional<bool> show_palette;
  std::optional<ParserKind> parser;
};

/// The outcome of classifying the command line, as a value: the flow (not
/// the parser) prints help, version or the error and ends the process.
struct ArgsOutcome {
  enum class Action : std::uint8_t { Run, Help, Version, Error };
  Action action = Action::Run;
  Args args;                      // Run
  ErrorMessage error{};           // Error
  std::string errorFirst;         // Error: first {s}
  std::string errorSecond;        // Error: second {s}
};

/// Classifies the arguments (program name already skipped) strictly left to
/// right; the first error or help/version request decides the outcome.
ArgsOutcome classifyArgs(const std::vector<std::string>& arguments);

/// classifyArgs, then ends the process for help and version (status 0) and
/// for errors (status 1); returns the Args otherwise.
Args parseArgs(const std::vector<std::string>& arguments);

/// The usage text, the parser list and the author line, exactly as printed.
std::string helpText();
/// "lumo 1.1.0\n".
std::string versionLine();

[[noreturn]] void printHelp();
[[noreturn]] void printVersion();

}  // namespace lumo
