#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "ziggy/token.h"

namespace lumo::ziggy {

/// Splits a Ziggy document into tokens, one per call. Never fails: bytes
/// that form no token come back as Invalid tokens for the reader to report.
/// Comments and white space are skipped. A zero byte ends the document.
class Tokenizer {
 public:
  /// `text` must outlive the tokenizer. Offsets are 32-bit: bytes beyond
  /// the first 4 GiB - 1 are not read, as if the text ended there.
  explicit Tokenizer(std::string_view text);

  /// The next token; Eof once the text is used up, and again on every call
  /// after that.
  Token next();

 private:
  bool atEnd(std::uint32_t index) const { return index >= length_; }
  char at(std::uint32_t index) const { return text_[index]; }
  Token make(TokenKind kind, std::uint32_t start, std::uint32_t end);

  Token string(std::uint32_t start);
  Token backslash(std::uint32_t start);
  /// Nothing when a comment was skipped up to its line feed or zero byte.
  std::optional<Token> slash(std::uint32_t start);
  Token identifier(std::uint32_t start);
  Token number(std::uint32_t start);

  std::string_view text_;
  std::uint32_t length_ = 0;
  std::uint32_t index_ = 0;
};

}  // namespace lumo::ziggy
