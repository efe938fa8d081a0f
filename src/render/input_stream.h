#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>

#include "core/failure.h"

namespace lumo {

/// The input as the dump reads it: front to back, in chunks.
class InputStream {
 public:
  virtual ~InputStream() = default;
  /// Up to `count` bytes into `out`; 0 at the end of the input.
  virtual Result<std::size_t> read(std::uint8_t* out, std::size_t count) = 0;
  /// Whether a read may wait for a writer (a pipe or a terminal). The dump
  /// then takes whatever a read delivers instead of filling its chunk, so
  /// lines show as the input arrives.
  virtual bool mayWait() const = 0;
  /// The whole input's size, when the stream met its end while dropping
  /// bytes before a window, before any byte was read out; else none.
  virtual std::optional<std::uint64_t> sizeFoundWhileSkipping() const { return std::nullopt; }
};

/// Input that is already in memory.
class MemoryStream final : public InputStream {
 public:
  explicit MemoryStream(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  Result<std::size_t> read(std::uint8_t* out, std::size_t count) override {
    const std::size_t copied = std::min(count, bytes_.size());
    if (copied > 0) std::memcpy(out, bytes_.data(), copied);
    bytes_ = bytes_.subspan(copied);
    return copied;
  }
  bool mayWait() const override { return false; }

 private:
  std::span<const std::uint8_t> bytes_;
};

}  // namespace lumo
