#include "ziggy/number_literal.h"

namespace lumo::ziggy {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isExponent(char c) { return c == 'e' || c == 'E'; }

// A second digit after a leading zero would read as octal in other
// languages; the format rejects it instead of guessing.
bool hasBadLeadingZero(std::string_view literal) {
  if (literal.size() < 2 || literal[0] != '0') return false;
  char after = literal[1];
  return !(after == '.' || isExponent(after));
}

}  // namespace

TokenKind classifyNumber(std::string_view token) {
  std::string_view literal = token;
  if (!literal.empty() && literal[0] == '-') literal.remove_prefix(1);
  if (hasBadLeadingZero(literal)) return TokenKind::Invalid;

  bool seenDot = false;
  bool seenExponent = false;
  bool afterUnderscore = false;
  char special = 0;  // the last of ".", "e", "E", "+", "-" not yet followed by a digit
  for (std::size_t i = 0; i < literal.size(); ++i) {
    char c = literal[i];
    if (isDigit(c)) {
      afterUnderscore = false;
      special = 0;
    } else if (c == '_') {
      if (afterUnderscore || special != 0) return TokenKind::Invalid;
      afterUnderscore = true;
    } else if (isExponent(c)) {
      if (seenExponent || afterUnderscore) return TokenKind::Invalid;
      seenExponent = true;
      special = c;
    } else if (c == '.') {
      bool digitTwoBefore = i >= 2 && isDigit(literal[i - 2]);
      if ((seenExponent && digitTwoBefore) || seenDot || afterUnderscore) {
        return TokenKind::Invalid;
      }
      seenDot = true;
      special = c;
    } else if (c == '+' || c == '-') {
      if (i == 0 || !isExponent(literal[i - 1])) return TokenKind::Invalid;
      special = c;
    } else {
      return TokenKind::Invalid;
    }
  }
  if (afterUnderscore || special != 0) return TokenKind::Invalid;
  return seenDot || seenExponent ? TokenKind::Float : TokenKind::Integer;
}

}  // namespace lumo::ziggy
