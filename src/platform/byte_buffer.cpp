#include "platform/byte_buffer.h"

#include <cstdlib>
#include <limits>
#include <utility>

#include "platform/platform.h"

namespace lumo {

ByteBuffer::~ByteBuffer() { std::free(data_); }

ByteBuffer::ByteBuffer(ByteBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)) {}

ByteBuffer& ByteBuffer::operator=(ByteBuffer&& other) noexcept {
  if (this != &other) {
    std::free(data_);
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    capacity_ = std::exchange(other.capacity_, 0);
  }
  return *this;
}

Status ByteBuffer::reserve(std::size_t capacity) {
  if (capacity <= capacity_) return {};
  // realloc keeps the content and never zero-fills.
  void* grown = std::realloc(data_, capacity);
  if (grown == nullptr) return Failure::OutOfMemory;
  data_ = static_cast<std::uint8_t*>(grown);
  capacity_ = capacity;
  constexpr std::size_t kLarge = 8u << 20;
  if (capacity >= kLarge) platform::adviseLargeBuffer(data_, capacity_);
  return {};
}

Status ByteBuffer::reserveExtra(std::size_t extra) {
  if (extra <= capacity_ - size_) return {};
  constexpr std::size_t kMax = std::numeric_limits<std::size_t>::max();
  if (extra > kMax - size_) return Failure::OutOfMemory;
  std::size_t needed = size_ + extra;
  std::size_t doubled = capacity_ > kMax / 2 ? kMax : capacity_ * 2;
  return reserve(needed > doubled ? needed : doubled);
}

}  // namespace lumo
