#pragma once

#include <optional>
#include <string>

#include "config/options.h"
#include "platform/failure.h"
#include "platform/platform.h"

namespace lumo {

/// Where the configuration file lives for this environment, or nothing when
/// the environment names no place for it.
std::optional<std::string> configPath(const platform::Environment& environment);

/// Finds, reads and binds the configuration file. No file (or one that
/// cannot be opened, or is empty) is no configuration. A malformed file has
/// its diagnostic written to standard error and gives InvalidConfig.
Result<std::optional<Config>> readConfig(const platform::Environment& environment);

}  // namespace lumo
