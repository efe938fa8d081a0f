#include "parsers/input_cursor.h"

#include <algorithm>
#include <cstddef>
#include <new>

namespace lumo {

std::uint64_t InputCursor::remaining() const {
  const std::uint64_t size = input_.size();
  return position_ < size ? size - position_ : 0;
}

Result<std::uint8_t*> InputCursor::storageFor(std::uint64_t count) {
  if (count <= record_.size()) return record_.data();
  if (count > kLargestRecord) return Failure::OutOfMemory;
  if (count > largeSize_) {
    const auto size = static_cast<std::size_t>(count);
    large_.reset(new (std::nothrow) std::uint8_t[size]);
    largeSize_ = large_ ? size : 0;
    if (!large_) return Failure::OutOfMemory;
  }
  return large_.get();
}

Result<ByteSpan> InputCursor::readExact(std::uint64_t count) {
  if (count > remaining()) return Failure::EndOfStream;
  if (count == 0) return ByteSpan{};  // the position may lie past the end
  const Result<std::uint8_t*> storage = storageFor(count);
  if (!storage) return storage.failure();
  const auto wanted = static_cast<std::size_t>(count);
  const Result<std::size_t> got = input_.readChecked(position_, *storage, wanted);
  if (!got) return got.failure();
  // A file that shrank since it was opened reads short: that is its end.
  if (*got != wanted) return Failure::EndOfStream;
  position_ += count;
  return ByteSpan(*storage, wanted);
}

ByteSpan InputCursor::peekUpTo(std::uint64_t count) {
  const auto wanted =
      static_cast<std::size_t>(std::min({count, remaining(), std::uint64_t{kHeldRecord}}));
  // A file that shrank since it was opened reads short: nothing, as readExact() fails then.
  if (wanted == 0 || input_.readAt(position_, record_.data(), wanted) != wanted) return {};
  return ByteSpan(record_.data(), wanted);
}

ByteSpan InputCursor::peekInto(std::span<std::uint8_t> out) const {
  const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), remaining()));
  if (wanted == 0 || input_.readAt(position_, out.data(), wanted) != wanted) return {};
  return ByteSpan(out.data(), wanted);
}

Status InputCursor::skip(std::uint64_t count) {
  // Reading the bytes in small chunks would fail at the first short chunk,
  // which is exactly when the whole stretch does not fit.
  if (count > remaining()) return Failure::EndOfStream;
  position_ += count;
  return {};
}

}  // namespace lumo
