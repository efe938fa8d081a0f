#pragma once

#include <cstdint>

#include "config/palette.h"
#include "platform/byte_buffer.h"
#include "platform/failure.h"

namespace lumo {

/// One palette slot per input byte. Parsers only paint through this type, so
/// its representation can change without touching them.
class Colormap {
 public:
  /// A colormap for `size` input bytes, every entry `normal_alt`;
  /// OutOfMemory when it cannot be allocated.
  static Result<Colormap> create(std::uint64_t size);

  Colormap() = default;

  std::uint64_t size() const { return slots_.size(); }

  /// Sets entries [start, start + length) to `slot`, clipped to the colormap.
  /// start + length never wraps: a sum past 2^64 simply reaches past the end.
  void paintRegion(std::uint64_t start, std::uint64_t length, PaletteSlot slot);

  /// Sets every entry to `slot`.
  void fill(PaletteSlot slot);

  /// Mutable entries for parsers that assign every byte themselves.
  std::uint8_t* data() { return slots_.data(); }
  const std::uint8_t* data() const { return slots_.data(); }

  PaletteSlot slotAt(std::uint64_t index) const {
    return static_cast<PaletteSlot>(slots_.data()[static_cast<std::size_t>(index)]);
  }

 private:
  ByteBuffer slots_;
};

}  // namespace lumo
