#include "ziggy/diagnostic.h"

#include <new>
#include <utility>

namespace lumo::ziggy {
namespace {

void appendPosition(std::string& out, const std::string& path, Position position) {
  out += path;
  out += ':';
  out += std::to_string(position.line);
  out += ':';
  out += std::to_string(position.col);
  out += '\n';
}

void appendQuoted(std::string& out, std::string_view text) {
  out += '\'';
  out += text;
  out += '\'';
}

void appendMessage(std::string& out, const Diagnostic& diagnostic, const DiagnosticError& error) {
  switch (error.kind) {
    case ErrorKind::Unexpected:
      out += "unexpected ";
      appendQuoted(out, error.name);
      out += ", expected: ";
      for (std::size_t i = 0; i < error.expected.size(); ++i) {
        if (i > 0) out += " or ";
        appendQuoted(out, displayName(error.expected[i]));
      }
      out += '\n';
      return;
    case ErrorKind::Syntax: out += "syntax error\n"; return;
    case ErrorKind::DuplicateField:
      out += "duplicate field ";
      appendQuoted(out, error.name);
      out += ", first definition here:\n";
      appendPosition(out, diagnostic.path, error.first.start);
      return;
    case ErrorKind::MissingField:
      out += "missing field: ";
      appendQuoted(out, error.name);
      return;
    case ErrorKind::UnknownField:
      out += "unknown field ";
      appendQuoted(out, error.name);
      return;
  }
}

}  // namespace

Failure addError(Diagnostic& diagnostic, DiagnosticError error) {
  try {
    diagnostic.errors.push_back(std::move(error));
  } catch (const std::bad_alloc&) {
    return Failure::OutOfMemory;
  }
  return Failure::Syntax;
}

std::string formatDiagnostic(const Diagnostic& diagnostic) {
  std::string out;
  for (const DiagnosticError& error : diagnostic.errors) {
    appendPosition(out, diagnostic.path, error.selection.start);
    appendMessage(out, diagnostic, error);
  }
  return out;
}

}  // namespace lumo::ziggy
