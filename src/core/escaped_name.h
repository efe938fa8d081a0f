#pragma once

#include <string>
#include <string_view>

namespace lumo {

/// A name read from an input file, fit for a terminal: every byte outside
/// printable ASCII (0x20 to 0x7e) is written as `\xNN`, so no name can move
/// the cursor or change the terminal.
inline std::string escapedName(std::string_view name) {
  constexpr std::string_view kHex = "0123456789abcdef";
  std::string text;
  text.reserve(name.size());
  for (char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte <= 0x7e) {
      text.push_back(c);
    } else {
      text += "\\x";
      text.push_back(kHex[byte >> 4]);
      text.push_back(kHex[byte & 15]);
    }
  }
  return text;
}

}  // namespace lumo
