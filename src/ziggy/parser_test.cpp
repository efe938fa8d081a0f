#include "ziggy/parser.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <random>
#include <string>

#include "ziggy/token_stream.h"

namespace lumo::ziggy {
namespace {

using K = TokenKind;

// A small schema of every field kind: optional booleans, an optional nested
// record, and required values with readers of their own.

struct Inner {
  std::optional<bool> on;
  friend bool operator==(const Inner&, const Inner&) = default;
};

struct Sample {
  std::optional<bool> a;
  std::optional<bool> b;
  std::optional<Inner> inner;
  friend bool operator==(const Sample&, const Sample&) = default;
};

constexpr std::array kInnerFields = {optionalBool<&Inner::on>("on")};
constexpr Schema<Inner> kInnerSchema{{kInnerFields}};
constexpr std::array kSampleFields = {
    optionalBool<&Sample::a>("a"),
    optionalBool<&Sample::b>("b"),
    optionalRecord<&Sample::inner>("inner", kInnerSchema),
};
constexpr Schema<Sample> kSampleSchema{{kSampleFields}};

struct Pair {
  int x = -1;
  int y = -1;
  std::optional<bool> flag;
};

Status readDigit(TokenStream& tokens, Token token, int& out) {
  if (token.kind != K::Integer) return tokens.unexpected(token, {K::Integer});
  out = tokens.textOf(token)[0] - '0';
  return {};
}

// x is one integer token.
Status readX(TokenStream& tokens, Token first, Pair& pair) {
  return readDigit(tokens, first, pair.x);
}

// y is "[", an integer, "]": the parser must go on after the reader's last token.
Status readY(TokenStream& tokens, Token first, Pair& pair) {
  if (first.kind != K::LBracket) return tokens.unexpected(first, {K::LBracket});
  if (Status digit = readDigit(tokens, tokens.next(), pair.y); !digit) return digit;
  return tokens.expect(K::RBracket).status();
}

constexpr std::array kPairFields = {
    customField<Pair, &readX>("x"),
    customField<Pair, &readY>("y"),
    optionalBool<&Pair::flag>("flag"),
};
constexpr Schema<Pair> kPairSchema{{kPairFields}};

// The formatted diagnostic of a rejected document, or "ok".
template <class Record>
std::string outcome(std::string_view text, const Schema<Record>& schema, Record* bound = nullptr) {
  Diagnostic diagnostic{"t.zgy", {}};
  Result<Record> result = parseDocument(text, schema, diagnostic);
  if (result) {
    if (bound != nullptr) *bound = *result;
    return diagnostic.errors.empty() ? "ok" : "ok, but errors recorded";
  }
  if (result.failure() != Failure::Syntax) return "failure other than Syntax";
  if (diagnostic.errors.size() != 1) return "not exactly one error recorded";
  return formatDiagnostic(diagnostic);
}

struct AcceptCase {
  std::string text;
  Sample expected;
};

void PrintTo(const AcceptCase& c, std::ostream* out) { *out << testing::PrintToString(c.text); }

class ParserAccepts : public testing::TestWithParam<AcceptCase> {};

TEST_P(ParserAccepts, BindsTheRecord) {
  Sample bound;
  ASSERT_EQ(outcome(GetParam().text, kSampleSchema, &bound), "ok");
  EXPECT_TRUE(bound == GetParam().expected);
}

const Inner kOn{true};

const AcceptCase kAcceptCases[] = {
    {"{}", {}},
    {" { } // nothing set\n", {}},
    {"{ .a = true, .b = false }", {true, false, {}}},
    {"{ .a = true, .b = false, }", {true, false, {}}},
    {".a = true", {true, {}, {}}},
    {".a = true,", {true, {}, {}}},
    {".b = false, .a = true,\n// done", {true, false, {}}},
    {"Sample { .a = true }", {true, {}, {}}},
    {"Sample .a = true }", {true, {}, {}}},
    {"}", {}},
    {"{ .a = null, .b = null, .inner = null }", {}},
    {"{ .inner = { .on = true } }", {{}, {}, kOn}},
    {"{ .inner = Inner { .on = true }, .a = false }", {false, {}, kOn}},
    {"{ .inner = {} }", {{}, {}, Inner{}}},
    // A brace-less nested struct runs to the end of the document.
    {".inner = .on = true", {{}, {}, kOn}},
    {".a = false, .inner = .on = true,", {false, {}, kOn}},
    // A zero byte ends the document.
    {std::string("{ .a = true }\0 garbage", 22), {true, {}, {}}},
};

INSTANTIATE_TEST_SUITE_P(Documents, ParserAccepts, testing::ValuesIn(kAcceptCases));

struct RejectCase {
  std::string text;
  std::string diagnostic;
};

void PrintTo(const RejectCase& c, std::ostream* out) { *out << testing::PrintToString(c.text); }

class ParserRejects : public testing::TestWithParam<RejectCase> {};

TEST_P(ParserRejects, RecordsTheFirstProblem) {
  EXPECT_EQ(outcome(GetParam().text, kSampleSchema), GetParam().diagnostic);
}

const RejectCase kRejectCases[] = {
    // Nothing but white space and comments.
    {"", "t.zgy:1:1\nunexpected 'EOF', expected: '.' or '}'\n"},
    {"  // only\n", "t.zgy:2:1\nunexpected 'EOF', expected: '.' or '}'\n"},
    {"\n  // only", "t.zgy:2:3\nunexpected 'EOF', expected: '.' or '}'\n"},
    {"null", "t.zgy:1:1\nunexpected 'null', expected: '.' or '}'\n"},
    {"[]", "t.zgy:1:1\nunexpected '[', expected: '.' or '}'\n"},
    // Field syntax.
    {"{ .a = true .b = false }", "t.zgy:1:13\nunexpected '.', expected: ',' or '}'\n"},
    {".a = true .b = false", "t.zgy:1:11\nunexpected '.', expected: ',' or '}' or 'EOF'\n"},
    {"{ .a true }", "t.zgy:1:6\nunexpected 'true', expected: '='\n"},
    {"{ a = true }", "t.zgy:1:3\nunexpected '(identifier)', expected: '.' or '}'\n"},
    {"{ . = true }", "t.zgy:1:5\nunexpected '=', expected: '(identifier)'\n"},
    {"{ .true = true }", "t.zgy:1:4\nunexpected 'true', expected: '(identifier)'\n"},
    {"{ .a = true,, }", "t.zgy:1:13\nunexpected ',', expected: '.' or '}'\n"},
    {"{ , }", "t.zgy:1:3\nunexpected ',', expected: '.' or '}'\n"},
    {"{ .a = true", "t.zgy:1:12\nunexpected 'EOF', expected: ',' or '}'\n"},
    {"{ .a = true // open\n", "t.zgy:2:1\nunexpected 'EOF', expected: ',' or '}'\n"},
    {"{ .a = true // open", "t.zgy:1:13\nunexpected 'EOF', expected: ',' or '}'\n"},
    {".a = true }", "t.zgy:1:11\nunexpected '}', expected: '.' or 'EOF'\n"},
    {"{ .a = true } x", "t.zgy:1:15\nunexpected '(identifier)', expected: 'EOF'\n"},
    {"{ .a = true } }", "t.zgy:1:15\nunexpected '}', expected: 'EOF'\n"},
    {"{ .a = \"open\n }", "t.zgy:1:8\nunexpected '(invalid)', expected: 'true' or 'false'\n"},
    // Boolean values.
    {"{ .a = 1 }", "t.zgy:1:8\nunexpected '(integer)', expected: 'true' or 'false'\n"},
    {"{ .a = 1.5 }", "t.zgy:1:8\nunexpected '(float)', expected: 'true' or 'false'\n"},
    {"{ .a = \"yes\" }", "t.zgy:1:8\nunexpected '(string)', expected: 'true' or 'false'\n"},
    {"{ .a = True }", "t.zgy:1:8\nunexpected '(identifier)', expected: 'true' or 'false'\n"},
    {"{ .a = }", "t.zgy:1:8\nunexpected '}', expected: 'true' or 'false'\n"},
    {"{ .a = {} }", "t.zgy:1:8\nunexpected '{', expected: 'true' or 'false'\n"},
    // Field names: judged after the "=", before the value.
    {"{ .c = [ }", "t.zgy:1:4\nunknown field 'c'"},
    {"{ .A = true }", "t.zgy:1:4\nunknown field 'A'"},
    {"{\n\t.x = true }", "t.zgy:2:3\nunknown field 'x'"},
    {"{ .inner = { .off = true } }", "t.zgy:1:15\nunknown field 'off'"},
    {"{ .a = true, .a = false }",
     "t.zgy:1:15\nduplicate field 'a', first definition here:\nt.zgy:1:4\n"},
    {".a = null,\n.a = true",
     "t.zgy:2:2\nduplicate field 'a', first definition here:\nt.zgy:1:2\n"},
    {"{ .inner = null, .inner = {} }",
     "t.zgy:1:19\nduplicate field 'inner', first definition here:\nt.zgy:1:4\n"},
    // Nested structs.
    {"{ .inner = .on = true", "t.zgy:1:22\nunexpected 'EOF', expected: ',' or '}'\n"},
    {"{ .inner = .on = true }", "t.zgy:1:23\nunexpected '}', expected: '.' or 'EOF'\n"},
    {"{ .inner = true }", "t.zgy:1:12\nunexpected 'true', expected: '.' or '}'\n"},
    {"{ .inner = { .inner = {} } }", "t.zgy:1:15\nunknown field 'inner'"},
};

INSTANTIATE_TEST_SUITE_P(Documents, ParserRejects, testing::ValuesIn(kRejectCases));

TEST(ParserRequiredFields, ReadsCustomValuesAndReportsTheFirstMissing) {
  Pair pair;
  EXPECT_EQ(outcome("{ .y = [2], .x = 1 }", kPairSchema, &pair), "ok");
  EXPECT_EQ(pair.x, 1);
  EXPECT_EQ(pair.y, 2);
  EXPECT_FALSE(pair.flag.has_value());
  EXPECT_EQ(outcome(".flag = true, .y = [3] .x = 1", kPairSchema),
            "t.zgy:1:24\nunexpected '.', expected: ',' or '}' or 'EOF'\n");
  EXPECT_EQ(outcome("{ .y = [2], .flag = true }", kPairSchema), "t.zgy:1:26\nmissing field: 'x'");
  EXPECT_EQ(outcome("{ .x = 1 }", kPairSchema), "t.zgy:1:10\nmissing field: 'y'");
  EXPECT_EQ(outcome("{}", kPairSchema), "t.zgy:1:2\nmissing field: 'x'");
  EXPECT_EQ(outcome(".x = 1\n", kPairSchema), "t.zgy:2:1\nmissing field: 'y'");
  // A problem the reader records is the parse's only problem.
  EXPECT_EQ(outcome("{ .x = 1, .y = [2 }", kPairSchema),
            "t.zgy:1:19\nunexpected '}', expected: ']'\n");
  EXPECT_EQ(outcome("{ .x = null }", kPairSchema),
            "t.zgy:1:8\nunexpected 'null', expected: '(integer)'\n");
}

// Hostile input must neither recurse without bound nor take quadratic time.
TEST(ParserHostileInput, StaysBoundedAndLinear) {
  const std::size_t n = 200000;
  std::string braces(n, '{');
  EXPECT_EQ(outcome(braces, kSampleSchema), "t.zgy:1:2\nunexpected '{', expected: '.' or '}'\n");

  std::string nested;
  for (std::size_t i = 0; i < n; ++i) nested += ".inner = ";
  EXPECT_EQ(outcome(nested, kSampleSchema), "t.zgy:1:11\nunknown field 'inner'");

  std::string fields = "{";
  for (std::size_t i = 0; i < n; ++i) fields += " .a = null,\n";
  EXPECT_EQ(outcome(fields, kSampleSchema),
            "t.zgy:2:3\nduplicate field 'a', first definition here:\nt.zgy:1:4\n");

  std::string padded = std::string(n, ' ') + "{ .a = true } !";
  EXPECT_EQ(outcome(padded, kSampleSchema),
            "t.zgy:1:" + std::to_string(n + 15) + "\nunexpected '(invalid)', expected: 'EOF'\n");
}

// Texts stitched from pieces that mean something to the parser: whatever
// comes out, it is a bound record or exactly one recorded problem.
TEST(ParserHostileInput, EndsInOneOutcomeForAnyText) {
  const std::string_view pieces[] = {".",       ",",
                                     "=",       "{",
                                     "}",       "[2]",
                                     "a",       "b",
                                     "inner",   "on",
                                     "x",       "y",
                                     "Name",    "1",
                                     "true",    "null",
                                     "\"s\"",   "\\\\l\n",
                                     "//c\n",   " ",
                                     "\n",      std::string_view("\0", 1),
                                     "@",       "-",
                                     "\xc3\xa9"};
  std::mt19937 random(20240601);
  for (int round = 0; round < 20000; ++round) {
    std::string text;
    const std::size_t length = random() % 24;
    for (std::size_t i = 0; i < length; ++i) text += pieces[random() % std::size(pieces)];
    for (const std::string& result : {outcome(text, kSampleSchema), outcome(text, kPairSchema)}) {
      EXPECT_TRUE(result == "ok" || result.starts_with("t.zgy:"))
          << testing::PrintToString(text) << " gave " << result;
    }
  }
}

TEST(ParserFailure, LeavesTheDiagnosticUntouchedOnSuccess) {
  Diagnostic diagnostic{"t.zgy", {}};
  Result<Sample> result = parseDocument(".a = true", kSampleSchema, diagnostic);
  ASSERT_TRUE(result.ok());
  EXPECT_TRUE(diagnostic.errors.empty());
}

}  // namespace
}  // namespace lumo::ziggy
