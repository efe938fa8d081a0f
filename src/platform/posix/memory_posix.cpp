#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

#include "platform/memory.h"

namespace lumo::platform {

void mapForWriting(void* data, std::size_t size) {
#ifdef MADV_POPULATE_WRITE
  static const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  if (page == 0) return;
  // Whole pages only: the first page boundary at or after `data`, and as
  // many pages as fit before its end.
  const std::size_t lead = (page - reinterpret_cast<std::uintptr_t>(data) % page) % page;
  if (size <= lead) return;
  const std::size_t length = (size - lead) / page * page;
  // Older kernels refuse the advice (EINVAL); the pages then fault in one by
  // one as they are written, as they always did.
  if (length > 0) madvise(static_cast<std::uint8_t*>(data) + lead, length, MADV_POPULATE_WRITE);
#else
  static_cast<void>(data);
  static_cast<void>(size);
#endif
}

}  // namespace lumo::platform
