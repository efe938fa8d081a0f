#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "platform/environment_names.h"
#include "platform/platform.h"
#include "platform/posix/posix_internal.h"
#include "platform/posix/retry_interrupted.h"

namespace lumo::platform {
namespace {

using posix::retryInterrupted;

int descriptorOf(StdStream stream) {
  switch (stream) {
    case StdStream::Input: return STDIN_FILENO;
    case StdStream::Output: return STDOUT_FILENO;
    case StdStream::Error: return STDERR_FILENO;
  }
  return -1;
}

}  // namespace

Failure posix::writeFailure(int error) {
  switch (error) {
    case EPIPE: return Failure::BrokenPipe;
    case ENOSPC: return Failure::NoSpaceLeft;
    case EDQUOT: return Failure::DiskQuota;
    case EFBIG: return Failure::FileTooBig;
    case EIO: return Failure::InputOutput;
    case EACCES:
    case EPERM: return Failure::AccessDenied;
    case EAGAIN: return Failure::WouldBlock;
    case EBADF: return Failure::NotOpenForWriting;
    case ECONNRESET: return Failure::ConnectionResetByPeer;
    case ENOMEM:
    case ENOBUFS: return Failure::SystemResources;
    case EINVAL: return Failure::InvalidArgument;
    case EBUSY: return Failure::DeviceBusy;
    case ECANCELED: return Failure::OperationAborted;
    default: return Failure::Unexpected;
  }
}

namespace {

Failure readFailure(int error) {
  switch (error) {
    case EISDIR: return Failure::IsDir;
    case ENOMEM: return Failure::OutOfMemory;
    case EIO: return Failure::InputOutput;
    case EACCES:
    case EPERM: return Failure::AccessDenied;
    case EAGAIN: return Failure::WouldBlock;
    case EBADF: return Failure::NotOpenForWriting;
    case ECONNRESET: return Failure::ConnectionResetByPeer;
    default: return Failure::Unexpected;
  }
}

constexpr std::size_t kReadChunk = 1 << 20;

}  // namespace

void prepareProcess() { ::signal(SIGPIPE, SIG_IGN); }

std::vector<std::string> commandLineArguments(int argc, char** argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
  return arguments;
}

Status writeAll(StdStream stream, const void* data, std::size_t size) {
  const int fd = descriptorOf(stream);
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t written = retryInterrupted([&] { return ::write(fd, bytes, size); });
    if (written < 0) return posix::writeFailure(errno);
    bytes += written;
    size -= static_cast<std::size_t>(written);
  }
  return {};
}

bool isTerminal(StdStream stream) { return ::isatty(descriptorOf(stream)) == 1; }

bool detectColorSupport(StdStream stream) { return isTerminal(stream); }

InputSource InputSource::standardInput() { return InputSource(STDIN_FILENO, false, 0); }

Result<InputSource> InputSource::open(const std::string& path) {
  const int fd = retryInterrupted([&] { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC); });
  if (fd < 0) {
    if (errno == ENOENT) return Failure::FileNotFound;
    if (errno == EISDIR) return Failure::IsDir;
    return Failure::AccessDenied;
  }
  struct stat info {};
  std::uint64_t size = 0;
  if (::fstat(fd, &info) == 0) {
    if (S_ISDIR(info.st_mode)) {
      ::close(fd);
      return Failure::IsDir;
    }
    // Files such as those under /proc report 0 and are read as streams.
    if (S_ISREG(info.st_mode) && info.st_size > 0) size = static_cast<std::uint64_t>(info.st_size);
    if (S_ISBLK(info.st_mode)) {
      off_t end = ::lseek(fd, 0, SEEK_END);
      if (end > 0) size = static_cast<std::uint64_t>(end);
      ::lseek(fd, 0, SEEK_SET);
    }
  }
  InputSource source(fd, true, size);
  source.regular_file_ = S_ISREG(info.st_mode);
  return source;
}

Result<InputSource> InputSource::openRegularFile(const std::string& path) {
  // Non-blocking, so that opening a FIFO does not wait for a writer.
  const int fd =
      retryInterrupted([&] { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK); });
  if (fd < 0) return errno == ENOENT ? Failure::FileNotFound : Failure::AccessDenied;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return S_ISDIR(info.st_mode) ? Failure::IsDir : Failure::InvalidArgument;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return InputSource(fd, true, static_cast<std::uint64_t>(info.st_size));
}

InputSource::~InputSource() {
  if (owned_ && handle_ >= 0) ::close(static_cast<int>(handle_));
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
    if (owned_ && handle_ >= 0) ::close(static_cast<int>(handle_));
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
  const int fd = static_cast<int>(handle_);
  ByteBuffer buffer;
  // A regular file is read into one allocation of its size (plus one byte,
  // so that reaching the end needs no reallocation); anything that turns out
  // longer, and streams, grow geometrically.
  struct stat info {};
  std::size_t expected = kReadChunk;
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
    auto size = static_cast<std::uint64_t>(info.st_size);
    if (size >= std::numeric_limits<std::size_t>::max()) return Failure::OutOfMemory;
    expected = static_cast<std::size_t>(size) + 1;
  }
  if (Status reserved = buffer.reserve(expected); !reserved) return reserved.failure();

  while (true) {
    if (buffer.spareSize() == 0) {
      if (Status grown = buffer.reserveExtra(kReadChunk); !grown) return grown.failure();
    }
    const ssize_t got =
        retryInterrupted([&] { return ::read(fd, buffer.spare(), buffer.spareSize()); });
    if (got < 0) return readFailure(errno);
    if (got == 0) break;
    buffer.commit(static_cast<std::size_t>(got));
  }
  return buffer;
}

Result<std::size_t> InputSource::read(std::uint8_t* out, std::size_t count) {
  const ssize_t got =
      retryInterrupted([&] { return ::read(static_cast<int>(handle_), out, count); });
  if (got < 0) return readFailure(errno);
  return static_cast<std::size_t>(got);
}

Result<std::size_t> InputSource::readAt(std::uint64_t offset, std::uint8_t* out,
                                        std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    const ssize_t got = retryInterrupted([&] {
      return ::pread(static_cast<int>(handle_), out + done, count - done,
                     static_cast<off_t>(offset + done));
    });
    if (got < 0) return readFailure(errno);
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return done;
}

Result<Environment> Environment::read() {
  std::vector<std::pair<std::string, std::string>> variables;
  try {
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
      std::string_view text(*entry);
      std::size_t equals = text.find('=');
      if (equals == std::string_view::npos) continue;
      variables.emplace_back(std::string(text.substr(0, equals)),
                             std::string(text.substr(equals + 1)));
    }
  } catch (const std::bad_alloc&) {
    return Failure::OutOfMemory;
  }
  return Environment::of(std::move(variables));
}

bool sameEnvironmentName(std::string_view a, std::string_view b) { return a == b; }

void adviseLargeBuffer(void* data, std::size_t size) {
#if defined(MADV_HUGEPAGE)
  // Only whole huge pages inside the buffer can be advised.
  constexpr std::size_t kHugePage = std::size_t{2} << 20;
  void* start = data;
  std::size_t space = size;
  if (std::align(kHugePage, kHugePage, start, space) == nullptr) return;
  (void)::madvise(start, space - space % kHugePage, MADV_HUGEPAGE);
#else
  (void)data;
  (void)size;
#endif
}

void exitProcess(int status) { std::_Exit(status); }

}  // namespace lumo::platform
