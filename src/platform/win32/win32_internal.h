#pragma once

// What the Windows implementation files of the platform interface share.
// Only files in this folder include it.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/failure.h"
#include "platform/platform.h"

namespace lumo::platform::win32 {

/// The handle behind a standard stream; may be null or invalid when the
/// process was started without it, and then every use of it fails.
HANDLE standardHandle(StdStream stream);

/// A handle as the platform-neutral classes store it, and back.
inline HANDLE asHandle(long long stored) {
  return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(stored));
}
inline long long stored(HANDLE handle) {
  return static_cast<long long>(reinterpret_cast<std::intptr_t>(handle));
}

/// Held around every write to standard output. The console control handler
/// runs on a thread of its own while the dump goes on; taking this lock
/// makes its bytes the last ones written.
extern SRWLOCK outputWriteLock;
/// Set by the console control handler before it takes the lock: no write to
/// standard output starts any more, so the lock comes free at once.
extern std::atomic<bool> outputStopping;

/// UTF-8 to UTF-16; nothing when `text` is not valid UTF-8 or too long for
/// the conversion. Throws std::bad_alloc.
std::optional<std::wstring> toUtf16(std::string_view text);

/// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD. Throws
/// std::bad_alloc, also for text too long for the conversion.
std::string toUtf8(std::wstring_view text);

/// The failure of a WriteFile that failed with `error` (a Win32 error code).
Failure writeFailure(DWORD error);

/// The failure of a ReadFile that failed with `error`; the caller has already
/// dealt with the codes that mean the end of input or a retry.
Failure readFailure(DWORD error);

}  // namespace lumo::platform::win32
