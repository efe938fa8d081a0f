// Whether a standard stream takes escape sequences: a console with escape
// processing, or the pipe that MSYS2 and Cygwin terminals (mintty) use as a
// pseudo-terminal.
#include <algorithm>
#include <cstdint>

#include "platform/win32/win32_internal.h"

namespace lumo::platform {
namespace {

// Spelled out because older SDKs lack the name.
constexpr DWORD kVirtualTerminalProcessing = 0x0004;

constexpr ULONG kDeviceNamedPipe = 0x11;     // FILE_DEVICE_NAMED_PIPE
constexpr int kFileFsDeviceInformation = 4;  // FS_INFORMATION_CLASS
constexpr int kFileNameInformation = 9;      // FILE_INFORMATION_CLASS
constexpr std::size_t kNameRoom = 260;       // UTF-16 units

// The ntdll records, declared here because the SDK headers that hold them
// differ between toolchains.
struct IoStatusBlock {
  union {
    LONG status;
    void* pointer;
  };
  ULONG_PTR information;
};
struct DeviceInformation {
  ULONG deviceType;
  ULONG characteristics;
};
struct NameInformation {
  ULONG nameBytes;
  WCHAR name[kNameRoom];
};

using NtQueryVolumeInformationFileFn = LONG(NTAPI*)(HANDLE, IoStatusBlock*, void*, ULONG, int);
using NtQueryInformationFileFn = LONG(NTAPI*)(HANDLE, IoStatusBlock*, void*, ULONG, int);

template <typename Function>
Function ntdllFunction(const char* name) {
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  if (ntdll == nullptr) return nullptr;
  FARPROC found = ::GetProcAddress(ntdll, name);
  // Through void(*)() so that the compiler accepts the change of signature.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

bool isNamedPipe(HANDLE handle) {
  const auto query = ntdllFunction<NtQueryVolumeInformationFileFn>("NtQueryVolumeInformationFile");
  if (query == nullptr) return false;
  IoStatusBlock status{};
  DeviceInformation device{};
  if (query(handle, &status, &device, sizeof device, kFileFsDeviceInformation) < 0) return false;
  return device.deviceType == kDeviceNamedPipe;
}

bool hasPseudoTerminalName(HANDLE handle) {
  const auto query = ntdllFunction<NtQueryInformationFileFn>("NtQueryInformationFile");
  if (query == nullptr) return false;
  IoStatusBlock status{};
  NameInformation info{};
  // A name longer than the room fails with an overflow status.
  if (query(handle, &status, &info, sizeof info, kFileNameInformation) < 0) return false;
  const std::size_t units = std::min<std::size_t>(info.nameBytes / sizeof(WCHAR), kNameRoom);
  const std::wstring_view name(info.name, units);
  const bool terminalPipe = name.starts_with(L"\\msys-") || name.starts_with(L"\\cygwin-");
  return terminalPipe && name.find(L"-pty") != std::wstring_view::npos;
}

bool isPseudoTerminalPipe(HANDLE handle) {
  return isNamedPipe(handle) && hasPseudoTerminalName(handle);
}

}  // namespace

bool isTerminal(StdStream stream) {
  const HANDLE handle = win32::standardHandle(stream);
  DWORD mode = 0;
  if (::GetConsoleMode(handle, &mode)) return (mode & kVirtualTerminalProcessing) != 0;
  return isPseudoTerminalPipe(handle);
}

bool detectColorSupport(StdStream stream) {
  const HANDLE handle = win32::standardHandle(stream);
  DWORD mode = 0;
  if (::GetConsoleMode(handle, &mode)) {
    if ((mode & kVirtualTerminalProcessing) != 0) return true;
    // Left switched on: the console is ours for the rest of the run.
    if (::SetConsoleMode(handle, mode | kVirtualTerminalProcessing)) return true;
  }
  return isPseudoTerminalPipe(handle);
}

}  // namespace lumo::platform
