#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>

#include "colormap/colormap.h"
#include "parsers/random_access.h"

namespace lumo {

/// The bytes of a stream that are in memory now: [base, base + count) of the
/// whole input, at offsets of the whole input. Until the stream has ended its
/// size is unknown, and size() says "more may follow" as the largest offset.
class StreamView final : public RandomAccess {
 public:
  StreamView(const std::uint8_t* bytes, std::uint64_t base, std::size_t count, bool ended)
      : bytes_(bytes), base_(base), count_(count), ended_(ended) {}
  std::uint64_t size() const override {
    return ended_ ? base_ + count_ : std::numeric_limits<std::uint64_t>::max();
  }
  Result<std::size_t> readChecked(std::uint64_t offset, std::uint8_t* out,
                                  std::size_t count) const override {
    if (offset < base_ || offset - base_ >= count_) return std::size_t{0};
    const auto at = static_cast<std::size_t>(offset - base_);
    const std::size_t copied = std::min(count, count_ - at);
    std::memcpy(out, bytes_ + at, copied);
    return copied;
  }
  std::uint64_t base() const { return base_; }
  /// The offset after the last byte in memory.
  std::uint64_t end() const { return base_ + count_; }
  /// Whether the stream has ended at end().
  bool ended() const { return ended_; }

 private:
  const std::uint8_t* bytes_;
  std::uint64_t base_;
  std::size_t count_;
  bool ended_;
};

/// The most bytes a forward walk needs in memory at once past the offset it
/// returned, unless its lookahead() says more: its largest record with the
/// names it reads. The stream's buffer is far larger, so a walk always gets
/// them.
inline constexpr std::size_t kForwardLookahead = 4096;

/// A format that colors a stream front to back as its bytes pass: the walk
/// is called again each time more of the stream is in memory, and keeps its
/// own place between calls.
class ForwardWalk {
 public:
  virtual ~ForwardWalk() = default;
  /// Walks on over the bytes of `view`, painting into `colormap` (a new one
  /// each call; the caller carries the paints that reach past what it
  /// showed). Returns the offset before which every byte is painted for
  /// good: the walk will read and paint nothing before it again. It needs
  /// no byte of `view` before its previous answer, and at most
  /// lookahead() bytes after its answer. May throw std::bad_alloc.
  virtual std::uint64_t advance(const StreamView& view, Colormap& colormap) = 0;
  /// How many bytes at the end of the input the walk may paint only once it
  /// knows that they are the end (a trailer): the stream holds them back.
  virtual std::uint64_t tail() const { return 0; }
  /// The most bytes the walk needs in memory at once past its answer; the
  /// stream's buffer holds at least twice as many.
  virtual std::size_t lookahead() const { return kForwardLookahead; }
};

}  // namespace lumo
