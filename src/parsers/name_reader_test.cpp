#include "parsers/name_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <ostream>
#include <string>

namespace lumo {
namespace {

struct NameCase {
  const char* name;
  std::string input;
  std::uint64_t position;
  std::uint64_t length;
  NameEnd end;
  std::string expected;
  std::uint64_t after;  // the cursor's position afterwards
};

void PrintTo(const NameCase& c, std::ostream* out) { *out << c.name; }

class NameReaderTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(NameReaderTest, ReadsWithinLengthCapAndInput) {
  const NameCase& c = GetParam();
  const MemoryAccess input(
      ByteSpan(reinterpret_cast<const std::uint8_t*>(c.input.data()), c.input.size()));
  InputCursor cursor(input);
  cursor.seek(c.position);
  NameStorage storage{};
  EXPECT_EQ(std::string(readName(cursor, c.length, c.end, storage)), c.expected);
  EXPECT_EQ(cursor.position(), c.after);
}

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
const std::string kLong(300, 'x');
const std::string kCapped(kNameCap, 'x');
// A record past the first that the input cuts short is not read.
const std::string kHundred(100, 'h');

INSTANTIATE_TEST_SUITE_P(
    Names, NameReaderTest,
    ::testing::Values(
        NameCase{"by_length", "abcdef", 1, 3, NameEnd::Length, "bcd", 4},
        NameCase{"zero_length", "abcdef", 1, 0, NameEnd::Nul, "", 1},
        NameCase{"nul_ends_it", std::string("ab\0cd", 5), 0, 5, NameEnd::Nul, "ab", 5},
        NameCase{"nul_kept_by_length", std::string("ab\0cd", 5), 0, 5, NameEnd::Length,
                 std::string("ab\0cd", 5), 5},
        NameCase{"nul_first", std::string("\0abc", 4), 0, 4, NameEnd::Nul, "", 4},
        NameCase{"cut_at_cap", kLong, 0, 300, NameEnd::Length, kCapped, kNameCap},
        NameCase{"cap_without_nul", kLong, 0, kMax, NameEnd::Nul, kCapped, kNameCap},
        NameCase{"huge_length_short_input", "abc", 0, kMax, NameEnd::Length, "", 0},
        NameCase{"input_ends_in_second_record", kHundred, 0, 120, NameEnd::Length,
                 kHundred.substr(0, InputCursor::kHeldRecord), InputCursor::kHeldRecord},
        NameCase{"past_the_end", "abc", 1000, 5, NameEnd::Nul, "", 1000},
        NameCase{"position_near_top", "abc", kMax - 1, kMax, NameEnd::Length, "", kMax - 1}),
    [](const ::testing::TestParamInfo<NameCase>& param_info) { return param_info.param.name; });

}  // namespace
}  // namespace lumo
