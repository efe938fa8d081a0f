#include "ziggy/token.h"

namespace lumo::ziggy {

std::string_view displayName(TokenKind kind) {
  switch (kind) {
    case TokenKind::Invalid: return "(invalid)";
    case TokenKind::Dot: return ".";
    case TokenKind::Comma: return ",";
    case TokenKind::Equals: return "=";
    case TokenKind::Colon: return ":";
    case TokenKind::AtSign: return "@";
    case TokenKind::LParen: return "(";
    case TokenKind::RParen: return ")";
    case TokenKind::LBrace: return "{";
    case TokenKind::RBrace: return "}";
    case TokenKind::LBracket: return "[";
    case TokenKind::RBracket: return "]";
    case TokenKind::Identifier: return "(identifier)";
    case TokenKind::String: return "(string)";
    case TokenKind::LineString: return "(line string)";
    case TokenKind::Integer: return "(integer)";
    case TokenKind::Float: return "(float)";
    case TokenKind::Null: return "null";
    case TokenKind::True: return "true";
    case TokenKind::False: return "false";
    case TokenKind::Eof: return "EOF";
  }
  return "(invalid)";
}

}  // namespace lumo::ziggy
