#pragma once

// What SpillFile needs of the operating system, one implementation in each
// platform folder; spill_file.cpp holds the rest, the same everywhere.

#include <cstdint>

#include "core/byte_span.h"
#include "core/failure.h"

namespace lumo::platform::spill {

/// A new spill file open for reading and writing (its handle in the form
/// InputSource stores), and the free space of its folder in bytes.
struct OpenedFile {
  long long handle = -1;
  std::uint64_t free_space = 0;
};

/// Fails as SpillFile::create() says.
Result<OpenedFile> openFile();

void closeFile(long long handle);

/// Writes all of `bytes` at `offset`, repeating partial and interrupted
/// writes; NoSpaceLeft when a write takes nothing.
Status writeAt(long long handle, std::uint64_t offset, ByteSpan bytes);

}  // namespace lumo::platform::spill
