#include "parsers/windowed_access.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace lumo {
namespace {

// Every read through the window gives exactly what a read of the input
// gives, in any order: forward, backward, across the window's edge, past
// the end, larger than the window, and at offsets near the top of the range.
TEST(WindowedAccessTest, ReadsEqualTheInputsOwn) {
  std::vector<std::uint8_t> bytes(40000);
  for (std::size_t k = 0; k < bytes.size(); ++k)
    bytes[k] = static_cast<std::uint8_t>(k * 7 + k / 251);
  const MemoryAccess input(bytes);
  const WindowedAccess window(input);
  constexpr std::uint64_t kTop = std::numeric_limits<std::uint64_t>::max();
  const std::pair<std::uint64_t, std::size_t> reads[] = {
      {0, 8},      {8, 80},    {16380, 16}, {16384, 8}, {4, 4},        {39990, 20},
      {40000, 1},  {50000, 8}, {0, 20000},  {100, 8},   {kTop - 3, 8}, {kTop, 1},
      {32760, 80}, {16390, 8}, {39999, 1},  {0, 0},
  };
  for (const auto& [offset, count] : reads) {
    SCOPED_TRACE(offset);
    std::vector<std::uint8_t> expected(count + 1, 0xee), actual(count + 1, 0xee);
    const std::size_t want = input.readAt(offset, expected.data(), count);
    EXPECT_EQ(window.readAt(offset, actual.data(), count), want);
    EXPECT_EQ(actual, expected);
  }
}

}  // namespace
}  // namespace lumo
