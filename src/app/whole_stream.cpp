#include "app/whole_stream.h"

#include <cstring>
#include <limits>
#include <utility>

#include "app/input_adapters.h"

namespace lumo {
namespace {

constexpr std::size_t kChunk = 1 << 20;

// The copy could not be written further: what it holds beyond `head` is
// read back, `pending` (the bytes whose write failed) joins it, and the
// stream goes on into memory, up to `cap` bytes in all.
Status moveToMemory(platform::SpillFile& spill, ByteSpan pending, platform::InputSource& source,
                    ByteBuffer& head, std::uint64_t cap) {
  const std::uint64_t spilled = spill.size() - head.size();
  if (spilled > std::numeric_limits<std::size_t>::max() - pending.size())
    return Failure::OutOfMemory;
  const std::size_t extra = static_cast<std::size_t>(spilled) + pending.size();
  if (Status room = head.reserveExtra(extra); !room) return room;
  platform::InputSource copy = std::move(spill).toInput();
  Result<std::size_t> got =
      copy.readAt(head.size(), head.spare(), static_cast<std::size_t>(spilled));
  if (!got) return got.status();
  if (*got != spilled) return Failure::InputOutput;
  head.commit(*got);
  std::memcpy(head.spare(), pending.data(), pending.size());
  head.commit(pending.size());
  return readRest(source, head, cap);
}

}  // namespace

Result<std::optional<platform::InputSource>> readWholeStream(platform::InputSource& source,
                                                             ByteBuffer& head) {
  Result<platform::SpillFile> spill = platform::SpillFile::create();
  if (!spill) {
    if (Status read = readRest(source, head); !read) return read.failure();
    return std::optional<platform::InputSource>();
  }
  // Once a spill file was made, its room bounds the stream wherever it is
  // held: a folder too full for even the first bytes must not let an
  // endless stream grow in memory instead.
  const std::uint64_t cap = spill->room();
  if (head.size() > cap) return Failure::OutOfMemory;
  if (!spill->append(head.bytes())) {
    if (Status read = readRest(source, head, cap); !read) return read.failure();
    return std::optional<platform::InputSource>();
  }
  ByteBuffer chunk;
  if (Status room = chunk.reserve(kChunk); !room) return room.failure();
  while (true) {
    Result<std::size_t> got = source.read(chunk.data(), chunk.capacity());
    if (!got) return got.failure();
    if (*got == 0) break;
    const ByteSpan bytes(chunk.data(), *got);
    // An endless stream must not fill the disk; memory would not hold it either.
    if (bytes.size() > spill->room()) return Failure::OutOfMemory;
    if (!spill->append(bytes)) {
      if (Status moved = moveToMemory(*spill, bytes, source, head, cap); !moved) {
        return moved.failure();
      }
      return std::optional<platform::InputSource>();
    }
  }
  return std::optional(std::move(*spill).toInput());
}

}  // namespace lumo
