#pragma once

#include <cerrno>

namespace lumo::platform::posix {

/// Calls `call` again for as long as a signal cuts it short (-1 with EINTR)
/// and returns the first other result. Async-signal-safe when `call` is.
/// Not for close(): on Linux the descriptor is gone even when it reports
/// EINTR, and a second close could hit a descriptor opened meanwhile.
template <typename Call>
auto retryInterrupted(Call call) -> decltype(call()) {
  while (true) {
    auto result = call();
    if (result != -1 || errno != EINTR) return result;
  }
}

}  // namespace lumo::platform::posix
