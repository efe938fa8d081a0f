#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/failure.h"
#include "ziggy/position.h"
#include "ziggy/token.h"

namespace lumo::ziggy {

enum class ErrorKind : std::uint8_t {
  Unexpected,      // a token that may not stand here
  Syntax,          // a value that its reader rejects
  DuplicateField,  // a field given a second time
  MissingField,    // a required field never given
  UnknownField,    // a name the record does not have
};

/// One problem found in a document. Every kind has a `selection`; the other
/// members are filled as the kind needs them.
struct DiagnosticError {
  ErrorKind kind = ErrorKind::Syntax;
  /// Unexpected: the display name of the token found. Field kinds: the
  /// field's name (as written, for unknown and duplicate fields).
  std::string name;
  /// Unexpected: what would have been accepted, in the order printed.
  std::vector<TokenKind> expected;
  Selection selection;
  /// DuplicateField: where the field was given first.
  Selection first;
};

/// The problems of one document, for the caller to print.
struct Diagnostic {
  /// The document's file name, printed in every position line.
  std::string path;
  std::vector<DiagnosticError> errors;
};

/// Records `error` and returns Syntax, the failure every problem maps to;
/// OutOfMemory (and the error is lost) when the list cannot grow.
Failure addError(Diagnostic& diagnostic, DiagnosticError error);

/// The text of every recorded error: "{path}:{line}:{col}\n" then the
/// message. Unexpected and syntax messages end in a line feed, missing and
/// unknown field messages do not.
std::string formatDiagnostic(const Diagnostic& diagnostic);

}  // namespace lumo::ziggy
