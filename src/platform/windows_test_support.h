#pragma once

// Helpers for the tests of the Windows platform implementation, which run
// the real Win32 calls (under Wine when cross-built).

#ifdef _WIN32

#include <filesystem>
#include <string>
#include <string_view>

#include "platform/win32/win32_internal.h"

namespace lumo::platform::testing {

/// A fresh folder under the temporary folder, removed with its content.
class TempFolder {
 public:
  TempFolder() {
    static unsigned counter = 0;
    path_ = std::filesystem::temp_directory_path() /
            ("lumo-platform-" + std::to_string(::GetCurrentProcessId()) + "-" +
             std::to_string(counter++));
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }

  /// Writes `content` to the file `name` in the folder; returns its path.
  std::filesystem::path write(const std::filesystem::path& name, std::string_view content) const {
    const std::filesystem::path file = path_ / name;
    HANDLE handle = ::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    ::WriteFile(handle, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    ::CloseHandle(handle);
    return file;
  }

 private:
  std::filesystem::path path_;
};

/// The path as the UTF-8 text that lumo's interfaces take.
inline std::string utf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

/// Puts `handle` in place of a standard handle for the life of this object.
/// The C runtime keeps its own copies, so the test's own output is not
/// affected.
class StdHandleSwap {
 public:
  StdHandleSwap(DWORD which, HANDLE handle) : which_(which), saved_(::GetStdHandle(which)) {
    ::SetStdHandle(which, handle);
  }
  ~StdHandleSwap() { ::SetStdHandle(which_, saved_); }
  StdHandleSwap(const StdHandleSwap&) = delete;
  StdHandleSwap& operator=(const StdHandleSwap&) = delete;

 private:
  DWORD which_;
  HANDLE saved_;
};

/// A handle closed at the end of the scope.
struct OwnedHandle {
  HANDLE handle = INVALID_HANDLE_VALUE;
  explicit OwnedHandle(HANDLE h) : handle(h) {}
  ~OwnedHandle() {
    if (handle != INVALID_HANDLE_VALUE && handle != nullptr) ::CloseHandle(handle);
  }
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  void close() {
    ::CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
  }
};

}  // namespace lumo::platform::testing

#endif  // _WIN32
