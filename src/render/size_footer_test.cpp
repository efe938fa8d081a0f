#include "render/size_footer.h"

#include <gtest/gtest.h>

namespace lumo {
namespace {

TEST(SizeFooter, Table) {
  const struct {
    std::uint64_t size;
    const char* line;
  } cases[] = {
      {0, "File size: 0 bytes\n"},
      {1, "File size: 1 bytes\n"},
      {1023, "File size: 1023 bytes\n"},
      {1024, "File size: 1024 bytes (1.00 KiB)\n"},
      {1029, "File size: 1029 bytes (1.00 KiB)\n"},
      {1152, "File size: 1152 bytes (1.13 KiB)\n"},  // a tie rounds up
      {1664, "File size: 1664 bytes (1.63 KiB)\n"},  // a tie rounds up, not to even
      {1536, "File size: 1536 bytes (1.50 KiB)\n"},
      {16384, "File size: 16384 bytes (16.00 KiB)\n"},
      {1023995, "File size: 1023995 bytes (1000.00 KiB)\n"},  // carry into the integer part
      {1048575, "File size: 1048575 bytes (1024.00 KiB)\n"},  // unit chosen before rounding
      {1048576, "File size: 1048576 bytes (1.00 MiB)\n"},
      {123456789, "File size: 123456789 bytes (117.74 MiB)\n"},
      {1000000000, "File size: 1000000000 bytes (953.67 MiB)\n"},
      {1ull << 40, "File size: 1099511627776 bytes (1.00 TiB)\n"},
      {18446744073709551615ull, "File size: 18446744073709551615 bytes (16.00 EiB)\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(sizeFooterText(c.size), c.line) << c.size;
}

}  // namespace
}  // namespace lumo
