#include "ziggy/diagnostic.h"

#include <gtest/gtest.h>

namespace lumo::ziggy {
namespace {

Selection at(std::size_t line, std::size_t col) { return Selection{{line, col}, {line, col + 1}}; }

TEST(FormatDiagnostic, WritesEachKindAfterItsPositionLine) {
  struct Case {
    DiagnosticError error;
    const char* text;
  };
  const Case cases[] = {
      {{ErrorKind::Unexpected, "EOF", {TokenKind::Dot, TokenKind::RBrace}, at(3, 7), {}},
       "cfg/a b.zgy:3:7\nunexpected 'EOF', expected: '.' or '}'\n"},
      {{ErrorKind::Unexpected,
        ".",
        {TokenKind::Comma, TokenKind::RBrace, TokenKind::Eof},
        at(1, 1),
        {}},
       "cfg/a b.zgy:1:1\nunexpected '.', expected: ',' or '}' or 'EOF'\n"},
      {{ErrorKind::Unexpected, "(string)", {TokenKind::AtSign}, at(12, 30), {}},
       "cfg/a b.zgy:12:30\nunexpected '(string)', expected: '@'\n"},
      {{ErrorKind::Syntax, {}, {}, at(2, 9), {}}, "cfg/a b.zgy:2:9\nsyntax error\n"},
      {{ErrorKind::DuplicateField, "palette", {}, at(40, 1), at(2, 3)},
       "cfg/a b.zgy:40:1\nduplicate field 'palette', first definition here:\ncfg/a b.zgy:2:3\n"},
      {{ErrorKind::MissingField, "c5_accent", {}, at(20, 1), {}},
       "cfg/a b.zgy:20:1\nmissing field: 'c5_accent'"},
      {{ErrorKind::UnknownField, "Color", {}, at(1, 2), {}},
       "cfg/a b.zgy:1:2\nunknown field 'Color'"},
  };
  for (const Case& c : cases) {
    Diagnostic diagnostic{"cfg/a b.zgy", {}};
    EXPECT_EQ(addError(diagnostic, c.error), Failure::Syntax);
    EXPECT_EQ(formatDiagnostic(diagnostic), c.text);
  }
}

TEST(FormatDiagnostic, JoinsErrorsWithNothingBetween) {
  Diagnostic diagnostic{"p", {}};
  (void)addError(diagnostic, {ErrorKind::UnknownField, "x", {}, at(1, 2), {}});
  (void)addError(diagnostic, {ErrorKind::Syntax, {}, {}, at(3, 4), {}});
  EXPECT_EQ(formatDiagnostic(diagnostic), "p:1:2\nunknown field 'x'p:3:4\nsyntax error\n");
}

TEST(FormatDiagnostic, IsEmptyWithoutErrors) {
  EXPECT_EQ(formatDiagnostic(Diagnostic{"p", {}}), "");
}

}  // namespace
}  // namespace lumo::ziggy
