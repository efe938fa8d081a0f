#include "ziggy/parser.h"

#include <new>
#include <optional>
#include <vector>

#include "ziggy/token_stream.h"

namespace lumo::ziggy {
namespace {

std::optional<std::size_t> findField(const RecordSchema& schema, std::string_view name) {
  for (std::size_t i = 0; i < schema.fields.size(); ++i) {
    if (schema.fields[i].name == name) return i;
  }
  return std::nullopt;
}

// Reads struct values into records one token at a time, without a syntax
// tree. Recursion follows the schema's nesting only.
class Parser {
 public:
  Parser(std::string_view text, Diagnostic& diagnostic) : tokens_(text, diagnostic) {}

  Status document(const RecordSchema& schema, void* record);

 private:
  /// Reads a struct value that begins with `first`; returns its last token
  /// ("}", or Eof for a brace-less struct).
  Result<Token> structValue(const RecordSchema& schema, Token first, void* record);
  /// Checks the token after a field's value: a "," has been consumed when
  /// this returns the token that follows it.
  Result<Token> afterField(bool braceless);
  Status bindValue(const FieldSchema& field, Token value, void* record);
  Status bindBool(std::optional<bool>& target, Token value);

  TokenStream tokens_;
};

Status Parser::document(const RecordSchema& schema, void* record) {
  // The root is never absent: a null at the top is just an unexpected token.
  Result<Token> last = structValue(schema, tokens_.next(), record);
  if (!last) return last.failure();
  Token end = tokens_.next();
  if (end.kind != TokenKind::Eof) return tokens_.unexpected(end, {TokenKind::Eof});
  return {};
}

Result<Token> Parser::structValue(const RecordSchema& schema, Token first, void* record) {
  // The first token alone decides the form; a name before the brace, and
  // the brace itself, may be left out of a braced struct.
  const bool braceless = first.kind == TokenKind::Dot;
  const TokenKind closing = braceless ? TokenKind::Eof : TokenKind::RBrace;
  Token token = first;
  if (token.kind == TokenKind::Identifier) token = tokens_.next();
  if (token.kind == TokenKind::LBrace) token = tokens_.next();

  std::vector<std::optional<Loc>> given(schema.fields.size());
  while (token.kind != closing) {
    if (token.kind != TokenKind::Dot) return tokens_.unexpected(token, {TokenKind::Dot, closing});
    Result<Token> name = tokens_.expect(TokenKind::Identifier);
    if (!name) return name.failure();
    if (Result<Token> equals = tokens_.expect(TokenKind::Equals); !equals) {
      return equals.failure();
    }
    // The name is judged only now, before its value is read.
    std::optional<std::size_t> index = findField(schema, tokens_.textOf(*name));
    if (!index) return tokens_.unknownField(*name);
    if (given[*index]) return tokens_.duplicateField(*name, *given[*index]);
    given[*index] = name->loc;
    if (Status bound = bindValue(schema.fields[*index], tokens_.next(), record); !bound) {
      return bound.failure();
    }
    Result<Token> after = afterField(braceless);
    if (!after) return after.failure();
    token = *after;
  }

  for (std::size_t i = 0; i < schema.fields.size(); ++i) {
    if (schema.fields[i].kind == FieldKind::Custom && !given[i]) {
      return tokens_.missingField(schema.fields[i].name, token);
    }
  }
  return token;
}

Result<Token> Parser::afterField(bool braceless) {
  Token token = tokens_.next();
  if (token.kind == TokenKind::Comma) return tokens_.next();
  if (token.kind == TokenKind::RBrace) return token;
  if (!braceless) return tokens_.unexpected(token, {TokenKind::Comma, TokenKind::RBrace});
  if (token.kind == TokenKind::Eof) return token;
  return tokens_.unexpected(token, {TokenKind::Comma, TokenKind::RBrace, TokenKind::Eof});
}

Status Parser::bindValue(const FieldSchema& field, Token value, void* record) {
  switch (field.kind) {
    case FieldKind::OptionalBool: return bindBool(*field.boolean(record), value);
    case FieldKind::OptionalRecord:
      if (value.kind == TokenKind::Null) return {};
      return structValue(*field.nested, value, field.makePresent(record)).status();
    case FieldKind::Custom: return field.read(tokens_, value, record);
  }
  return Failure::Unexpected;
}

Status Parser::bindBool(std::optional<bool>& target, Token value) {
  switch (value.kind) {
    case TokenKind::True: target = true; return {};
    case TokenKind::False: target = false; return {};
    case TokenKind::Null: target.reset(); return {};
    default: return tokens_.unexpected(value, {TokenKind::True, TokenKind::False});
  }
}

}  // namespace

Status parseDocumentInto(std::string_view text, const RecordSchema& schema, Diagnostic& diagnostic,
                         void* record) {
  try {
    return Parser(text, diagnostic).document(schema, record);
  } catch (const std::bad_alloc&) {
    // Only the parser's own bookkeeping can get here; nothing was recorded.
    return Failure::OutOfMemory;
  }
}

}  // namespace lumo::ziggy
