#include "colormap/painter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "colormap/label.h"

namespace lumo {
namespace {

TEST(LabelTest, TextIsComposedFromTheFieldsAndTheKindIsFound) {
  struct Case {
    const char* what;
    void (*fill)(Label&);
    std::string text;
  };
  const std::vector<Case> cases = {
      {"kind alone", [](Label& l) { l.kind = "ELF header"; }, "ELF header"},
      {"index and detail",
       [](Label& l) {
         l.kind = "program header";
         l.index = 2;
         l.detail = "LOAD";
       },
       "program header 2 (LOAD)"},
      {"word name, left out when empty",
       [](Label& l) {
         l.kind = "section";
         l.index = 14;
       },
       "section 14"},
      {"spaced name keeps its space",
       [](Label& l) {
         l.kind = "PE section";
         l.form = NameForm::Spaced;
       },
       "PE section "},
      {"parenthesized name",
       [](Label& l) {
         l.kind = "section";
         l.index = 2;
         l.name = "import";
         l.form = NameForm::Parenthesized;
       },
       "section 2 (import)"},
      {"quoted name with a NUL",
       [](Label& l) {
         l.kind = "custom section";
         l.name = std::string_view("a\0b", 3);
         l.form = NameForm::Quoted;
       },
       std::string("custom section \"a\0b\"", 20)},
      {"part and detail after the index",
       [](Label& l) {
         l.kind = "image";
         l.index = 0;
         l.part = "descriptor";
         l.detail = "10x10";
       },
       "image 0 descriptor (10x10)"},
      {"64-bit index",
       [](Label& l) {
         l.kind = "entry";
         l.index = UINT64_MAX - 1;
       },
       "entry 18446744073709551614"},
      {"prefix of a slice",
       [](Label& l) {
         l.prefix = "slice 1 (arm64): ";
         l.kind = "section";
         l.name = "__TEXT,__text";
       },
       "slice 1 (arm64): section __TEXT,__text"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Label label;
    c.fill(label);
    const ComposedLabel composed = composeLabel(label);
    EXPECT_EQ(composed.text.view(), c.text);
    EXPECT_EQ(composed.text.view().substr(composed.kind_start, composed.kind_size), label.kind);
  }
  // A prefix that fills the text leaves no room for the kind.
  Label label;
  const std::string prefix(LabelText::kCapacity, 'p');
  label.prefix = prefix;
  label.kind = "section";
  const ComposedLabel composed = composeLabel(label);
  EXPECT_EQ(composed.text.view(), prefix);
  EXPECT_EQ(composed.kind_size, 0u);
}

// A label is built only when the colormap keeps what it says: nothing
// without names, a selectable one for --section, all of them for the legend.
TEST(PainterTest, LabelsAreBuiltOnlyWhenKept) {
  for (KeptNames kept : {KeptNames::None, KeptNames::Sections, KeptNames::All}) {
    SCOPED_TRACE(static_cast<int>(kept));
    Colormap colormap(kept);
    const Painter painter(colormap);
    int built = 0;
    const auto describe = [&](Label& label) {
      ++built;
      label.kind = "section";
      label.index = 1;
      label.name = ".text";
      label.select = label.name;
    };
    painter.paint(0, 4, kC1, describe);
    painter.paintEntry(4, 4, kC2, 0, describe);
    painter.paintSelectable(8, 4, kC3, describe);
    painter.mark(12, 4, false, describe);
    const int expected[] = {0, 2, 4};
    EXPECT_EQ(built, expected[static_cast<int>(kept)]);
    // Only the selectable ones are listed, whatever the others' labels say.
    ASSERT_EQ(colormap.sections().size(), kept == KeptNames::None ? 0u : 2u);
    if (kept == KeptNames::None) continue;
    EXPECT_TRUE(colormap.sections()[0].has_bytes);
    EXPECT_FALSE(colormap.sections()[1].has_bytes);
    const std::uint32_t label = colormap.sectionLabel(colormap.sections()[0]);
    EXPECT_EQ(colormap.label(label), kept == KeptNames::All ? "section 1 .text" : "");
    if (kept == KeptNames::All) {
      EXPECT_EQ(colormap.labelKind(label), "section");
      EXPECT_EQ(colormap.labelIndex(label), 1u);
      EXPECT_EQ(colormap.label(colormap.paints()[0].label), "section 1 .text");
    }
  }
}

TEST(PainterTest, WithinClipsToItsParentAndPrefixesLabelsAndNames) {
  Colormap colormap(true);
  const Painter whole(colormap);
  whole.paint(0, 100, kC1);
  const Painter slice = whole.within(40, 20, [](LabelPrefix& prefix) {
    prefix.label << "slice 1: ";
    prefix.name << "s1:";
  });
  slice.paint(0, 4, kC2, titled("header"));         // 40-43
  slice.paint(16, 100, kC3, titled("past"));        // cut at 59
  slice.paint(20, 4, kC4, titled("outside"));       // dropped
  slice.paintEntry(8, 4, kC5, 3, titled("entry"));  // 48-51
  slice.paintSelectable(30, 4, kC4, [](Label& label) {
    label.kind = "section";
    label.name = "late";
    label.select = label.name;
  });
  const std::size_t first = slice.sectionCount();
  slice.paintSelectable(4, 4, kC4, [](Label& label) {
    label.kind = "section";
    label.name = "early";
    label.select = label.name;
  });
  slice.prefixNamesSince(first);
  // A sub-painter of a sub-painter adds its prefix to its parent's.
  const Painter inner = slice.within(4, 8, [](LabelPrefix& prefix) { prefix.label << "in: "; });
  inner.paint(6, 10, kC1, titled("deep"));  // 50-51

  std::vector<std::string> paints;
  for (const Paint& paint : colormap.paints()) {
    paints.push_back(std::to_string(paint.start) + "-" + std::to_string(paint.end) + " " +
                     std::string(colormap.label(paint.label)));
  }
  EXPECT_EQ(paints,
            (std::vector<std::string>{"0-100 ", "40-44 slice 1: header", "56-60 slice 1: past",
                                      "48-52 slice 1: entry", "44-48 slice 1: section early",
                                      "50-52 slice 1: in: deep"}));
  std::vector<std::string> names;
  for (const NamedSection& section : colormap.sections()) {
    names.push_back(std::string(colormap.label(section.name)) + " " +
                    std::to_string(section.offset) + "+" + std::to_string(section.size) +
                    (section.has_bytes ? "" : " nobits"));
  }
  // The section past the slice's end is kept without bytes at that end.
  EXPECT_EQ(names, (std::vector<std::string>{"late 60+0 nobits", "early 44+4", "s1:early 44+4"}));
}

}  // namespace
}  // namespace lumo
