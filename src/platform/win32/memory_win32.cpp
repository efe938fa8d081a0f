#include "platform/memory.h"

namespace lumo::platform {

// Windows commits a heap block's pages as they are first written; there is
// no call that maps them ahead for writing.
void mapForWriting(void* data, std::size_t size) {
  static_cast<void>(data);
  static_cast<void>(size);
}

}  // namespace lumo::platform
