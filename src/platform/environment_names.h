#pragma once

#include <string_view>

namespace lumo::platform {

/// Whether two environment variable names are the same, as this platform
/// compares them (exactly on POSIX, without regard to case on Windows).
bool sameEnvironmentName(std::string_view a, std::string_view b);

}  // namespace lumo::platform
