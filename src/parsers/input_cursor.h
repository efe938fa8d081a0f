#pragma once

#include <array>
#include <cstdint>
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
  /// The largest record a parser reads at once: a Mach-O section_64.
  static constexpr std::size_t kMaxRecord = 80;

  explicit InputCursor(const RandomAccess& input) : input_(input) {}

  std::uint64_t position() const { return position_; }

  /// Moves to any offset, also one at or past the end of the input; the next
  /// read decides whether it is usable.
  void seek(std::uint64_t offset) { position_ = offset; }

  /// The `count` bytes (at most kMaxRecord) at the position, which then
  /// advances by `count`. EndOfStream when fewer than `count` bytes remain
  /// (a position at or past the end has none) or can be read; the position is
  /// then unchanged. The bytes stay valid until the next read.
  Result<ByteSpan> readExact(std::uint64_t count);

  /// Up to `count` bytes (at most kMaxRecord) at the position, without moving
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

  const RandomAccess& input_;
  std::uint64_t position_ = 0;
  std::array<std::uint8_t, kMaxRecord> record_{};
};

}  // namespace lumo
