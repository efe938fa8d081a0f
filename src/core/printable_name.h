#pragma once

#include <string>
#include <string_view>

namespace lumo {

namespace detail {

// Writes every byte that `keep` refuses as "\x" and two lower-case
// hexadecimal digits.
template <typename Keep>
std::string escapeBytes(std::string_view name, Keep keep) {
  constexpr std::string_view kDigits = "0123456789abcdef";
  std::string text;
  text.reserve(name.size());
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (keep(byte)) {
      text += c;
      continue;
    }
    text += "\\x";
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0xf];
  }
  return text;
}

}  // namespace detail

/// A name from outside (a path, an argument, an environment value) made safe
/// for a message on a terminal: every byte below 0x20 and the byte 0x7f is
/// written as "\x" and two lower-case hexadecimal digits, so that no line
/// feed can forge a line and no escape sequence reaches the terminal. Every
/// other byte, UTF-8 and backslashes included, stays as it is.
inline std::string printableName(std::string_view name) {
  return detail::escapeBytes(name, [](unsigned char byte) { return byte >= 0x20 && byte != 0x7f; });
}

/// A name read from an input file, fit for a terminal: every byte outside
/// printable ASCII (0x20 to 0x7e) is escaped as above. Stricter than
/// printableName, because such names are no text the user chose.
inline std::string escapedName(std::string_view name) {
  return detail::escapeBytes(name, [](unsigned char byte) { return byte >= 0x20 && byte <= 0x7e; });
}

}  // namespace lumo
