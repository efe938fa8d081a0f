#pragma once

#include "app/run_error.h"
#include "config/options.h"
#include "core/args.h"

namespace lumo {

/// `lumo FILE --diff OTHER`: opens both inputs, chooses each one's window
/// (a section in each at its own offset; --skip and --length at the same
/// offsets in both), and writes their comparison, then with --legend the
/// structures of each that hold differences, and the summary line. Fails
/// with the flags it cannot go with, and as opening or reading fails.
RunStatus compareFiles(const Args& args, const Options& options);

}  // namespace lumo
