#pragma once

// Builds the bytes of WebAssembly modules for tests. Header-only and free of
// lumo's libraries, so that unit tests and the end-to-end tests (which only
// run the binary) share it.

#include <cstdint>
#include <string>

namespace lumo::testing {

/// `value` as an unsigned LEB128 number: seven bits a byte, low bits first,
/// the high bit set on every byte but the last.
inline std::string leb128(std::uint64_t value) {
  std::string out;
  do {
    const auto low = static_cast<char>(value & 0x7f);
    value >>= 7;
    out += static_cast<char>(value != 0 ? (low | 0x80) : low);
  } while (value != 0);
  return out;
}

}  // namespace lumo::testing
