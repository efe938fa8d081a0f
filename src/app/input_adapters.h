#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "parsers/random_access.h"
#include "platform/byte_buffer.h"
#include "platform/platform.h"
#include "render/input_stream.h"

namespace lumo {

/// Positioned reads of an opened file, for the parsers' header reads: the
/// one read-ahead layer under every format. Small reads go through two
/// read-ahead blocks (a table, and the string table its entries name), so a
/// table of 65535 entries or a walk through a million short records costs a
/// few system calls per 64 KiB instead of one per record.
class FileAccess final : public RandomAccess {
 public:
  explicit FileAccess(platform::InputSource& source) : source_(source) {}
  std::uint64_t size() const override { return source_.size(); }
  /// A failing read gives its failure: the parsers stop quietly at it, and
  /// the dump reports it when it meets it.
  Result<std::size_t> readChecked(std::uint64_t offset, std::uint8_t* out,
                                  std::size_t count) const override;

 private:
  static constexpr std::size_t kBlock = 64 * 1024;
  // Bytes [start, start + size) of the file.
  struct Block {
    std::unique_ptr<std::uint8_t[]> bytes;
    std::uint64_t start = 0;
    std::size_t size = 0;
  };
  platform::InputSource& source_;
  mutable Block blocks_[2];
  mutable std::size_t lastUsed_ = 0;
};

/// A file front to back through positioned reads, so wherever the parsers
/// left the file position does not matter. It reads until the file ends; the
/// dump's window, taken from the size at opening, bounds it: a file that
/// grows is shown up to that size, one that shrinks up to its new end.
class FileStream final : public InputStream {
 public:
  /// Reads from `start` on: the bytes before a window are never read.
  explicit FileStream(platform::InputSource& source, std::uint64_t start = 0)
      : source_(source), offset_(start) {}
  Result<std::size_t> read(std::uint8_t* out, std::size_t count) override;
  bool mayWait() const override { return false; }

 private:
  platform::InputSource& source_;
  std::uint64_t offset_ = 0;
};

/// A stream whose first bytes were already read to choose the parser.
class PrefixedStream final : public InputStream {
 public:
  PrefixedStream(ByteSpan prefix, platform::InputSource& source)
      : prefix_(prefix), source_(source) {}
  Result<std::size_t> read(std::uint8_t* out, std::size_t count) override;
  bool mayWait() const override { return true; }

 private:
  ByteSpan prefix_;
  platform::InputSource& source_;
};

/// A stream without its first `count` bytes. They are read and dropped in
/// blocks of at least kDropBlock bytes, however little the caller asks for,
/// so a skip costs a few system calls however short the window after it.
class DroppingStream final : public InputStream {
 public:
  static constexpr std::size_t kDropBlock = 64 * 1024;
  DroppingStream(InputStream& inner, std::uint64_t count) : inner_(inner), left_(count) {}
  Result<std::size_t> read(std::uint8_t* out, std::size_t count) override;
  bool mayWait() const override { return inner_.mayWait(); }
  /// The input's whole size when it ended before any byte passed through
  /// (a skip to or past its end); none otherwise.
  std::optional<std::uint64_t> sizeFoundWhileSkipping() const override { return endedAt_; }

 private:
  InputStream& inner_;
  std::uint64_t left_;
  std::uint64_t dropped_ = 0;
  bool passed_ = false;
  std::optional<std::uint64_t> endedAt_;
  std::unique_ptr<std::uint8_t[]> drop_;
};

/// Reads from a stream until `buffer` holds at least `count` bytes or the
/// input ends.
Status readAtLeast(platform::InputSource& source, ByteBuffer& buffer, std::size_t count);

/// Reads a stream to its end, appending to `buffer`. OutOfMemory once
/// `buffer` would hold more than `cap` bytes.
Status readRest(platform::InputSource& source, ByteBuffer& buffer, std::uint64_t cap = UINT64_MAX);

}  // namespace lumo
