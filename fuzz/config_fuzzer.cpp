// The Ziggy tokenizer and the configuration parser, with the diagnostic
// formatted as the user sees it. Whatever the document, the tokens walk it
// front to back and end in a repeating EOF, and the parse gives either a
// Config whose styles are all valid, or exactly one problem whose text
// starts with the file's position line and names what stands there.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/config_schema.h"
#include "fuzz_check.h"
#include "ziggy/diagnostic.h"
#include "ziggy/tokenizer.h"

namespace {

using lumo::ziggy::Diagnostic;
using lumo::ziggy::DiagnosticError;
using lumo::ziggy::ErrorKind;
using lumo::ziggy::Position;
using lumo::ziggy::Token;
using lumo::ziggy::TokenKind;

constexpr std::string_view kPath = "lumo/config.ziggy";

void checkTokens(std::string_view text) {
  lumo::ziggy::Tokenizer tokenizer(text);
  std::uint32_t previousEnd = 0;
  // Every token but EOF takes at least one byte.
  for (std::size_t count = 0; count <= text.size(); ++count) {
    const Token token = tokenizer.next();
    FUZZ_CHECK(token.loc.start <= token.loc.end && token.loc.end <= text.size());
    FUZZ_CHECK(token.loc.start >= previousEnd);
    if (token.kind == TokenKind::Eof) {
      FUZZ_CHECK(tokenizer.next().kind == TokenKind::Eof);
      return;
    }
    FUZZ_CHECK(token.loc.end > token.loc.start);
    previousEnd = token.loc.end;
  }
  lumo::fuzz::invariantBroken("EOF after at most one token per byte", __FILE__, __LINE__);
}

// "<path>:<line>:<col>" with both numbers at least 1; nothing otherwise.
std::optional<Position> parsePositionLine(std::string_view line) {
  if (line.substr(0, kPath.size()) != kPath) return std::nullopt;
  line.remove_prefix(kPath.size());
  std::size_t numbers[2] = {0, 0};
  for (std::size_t& number : numbers) {
    if (line.empty() || line[0] != ':') return std::nullopt;
    line.remove_prefix(1);
    std::size_t digits = 0;
    while (digits < line.size() && line[digits] >= '0' && line[digits] <= '9' && digits < 12) {
      number = number * 10 + static_cast<std::size_t>(line[digits] - '0');
      ++digits;
    }
    if (digits == 0 || number == 0) return std::nullopt;
    line.remove_prefix(digits);
  }
  if (!line.empty()) return std::nullopt;
  return Position{numbers[0], numbers[1]};
}

// The byte offset of a position, when the text has that line and column
// (one past the last byte counts, for the end of the text).
std::optional<std::size_t> offsetOf(std::string_view text, Position position) {
  std::size_t lineStart = 0;
  for (std::size_t line = 1; line < position.line; ++line) {
    const std::size_t feed = text.find('\n', lineStart);
    if (feed == std::string_view::npos) return std::nullopt;
    lineStart = feed + 1;
  }
  const std::size_t lineEnd = std::min(text.find('\n', lineStart), text.size());
  const std::size_t offset = lineStart + position.col - 1;
  if (position.col - 1 > lineEnd - lineStart) return std::nullopt;
  return offset;
}

std::string quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

bool isIdentifier(std::string_view text) {
  auto word = [](char c, bool first) {
    return c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
           (!first && c >= '0' && c <= '9');
  };
  if (text.empty()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!word(text[i], i == 0)) return false;
  }
  return true;
}

// Where an EOF token may stand: the end of the text, a comment that runs to
// the end, or, when a zero byte ends the document early, the text's last
// byte.
bool eofCanStandAt(std::string_view text, std::size_t offset) {
  if (offset == text.size()) return true;
  if (text.find('\0') != std::string_view::npos && offset + 1 == text.size()) return true;
  const std::string_view rest = text.substr(offset);
  return rest.substr(0, 2) == "//" &&
         rest.find_first_of(std::string_view("\n\0", 2)) == std::string_view::npos;
}

// Punctuation and keywords are named by their own text, which must stand at
// the reported position; EOF stands where the document ends.
void checkNamedTokenAt(std::string_view text, std::size_t offset, std::string_view name) {
  if (name == "EOF") {
    FUZZ_CHECK(eofCanStandAt(text, offset));
  } else if (name.size() == 1 || name[0] != '(') {
    FUZZ_CHECK(text.substr(offset, name.size()) == name);
  }
}

std::string expectedMessage(const DiagnosticError& error) {
  switch (error.kind) {
    case ErrorKind::Unexpected: {
      std::string message = "unexpected " + quoted(error.name) + ", expected: ";
      for (std::size_t i = 0; i < error.expected.size(); ++i) {
        if (i > 0) message += " or ";
        message += quoted(lumo::ziggy::displayName(error.expected[i]));
      }
      return message + "\n";
    }
    case ErrorKind::Syntax: return "syntax error\n";
    case ErrorKind::DuplicateField:
      return "duplicate field " + quoted(error.name) + ", first definition here:\n" +
             std::string(kPath) + ":" + std::to_string(error.first.start.line) + ":" +
             std::to_string(error.first.start.col) + "\n";
    case ErrorKind::MissingField: return "missing field: " + quoted(error.name);
    case ErrorKind::UnknownField: return "unknown field " + quoted(error.name);
  }
  return "";
}

void checkProblem(std::string_view text, const Diagnostic& diagnostic) {
  FUZZ_CHECK(diagnostic.errors.size() == 1);
  const DiagnosticError& error = diagnostic.errors[0];
  const std::string formatted = lumo::ziggy::formatDiagnostic(diagnostic);

  const std::size_t firstFeed = formatted.find('\n');
  FUZZ_CHECK(firstFeed != std::string::npos);
  const std::optional<Position> position =
      parsePositionLine(std::string_view(formatted).substr(0, firstFeed));
  FUZZ_CHECK(position && *position == error.selection.start);
  FUZZ_CHECK(formatted.substr(firstFeed + 1) == expectedMessage(error));

  // Only a duplicate field has a second position line, its message's last.
  std::size_t positionLines = 0;
  std::size_t lineStart = 0;
  while (lineStart < formatted.size()) {
    const std::size_t feed = std::min(formatted.find('\n', lineStart), formatted.size());
    const std::string_view line = std::string_view(formatted).substr(lineStart, feed - lineStart);
    if (parsePositionLine(line)) ++positionLines;
    lineStart = feed + 1;
  }
  FUZZ_CHECK(positionLines == (error.kind == ErrorKind::DuplicateField ? 2u : 1u));

  const std::optional<std::size_t> offset = offsetOf(text, error.selection.start);
  FUZZ_CHECK(offset.has_value());
  switch (error.kind) {
    case ErrorKind::Unexpected:
      FUZZ_CHECK(!error.expected.empty());
      checkNamedTokenAt(text, *offset, error.name);
      break;
    case ErrorKind::Syntax:
      // At the "@" of a style value, or at the tag that is not `color`.
      FUZZ_CHECK(text.substr(*offset, 1) == "@" || isIdentifier(text.substr(*offset, 1)));
      break;
    case ErrorKind::MissingField:
      // Only the palette has required fields; the report stands on the
      // token that closed it: its "}", or EOF for a brace-less palette.
      FUZZ_CHECK(lumo::kSlotNames.end() !=
                 std::find(lumo::kSlotNames.begin(), lumo::kSlotNames.end(), error.name));
      FUZZ_CHECK(text.substr(*offset, 1) == "}" || eofCanStandAt(text, *offset));
      break;
    case ErrorKind::UnknownField:
      FUZZ_CHECK(isIdentifier(error.name));
      FUZZ_CHECK(text.substr(*offset, error.name.size()) == error.name);
      break;
    case ErrorKind::DuplicateField: {
      const std::optional<std::size_t> first = offsetOf(text, error.first.start);
      FUZZ_CHECK(first && *first < *offset);
      FUZZ_CHECK(text.substr(*offset, error.name.size()) == error.name);
      FUZZ_CHECK(text.substr(*first, error.name.size()) == error.name);
      break;
    }
  }
}

void checkConfig(const lumo::Config& config, const Diagnostic& diagnostic) {
  FUZZ_CHECK(diagnostic.errors.empty());
  if (!config.palette) return;
  for (const lumo::TextStyle& style : *config.palette) {
    FUZZ_CHECK(style.fg.has_value());
    FUZZ_CHECK(!(style.dim && style.bold));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  checkTokens(text);

  Diagnostic diagnostic{std::string(kPath), {}};
  const lumo::Result<lumo::Config> config = lumo::parseConfig(text, diagnostic);
  if (config) {
    checkConfig(*config, diagnostic);
  } else {
    FUZZ_CHECK(config.failure() == lumo::Failure::Syntax);
    checkProblem(text, diagnostic);
  }
  return 0;
}
