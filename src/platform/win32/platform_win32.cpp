#include "platform/win32/win32_internal.h"

#include <shellapi.h>  // after windows.h, which it needs

#include <algorithm>
#include <cstdint>
#include <new>

namespace lumo::platform {
namespace {

// Bounds one WriteFile, which takes a 32-bit count.
constexpr std::size_t kWriteChunk = 1u << 20;

}  // namespace

namespace win32 {

SRWLOCK outputWriteLock = SRWLOCK_INIT;
std::atomic<bool> outputStopping{false};

HANDLE standardHandle(StdStream stream) {
  switch (stream) {
    case StdStream::Input: return ::GetStdHandle(STD_INPUT_HANDLE);
    case StdStream::Output: return ::GetStdHandle(STD_OUTPUT_HANDLE);
    case StdStream::Error: return ::GetStdHandle(STD_ERROR_HANDLE);
  }
  return INVALID_HANDLE_VALUE;
}

}  // namespace win32

// Windows raises no signal for a vanished reader: WriteFile simply fails.
void prepareProcess() {}

// The C runtime's argv is in the ANSI code page and loses every character
// outside it, so the arguments come from the wide command line instead.
std::vector<std::string> commandLineArguments(int /*argc*/, char** /*argv*/) {
  int count = 0;
  LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr) throw std::bad_alloc();
  struct Release {
    LPWSTR* arguments;
    ~Release() { ::LocalFree(arguments); }
  } release{wide};

  std::vector<std::string> arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(win32::toUtf8(wide[i]));
  return arguments;
}

Status writeAll(StdStream stream, const void* data, std::size_t size) {
  struct OutputLock {
    bool held;
    explicit OutputLock(bool take) : held(take) {
      if (!held) return;
      // The process is ending; the handler writes the last bytes.
      if (win32::outputStopping.load()) ::Sleep(INFINITE);
      ::AcquireSRWLockExclusive(&win32::outputWriteLock);
    }
    ~OutputLock() {
      if (held) ::ReleaseSRWLockExclusive(&win32::outputWriteLock);
    }
    OutputLock(const OutputLock&) = delete;
    OutputLock& operator=(const OutputLock&) = delete;
  } lock(stream == StdStream::Output);
  const HANDLE handle = win32::standardHandle(stream);
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  while (size > 0) {
    const auto chunk = static_cast<DWORD>(std::min(size, kWriteChunk));
    DWORD written = 0;
    if (!::WriteFile(handle, bytes, chunk, &written, nullptr)) {
      return win32::writeFailure(::GetLastError());
    }
    // Only a pipe in non-blocking mode takes nothing; waiting for it here
    // would spin.
    if (written == 0) return Failure::WouldBlock;
    bytes += written;
    size -= written;
  }
  return {};
}

void adviseLargeBuffer(void* /*data*/, std::size_t /*size*/) {}

void exitProcess(int status) { ::ExitProcess(static_cast<UINT>(status)); }

}  // namespace lumo::platform
