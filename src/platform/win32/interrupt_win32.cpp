#include <string_view>

#include "platform/win32/win32_internal.h"

namespace lumo::platform {
namespace {

// ESC \ ends any string an interrupted dump left open, ESC [0m resets the
// colors.
constexpr std::string_view kTerminalRestore = "\x1b\\\x1b[0m";

// How long the handler waits for a write of the dump to end. A reader that
// has stopped reading must not keep an interrupted process alive.
constexpr DWORD kWriteWaitMilliseconds = 250;

// Runs on a thread of its own that the console starts for the event, while
// the dump goes on. With the output lock taken, no write of the dump starts
// again, so the restore is the last thing written; the lock stays taken
// until the process ends.
BOOL WINAPI restoreTerminalAndExit(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  win32::outputStopping.store(true);
  const ULONGLONG deadline = ::GetTickCount64() + kWriteWaitMilliseconds;
  bool locked = ::TryAcquireSRWLockExclusive(&win32::outputWriteLock) != 0;
  while (!locked && ::GetTickCount64() < deadline) {
    ::Sleep(1);
    locked = ::TryAcquireSRWLockExclusive(&win32::outputWriteLock) != 0;
  }
  if (locked) {
    DWORD written = 0;
    (void)::WriteFile(win32::standardHandle(StdStream::Output), kTerminalRestore.data(),
                      static_cast<DWORD>(kTerminalRestore.size()), &written, nullptr);
  }
  // What the default handler does for these events.
  ::ExitProcess(static_cast<UINT>(STATUS_CONTROL_C_EXIT));
}

}  // namespace

void restoreTerminalOnInterrupt() { (void)::SetConsoleCtrlHandler(restoreTerminalAndExit, TRUE); }

}  // namespace lumo::platform
