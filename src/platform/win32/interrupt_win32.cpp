#include <string_view>

#include "platform/win32/win32_internal.h"

namespace lumo::platform {
namespace {

// ESC \ ends any string an interrupted dump left open, ESC [0m resets the
// colors.
constexpr std::string_view kTerminalRestore = "\x1b\\\x1b[0m";

// Runs on a thread of its own that the console starts for the event.
BOOL WINAPI restoreTerminalAndExit(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  DWORD written = 0;
  (void)::WriteFile(win32::standardHandle(StdStream::Output), kTerminalRestore.data(),
                    static_cast<DWORD>(kTerminalRestore.size()), &written, nullptr);
  // What the default handler does for these events.
  ::ExitProcess(static_cast<UINT>(STATUS_CONTROL_C_EXIT));
}

}  // namespace

void restoreTerminalOnInterrupt() { (void)::SetConsoleCtrlHandler(restoreTerminalAndExit, TRUE); }

}  // namespace lumo::platform
