#pragma once

#include <cstdint>
#include <span>

namespace lumo {

/// A read-only view of input bytes.
using ByteSpan = std::span<const std::uint8_t>;

}  // namespace lumo
