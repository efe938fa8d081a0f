#pragma once

#include <optional>

#include "core/failure.h"
#include "platform/byte_buffer.h"
#include "platform/platform.h"

namespace lumo {

/// Reads the rest of a stream whose first bytes are in `head`, so that the
/// whole of it can be read at any offset. It goes to a spill file, and the
/// result is that copy, seekable, from the stream's first byte. Where no
/// spill file can be made, or writing it fails, it goes to memory instead:
/// the result is empty and `head` holds the whole stream.
/// Fails with OutOfMemory when the stream outgrows the spill file's room
/// (also once it went to memory because writing failed) or memory, or with
/// the failure of a read.
Result<std::optional<platform::InputSource>> readWholeStream(platform::InputSource& source,
                                                             ByteBuffer& head);

}  // namespace lumo
