#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "parsers/random_access.h"

namespace lumo {

/// Serves the small reads of a walk through many short records (Mach-O load
/// commands, wasm section headers) from one window of the input, so that
/// such a walk costs one read of the input per window, not one per record.
/// Larger reads go straight through.
class WindowedAccess final : public RandomAccess {
 public:
  explicit WindowedAccess(const RandomAccess& input) : input_(input) {}

  std::uint64_t size() const override { return input_.size(); }

  Result<std::size_t> readChecked(std::uint64_t offset, std::uint8_t* out,
                                  std::size_t count) const override {
    if (count > window_.size()) return input_.readChecked(offset, out, count);
    const bool held =
        offset >= start_ && offset - start_ <= filled_ && count <= filled_ - (offset - start_);
    if (!held) {
      const Result<std::size_t> got = input_.readChecked(offset, window_.data(), window_.size());
      start_ = offset;
      filled_ = got ? *got : 0;
      if (!got) return got;
    }
    // After a refill the window starts at `offset` and may hold less.
    const auto inside = static_cast<std::size_t>(offset - start_);
    const std::size_t copied = std::min(count, filled_ - inside);
    if (copied > 0) std::memcpy(out, window_.data() + inside, copied);
    return copied;
  }

 private:
  static constexpr std::size_t kWindowSize = 16 * 1024;

  const RandomAccess& input_;
  mutable std::array<std::uint8_t, kWindowSize> window_{};
  mutable std::uint64_t start_ = 0;
  mutable std::size_t filled_ = 0;
};

}  // namespace lumo
