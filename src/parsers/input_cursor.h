#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "core/byte_span.h"
#include "core/failure.h"
#include "parsers/random_access.h"

namespace lumo {

/// A read position over the whole input. Every read of a header or table
/// entry goes through here, so no offset taken from a file can reach outside
/// the input.
class InputCursor {
 public:
  /// Records up to this size are read into the cursor's own storage, with
  /// no allocation; it is also the most bytes peekUpTo() gives.
  static constexpr std::size_t kHeldRecord = 80;
  /// The largest record readExact() takes: a size read from a file cannot
  /// make a cursor hold more.
  static constexpr std::uint64_t kLargestRecord = std::uint64_t{16} << 20;

  explicit InputCursor(const RandomAccess& input) : input_(input) {}

  std::uint64_t position() const { return position_; }

  /// Moves to any offset, also one at or past the end of the input; the next
  /// read decides whether it is usable.
  void seek(std::uint64_t offset) { position_ = offset; }

  /// The `count` bytes at the position, which then advances by `count`.
  /// EndOfStream when the input ends first: fewer than `count` bytes remain
  /// (a position at or past the end has none), or a file that shrank reads
  /// short. The read's own failure when reading fails, and OutOfMemory for a
  /// record over kLargestRecord or one whose storage cannot be had. The
  /// position is unchanged on any failure. The bytes stay valid until the
  /// next read.
  Result<ByteSpan> readExact(std::uint64_t count);

  /// Up to `count` bytes (at most kHeldRecord) at the position, without moving
  /// it: fewer where the input ends sooner, none at or past its end or when
  /// they cannot all be read. The bytes stay valid until the next read.
  ByteSpan peekUpTo(std::uint64_t count);

  /// Up to out.size() bytes at the position, copied into `out`, without
  /// moving it: for a walk that looks through long stretches (a JPEG scan)
  /// more than a record at a time. Fewer where the input ends sooner, none
  /// at or past its end or when they cannot all be read.
  ByteSpan peekInto(std::span<std::uint8_t> out) const;

  /// Advances over `count` bytes with exactly the outcome of reading them:
  /// EndOfStream when fewer remain, the position then unchanged. Skipping 0
  /// bytes always succeeds.
  Status skip(std::uint64_t count);

 private:
  std::uint64_t remaining() const;
  /// Storage for a record of `count` bytes.
  Result<std::uint8_t*> storageFor(std::uint64_t count);

  const RandomAccess& input_;
  std::uint64_t position_ = 0;
  std::array<std::uint8_t, kHeldRecord> record_{};
  // Larger records, kept for the next one so a walk allocates once.
  std::unique_ptr<std::uint8_t[]> large_;
  std::size_t largeSize_ = 0;
};

}  // namespace lumo
