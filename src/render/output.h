#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "core/failure.h"

namespace lumo {

/// Where rendered bytes go: standard output in the program, a string in
/// tests and fuzzers.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  /// Writes everything or fails with the first failure.
  virtual Status write(const char* data, std::size_t size) = 0;
  Status write(std::string_view text) { return write(text.data(), text.size()); }
};

/// Standard output, written directly.
class StdoutSink final : public ByteSink {
 public:
  Status write(const char* data, std::size_t size) override;
  using ByteSink::write;
};

/// Collects everything in memory.
class StringSink final : public ByteSink {
 public:
  Status write(const char* data, std::size_t size) override {
    text.append(data, size);
    return {};
  }
  using ByteSink::write;
  std::string text;
};

/// The buffered output stream of a dump. Whole lines are formatted straight
/// into the buffer and it is written out only when the next line would not
/// fit, so every write ends on a line boundary and large dumps cost few
/// system calls.
class OutputBuffer {
 public:
  static constexpr std::size_t kDefaultCapacity = 128 * 1024;

  explicit OutputBuffer(ByteSink& sink, std::size_t capacity = kDefaultCapacity);

  /// Room for at least `size` bytes at cursor(), flushing first if needed.
  /// `size` must not exceed the capacity.
  Status reserve(std::size_t size) {
    if (capacity_ - used_ >= size) return {};
    return flush();
  }
  char* cursor() { return buffer_.get() + used_; }
  void commit(std::size_t size) { used_ += size; }

  Status append(std::string_view text);
  /// Writes the buffered bytes; after a failure they are dropped.
  Status flush();

 private:
  ByteSink& sink_;
  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_;
  std::size_t used_ = 0;
};

}  // namespace lumo
