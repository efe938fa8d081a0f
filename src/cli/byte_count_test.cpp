#include "cli/byte_count.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "cli/args.h"

namespace lumo {
namespace {

struct CountCase {
  std::string text;
  std::optional<ByteCount> expected;
};

TEST(ParseByteCount, ReadsDecimalHexUnitsAndSign) {
  const std::vector<CountCase> cases = {
      {"0", ByteCount{0, false}},
      {"4096", ByteCount{4096, false}},
      {"0x1003", ByteCount{0x1003, false}},
      {"0XfF", ByteCount{255, false}},
      {"-512", ByteCount{512, true}},
      {"-0x10", ByteCount{16, true}},
      {"4KiB", ByteCount{4096, false}},
      {"2MiB", ByteCount{2 << 20, false}},
      {"4GiB", ByteCount{std::uint64_t{4} << 30, false}},
      {"3kB", ByteCount{3000, false}},
      {"1MB", ByteCount{1000000, false}},
      {"2GB", ByteCount{2000000000, false}},
      {"0x10KiB", ByteCount{16 * 1024, false}},
      {"18446744073709551615", ByteCount{UINT64_MAX, false}},
      // Not byte counts.
      {"", std::nullopt},
      {"-", std::nullopt},
      {"0x", std::nullopt},
      {"KiB", std::nullopt},
      {"12x", std::nullopt},
      {"4 KiB", std::nullopt},
      {"4kib", std::nullopt},
      {"4KB", std::nullopt},
      {"+4", std::nullopt},
      {"--4", std::nullopt},
      {"1.5MiB", std::nullopt},
      {"18446744073709551616", std::nullopt},
      {"17179869184GiB", std::nullopt},  // 2^64
  };
  for (const CountCase& c : cases) {
    EXPECT_EQ(parseByteCount(c.text), c.expected) << "[" << c.text << "]";
  }
}

TEST(ClassifyArgs, WindowFlagsTakeTheirValues) {
  ArgsOutcome outcome =
      classifyArgs({"f", "--skip", "-0x20", "--length", "16", "--section", ".text", "--legend"});
  ASSERT_EQ(outcome.action, ArgsOutcome::Action::Run);
  EXPECT_EQ(outcome.args.window.skip, (ByteCount{0x20, true}));
  EXPECT_EQ(outcome.args.window.length, (ByteCount{16, false}));
  EXPECT_EQ(outcome.args.window.section, ".text");
  EXPECT_EQ(outcome.args.legend, true);

  // The second value counts; a trailing option without a value is an error.
  outcome = classifyArgs(
      {"f", "--skip", "1", "--skip", "2", "--section", "a", "--section", "b", "--parser"});
  ASSERT_EQ(outcome.action, ArgsOutcome::Action::Run);
  EXPECT_EQ(outcome.args.window.skip, (ByteCount{2, false}));
  EXPECT_EQ(outcome.args.window.section, "b");
  EXPECT_FALSE(outcome.args.window.length);
  outcome = classifyArgs({"f", "--skip", "1", "--length"});
  EXPECT_EQ(outcome.error, ErrorMessage::MissingValue);

  // After --skip and --length only a number may start with a dash; a section
  // name may be any word that is not one of lumo's long flags.
  outcome = classifyArgs({"f", "--skip", "-x"});
  EXPECT_EQ(outcome.error, ErrorMessage::MissingValue);
  for (const char* name : {"-1", "-x", "-", "--", "-h", "--bogus", "--color=always", ""}) {
    SCOPED_TRACE(name);
    outcome = classifyArgs({"f", "--section", name, "--legend"});
    ASSERT_EQ(outcome.action, ArgsOutcome::Action::Run);
    EXPECT_EQ(outcome.args.window.section, name);
    EXPECT_EQ(outcome.args.legend, true);
  }

  // A bad value counts only after every other argument, as for --parser.
  outcome = classifyArgs({"f", "--skip", "zz", "--bogus"});
  EXPECT_EQ(outcome.error, ErrorMessage::InvalidFlag);
  outcome = classifyArgs({"f", "--skip", "zz", "-h"});
  EXPECT_EQ(outcome.action, ArgsOutcome::Action::Help);
  outcome = classifyArgs({"f", "--skip", "zz"});
  EXPECT_EQ(outcome.error, ErrorMessage::NotAByteCount);
  EXPECT_EQ(outcome.errorFirst, "skip");
  EXPECT_EQ(outcome.errorSecond, "zz");
  outcome = classifyArgs({"f", "--length", "-1"});
  EXPECT_EQ(outcome.error, ErrorMessage::NegativeLength);
  EXPECT_EQ(formatMessage(outcome.error, outcome.errorFirst),
            ": `--length` value `-1` is negative\n");
}

}  // namespace
}  // namespace lumo
