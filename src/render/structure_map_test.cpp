#include "render/structure_map.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "colormap/painter.h"
#include "config/palette.h"
#include "render/legend.h"
#include "render/structure_list.h"
#include "render/style_escape.h"

namespace lumo {
namespace {

// What the checks compare of a structure: "index kind|name|label offset+size
// parent selectable in_file".
std::string shown(const Structure& s) {
  return std::to_string(s.index) + " " + s.kind + "|" + std::string(s.name) + "|" + s.label + " " +
         std::to_string(s.offset) + "+" + std::to_string(s.size) + " " +
         (s.parent == kNoParent ? std::string("-") : std::to_string(s.parent)) +
         (s.selectable ? " sel" : "") + (s.in_file ? "" : " nobits");
}

std::vector<std::string> mapOf(Colormap& colormap) {
  colormap.resolve();
  std::vector<std::string> lines;
  for (const Structure& s : structureMap(colormap).structures) lines.push_back(shown(s));
  return lines;
}

// "section 14 .text", selectable by its name.
auto section(std::uint64_t index, std::string_view name) {
  return [index, name](Label& label) {
    label.kind = "section";
    label.index = index;
    label.name = name;
    label.select = name;
  };
}

TEST(StructureMap, ReadsKindNameAndSelectionFromLabelsAndParentsFromRanges) {
  Colormap colormap(true);
  const Painter painter(colormap);
  painter.paint(0, 64, kC1, titled("ELF header"));
  painter.paintEntry(64, 56, kC2, 0, [](Label& label) {
    label.kind = "program header";
    label.index = 0;
    label.detail = "LOAD";
  });
  painter.paint(200, 100, kC3, [](Label& label) {
    label.kind = "segment";
    label.index = 0;
    label.detail = "LOAD, r-x";
  });
  painter.paintSelectable(210, 20, kC4, section(1, ".text"));
  painter.paintSelectable(230, 10, kC4, section(2, ".rodata"));
  painter.paintSelectable(400, 8, kC5, [](Label& label) {
    label.kind = "PE section";
    label.name = ".rdata";
    label.select = label.name;
  });
  // No bytes: its own structure, inside the segment that holds its offset.
  painter.mark(240, 32, false, section(3, ".bss"));
  // No bytes where a section begins: after it, not inside it.
  painter.mark(210, 4, false, section(4, ".tbss"));
  EXPECT_EQ(mapOf(colormap), (std::vector<std::string>{
                                 "0 ELF header||ELF header 0+64 -",
                                 "1 program header||program header 0 (LOAD) 64+56 -",
                                 "2 segment||segment 0 (LOAD, r-x) 200+100 -",
                                 "3 section|.text|section 1 .text 210+20 2 sel",
                                 "4 section|.tbss|section .tbss 210+4 2 sel nobits",
                                 "5 section|.rodata|section 2 .rodata 230+10 2 sel",
                                 "6 section|.bss|section .bss 240+32 2 sel nobits",
                                 "7 PE section|.rdata|PE section .rdata 400+8 - sel",
                             }));
}

// A member without bytes where its header begins breaks no nesting: the
// header's name still lies in the header.
TEST(StructureMap, EmptyStructureKeepsTheChainOfContainers) {
  Colormap colormap(true);
  const Painter painter(colormap);
  const auto member = [](std::string_view kind) {
    return [kind](Label& label) {
      label.kind = kind;
      label.index = 1;
      label.name = "a/";
    };
  };
  painter.paint(0, 50, kC1, member("local header of member"));
  painter.paint(30, 20, kC2, member("name of member"));
  painter.mark(0, 0, false, [&](Label& label) {
    member("data of member")(label);
    label.select = label.name;
  });
  EXPECT_EQ(mapOf(colormap), (std::vector<std::string>{
                                 "0 local header of member||local header of member 1 a/ 0+50 -",
                                 "1 section|a/|section a/ 0+0 - sel nobits",
                                 "2 name of member||name of member 1 a/ 30+20 0",
                             }));
}

// Sections of one range whose names contain each other each stay with
// their own label, painted or not.
TEST(StructureMap, NamesThatContainOthersStayApart) {
  Colormap colormap(true);
  const Painter painter(colormap);
  painter.paintSelectable(0, 8, kC1, section(1, ".data.rel"));
  painter.paintSelectable(0, 8, kC1, section(2, ".data.rel.ro"));
  painter.mark(16, 8, false, section(3, ".bss.resources"));
  painter.mark(16, 8, false, section(4, ".bss.resource"));
  EXPECT_EQ(mapOf(colormap),
            (std::vector<std::string>{
                "0 section|.data.rel|section 1 .data.rel 0+8 - sel",
                "1 section|.data.rel.ro|section 2 .data.rel.ro 0+8 0 sel",
                "2 section|.bss.resources|section .bss.resources 16+8 - sel nobits",
                "3 section|.bss.resource|section .bss.resource 16+8 - sel nobits",
            }));
}

// Other names of a structure (Mach-O's short "__text", a slice's
// "slice 0:__TEXT,__text") select it and add no structure, painted or not.
TEST(StructureMap, OtherNamesJoinTheirStructureAndDuplicatesAreAmbiguous) {
  Colormap colormap(true);
  const Painter painter(colormap);
  const auto machO = [](std::string_view name) {
    return [name](Label& label) {
      label.kind = "section";
      label.name = name;
      label.select = name;
    };
  };
  painter.paintSelectable(0, 8, kC1, machO("__TEXT,__text"));
  painter.paintSelectable(8, 8, kC1, section(1, ".group"));
  painter.paintSelectable(16, 8, kC1, section(2, ".group"));
  painter.mark(24, 8, false, machO("__DATA,__bss"));
  painter.alsoName(0, "__text");
  painter.alsoName(0, "slice 0:__TEXT,__text");
  painter.alsoName(3, "__bss");
  colormap.resolve();
  const StructureMap map = structureMap(colormap);
  ASSERT_EQ(map.structures.size(), 4U);
  EXPECT_EQ(structuresNamed(map, colormap, "__text"), std::vector<std::uint32_t>{0});
  EXPECT_EQ(structuresNamed(map, colormap, "__TEXT,__text"), std::vector<std::uint32_t>{0});
  EXPECT_EQ(structuresNamed(map, colormap, "slice 0:__TEXT,__text"), std::vector<std::uint32_t>{0});
  EXPECT_EQ(structuresNamed(map, colormap, "__bss"), std::vector<std::uint32_t>{3});
  EXPECT_EQ(map.structures[3].name, "__DATA,__bss");
  EXPECT_EQ(structuresNamed(map, colormap, ".group"), (std::vector<std::uint32_t>{1, 2}));
  EXPECT_EQ(structuresNamed(map, colormap, "2"), std::vector<std::uint32_t>{2});
  EXPECT_TRUE(structuresNamed(map, colormap, "4").empty());
  EXPECT_TRUE(structuresNamed(map, colormap, "99999999999999999999999").empty());
  EXPECT_TRUE(structuresNamed(map, colormap, ".text").empty());
}

TEST(StructureList, CutInMiddleKeepsHeadTailAndEscapes) {
  struct Case {
    std::string text;
    std::size_t width;
    std::string cut;
  };
  for (const Case& c : std::vector<Case>{
           {"short", 10, "short"},
           {"0123456789", 10, "0123456789"},
           {"0123456789abc", 10, "0123...abc"},
           {"0123456789abcd", 9, "012...bcd"},
           // An escape is kept whole or dropped whole.
           {"ab\\x01cdefghijkl", 9, "ab...ijkl"},
           {"abcdefghij\\x02kl", 9, "abc...kl"},
           {"abcdef", 2, ".."},
       }) {
    SCOPED_TRACE(c.text);
    const std::string cut = cutInMiddle(c.text, c.width);
    EXPECT_EQ(cut, c.cut);
    EXPECT_LE(cut.size(), c.width);
  }
}

// A walk's stops: after the structures and before the note, the offset in
// the range column and the reason right after it, escaped and cut like a
// label; only those before the window's end.
TEST(StructureList, StopsFollowTheStructuresAfterTheirOffset) {
  Colormap colormap(true);
  colormap.paint(0, 16, kC1, "header");
  colormap.paint(16, 0x100, kC2, "chunk 0 data");
  colormap.addStop(0x110, LabelText() << "chunk 1 \x1b[2J" << std::string(40, 'n')
                                      << " claims 4294967295 bytes, past the end");
  colormap.addStop(0x8, LabelText() << "earlier");
  colormap.resolve();
  const StructureMap map = structureMap(colormap);

  StringSink sink;
  OutputBuffer out(sink);
  ASSERT_TRUE(writeStructureList(map, {0, 1}, defaultPalette(), false, out, "no structure",
                                 stopsBefore(map, 0x200)));
  ASSERT_TRUE(out.flush());
  EXPECT_EQ(sink.text,
            "0  0x0-0xf      16 bytes  header\n"
            "1  0x10-0x10f  256 bytes  chunk 0 data\n"
            "   0x8  walk stopped: earlier\n"
            "   0x110  walk stopped: chunk 1 \\x1b[2Jnnnnn...ms 4294967295 bytes, past the end\n"
            "                          no structure\n");

  // The window ends where the later stop is: it is not shown.
  EXPECT_EQ(stopsBefore(map, 0x110).size(), 1u);
  EXPECT_EQ(legendText(colormap, 0, 0x10, defaultPalette(), false),
            "Legend:\n"
            "0  0x0-0xf  16 bytes  header\n"
            "   0x8  walk stopped: earlier\n");
  // In color, a stop has the normal_alt style.
  const SlotEscapes escapes = slotEscapes(defaultPalette());
  const StyleEscape& style = escapes[kNormalAlt];
  const std::string styled = std::string(style.bytes.data(), style.size) + "walk stopped: earlier" +
                             std::string(kReset) + "\n";
  EXPECT_TRUE(legendText(colormap, 0, 0x10, defaultPalette(), true).ends_with(styled));
}

TEST(StructureList, JsonTextEscapesControlAndInvalidBytes) {
  struct Case {
    std::string bytes;
    std::string json;
  };
  for (const Case& c : std::vector<Case>{
           {".text", ".text"},
           {"a\"b\\c", "a\\\"b\\\\c"},
           {"\x01\x1f\x7f", "\\u0001\\u001f\\u007f"},
           {"\xc3\xa9", "\xc3\xa9"},                              // é
           {"\xe2\x82\xac", "\xe2\x82\xac"},                      // €
           {"\xf0\x9f\x98\x80", "\xf0\x9f\x98\x80"},              // an emoji
           {"\xff\xc3", "\\u00ff\\u00c3"},                        // cut short
           {"\xc0\xaf", "\\u00c0\\u00af"},                        // overlong
           {"\xed\xa0\x80", "\\u00ed\\u00a0\\u0080"},             // a surrogate
           {"\xf4\x90\x80\x80", "\\u00f4\\u0090\\u0080\\u0080"},  // past U+10FFFF
       }) {
    SCOPED_TRACE(c.bytes);
    EXPECT_EQ(jsonText(c.bytes), c.json);
  }
}

}  // namespace
}  // namespace lumo
