#include <algorithm>
#include <cstdint>
#include <limits>
#include <new>

#include "platform/win32/win32_internal.h"

namespace lumo::platform {
namespace {

// How much a buffer grows by while a stream, or a file that grew, is read.
constexpr std::size_t kReadChunk = 1u << 20;
// Bounds one ReadFile, which takes a 32-bit count.
constexpr std::size_t kMaxRead = 1u << 30;

using win32::asHandle;
using win32::stored;

bool isDirectory(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Whether a leading part of `path` names something that is not a directory,
// as in "notes.txt\inner". Windows reports such a path as not found, but
// nothing is missing: it cannot be opened.
bool leadsThroughFile(std::wstring& path) {
  for (std::size_t i = 1; i < path.size(); ++i) {
    if (path[i] != L'\\' && path[i] != L'/') continue;
    const wchar_t separator = path[i];
    path[i] = L'\0';
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    path[i] = separator;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      return true;
    }
  }
  return false;
}

Failure openFailure(std::wstring& path, DWORD error) {
  // A directory cannot be opened as a file: that shows as access denied.
  if (isDirectory(path)) return Failure::IsDir;
  switch (error) {
    case ERROR_FILE_NOT_FOUND: return Failure::FileNotFound;
    case ERROR_PATH_NOT_FOUND:
      // No name of the vocabulary fits a path through a file better.
      return leadsThroughFile(path) ? Failure::InvalidArgument : Failure::FileNotFound;
    case ERROR_ACCESS_DENIED: return Failure::AccessDenied;
    case ERROR_SHARING_VIOLATION: return Failure::DeviceBusy;
    default: return Failure::Unexpected;
  }
}

bool isDirectoryHandle(HANDLE handle) {
  FILE_STANDARD_INFO info{};
  return ::GetFileInformationByHandleEx(handle, FileStandardInfo, &info, sizeof info) &&
         info.Directory;
}

// The size of a file on disk with content; 0 for everything read as a
// stream (pipes, consoles, empty files). IsDir for a directory.
Result<std::uint64_t> diskFileSize(HANDLE handle) {
  if (::GetFileType(handle) != FILE_TYPE_DISK) return std::uint64_t{0};
  FILE_STANDARD_INFO info{};
  if (!::GetFileInformationByHandleEx(handle, FileStandardInfo, &info, sizeof info)) {
    return std::uint64_t{0};
  }
  if (info.Directory) return Failure::IsDir;
  const LONGLONG size = info.EndOfFile.QuadPart;
  return size > 0 ? static_cast<std::uint64_t>(size) : 0;
}

// One ReadFile at the current position, repeated when cancelled; 0 at the
// end of input.
Result<std::size_t> readSome(HANDLE handle, std::uint8_t* out, std::size_t count) {
  const auto want = static_cast<DWORD>(std::min(count, kMaxRead));
  while (true) {
    DWORD got = 0;
    if (::ReadFile(handle, out, want, &got, nullptr)) return std::size_t{got};
    const DWORD error = ::GetLastError();
    if (error == ERROR_OPERATION_ABORTED) continue;
    // The writer of a pipe has closed it: that is the end of the input.
    if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) return std::size_t{0};
    // A directory handed over as standard input cannot be read.
    if (isDirectoryHandle(handle)) return Failure::IsDir;
    return win32::readFailure(error);
  }
}

// One ReadFile at `offset`; 0 at the end of the file.
Result<std::size_t> readSomeAt(HANDLE handle, std::uint64_t offset, std::uint8_t* out,
                               std::size_t count) {
  const auto want = static_cast<DWORD>(std::min(count, kMaxRead));
  while (true) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    if (::ReadFile(handle, out, want, &got, &at)) return std::size_t{got};
    const DWORD error = ::GetLastError();
    if (error == ERROR_OPERATION_ABORTED) continue;
    if (error == ERROR_HANDLE_EOF) return std::size_t{0};
    return win32::readFailure(error);
  }
}

}  // namespace

InputSource InputSource::standardInput() {
  return InputSource(stored(win32::standardHandle(StdStream::Input)), false, 0);
}

Result<InputSource> InputSource::open(const std::string& path) {
  std::optional<std::wstring> wide;
  try {
    wide = win32::toUtf16(path);
  } catch (const std::bad_alloc&) {
    return Failure::OutOfMemory;
  }
  // No Windows name holds invalid UTF-8 or a zero character.
  if (!wide || wide->find(L'\0') != std::wstring::npos) return Failure::InvalidArgument;
  // Others may go on writing, renaming or deleting the file while we read.
  const HANDLE handle = ::CreateFileW(wide->c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return openFailure(*wide, ::GetLastError());
  Result<std::uint64_t> size = diskFileSize(handle);
  if (!size) {
    ::CloseHandle(handle);
    return size.failure();
  }
  InputSource source(stored(handle), true, *size);
  source.regular_file_ = ::GetFileType(handle) == FILE_TYPE_DISK;
  return source;
}

Result<InputSource> InputSource::openRegularFile(const std::string& path) {
  Result<InputSource> source = open(path);
  if (!source) return source;
  // Pipes and devices are not files to read to their end.
  if (::GetFileType(asHandle(source->handle_)) != FILE_TYPE_DISK) return Failure::InvalidArgument;
  return source;
}

InputSource::~InputSource() {
  if (owned_) ::CloseHandle(asHandle(handle_));
}

InputSource::InputSource(InputSource&& other) noexcept
    : handle_(other.handle_),
      owned_(other.owned_),
      size_(other.size_),
      regular_file_(other.regular_file_) {
  other.handle_ = -1;
  other.owned_ = false;
}

InputSource& InputSource::operator=(InputSource&& other) noexcept {
  if (this != &other) {
    if (owned_) ::CloseHandle(asHandle(handle_));
    handle_ = other.handle_;
    owned_ = other.owned_;
    size_ = other.size_;
    regular_file_ = other.regular_file_;
    other.handle_ = -1;
    other.owned_ = false;
  }
  return *this;
}

Result<ByteBuffer> InputSource::readAll() {
  const HANDLE handle = asHandle(handle_);
  // A file is read into one allocation of its size, plus one byte so that
  // reaching the end needs no reallocation; anything that turns out longer,
  // and streams, grow geometrically.
  std::size_t capacity = kReadChunk;
  if (size_ > 0) {
    if (size_ >= std::numeric_limits<std::size_t>::max()) return Failure::OutOfMemory;
    capacity = static_cast<std::size_t>(size_) + 1;
  }
  ByteBuffer buffer;
  if (Status reserved = buffer.reserve(capacity); !reserved) return reserved.failure();
  while (true) {
    if (buffer.spareSize() == 0) {
      if (Status grown = buffer.reserveExtra(kReadChunk); !grown) return grown.failure();
    }
    Result<std::size_t> got = readSome(handle, buffer.spare(), buffer.spareSize());
    if (!got) return got.failure();
    if (*got == 0) break;
    buffer.commit(*got);
  }
  return buffer;
}

Result<std::size_t> InputSource::read(std::uint8_t* out, std::size_t count) {
  return readSome(asHandle(handle_), out, count);
}

Result<std::size_t> InputSource::readAt(std::uint64_t offset, std::uint8_t* out,
                                        std::size_t count) {
  const HANDLE handle = asHandle(handle_);
  // A positioned ReadFile on a handle opened for synchronous use moves the
  // file pointer as well; it is put back afterwards.
  LARGE_INTEGER position{};
  if (!::SetFilePointerEx(handle, LARGE_INTEGER{}, &position, FILE_CURRENT)) {
    return win32::readFailure(::GetLastError());
  }
  std::size_t done = 0;
  Result<std::size_t> result = done;
  while (done < count) {
    Result<std::size_t> got = readSomeAt(handle, offset + done, out + done, count - done);
    if (!got) {
      result = got.failure();
      break;
    }
    if (*got == 0) break;
    done += *got;
    result = done;
  }
  ::SetFilePointerEx(handle, position, nullptr, FILE_BEGIN);
  return result;
}

}  // namespace lumo::platform
