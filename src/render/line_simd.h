#pragma once

#include <cstdint>

namespace lumo {

/// The hex column of a full 16-byte line: eight groups of four digits, each
/// followed by a space (exactly 40 characters).
void hexColumn16(const std::uint8_t* bytes, bool uppercase, char* out);

/// The 32 hex digits of 16 bytes, without spaces.
void hexDigits16(const std::uint8_t* bytes, bool uppercase, char* out);

/// The ASCII column characters of 16 bytes: printable bytes as themselves,
/// all others as '.' (exactly 16 characters).
void asciiColumn16(const std::uint8_t* bytes, char* out);

}  // namespace lumo
