#include "app/input_adapters.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace lumo {

Result<std::size_t> FileAccess::readChecked(std::uint64_t offset, std::uint8_t* out,
                                            std::size_t count) const {
  for (std::size_t b = 0; b < 2; ++b) {
    const Block& block = blocks_[b];
    if (block.bytes && offset >= block.start && offset - block.start <= block.size &&
        count <= block.size - (offset - block.start)) {
      std::memcpy(out, block.bytes.get() + (offset - block.start), count);
      lastUsed_ = b;
      return count;
    }
  }
  if (count <= kBlock / 16) {
    // Refill the block not used last.
    const std::size_t b = 1 - lastUsed_;
    Block& block = blocks_[b];
    if (!block.bytes) block.bytes.reset(new (std::nothrow) std::uint8_t[kBlock]);
    if (block.bytes) {
      const Result<std::size_t> got = source_.readAt(offset, block.bytes.get(), kBlock);
      block.start = offset;
      block.size = got.ok() ? *got : 0;
      lastUsed_ = b;
      if (!got) return got;
      // A short block is the end of the file: serve from it.
      const std::size_t copied = std::min(count, block.size);
      if (copied > 0) std::memcpy(out, block.bytes.get(), copied);
      return copied;
    }
  }
  return source_.readAt(offset, out, count);
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
  if (left_ > 0 && !drop_) drop_.reset(new (std::nothrow) std::uint8_t[kDropBlock]);
  // Without room of its own the drop goes through the caller's buffer.
  std::uint8_t* const scratch = drop_ ? drop_.get() : out;
  const std::size_t room = drop_ ? kDropBlock : count;
  while (left_ > 0) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(room, left_));
    Result<std::size_t> got = inner_.read(scratch, want);
    if (!got) return got;
    if (*got == 0) {
      endedAt_ = dropped_;
      return got;
    }
    left_ -= *got;
    dropped_ += *got;
  }
  drop_.reset();
  Result<std::size_t> got = inner_.read(out, count);
  if (got && *got == 0 && !passed_) endedAt_ = dropped_;
  if (got && *got > 0) passed_ = true;
  return got;
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

Status readRest(platform::InputSource& source, ByteBuffer& buffer, std::uint64_t cap) {
  constexpr std::size_t kStep = 1 << 20;
  while (true) {
    if (buffer.size() > cap) return Failure::OutOfMemory;
    if (Status room = buffer.reserveExtra(kStep); !room) return room;
    // One byte past the cap is enough to tell that the stream outgrows it.
    const std::uint64_t left = cap - buffer.size();
    const std::size_t wanted =
        left < buffer.spareSize() ? static_cast<std::size_t>(left) + 1 : buffer.spareSize();
    Result<std::size_t> got = source.read(buffer.spare(), wanted);
    if (!got) return got.status();
    if (*got == 0) return {};
    buffer.commit(*got);
  }
}

}  // namespace lumo
