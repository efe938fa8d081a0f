#pragma once

#include <initializer_list>
#include <string_view>

#include "core/failure.h"
#include "ziggy/diagnostic.h"
#include "ziggy/token.h"
#include "ziggy/tokenizer.h"

namespace lumo::ziggy {

/// The tokens of one document as the parser and the value readers take
/// them: strictly one at a time, with the text at hand for names and
/// positions, and every problem recorded in the caller's diagnostic.
class TokenStream {
 public:
  /// `text` and `diagnostic` must outlive the stream.
  TokenStream(std::string_view text, Diagnostic& diagnostic);

  Token next() { return tokenizer_.next(); }

  /// The next token when it is of `kind`; otherwise records `unexpected`
  /// with `kind` as the only expectation and fails.
  Result<Token> expect(TokenKind kind);

  /// The bytes of `token` in the text.
  std::string_view textOf(Token token) const;

  // Each of these records one problem and returns Syntax, or OutOfMemory
  // when it could not be recorded.

  /// `found` where one of `expected` should stand.
  Failure unexpected(Token found, std::initializer_list<TokenKind> expected);
  /// A value starting at `at` that its reader rejects.
  Failure syntaxError(Token at);
  /// A field name the record does not have.
  Failure unknownField(Token name);
  /// A field name given before at `first`.
  Failure duplicateField(Token name, Loc first);
  /// A required field not given before `closing`, the struct's last token.
  Failure missingField(std::string_view name, Token closing);

 private:
  Selection selectionOf(Loc loc) const;

  std::string_view text_;
  Diagnostic& diagnostic_;
  Tokenizer tokenizer_;
};

}  // namespace lumo::ziggy
