#include "app/input_adapters.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace lumo {

std::size_t FileAccess::readAt(std::uint64_t offset, std::uint8_t* out, std::size_t count) const {
  const bool cached = offset >= blockStart_ && offset - blockStart_ <= blockSize_ &&
                      count <= blockSize_ - (offset - blockStart_);
  if (!cached && count <= kBlock / 16) {
    if (!block_) block_.reset(new (std::nothrow) std::uint8_t[kBlock]);
    if (block_) {
      Result<std::size_t> got = source_.readAt(offset, block_.get(), kBlock);
      blockStart_ = offset;
      blockSize_ = got.ok() ? *got : 0;
      // A short block is the end of the file (or a failure): serve from it.
      const std::size_t copied = std::min(count, blockSize_);
      if (copied > 0) std::memcpy(out, block_.get(), copied);
      return copied;
    }
  }
  if (cached) {
    std::memcpy(out, block_.get() + (offset - blockStart_), count);
    return count;
  }
  Result<std::size_t> got = source_.readAt(offset, out, count);
  return got.ok() ? *got : 0;
}

Result<std::size_t> FileStream::read(std::uint8_t* out, std::size_t count) {
  Result<std::size_t> got = source_.readAt(offset_, out, count);
  if (got.ok()) offset_ += *got;
  return got;
}

Result<std::size_t> PrefixedStream::read(std::uint8_t* out, std::size_t count) {
  if (prefix_.empty()) return source_.read(out, count);
  const std::size_t copied = std::min(count, prefix_.size());
  std::memcpy(out, prefix_.data(), copied);
  prefix_ = prefix_.subspan(copied);
  return copied;
}

Result<std::size_t> DroppingStream::read(std::uint8_t* out, std::size_t count) {
  while (left_ > 0) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(count, left_));
    Result<std::size_t> got = inner_.read(out, want);
    if (!got || *got == 0) return got;
    left_ -= *got;
  }
  return inner_.read(out, count);
}

Status readAtLeast(platform::InputSource& source, ByteBuffer& buffer, std::size_t count) {
  constexpr std::size_t kStep = 64 * 1024;
  while (buffer.size() < count) {
    if (Status room = buffer.reserveExtra(kStep); !room) return room;
    Result<std::size_t> got = source.read(buffer.spare(), buffer.spareSize());
    if (!got) return got.status();
    if (*got == 0) break;
    buffer.commit(*got);
  }
  return {};
}

Status readRest(platform::InputSource& source, ByteBuffer& buffer) {
  constexpr std::size_t kStep = 1 << 20;
  while (true) {
    if (Status room = buffer.reserveExtra(kStep); !room) return room;
    Result<std::size_t> got = source.read(buffer.spare(), buffer.spareSize());
    if (!got) return got.status();
    if (*got == 0) return {};
    buffer.commit(*got);
  }
}

}  // namespace lumo
