// The largest tables the 16-bit counts allow stay a handful of paints when
// their entries hold nothing, and one paint per content otherwise: memory
// follows what is painted, not the counts. (That rows color as single
// paints is checked on small tables in colormap_test.)
#include <gtest/gtest.h>

#include "parsers/parser_test_support.h"
#include "parsers/registry.h"

namespace lumo {
namespace {

using testing::Bytes;
using testing::put;

constexpr std::uint64_t kCount = 65535;

// How the entries' contents lie: none; 16 bytes of its own for each entry
// after the tables (a segment and a section share theirs); or each entry's
// stretch holding the next one's, so that all are open at once.
enum class Contents { None, Own, Nested };

struct Stretch {
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
};

Stretch contentsOf(Contents contents, std::uint64_t i, std::uint64_t data) {
  switch (contents) {
    case Contents::None: return {};
    case Contents::Own: return {data + 16 * i, 16};
    case Contents::Nested: return {data + i, 2 * (kCount - i)};
  }
  return {};
}

// ELF64 with 65535 program and 65535 section headers.
Bytes worstElf(Contents contents) {
  const std::uint64_t phoff = 64;
  const std::uint64_t shoff = phoff + 56 * kCount;
  const std::uint64_t data = shoff + 64 * kCount;
  Bytes bytes(data + 16 * kCount);
  bytes[0] = 0x7f, bytes[1] = 'E', bytes[2] = 'L', bytes[3] = 'F', bytes[4] = 2, bytes[5] = 1;
  put(bytes, 32, phoff, 8);
  put(bytes, 40, shoff, 8);
  put(bytes, 56, kCount, 2);
  put(bytes, 60, kCount, 2);
  // e_phnum 0xffff is PN_XNUM: the program header count is section 0's sh_info.
  put(bytes, shoff + 44, kCount, 4);
  for (std::uint64_t i = 0; contents != Contents::None && i < kCount; ++i) {
    const Stretch stretch = contentsOf(contents, i, data);
    put(bytes, phoff + 56 * i, 1, 4);                   // PT_LOAD
    put(bytes, phoff + 56 * i + 8, stretch.offset, 8);  // p_offset
    put(bytes, phoff + 56 * i + 32, stretch.size, 8);   // p_filesz
    put(bytes, shoff + 64 * i + 4, 1, 4);               // SHT_PROGBITS
    put(bytes, shoff + 64 * i + 24, stretch.offset, 8);
    put(bytes, shoff + 64 * i + 32, stretch.size, 8);
  }
  return bytes;
}

// PE with 65535 section headers.
Bytes worstPe(Contents contents) {
  const std::uint64_t lfanew = 64;
  const std::uint64_t table = lfanew + 24 + 240;
  const std::uint64_t data = table + 40 * kCount;
  Bytes bytes(data + 16 * kCount);
  bytes[0] = 'M', bytes[1] = 'Z';
  put(bytes, 60, lfanew, 4);
  bytes[lfanew] = 'P', bytes[lfanew + 1] = 'E';
  put(bytes, lfanew + 6, kCount, 2);
  put(bytes, lfanew + 20, 240, 2);
  for (std::uint64_t i = 0; contents != Contents::None && i < kCount; ++i) {
    const Stretch stretch = contentsOf(contents, i, data);
    put(bytes, table + 40 * i + 16, stretch.size, 4);
    put(bytes, table + 40 * i + 20, stretch.offset, 4);
  }
  return bytes;
}

TEST(HostileTables, PaintsFollowWhatIsPaintedNotTheCounts) {
  struct Case {
    const char* what;
    Bytes input;
    std::size_t most_paints;
  };
  const Case cases[] = {
      {"ELF, empty entries", worstElf(Contents::None), 4},
      {"ELF, every entry with contents", worstElf(Contents::Own), 2 * kCount + 4},
      {"ELF, nested contents", worstElf(Contents::Nested), 2 * kCount + 4},
      {"PE, empty entries", worstPe(Contents::None), 10},
      {"PE, every section with contents", worstPe(Contents::Own), kCount + 10},
      {"PE, nested contents", worstPe(Contents::Nested), kCount + 10},
  };
  for (const Case& c : cases) {
    Result<Colormap> colormap = buildColormap(ByteSpan(c.input), nullptr);
    ASSERT_TRUE(colormap.ok()) << c.what;
    EXPECT_LE(colormap->paints().size(), c.most_paints) << c.what;
    // Each paint starts and ends at most one run.
    EXPECT_LE(testing::runsOf(*colormap).size(), 2 * c.most_paints + 1) << c.what;
  }
}

}  // namespace
}  // namespace lumo
