#include <utility>

#include "platform/platform.h"
#include "platform/spill_file_os.h"

namespace lumo::platform {

Result<SpillFile> SpillFile::create() {
  const Result<spill::OpenedFile> file = spill::openFile();
  if (!file) return file.failure();
  return SpillFile(file->handle, file->free_space / 2);
}

SpillFile::~SpillFile() {
  if (handle_ != -1) spill::closeFile(handle_);
}

SpillFile::SpillFile(SpillFile&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)),
      size_(std::exchange(other.size_, 0)),
      limit_(std::exchange(other.limit_, 0)) {}

SpillFile& SpillFile::operator=(SpillFile&& other) noexcept {
  if (this != &other) {
    if (handle_ != -1) spill::closeFile(handle_);
    handle_ = std::exchange(other.handle_, -1);
    size_ = std::exchange(other.size_, 0);
    limit_ = std::exchange(other.limit_, 0);
  }
  return *this;
}

Status SpillFile::append(ByteSpan bytes) {
  if (bytes.size() > room()) return Failure::FileTooBig;
  const Status written = spill::writeAt(handle_, size_, bytes);
  if (!written) return written;
  size_ += bytes.size();
  return {};
}

InputSource SpillFile::toInput() && {
  InputSource input(std::exchange(handle_, -1), true, size_);
  size_ = 0;
  limit_ = 0;
  return input;
}

}  // namespace lumo::platform
