#include "colormap/colormap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <optional>
#include <random>
#include <vector>

#include "colormap/colormap_test_support.h"

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
    // Mostly a few paints in a few stretches of rising starts; now and then
    // so many stretches that they are sorted, or one stretch alone.
    const bool many = round % 10 == 0;
    const bool rising = round % 10 == 1;
    const int paints = static_cast<int>(many ? 150 + random() % 100 : random() % 12);
    std::uint64_t lowest = 0;
    for (int i = 0; i < paints; ++i) {
      if (rising) lowest += random() % 4;
      const std::uint64_t start = rising ? lowest : random() % (size + 8);
      const std::uint64_t length = random() % 5 == 0
                                       ? std::numeric_limits<std::uint64_t>::max() - random() % 3
                                       : random() % (size + 4);
      colormap.paint(start, length, static_cast<PaletteSlot>(random() % kSlotCount));
    }
    const PaintList recorded = colormap.paints();
    colormap.resolve();
    ASSERT_EQ(resolvedMask(colormap, size), replayedMask(recorded, size, kNormalAlt))
        << "round " << round;
    // The runs are sorted, disjoint, and adjacent neighbours have different owners.
    const std::vector<PaintRun> runs = testing::runsOf(colormap);
    for (std::size_t i = 1; i < runs.size(); ++i) {
      ASSERT_LE(runs[i - 1].end, runs[i].start);
      if (runs[i - 1].end == runs[i].start) {
        ASSERT_NE(runs[i - 1].paint, runs[i].paint);
      }
    }
  }
}

// An entry whose head ends past 2^64 (a hostile table offset) paints
// nothing near offset 0: its rest starts at the top of the range, not at a
// wrapped offset.
TEST(ColormapTest, EntryRestAtTheTopOfTheRangeNeverWrapsToTheStart) {
  Colormap colormap(KeptNames::All);  // labels kept: the entry is painted apart, not as a row
  colormap.paintEntry(UINT64_MAX - 2, 20, kC2, 1, "entry",
                      EntryHead{.size = 8, .base = kC4, .label = "head"});
  colormap.resolve();
  for (std::uint64_t offset = 0; offset < 32; ++offset) {
    EXPECT_EQ(colormap.slotAt(offset, 'A'), kNormalAlt) << offset;
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

TEST(ColormapTest, LineSlotsAgreeWithSlotAtAndShareOnlyWhatIsShared) {
  std::mt19937 random(11);
  for (int round = 0; round < 300; ++round) {
    Colormap colormap;
    const bool classes = round % 5 == 0;
    // Long runs cover whole lines, short ones split them, gaps stay unpainted,
    // and rows of table entries alternate inside one run.
    for (int i = 0; i < 20; ++i) {
      if (i % 4 == 3) {
        const std::uint64_t start = random() % 2000;
        const std::uint64_t size = 4 + random() % 40;
        for (std::uint16_t k = 0; k < 6; ++k) colormap.paintEntry(start + k * size, size, kC1, k);
        continue;
      }
      colormap.paint(random() % 2000, 1 + random() % (i % 2 ? 8 : 200),
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
  colormap.paint(0, 100, kC1);
  colormap.useByteClasses();
  colormap.resolve();
  EXPECT_TRUE(testing::runsOf(colormap).empty());
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
  EXPECT_LE(testing::runsOf(colormap).size(), 4u);
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
    // A paint elsewhere leaves the row open; one where the next entry goes
    // starts a new row, since that entry must win over it.
    colormap.paint(5, 3, kC1);
    colormap.paintEntry(64 + 56 * 1000, 56, kC2, 1000);
    colormap.paint(64 + 56 * 1001 + 10, 3, kC1);
    colormap.paintEntry(64 + 56 * 1001, 56, kC2, 1001);
    EXPECT_EQ(colormap.paints().size(), keepNames ? 1004u : 4u);
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
    testing::markSection(colormap, ".bss", 100, 0, false);
    ASSERT_EQ(colormap.paints().size(), 1u);
    EXPECT_EQ(colormap.label(colormap.paints()[0].label), keepNames ? "QOI magic" : "");
    ASSERT_EQ(colormap.sections().size(), keepNames ? 1u : 0u);
    if (keepNames) {
      EXPECT_EQ(colormap.label(colormap.sections()[0].name), ".bss");
      EXPECT_FALSE(colormap.sections()[0].has_bytes);
    }
  }
}

TEST(ColormapTest, SectionsAloneKeepNoLabelsAndEntriesStillShareAPaint) {
  Colormap colormap(KeptNames::Sections);
  EXPECT_TRUE(colormap.keepsNames());
  EXPECT_FALSE(colormap.keepsLabels());
  for (std::uint32_t i = 0; i < 100; ++i) {
    colormap.paintEntry(64 + 40 * std::uint64_t{i}, 40, kC2Accent, i, "entry",
                        EntryHead{.size = 30, .base = kC2, .label = "head"});
  }
  colormap.paint(0, 4, kC1, "magic");
  testing::markSection(colormap, "m7", 100, 0, false);
  testing::markSection(colormap, "m8", 200, 5, true);
  EXPECT_EQ(colormap.paints().size(), 2u);
  for (const Paint& paint : colormap.paints()) EXPECT_EQ(paint.label, kNoLabel);
  ASSERT_EQ(colormap.sections().size(), 2u);
  EXPECT_EQ(colormap.label(colormap.sections()[0].name), "m7");
  EXPECT_EQ(colormap.label(colormap.sections()[1].name), "m8");
  EXPECT_TRUE(colormap.sections()[1].has_bytes);
  colormap.resolve();
  const std::string mask = testing::maskOf(colormap, ByteSpan(std::vector<std::uint8_t>(200)));
  EXPECT_EQ(mask.substr(64, 80), std::string(30, '2') + std::string(10, 'B') +
                                     std::string(30, '3') + std::string(10, 'C'));
}

TEST(ColormapTest, LabelTextIsCappedAndCountsInDecimal) {
  LabelText text;
  text << "section " << std::uint64_t{65535} << ' ' << std::string(400, 'n');
  EXPECT_EQ(text.view().size(), LabelText::kCapacity);
  EXPECT_EQ(text.view().substr(0, 15), "section 65535 n");
  EXPECT_EQ(LabelText().hex(0).view(), "0x0");
  EXPECT_EQ((LabelText() << "byte ").hex(UINT64_MAX).view(), "byte 0xffffffffffffffff");
}

// A walk stops at most once, but a universal Mach-O's slices each may: the
// stops kept are bounded, and only the list and the legend (labels) keep any.
TEST(ColormapTest, StopsAreKeptWithLabelsOnlyAndBounded) {
  Colormap labelled(KeptNames::All);
  for (std::uint64_t k = 0; k < 100; ++k) labelled.addStop(k, LabelText() << "stop " << k);
  ASSERT_EQ(labelled.stops().size(), Colormap::kMaxStops);
  EXPECT_EQ(labelled.stops().back().offset, Colormap::kMaxStops - 1);
  EXPECT_EQ(labelled.label(labelled.stops().back().reason), "stop 15");
  Colormap sections(KeptNames::Sections);
  sections.addStop(0, LabelText() << "stop");
  EXPECT_TRUE(sections.stops().empty());
}

}  // namespace
}  // namespace lumo

namespace lumo {
namespace {

// Rows of entries grow past paints made in between only where that changes
// nothing: the colors equal those of one paint per entry (names kept).
TEST(ColormapTest, RowsAcrossOtherPaintsColorAsSinglePaints) {
  std::mt19937 random(3);
  for (int round = 0; round < 3000; ++round) {
    const std::uint64_t size = 64 + random() % 200;
    std::string masks[2];
    std::size_t paintCounts[2] = {};
    for (bool keepNames : {false, true}) {
      std::mt19937 same(static_cast<unsigned>(round));
      Colormap colormap(keepNames);
      colormap.fill(kNormalAlt);
      std::uint64_t next[2] = {same() % 64, same() % 64};
      std::uint16_t index[2] = {0, 0};
      const std::uint64_t stride[2] = {1 + same() % 9, 1 + same() % 9};
      for (int step = 0; step < 40; ++step) {
        const unsigned what = same() % 4;
        if (what < 2) {
          colormap.paintEntry(next[what], stride[what], what == 0 ? kC2 : kC4Accent, index[what]++,
                              "e");
          next[what] += stride[what];
          // Now and then a table is restarted elsewhere.
          if (same() % 10 == 0) next[what] = same() % size;
        } else if (what == 2) {
          colormap.paint(same() % size, 1 + same() % 12, kC1Alt, "p");
        } else {
          colormap.paint(size + same() % 40, 1 + same() % 12, kC3, "far");
        }
      }
      paintCounts[keepNames] = colormap.paints().size();
      colormap.resolve();
      masks[keepNames] = testing::maskOf(colormap, ByteSpan(std::vector<std::uint8_t>(size + 60)));
    }
    ASSERT_EQ(masks[0], masks[1]) << "round " << round;
    ASSERT_LE(paintCounts[0], paintCounts[1]);
  }
}

}  // namespace
}  // namespace lumo
