#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/byte_span.h"
#include "core/failure.h"

namespace lumo {

/// The input as the structured parsers see it: positioned reads, so a file
/// need not be held in memory to have its headers read.
class RandomAccess {
 public:
  virtual ~RandomAccess() = default;
  /// The input's length as known when it was opened.
  virtual std::uint64_t size() const = 0;
  /// Copies up to `count` bytes from `offset` into `out` and returns how
  /// many, fewer only at the end of the input; the failure when reading
  /// fails.
  virtual Result<std::size_t> readChecked(std::uint64_t offset, std::uint8_t* out,
                                          std::size_t count) const = 0;
  /// As readChecked(), with a failure read as no bytes: for a glance at a
  /// few bytes where a failure and the end mean the same.
  std::size_t readAt(std::uint64_t offset, std::uint8_t* out, std::size_t count) const {
    const Result<std::size_t> got = readChecked(offset, out, count);
    return got ? *got : 0;
  }
};

/// Input that is already in memory.
class MemoryAccess final : public RandomAccess {
 public:
  explicit MemoryAccess(ByteSpan bytes) : bytes_(bytes) {}
  std::uint64_t size() const override { return bytes_.size(); }
  Result<std::size_t> readChecked(std::uint64_t offset, std::uint8_t* out,
                                  std::size_t count) const override {
    if (offset >= bytes_.size()) return std::size_t{0};
    const std::size_t available = bytes_.size() - static_cast<std::size_t>(offset);
    const std::size_t copied = std::min(count, available);
    if (copied > 0) std::memcpy(out, bytes_.data() + offset, copied);
    return copied;
  }

 private:
  ByteSpan bytes_;
};

}  // namespace lumo
