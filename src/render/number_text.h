#pragma once

#include <charconv>
#include <cstdint>
#include <string>

namespace lumo {

/// `value` in hex with a "0x" prefix, as the list, the legend and messages
/// write offsets.
inline std::string hexText(std::uint64_t value) {
  char digits[16];
  char* end = std::to_chars(digits, digits + sizeof digits, value, 16).ptr;
  std::string text = "0x";
  text.append(static_cast<const char*>(digits), static_cast<const char*>(end));
  return text;
}

/// `value` in decimal.
inline std::string decimalText(std::uint64_t value) {
  char digits[20];
  char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  return std::string(static_cast<const char*>(digits), static_cast<const char*>(end));
}

}  // namespace lumo
