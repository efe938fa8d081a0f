#pragma once

// What the POSIX implementation files of the platform interface share.
// Only files in this folder include it.

#include "core/failure.h"

namespace lumo::platform::posix {

/// The failure of a write that failed with `error` (an errno value).
Failure writeFailure(int error);

}  // namespace lumo::platform::posix
