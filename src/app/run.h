#pragma once

namespace lumo {

/// One run of the program from its arguments to its exit status; ends the
/// process itself and never returns.
[[noreturn]] void run(int argc, char** argv);

}  // namespace lumo
