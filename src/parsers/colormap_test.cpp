#include "parsers/colormap.h"

#include <gtest/gtest.h>

#include <limits>
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
      colormap.paint(start, length, static_cast<PaletteSlot>(random() % kSlotCount));
    }
    const std::vector<Paint> recorded = colormap.paints();
    colormap.resolve();
    ASSERT_EQ(resolvedMask(colormap, size), replayedMask(recorded, size, kNormalAlt))
        << "round " << round;
    // The runs are sorted, disjoint, and adjacent neighbours have different owners.
    const std::vector<PaintRun>& runs = colormap.runs();
    for (std::size_t i = 1; i < runs.size(); ++i) {
      ASSERT_LE(runs[i - 1].end, runs[i].start);
      if (runs[i - 1].end == runs[i].start) {
        ASSERT_NE(runs[i - 1].paint, runs[i].paint);
      }
    }
  }
}

TEST(ColormapTest, ReaderAgreesWithSlotAtAcrossJumps) {
  Colormap colormap;
  colormap.fill(kNormalAlt);
  for (std::uint64_t i = 0; i < 50; ++i) colormap.paint(i * 7, 3, alternating(i));
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

TEST(ColormapTest, ByteClassesNeedNoStorage) {
  Colormap colormap;
  colormap.paint(0, 100, kC1);
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
    colormap.paint(i % 3, std::numeric_limits<std::uint64_t>::max(), alternating(i));
  }
  colormap.resolve();
  EXPECT_LE(colormap.runs().size(), 4u);
}

}  // namespace
}  // namespace lumo

namespace lumo {
namespace {

TEST(ColormapTest, EntriesShareOnePaintWithoutNamesAndColorTheSame) {
  std::string masks[2];
  for (bool keepNames : {false, true}) {
    Colormap colormap(keepNames);
    for (std::uint16_t i = 0; i < 1000; ++i) {
      colormap.paintEntry(64 + 56 * std::uint64_t{i}, 56, kC2, i, "entry");
    }
    // A break in the row (another paint) starts a new one.
    colormap.paint(5, 3, kC1);
    colormap.paintEntry(64 + 56 * 1000, 56, kC2, 1000);
    EXPECT_EQ(colormap.paints().size(), keepNames ? 1002u : 3u);
    colormap.resolve();
    masks[keepNames] = testing::maskOf(colormap, ByteSpan(std::vector<std::uint8_t>(60000)));
  }
  EXPECT_EQ(masks[0], masks[1]);
  EXPECT_EQ(masks[0].substr(64, 112), std::string(56, '2') + std::string(56, '3'));
}

TEST(ColormapTest, LabelsAndSectionsAreKeptOnlyWhenAskedFor) {
  for (bool keepNames : {false, true}) {
    Colormap colormap(keepNames);
    colormap.paint(0, 4, kC1, "QOI magic");
    colormap.addSection(".bss", 100, 0, false);
    ASSERT_EQ(colormap.paints().size(), 1u);
    EXPECT_EQ(colormap.label(colormap.paints()[0].label), keepNames ? "QOI magic" : "");
    ASSERT_EQ(colormap.sections().size(), keepNames ? 1u : 0u);
    if (keepNames) {
      EXPECT_EQ(colormap.label(colormap.sections()[0].name), ".bss");
      EXPECT_FALSE(colormap.sections()[0].has_bytes);
    }
  }
}

TEST(ColormapTest, LabelTextIsCappedAndCountsInDecimal) {
  LabelText text;
  text << "section " << std::uint64_t{65535} << ' ' << std::string(400, 'n');
  EXPECT_EQ(text.view().size(), LabelText::kCapacity);
  EXPECT_EQ(text.view().substr(0, 15), "section 65535 n");
}

}  // namespace
}  // namespace lumo
