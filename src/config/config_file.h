#pragma once

#include <optional>
#include <string>

#include "config/options.h"
#include "core/failure.h"
#include "platform/platform.h"
#include "ziggy/diagnostic.h"

namespace lumo {

/// Where the configuration file lives for this environment, or nothing when
/// the environment names no place for it. `APPDATA` decides when it is set
/// (an empty value gives the relative "lumo/config.ziggy"); elsewhere than
/// on Windows, `XDG_CONFIG_HOME` (only an absolute path; a relative one is
/// ignored) and then `HOME` are tried next.
std::optional<std::string> configPath(const platform::Environment& environment);

/// Finds, reads and binds the configuration file. No file (or one that
/// cannot be opened, or is empty) is no configuration. A read failure after
/// opening is returned as it is. A malformed file has its diagnostic
/// written to standard error and gives InvalidConfig.
Result<std::optional<Config>> readConfig(const platform::Environment& environment);

/// What follows the error prefix on standard error for a malformed file:
/// ": ", the formatted diagnostic, and a line feed.
std::string configDiagnosticReport(const ziggy::Diagnostic& diagnostic);

}  // namespace lumo
