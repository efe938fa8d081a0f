#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "parsers/random_access.h"

namespace lumo {

/// A stretch of another input seen as an input of its own, so that a
/// universal Mach-O file's slice is read exactly as a thin file is: offset 0
/// is the slice's first byte and nothing past its end can be read.
class SliceAccess final : public RandomAccess {
 public:
  /// The `length` bytes at `start` of `whole`, cut at its end.
  SliceAccess(const RandomAccess& whole, std::uint64_t start, std::uint64_t length)
      : whole_(whole),
        start_(start),
        size_(start < whole.size() ? std::min(length, whole.size() - start) : 0) {}

  std::uint64_t size() const override { return size_; }
  Result<std::size_t> readChecked(std::uint64_t offset, std::uint8_t* out,
                                  std::size_t count) const override {
    if (offset >= size_) return std::size_t{0};
    const std::uint64_t available = size_ - offset;
    const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(count, available));
    return whole_.readChecked(start_ + offset, out, wanted);
  }

 private:
  const RandomAccess& whole_;
  std::uint64_t start_;
  std::uint64_t size_;
};

}  // namespace lumo
