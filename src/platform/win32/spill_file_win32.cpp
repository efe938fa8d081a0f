#include <algorithm>
#include <string>

#include "platform/spill_file_os.h"
#include "platform/win32/win32_internal.h"

namespace lumo::platform {
namespace {

// Bounds one WriteFile, which takes a 32-bit count.
constexpr std::size_t kMaxWrite = 1u << 30;

// The temporary folder with its trailing backslash; nothing when Windows
// names none that fits.
std::optional<std::wstring> temporaryFolder() {
  std::wstring folder(MAX_PATH + 1, L'\0');
  const DWORD length = ::GetTempPathW(static_cast<DWORD>(folder.size()), folder.data());
  if (length == 0 || length >= folder.size()) return std::nullopt;
  folder.resize(length);
  return folder;
}

// Deleted by the system when its handle closes, which also happens when the
// process is killed. As a temporary file its pages stay in the cache where
// memory allows, instead of being written out.
HANDLE createUnique(const std::wstring& folder) {
  LARGE_INTEGER ticks{};
  ::QueryPerformanceCounter(&ticks);
  const std::wstring stem = folder + L"lumo-spill-" + std::to_wstring(::GetCurrentProcessId()) +
                            L"-" + std::to_wstring(ticks.QuadPart) + L"-";
  for (int attempt = 0; attempt < 16; ++attempt) {
    const std::wstring name = stem + std::to_wstring(attempt) + L".tmp";
    const HANDLE handle =
        ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                      FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_FILE_EXISTS) return handle;
  }
  return INVALID_HANDLE_VALUE;
}

}  // namespace

Result<spill::OpenedFile> spill::openFile() {
  std::optional<std::wstring> folder;
  try {
    folder = temporaryFolder();
  } catch (const std::bad_alloc&) {
    return Failure::OutOfMemory;
  }
  if (!folder) return Failure::FileNotFound;
  ULARGE_INTEGER free{};
  if (!::GetDiskFreeSpaceExW(folder->c_str(), &free, nullptr, nullptr)) {
    return Failure::FileNotFound;
  }
  if (free.QuadPart == 0) return Failure::NoSpaceLeft;
  HANDLE handle = INVALID_HANDLE_VALUE;
  try {
    handle = createUnique(*folder);
  } catch (const std::bad_alloc&) {
    return Failure::OutOfMemory;
  }
  if (handle == INVALID_HANDLE_VALUE) return Failure::AccessDenied;
  return OpenedFile{win32::stored(handle), free.QuadPart};
}

void spill::closeFile(long long handle) { ::CloseHandle(win32::asHandle(handle)); }

Status spill::writeAt(long long handle, std::uint64_t offset, ByteSpan bytes) {
  const HANDLE file = win32::asHandle(handle);
  std::size_t done = 0;
  while (done < bytes.size()) {
    const std::uint64_t at = offset + done;
    OVERLAPPED overlapped{};
    overlapped.Offset = static_cast<DWORD>(at);
    overlapped.OffsetHigh = static_cast<DWORD>(at >> 32);
    const auto want = static_cast<DWORD>(std::min(bytes.size() - done, kMaxWrite));
    DWORD written = 0;
    if (!::WriteFile(file, bytes.data() + done, want, &written, &overlapped)) {
      const DWORD error = ::GetLastError();
      if (error == ERROR_OPERATION_ABORTED) continue;
      return win32::writeFailure(error);
    }
    if (written == 0) return Failure::NoSpaceLeft;
    done += written;
  }
  return {};
}

}  // namespace lumo::platform
