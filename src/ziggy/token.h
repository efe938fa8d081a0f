#pragma once

#include <cstdint>
#include <string_view>

namespace lumo::ziggy {

/// What a token is. The reader decides everything by kind alone; the text of
/// a token is looked up through its byte range when needed.
enum class TokenKind : std::uint8_t {
  Invalid,
  Dot,
  Comma,
  Equals,
  Colon,
  AtSign,
  LParen,
  RParen,
  LBrace,
  RBrace,
  LBracket,
  RBracket,
  Identifier,
  String,
  LineString,
  Integer,
  Float,
  Null,
  True,
  False,
  Eof,
};

/// A byte range of the text: `start` inclusive, `end` exclusive.
struct Loc {
  std::uint32_t start = 0;
  std::uint32_t end = 0;
  friend constexpr bool operator==(const Loc&, const Loc&) = default;
};

struct Token {
  TokenKind kind = TokenKind::Invalid;
  Loc loc;
  friend constexpr bool operator==(const Token&, const Token&) = default;
};

/// The name diagnostics print for a kind: the punctuation itself, the
/// keyword, "EOF", or a description in parentheses such as "(string)".
std::string_view displayName(TokenKind kind);

}  // namespace lumo::ziggy
