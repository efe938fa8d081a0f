#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/error_report.h"
#include "core/args.h"

namespace lumo {

/// The outcome of classifying the command line, as a value, so that nothing
/// here ends the process; parseArgs acts on it.
struct ArgsOutcome {
  enum class Action : std::uint8_t { Run, Help, Version, Error };
  Action action = Action::Run;
  Args args;                // Run
  ErrorMessage error{};     // Error
  std::string errorFirst;   // Error: first {s}
  std::string errorSecond;  // Error: second {s}
};

/// Classifies the arguments (program name already skipped) strictly left to
/// right; the first error or help/version request decides the outcome. The
/// --parser value is looked up only after the last argument, so any other
/// outcome takes precedence over an unknown parser name. Never ends the
/// process and writes nothing.
ArgsOutcome classifyArgs(const std::vector<std::string>& arguments);

/// classifyArgs, then ends the process for help and version (status 0) and
/// for errors (status 1); returns the Args otherwise.
Args parseArgs(const std::vector<std::string>& arguments);

/// The usage text, the parser list and the author line, exactly as printed.
std::string helpText();
/// "lumo 1.1.0\n", from the project version.
std::string versionLine();

/// Writes helpText() to standard error and ends the process with status 0;
/// a write failure is ignored.
[[noreturn]] void printHelp();
/// Writes versionLine() to standard error and ends the process with status
/// 0; a write failure is ignored.
[[noreturn]] void printVersion();

}  // namespace lumo
