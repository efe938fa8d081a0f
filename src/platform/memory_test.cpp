// Mapping memory ahead of writing is a hint: it never changes what the
// memory holds, whatever the alignment and size of the range.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/memory.h"

namespace lumo::platform {
namespace {

TEST(MapForWriting, KeepsWhatTheMemoryHolds) {
  std::vector<std::uint8_t> bytes(5 * 4096 + 123);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 1);
  const std::vector<std::uint8_t> before = bytes;
  // Empty, within one page, across page boundaries, and the whole buffer.
  const std::size_t ranges[][2] = {{0, 0}, {1, 10}, {100, 4096}, {4095, 8194}, {0, bytes.size()}};
  for (const auto& range : ranges) {
    mapForWriting(bytes.data() + range[0], range[1]);
    ASSERT_EQ(bytes, before) << range[0] << "+" << range[1];
  }
  // Memory mapped before its first write takes writes as any other.
  std::vector<std::uint8_t> fresh;
  fresh.reserve(1 << 20);
  mapForWriting(fresh.data(), fresh.capacity());
  fresh.assign(1 << 20, 0xab);
  EXPECT_EQ(fresh.front(), 0xab);
  EXPECT_EQ(fresh.back(), 0xab);
}

}  // namespace
}  // namespace lumo::platform
