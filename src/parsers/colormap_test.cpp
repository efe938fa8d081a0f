#include "parsers/colormap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <optional>
#include <random>
#include <vector>

#include "parsers/parser_test_support.h"

namespace lumo {
namespace {

using testing::replayedMask;
using testing::slotChar;

PaletteSlot alternating(std::uint64_t i) { return i % 2 == 0 ? kC2 : kC3; }

std::string resolvedMask(const Colormap& colormap, std::uint64_t size) {
  std::string mask;
  for (std::uint64_t k = 0; k < size; ++k) mask += slotChar(colormap.slotAt(k, 0));
  return mask;
}

TEST(ColormapTest, LaterPaintsWinLikeAByteArray) {
  std::mt19937 random(7);
  for (int round = 0; round < 2000; ++round) {
    const std::uint64_t size = 1 + random() % 64;
    Colormap colormap;
    if (random() % 2) colormap.fill(kNormalAlt);
    const int paints = static_cast<int>(random() % 12);
    for (int i = 0; i < paints; ++i) {
      const std::uint64_t start = random() % (size + 8);
      const std::uint64_t length = random() % 5 == 0
                                       ? std::numeric_limits<std::uint64_t>::max() - random() % 3
                                       : random() % (size + 4);
      colormap.paintRegion(start, length, static_cast<PaletteSlot>(random() % kSlotCount));
    }
    const std::vector<SlotRun> recorded = colormap.paints();
    colormap.resolve();
    ASSERT_EQ(resolvedMask(colormap, size), replayedMask(recorded, size, kNormalAlt))
        << "round " << round;
    // The runs are sorted, disjoint, and neighbours differ.
    const std::vector<SlotRun>& runs = colormap.runs();
    for (std::size_t i = 1; i < runs.size(); ++i) {
      ASSERT_LE(runs[i - 1].end, runs[i].start);
      if (runs[i - 1].end == runs[i].start) {
        ASSERT_NE(runs[i - 1].slot, runs[i].slot);
      }
    }
  }
}

TEST(ColormapTest, ReaderAgreesWithSlotAtAcrossJumps) {
  Colormap colormap;
  colormap.fill(kNormalAlt);
  for (std::uint64_t i = 0; i < 50; ++i) colormap.paintRegion(i * 7, 3, alternating(i));
  colormap.resolve();
  Colormap::Reader reader(colormap);
  const std::uint8_t bytes[16] = {};
  // Increasing offsets with gaps, as collapsed lines give, then a restart.
  for (std::uint64_t offset : {0ull, 16ull, 96ull, 112ull, 320ull, 32ull, 400ull}) {
    std::uint8_t slots[16];
    reader.slots(offset, bytes, 16, slots);
    for (std::uint64_t i = 0; i < 16; ++i) {
      ASSERT_EQ(slots[i], colormap.slotAt(offset + i, 0)) << offset + i;
    }
  }
}

TEST(ColormapTest, LineSlotsAgreeWithSlotAtAndShareOnlyWhatIsShared) {
  std::mt19937 random(11);
  for (int round = 0; round < 300; ++round) {
    Colormap colormap;
    const bool classes = round % 5 == 0;
    // Long runs cover whole lines, short ones split them, gaps stay unpainted.
    for (int i = 0; i < 20; ++i) {
      colormap.paintRegion(random() % 2000, 1 + random() % (i % 2 ? 8 : 200),
                           static_cast<PaletteSlot>(random() % kSlotCount));
    }
    if (classes) colormap.useByteClasses();
    colormap.resolve();
    Colormap::Reader reader(colormap);
    std::vector<std::uint8_t> bytes(2100);
    const bool text = round % 10 == 5;
    for (std::uint8_t& byte : bytes) byte = static_cast<std::uint8_t>(random() % (text ? 8 : 256));
    if (text) std::fill(bytes.begin() + 160, bytes.begin() + 320, 'a');
    std::uint64_t offset = 0;
    while (offset < 2080) {
      const std::size_t count = 1 + random() % 16;
      std::uint8_t slots[16];
      const std::optional<PaletteSlot> shared =
          reader.lineSlots(offset, bytes.data() + offset, count, slots);
      bool allSame = true;
      for (std::size_t i = 0; i < count; ++i) {
        ASSERT_EQ(slots[i], colormap.slotAt(offset + i, bytes[offset + i])) << offset + i;
        allSame = allSame && slots[i] == slots[0];
      }
      if (shared) {
        ASSERT_TRUE(allSame) << offset;
        ASSERT_EQ(*shared, slots[0]);
      } else if (classes) {
        ASSERT_FALSE(allSame) << offset;
      }
      // Lines move forward, now and then skipping some as collapsed ones do.
      offset += count + (random() % 8 == 0 ? 16 * (random() % 4) : 0);
    }
  }
}

TEST(ColormapTest, ByteClassesNeedNoStorage) {
  Colormap colormap;
  colormap.paintRegion(0, 100, kC1);
  colormap.useByteClasses();
  colormap.resolve();
  EXPECT_TRUE(colormap.runs().empty());
  EXPECT_EQ(colormap.slotAt(5, ' '), kNormal);
  EXPECT_EQ(colormap.slotAt(5, '~'), kNormal);
  EXPECT_EQ(colormap.slotAt(5, 0x7f), kNormalAlt);
  EXPECT_EQ(colormap.slotAt(5, 0x1f), kNormalAlt);
  EXPECT_EQ(colormap.slotAt(5, 0x80), kNormalAlt);
}

TEST(ColormapTest, ManyOverlappingPaintsResolveQuickly) {
  // 65535 entries each covering everything: painting a byte array would cost
  // entries times size; resolving costs about the number of paints.
  Colormap colormap;
  colormap.fill(kNormalAlt);
  for (std::uint64_t i = 0; i < 4 * 65535; ++i) {
    colormap.paintRegion(i % 3, std::numeric_limits<std::uint64_t>::max(), alternating(i));
  }
  colormap.resolve();
  EXPECT_LE(colormap.runs().size(), 4u);
}

}  // namespace
}  // namespace lumo
