#include "ziggy/tokenizer.h"

#include <limits>

#include "ziggy/number_literal.h"

namespace lumo::ziggy {
namespace {

constexpr std::uint32_t kMaxLength = std::numeric_limits<std::uint32_t>::max();

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isWordByte(char c) { return isLetter(c) || isDigit(c) || c == '_'; }
bool isNumberByte(char c) {
  return isDigit(c) || c == '+' || c == '-' || c == '.' || c == '_' || c == 'e' || c == 'E';
}

bool punctuation(char c, TokenKind& kind) {
  switch (c) {
    case '.': kind = TokenKind::Dot; return true;
    case ',': kind = TokenKind::Comma; return true;
    case '=': kind = TokenKind::Equals; return true;
    case ':': kind = TokenKind::Colon; return true;
    case '@': kind = TokenKind::AtSign; return true;
    case '(': kind = TokenKind::LParen; return true;
    case ')': kind = TokenKind::RParen; return true;
    case '{': kind = TokenKind::LBrace; return true;
    case '}': kind = TokenKind::RBrace; return true;
    case '[': kind = TokenKind::LBracket; return true;
    case ']': kind = TokenKind::RBracket; return true;
    default: return false;
  }
}

TokenKind keywordOrIdentifier(std::string_view word) {
  if (word == "true") return TokenKind::True;
  if (word == "false") return TokenKind::False;
  if (word == "null") return TokenKind::Null;
  return TokenKind::Identifier;
}

}  // namespace

Tokenizer::Tokenizer(std::string_view text)
    : text_(text),
      length_(text.size() < kMaxLength ? static_cast<std::uint32_t>(text.size()) : kMaxLength) {}

Token Tokenizer::make(TokenKind kind, std::uint32_t start, std::uint32_t end) {
  index_ = end;
  return Token{kind, Loc{start, end}};
}

Token Tokenizer::next() {
  while (true) {
    while (!atEnd(index_) && isSpace(at(index_))) ++index_;
    std::uint32_t start = index_;
    if (atEnd(start)) return make(TokenKind::Eof, length_, length_);
    char c = at(start);
    // The index stays on the zero byte, so every later call ends here too.
    if (c == '\0') return Token{TokenKind::Eof, Loc{length_ - 1, length_}};

    TokenKind kind = TokenKind::Invalid;
    if (punctuation(c, kind)) return make(kind, start, start + 1);
    if (c == '"' || c == '\'') return string(start);
    if (c == '\\') return backslash(start);
    if (c == '_' || isLetter(c)) return identifier(start);
    if (c == '-' || isDigit(c)) return number(start);
    if (c == '/') {
      if (std::optional<Token> token = slash(start)) return *token;
      continue;  // the comment is dropped; scan again from its end
    }
    return make(TokenKind::Invalid, start, start + 1);
  }
}

Token Tokenizer::string(std::uint32_t start) {
  char quote = at(start);
  std::uint32_t backslashes = 0;
  for (std::uint32_t i = start + 1; !atEnd(i); ++i) {
    char c = at(i);
    // Strings cannot span lines.
    if (c == '\n' || c == '\0') return make(TokenKind::Invalid, start, i + 1);
    if (c == quote && backslashes % 2 == 0) return make(TokenKind::String, start, i + 1);
    backslashes = c == '\\' ? backslashes + 1 : 0;
  }
  return make(TokenKind::Invalid, start, length_);
}

Token Tokenizer::backslash(std::uint32_t start) {
  std::uint32_t second = start + 1;
  if (atEnd(second)) return make(TokenKind::Invalid, start, length_);
  if (at(second) != '\\') return make(TokenKind::Invalid, start, second + 1);
  for (std::uint32_t i = second + 1; !atEnd(i); ++i) {
    if (at(i) == '\n' || at(i) == '\0') return make(TokenKind::LineString, start, i);
  }
  // A line string needs its line feed.
  return make(TokenKind::Invalid, start, length_);
}

std::optional<Token> Tokenizer::slash(std::uint32_t start) {
  std::uint32_t second = start + 1;
  if (atEnd(second)) return make(TokenKind::Invalid, start, length_);
  if (at(second) != '/') return make(TokenKind::Invalid, start, second + 1);
  for (std::uint32_t i = second + 1; !atEnd(i); ++i) {
    if (at(i) == '\n' || at(i) == '\0') {
      index_ = i;
      return std::nullopt;
    }
  }
  // A comment that runs to the end: the end of the document starts with it.
  return make(TokenKind::Eof, start, length_);
}

Token Tokenizer::identifier(std::uint32_t start) {
  std::uint32_t end = start + 1;
  while (!atEnd(end) && isWordByte(at(end))) ++end;
  return make(keywordOrIdentifier(text_.substr(start, end - start)), start, end);
}

Token Tokenizer::number(std::uint32_t start) {
  std::uint32_t end = start + 1;
  while (!atEnd(end) && isNumberByte(at(end))) ++end;
  return make(classifyNumber(text_.substr(start, end - start)), start, end);
}

}  // namespace lumo::ziggy
