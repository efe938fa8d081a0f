#include "parsers/name_reader.h"

#include <algorithm>

namespace lumo {

std::string_view readName(InputCursor& cursor, std::uint64_t length, NameEnd end,
                          NameStorage& storage) {
  const std::uint64_t limit = std::min<std::uint64_t>(length, storage.size());
  std::size_t size = 0;
  while (size < limit) {
    // Records no larger than the cursor holds itself: a name never allocates.
    const std::uint64_t piece = std::min<std::uint64_t>(InputCursor::kHeldRecord, limit - size);
    const Result<ByteSpan> bytes = cursor.readExact(piece);
    if (!bytes) break;
    for (const std::uint8_t byte : *bytes) {
      if (byte == 0 && end == NameEnd::Nul) return {storage.data(), size};
      storage[size++] = static_cast<char>(byte);
    }
  }
  return {storage.data(), size};
}

}  // namespace lumo
