#include "ziggy/tokenizer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ziggy/number_literal.h"
#include "ziggy/position.h"

namespace lumo::ziggy {
namespace {

using K = TokenKind;

Token tok(TokenKind kind, std::uint32_t start, std::uint32_t end) {
  return Token{kind, Loc{start, end}};
}

// Every token up to and including the first Eof.
std::vector<Token> tokenize(std::string_view text) {
  Tokenizer tokenizer(text);
  std::vector<Token> tokens;
  for (int guard = 0; guard < 100; ++guard) {
    tokens.push_back(tokenizer.next());
    if (tokens.back().kind == TokenKind::Eof) break;
  }
  return tokens;
}

std::string describe(const std::vector<Token>& tokens) {
  std::string text;
  for (const Token& token : tokens) {
    text += std::string(displayName(token.kind)) + " " + std::to_string(token.loc.start) + ".." +
            std::to_string(token.loc.end) + "; ";
  }
  return text;
}

struct TokenCase {
  std::string text;
  std::vector<Token> tokens;
};

void PrintTo(const TokenCase& c, std::ostream* out) { *out << testing::PrintToString(c.text); }

class TokenizerTest : public testing::TestWithParam<TokenCase> {};

TEST_P(TokenizerTest, GivesKindsAndRanges) {
  const TokenCase& c = GetParam();
  EXPECT_EQ(describe(tokenize(c.text)), describe(c.tokens)) << "text: " << c.text;
}

const TokenCase kTokenCases[] = {
    // The end of the text, white space and comments.
    {"", {tok(K::Eof, 0, 0)}},
    {" \t\r\n ", {tok(K::Eof, 5, 5)}},
    {"// only a comment", {tok(K::Eof, 0, 17)}},
    {"//! doc comment\n", {tok(K::Eof, 16, 16)}},
    {"x\n  // tail", {tok(K::Identifier, 0, 1), tok(K::Eof, 4, 11)}},
    {"a // c\nb", {tok(K::Identifier, 0, 1), tok(K::Identifier, 7, 8), tok(K::Eof, 8, 8)}},
    // Punctuation.
    {".,=:@(){}[]",
     {tok(K::Dot, 0, 1), tok(K::Comma, 1, 2), tok(K::Equals, 2, 3), tok(K::Colon, 3, 4),
      tok(K::AtSign, 4, 5), tok(K::LParen, 5, 6), tok(K::RParen, 6, 7), tok(K::LBrace, 7, 8),
      tok(K::RBrace, 8, 9), tok(K::LBracket, 9, 10), tok(K::RBracket, 10, 11),
      tok(K::Eof, 11, 11)}},
    // Identifiers and keywords.
    {"true truex True null false _a1 x_Y9",
     {tok(K::True, 0, 4), tok(K::Identifier, 5, 10), tok(K::Identifier, 11, 15),
      tok(K::Null, 16, 20), tok(K::False, 21, 26), tok(K::Identifier, 27, 30),
      tok(K::Identifier, 31, 35), tok(K::Eof, 35, 35)}},
    // Strings: either quote, the other one inside, escapes.
    {R"("a'b" 'a"b')", {tok(K::String, 0, 5), tok(K::String, 6, 11), tok(K::Eof, 11, 11)}},
    {R"("a\"b")", {tok(K::String, 0, 6), tok(K::Eof, 6, 6)}},
    {R"("a\\" x)", {tok(K::String, 0, 5), tok(K::Identifier, 6, 7), tok(K::Eof, 7, 7)}},
    {R"("a\\\"b")", {tok(K::String, 0, 8), tok(K::Eof, 8, 8)}},
    {R"('it\'s')", {tok(K::String, 0, 7), tok(K::Eof, 7, 7)}},
    {"\"abc\nx", {tok(K::Invalid, 0, 5), tok(K::Identifier, 5, 6), tok(K::Eof, 6, 6)}},
    {"\"abc", {tok(K::Invalid, 0, 4), tok(K::Eof, 4, 4)}},
    {"\"a\\\"", {tok(K::Invalid, 0, 4), tok(K::Eof, 4, 4)}},
    // Line strings need their line feed.
    {"\\\\abc\n.", {tok(K::LineString, 0, 5), tok(K::Dot, 6, 7), tok(K::Eof, 7, 7)}},
    {"\\\\abc", {tok(K::Invalid, 0, 5), tok(K::Eof, 5, 5)}},
    {"\\x.", {tok(K::Invalid, 0, 2), tok(K::Dot, 2, 3), tok(K::Eof, 3, 3)}},
    {"\\", {tok(K::Invalid, 0, 1), tok(K::Eof, 1, 1)}},
    // A single slash is no comment.
    {"/x.", {tok(K::Invalid, 0, 2), tok(K::Dot, 2, 3), tok(K::Eof, 3, 3)}},
    {"/", {tok(K::Invalid, 0, 1), tok(K::Eof, 1, 1)}},
    // Bytes that start no token.
    {"#+\x80\x01",
     {tok(K::Invalid, 0, 1), tok(K::Invalid, 1, 2), tok(K::Invalid, 2, 3), tok(K::Invalid, 3, 4),
      tok(K::Eof, 4, 4)}},
    // Numbers end at any byte that cannot continue them.
    {"12 -3 4.5 6e7",
     {tok(K::Integer, 0, 2), tok(K::Integer, 3, 5), tok(K::Float, 6, 9), tok(K::Float, 10, 13),
      tok(K::Eof, 13, 13)}},
    {"0x1F", {tok(K::Integer, 0, 1), tok(K::Identifier, 1, 4), tok(K::Eof, 4, 4)}},
    {"12abc", {tok(K::Integer, 0, 2), tok(K::Identifier, 2, 5), tok(K::Eof, 5, 5)}},
    {"- a", {tok(K::Integer, 0, 1), tok(K::Identifier, 2, 3), tok(K::Eof, 3, 3)}},
    {"1-2,", {tok(K::Invalid, 0, 3), tok(K::Comma, 3, 4), tok(K::Eof, 4, 4)}},
    {"+1", {tok(K::Invalid, 0, 1), tok(K::Integer, 1, 2), tok(K::Eof, 2, 2)}},
    // A zero byte ends the document; the Eof points at the last byte.
    {std::string("a\0b c", 5), {tok(K::Identifier, 0, 1), tok(K::Eof, 4, 5)}},
    {std::string("\0", 1), {tok(K::Eof, 0, 1)}},
    {std::string("// c\0d", 6), {tok(K::Eof, 5, 6)}},
    {std::string("\\\\ab\0.", 6), {tok(K::LineString, 0, 4), tok(K::Eof, 5, 6)}},
    {std::string("\"a\0b\"x", 6),
     {tok(K::Invalid, 0, 3), tok(K::Identifier, 3, 4), tok(K::Invalid, 4, 6), tok(K::Eof, 6, 6)}},
};

INSTANTIATE_TEST_SUITE_P(Texts, TokenizerTest, testing::ValuesIn(kTokenCases));

TEST(TokenizerEnd, KeepsReturningTheSameEof) {
  for (const std::string& text : {std::string("x"), std::string("x\0yz", 4)}) {
    Tokenizer tokenizer(text);
    Token identifier = tokenizer.next();
    EXPECT_EQ(identifier.kind, TokenKind::Identifier);
    Token first = tokenizer.next();
    EXPECT_EQ(first.kind, TokenKind::Eof);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(tokenizer.next(), first);
  }
}

TEST(TokenizerEnd, ReadsOnlyTheViewItIsGiven) {
  // The bytes after the view would continue the identifier.
  std::string text = "abc.def";
  Tokenizer tokenizer(std::string_view(text).substr(0, 2));
  EXPECT_EQ(tokenizer.next(), tok(K::Identifier, 0, 2));
  EXPECT_EQ(tokenizer.next(), tok(K::Eof, 2, 2));
}

struct NumberCase {
  const char* literal;
  TokenKind kind;
};

void PrintTo(const NumberCase& c, std::ostream* out) { *out << c.literal; }

class NumberTest : public testing::TestWithParam<NumberCase> {};

TEST_P(NumberTest, Classifies) {
  EXPECT_EQ(displayName(classifyNumber(GetParam().literal)), displayName(GetParam().kind))
      << GetParam().literal;
}

const NumberCase kNumberCases[] = {
    {"0", K::Integer},      {"7", K::Integer},     {"123", K::Integer},
    {"1_000", K::Integer},  {"1_2_3", K::Integer}, {"-5", K::Integer},
    {"-0", K::Integer},     {"-", K::Integer},     {"99999999999999999999999", K::Integer},
    {"1.5", K::Float},      {"0.5", K::Float},     {"-2.5", K::Float},
    {"1e5", K::Float},      {"1E5", K::Float},     {"1e+5", K::Float},
    {"1e-5", K::Float},     {"1.5e10", K::Float},  {"0e1", K::Float},
    {"0E1", K::Float},      {"1_0.2_5", K::Float}, {"1.e5", K::Float},
    {"00", K::Invalid},     {"01", K::Invalid},    {"0_1", K::Invalid},
    {"0-", K::Invalid},     {"0+", K::Invalid},    {"-01", K::Invalid},
    {"1__0", K::Invalid},   {"1_", K::Invalid},    {"1.", K::Invalid},
    {"1e", K::Invalid},     {"1e+", K::Invalid},   {"--1", K::Invalid},
    {"1..2", K::Invalid},   {"1.2.3", K::Invalid}, {"1e5e5", K::Invalid},
    {"1_.5", K::Invalid},   {"1._5", K::Invalid},  {"1_e5", K::Invalid},
    {"1e_5", K::Invalid},   {"1+2", K::Invalid},   {"1-2", K::Invalid},
    {"1e55.5", K::Invalid}, {"1e+-5", K::Invalid},
};

INSTANTIATE_TEST_SUITE_P(Literals, NumberTest, testing::ValuesIn(kNumberCases));

TEST(SelectionOf, CountsLinesAndByteColumns) {
  const std::string text = "ab\n\tcd\n\nxyz";
  EXPECT_EQ(selectionOf(Loc{0, 2}, text), (Selection{{1, 1}, {1, 3}}));
  // A tab is one byte wide.
  EXPECT_EQ(selectionOf(Loc{4, 6}, text), (Selection{{2, 2}, {2, 4}}));
  // A line feed belongs to the line it ends.
  EXPECT_EQ(selectionOf(Loc{2, 3}, text), (Selection{{1, 3}, {2, 1}}));
  EXPECT_EQ(selectionOf(Loc{8, 11}, text), (Selection{{4, 1}, {4, 4}}));
  EXPECT_EQ(selectionOf(Loc{11, 11}, text), (Selection{{4, 4}, {4, 4}}));
  // Past the end counts as the end.
  EXPECT_EQ(selectionOf(Loc{50, 60}, text), (Selection{{4, 4}, {4, 4}}));
}

TEST(DisplayName, NamesEveryKind) {
  EXPECT_EQ(displayName(K::Invalid), "(invalid)");
  EXPECT_EQ(displayName(K::AtSign), "@");
  EXPECT_EQ(displayName(K::RBrace), "}");
  EXPECT_EQ(displayName(K::Identifier), "(identifier)");
  EXPECT_EQ(displayName(K::String), "(string)");
  EXPECT_EQ(displayName(K::LineString), "(line string)");
  EXPECT_EQ(displayName(K::Integer), "(integer)");
  EXPECT_EQ(displayName(K::Float), "(float)");
  EXPECT_EQ(displayName(K::Null), "null");
  EXPECT_EQ(displayName(K::Eof), "EOF");
}

}  // namespace
}  // namespace lumo::ziggy
