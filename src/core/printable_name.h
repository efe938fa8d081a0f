#pragma once

#include <string>
#include <string_view>

namespace lumo {

/// A name from outside (a path, an argument, an environment value) made safe
/// for a message on a terminal: every byte below 0x20 and the byte 0x7f is
/// written as "\x" and two lower-case hexadecimal digits, so that no line
/// feed can forge a line and no escape sequence reaches the terminal. Every
/// other byte, UTF-8 and backslashes included, stays as it is.
inline std::string printableName(std::string_view name) {
  constexpr std::string_view kDigits = "0123456789abcdef";
  std::string printable;
  printable.reserve(name.size());
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7f) {
      printable += c;
      continue;
    }
    printable += "\\x";
    printable += kDigits[byte >> 4];
    printable += kDigits[byte & 0xf];
  }
  return printable;
}

}  // namespace lumo
