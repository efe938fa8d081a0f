#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "parsers/parser_test_support.h"
#include "parsers/parsers.h"

namespace lumo {
namespace {

using testing::Bytes;
using testing::colorize;
using testing::expectedMask;
using testing::Region;

const Bytes kPreamble = {0x00, 'a', 's', 'm', 0x01, 0x00, 0x00, 0x00};

Bytes module(std::initializer_list<Bytes> pieces) {
  Bytes bytes = kPreamble;
  for (const Bytes& piece : pieces) bytes.insert(bytes.end(), piece.begin(), piece.end());
  return bytes;
}

Bytes filler(std::size_t count) { return Bytes(count, 0x41); }

TEST(WasmTest, PreambleSectionsContentsAndCustomNames) {
  const Bytes input = module({
      {0x01, 0x04},
      filler(4),  // type, size 4
      {0x00, 0x08, 0x04, 'n', 'a', 'm', 'e'},
      filler(3),  // custom "name", size 8
      {0x0a, 0x82, 0x01},
      filler(130),                   // code, size 130 in two bytes
      {0x00, 0x03, 0x05, 'a', 'b'},  // custom, name cut by its size
      {0x0b, 0x80, 0x80, 0x80, 0x80, 0x00},
      {0x0c, 0x00},  // data, size 0 in five bytes
  });
  EXPECT_EQ(colorize(colorizeWasm, input), expectedMask(input.size(), {{0, 8, kC1},
                                                                       {8, 2, kC2},
                                                                       {10, 4, kC2Alt},
                                                                       {14, 2, kC3},
                                                                       {16, 8, kC3Alt},
                                                                       {16, 5, kC4},
                                                                       {24, 3, kC2},
                                                                       {27, 130, kC2Alt},
                                                                       {157, 2, kC3},
                                                                       {159, 3, kC3Alt},
                                                                       {159, 3, kC4},
                                                                       {162, 6, kC2},
                                                                       {168, 2, kC3}}));
}

TEST(WasmTest, PreambleAloneAndContentsPastTheEnd) {
  EXPECT_EQ(colorize(colorizeWasm, kPreamble), "11111111");
  const Bytes input = module({{0x0a, 0x10}, filler(4)});
  EXPECT_EQ(colorize(colorizeWasm, input),
            "11111111"
            "22"
            "bbbb");
}

TEST(WasmTest, NamesOfSectionsAndCustomSections) {
  const Bytes input = module({
      {0x01, 0x04},
      filler(4),  // type
      {0x00, 0x08, 0x04, 'n', 'a', 'm', 'e'},
      filler(3),  // custom "name"
      {0x63, 0x01},
      filler(1),                        // id 99: no name
      {0x00, 0x03, 0x05, 'a', 'b'},     // custom, name cut by its size
      {0x00, 0x04, 0x03, 'a', 0, 'b'},  // custom, named but not selectable
      {0x0b, 0x00},                     // data, empty
  });
  Colormap colormap(true);
  colorizeWasm(MemoryAccess(input), colormap);
  std::vector<std::string> labels, sections;
  for (const Paint& paint : colormap.paints()) {
    if (paint.label != kNoLabel) labels.emplace_back(colormap.label(paint.label));
  }
  for (const NamedSection& section : colormap.sections()) {
    sections.push_back(std::string(colormap.label(section.name)) + " " +
                       std::to_string(section.offset) + " " + std::to_string(section.size) +
                       (section.has_bytes ? "" : " -"));
  }
  EXPECT_EQ(
      labels,
      (std::vector<std::string>{
          "wasm preamble", "section header 0 (type)", "section 0 (type)",
          "section header 1 (custom)", "custom section \"name\"", "name of custom section \"name\"",
          "section header 2 (id 99)", "section 2 (id 99)", "section header 3 (custom)",
          "custom section \"ab\"", "name of custom section \"ab\"", "section header 4 (custom)",
          std::string("custom section \"a\0b\"", 20),
          std::string("name of custom section \"a\0b\"", 28), "section header 5 (data)"}));
  EXPECT_EQ(sections,
            (std::vector<std::string>{"type 10 4", "name 16 8", "ab 29 3", "data 40 0 -"}));
}

// Section headers and names written to hurt: each stops the walk or is cut
// at the section's end, and nothing wraps.
TEST(HostileWasmTest, DamagedSizesAndNames) {
  struct Case {
    const char* name;
    Bytes tail;  // after the preamble and one good section of 2 + 2 bytes
    std::vector<Region> regions;
  };
  const std::vector<Region> good = {{0, 8, kC1}, {8, 2, kC2}, {10, 2, kC2Alt}};
  auto with = [&good](std::initializer_list<Region> more) {
    std::vector<Region> regions = good;
    regions.insert(regions.end(), more);
    return regions;
  };
  const Case cases[] = {
      {"size longer than five bytes", {0x01, 0x80, 0x80, 0x80, 0x80, 0x80, 0x00, 0x00}, good},
      {"size above 32 bits", {0x01, 0xff, 0xff, 0xff, 0xff, 0x7f, 0x00}, good},
      {"input ends inside the size", {0x01, 0x80}, good},
      {"input ends after the id", {0x01}, good},
      {"largest 32-bit size",
       {0x01, 0xff, 0xff, 0xff, 0xff, 0x0f, 0x00},
       with({{12, 6, kC3}, {18, 0xffffffff, kC3Alt}})},
      {"custom name longer than its section",
       {0x00, 0x03, 0x7f, 'a', 'b', 0x01, 0x00},
       with({{12, 2, kC3}, {14, 3, kC3Alt}, {14, 3, kC4}, {17, 2, kC2}})},
      {"custom section too short for its name's length",
       {0x00, 0x01, 0x80, 0x01, 0x00},
       with({{12, 2, kC3}, {14, 1, kC3Alt}, {15, 2, kC2}})},
      {"empty custom section", {0x00, 0x00, 0x01, 0x00}, with({{12, 2, kC3}, {14, 2, kC2}})},
      {"custom name length too long",
       {0x00, 0x06, 0x80, 0x80, 0x80, 0x80, 0x80, 0x00},
       with({{12, 2, kC3}, {14, 6, kC3Alt}})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes input = module({{0x01, 0x02, 0x41, 0x41}, c.tail});
    EXPECT_EQ(colorize(colorizeWasm, input), expectedMask(input.size(), c.regions));
  }
}

// A module of more sections than any real one: the walk stops after the
// 65536th, so the paints stay few, with names or without, however large the
// input is.
TEST(HostileWasmTest, TheWalkStopsAfterTheLastSectionItReads) {
  constexpr std::size_t kSections = 65536;
  Bytes input = kPreamble;
  input.resize(kPreamble.size() + 2 * (kSections + 10), 0x00);  // id 0, size 0, again and again
  const std::uint64_t last = kPreamble.size() + 2 * (kSections - 1);
  for (bool keepNames : {false, true}) {
    SCOPED_TRACE(keepNames ? "with names" : "without names");
    Colormap colormap(keepNames);
    colorizeWasm(MemoryAccess(input), colormap);
    EXPECT_LE(colormap.paints().size(), 2 + kSections);  // the fill, the preamble, the sections
    colormap.resolve();
    EXPECT_EQ(colormap.slotAt(last - 1, 0), kC2);
    EXPECT_EQ(colormap.slotAt(last, 0), kC3);
    EXPECT_EQ(colormap.slotAt(last + 2, 0), kNormalAlt);
    EXPECT_EQ(colormap.slotAt(input.size() - 1, 0), kNormalAlt);
  }
}

}  // namespace
}  // namespace lumo
