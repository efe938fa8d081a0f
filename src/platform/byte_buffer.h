#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "core/failure.h"

namespace lumo {

/// A growable byte buffer that does not zero what it allocates, so reading a
/// large input touches each page once.
class ByteBuffer {
 public:
  ByteBuffer() = default;
  ~ByteBuffer();
  ByteBuffer(ByteBuffer&& other) noexcept;
  ByteBuffer& operator=(ByteBuffer&& other) noexcept;
  ByteBuffer(const ByteBuffer&) = delete;
  ByteBuffer& operator=(const ByteBuffer&) = delete;

  /// Makes room for at least `capacity` bytes; OutOfMemory on failure.
  Status reserve(std::size_t capacity);
  /// Room for `extra` more bytes, growing geometrically.
  Status reserveExtra(std::size_t extra);

  std::uint8_t* data() { return data_; }
  const std::uint8_t* data() const { return data_; }
  std::size_t size() const { return size_; }
  std::size_t capacity() const { return capacity_; }
  /// Free space after the content; commit() what was written there.
  std::uint8_t* spare() { return data_ + size_; }
  std::size_t spareSize() const { return capacity_ - size_; }
  void commit(std::size_t count) { size_ += count; }

  std::span<const std::uint8_t> bytes() const { return {data_, size_}; }

 private:
  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace lumo
