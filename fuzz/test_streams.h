#pragma once

// An input stream for the dump fuzz target that delivers its bytes in
// uneven pieces, as a pipe does, and may fail where its bytes end.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "core/failure.h"
#include "render/input_stream.h"

namespace lumo::fuzz {

class ChunkedStream final : public InputStream {
 public:
  /// Delivers `bytes`; after them, the end of input, or with `failAtEnd` a
  /// read failure.
  ChunkedStream(std::span<const std::uint8_t> bytes, bool mayWait, bool failAtEnd = false)
      : bytes_(bytes), mayWait_(mayWait), failAtEnd_(failAtEnd) {}

  Result<std::size_t> read(std::uint8_t* out, std::size_t count) override {
    if (bytes_.empty()) {
      if (failAtEnd_) return Failure::InputOutput;
      return std::size_t{0};
    }
    // Piece sizes from 1 to 37 bytes, taken from the data itself, so lines
    // are split at every position.
    const std::size_t piece = 1 + bytes_[0] % 37;
    const std::size_t copied = std::min({count, piece, bytes_.size()});
    std::memcpy(out, bytes_.data(), copied);
    bytes_ = bytes_.subspan(copied);
    return copied;
  }

  bool mayWait() const override { return mayWait_; }

 private:
  std::span<const std::uint8_t> bytes_;
  bool mayWait_;
  bool failAtEnd_;
};

}  // namespace lumo::fuzz
