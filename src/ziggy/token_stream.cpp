#include "ziggy/token_stream.h"

#include <new>

namespace lumo::ziggy {

TokenStream::TokenStream(std::string_view text, Diagnostic& diagnostic)
    : text_(text), diagnostic_(diagnostic), tokenizer_(text) {}

Result<Token> TokenStream::expect(TokenKind kind) {
  Token token = next();
  if (token.kind != kind) return unexpected(token, {kind});
  return token;
}

std::string_view TokenStream::textOf(Token token) const {
  if (token.loc.start >= text_.size()) return {};
  return text_.substr(token.loc.start, token.loc.end - token.loc.start);
}

Selection TokenStream::selectionOf(Loc loc) const { return ziggy::selectionOf(loc, text_); }

// Building an error copies names out of the text, which can be as long as
// the text itself, so those copies count as recording too.

Failure TokenStream::unexpected(Token found, std::initializer_list<TokenKind> expected) {
  try {
    return addError(diagnostic_, DiagnosticError{ErrorKind::Unexpected,
                                                 std::string(displayName(found.kind)),
                                                 expected,
                                                 selectionOf(found.loc),
                                                 {}});
  } catch (const std::bad_alloc&) {
    return Failure::OutOfMemory;
  }
}

Failure TokenStream::syntaxError(Token at) {
  return addError(diagnostic_, DiagnosticError{ErrorKind::Syntax, {}, {}, selectionOf(at.loc), {}});
}

Failure TokenStream::unknownField(Token name) {
  try {
    return addError(
        diagnostic_,
        DiagnosticError{
            ErrorKind::UnknownField, std::string(textOf(name)), {}, selectionOf(name.loc), {}});
  } catch (const std::bad_alloc&) {
    return Failure::OutOfMemory;
  }
}

Failure TokenStream::duplicateField(Token name, Loc first) {
  try {
    return addError(diagnostic_, DiagnosticError{ErrorKind::DuplicateField,
                                                 std::string(textOf(name)),
                                                 {},
                                                 selectionOf(name.loc),
                                                 selectionOf(first)});
  } catch (const std::bad_alloc&) {
    return Failure::OutOfMemory;
  }
}

Failure TokenStream::missingField(std::string_view name, Token closing) {
  try {
    return addError(
        diagnostic_,
        DiagnosticError{
            ErrorKind::MissingField, std::string(name), {}, selectionOf(closing.loc), {}});
  } catch (const std::bad_alloc&) {
    return Failure::OutOfMemory;
  }
}

}  // namespace lumo::ziggy
