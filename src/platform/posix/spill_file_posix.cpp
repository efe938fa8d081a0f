#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/posix/posix_internal.h"
#include "platform/posix/retry_interrupted.h"
#include "platform/spill_file_os.h"

namespace lumo::platform {
namespace {

std::string temporaryFolder() {
  const char* folder = std::getenv("TMPDIR");
  return folder != nullptr && *folder != '\0' ? folder : "/tmp";
}

// A file that has no name from the start where the file system allows it;
// elsewhere one whose name is removed at once. Either way nothing is left
// behind when the process ends, however it ends.
int openUnnamed(const std::string& folder) {
#if defined(O_TMPFILE)
  const int fd = posix::retryInterrupted(
      [&] { return ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_EXCL | O_CLOEXEC, 0600); });
  if (fd >= 0) return fd;
#endif
  std::string name = folder + "/lumo-spill-XXXXXX";
  const int named = ::mkostemp(name.data(), O_CLOEXEC);
  if (named < 0) return -1;
  ::unlink(name.c_str());
  return named;
}

}  // namespace

Result<spill::OpenedFile> spill::openFile() {
  const int fd = openUnnamed(temporaryFolder());
  if (fd < 0) return errno == ENOENT ? Failure::FileNotFound : Failure::AccessDenied;
  struct statvfs space {};
  if (::fstatvfs(fd, &space) != 0 || space.f_bavail == 0) {
    ::close(fd);
    return Failure::NoSpaceLeft;
  }
  return OpenedFile{fd, std::uint64_t{space.f_bavail} * space.f_frsize};
}

void spill::closeFile(long long handle) { ::close(static_cast<int>(handle)); }

Status spill::writeAt(long long handle, std::uint64_t offset, ByteSpan bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = posix::retryInterrupted([&] {
      return ::pwrite(static_cast<int>(handle), bytes.data() + done, bytes.size() - done,
                      static_cast<off_t>(offset + done));
    });
    if (written < 0) return posix::writeFailure(errno);
    if (written == 0) return Failure::NoSpaceLeft;
    done += static_cast<std::size_t>(written);
  }
  return {};
}

}  // namespace lumo::platform
