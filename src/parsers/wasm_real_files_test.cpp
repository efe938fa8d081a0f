// Checks the wasm parser on real modules, built here with wat2wasm (wabt)
// and with clang and wasm-ld (lld), against the section table that
// wasm-objdump reports, so the expectation never comes from lumo's own
// reading.

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "parsers/parsers.h"
#include "parsers/real_file_support.h"

namespace lumo {
namespace {

using namespace lumo::testing;

// One line of `wasm-objdump -h`:
//   "   Custom start=0x00000043 end=0x0000005b (size=0x00000018) "name""
struct SectionReport {
  std::string kind;
  std::uint64_t start = 0, end = 0;
  std::optional<std::string> custom_name;
};

std::optional<std::uint64_t> hexAfter(const std::string& line, std::string_view key) {
  const std::size_t at = line.find(key);
  if (at == std::string::npos) return std::nullopt;
  return std::stoull(line.substr(at + key.size()), nullptr, 16);
}

std::vector<SectionReport> parseSections(const std::string& output) {
  std::vector<SectionReport> sections;
  for (const std::string& line : splitLines(output)) {
    const std::optional<std::uint64_t> start = hexAfter(line, "start=0x");
    const std::optional<std::uint64_t> end = hexAfter(line, "end=0x");
    if (!start || !end) continue;
    SectionReport section{splitWords(line)[0], *start, *end, std::nullopt};
    if (section.kind == "Custom") {
      const std::size_t open = line.find('"');
      const std::size_t close = line.rfind('"');
      if (open != std::string::npos && close > open) {
        section.custom_name = line.substr(open + 1, close - open - 1);
      }
    }
    sections.push_back(section);
  }
  return sections;
}

std::uint64_t lebLength(std::uint64_t value) {
  std::uint64_t length = 1;
  while (value >= 0x80) value >>= 7, ++length;
  return length;
}

PaletteSlot alternating(PaletteSlot base, std::uint64_t index) {
  return static_cast<PaletteSlot>(base + 3 * (index % 2));
}

// The preamble, then each section's id and size (from the end of the one
// before to the start of its contents), its contents, and a custom
// section's name: its length and its bytes.
std::vector<Region> expectedRegions(const std::vector<SectionReport>& sections) {
  std::vector<Region> regions = {{0, 8, kC1}};
  std::uint64_t at = 8;
  for (std::size_t i = 0; i < sections.size(); ++i) {
    const SectionReport& s = sections[i];
    regions.push_back({at, s.start - at, alternating(kC2, i)});
    regions.push_back({s.start, s.end - s.start, alternating(kC2Alt, i)});
    if (s.custom_name) {
      const std::uint64_t length = s.custom_name->size();
      regions.push_back({s.start, lebLength(length) + length, kC4});
    }
    at = s.end;
  }
  return regions;
}

// The modules are built once for all tests.
class WasmRealFileTest : public BuiltFilesTest<WasmRealFileTest> {
 protected:
  static void SetUpTestSuite() {
    const std::optional<std::string> wat2wasm = findTool({"wat2wasm"});
    objdump_ = findTool({"wasm-objdump"});
    const std::optional<std::string> clang = findTool({"clang", "clang-14"});
    const std::optional<std::string> wasm_ld = findTool({"wasm-ld", "wasm-ld-14"});
    if (!wat2wasm || !objdump_ || !clang || !wasm_ld) {
      files_.fail("wat2wasm or wasm-objdump (wabt), clang or wasm-ld (lld) is missing");
      return;
    }
    files_.makeFolder("lumo_wasm");
    files_.write("small.wat",
                 "(module\n"
                 "  (memory 1)\n"
                 "  (func $add (export \"add\") (param $a i32) (param $b i32) (result i32)\n"
                 "    local.get $a\n"
                 "    local.get $b\n"
                 "    i32.add)\n"
                 "  (data (i32.const 16) \"hello, wasm\"))\n");
    files_.write("big.c",
                 "static int table[256] = {1, 2, 3};\n"
                 "int sum(int n) {\n"
                 "  int s = 0;\n"
                 "  for (int i = 0; i < n && i < 256; ++i) s += table[i];\n"
                 "  return s;\n"
                 "}\n"
                 "const char *greeting(void) { return \"hello from wasm\"; }\n");
    const std::string d = files_.quotedFolder();
    files_.run({
        *wat2wasm + " --debug-names " + d + "small.wat -o " + d + "small.wasm",
        // The wasm-ld that clang calls comes from lld; -g adds DWARF custom sections.
        *clang + " --target=wasm32 -nostdlib -Wl,--no-entry -Wl,--export-all -O1 -g " + d +
            "big.c -o " + d + "big.wasm",
    });
  }

  static inline std::optional<std::string> objdump_;
};

TEST_F(WasmRealFileTest, SectionsMatchTheTableWasmObjdumpReports) {
  struct Case {
    const char* file;
    std::size_t min_sections;
    const char* custom;  // a custom section the module must have
  };
  for (const Case& c : {Case{"small.wasm", 7, "name"}, Case{"big.wasm", 10, ".debug_info"}}) {
    SCOPED_TRACE(c.file);
    const std::string path = files_.path(c.file);
    const std::optional<std::string> output = commandOutput(*objdump_ + " -h \"" + path + "\"");
    ASSERT_TRUE(output.has_value());
    const std::vector<SectionReport> sections = parseSections(*output);
    const std::optional<Bytes> bytes = readWholeFile(path);
    ASSERT_TRUE(bytes.has_value());
    // The table must be complete, or the comparison would prove little.
    ASSERT_GE(sections.size(), c.min_sections);
    ASSERT_EQ(sections.back().end, bytes->size());
    bool has_code = false, has_data = false, has_custom = false;
    for (const SectionReport& s : sections) {
      has_code |= s.kind == "Code";
      has_data |= s.kind == "Data";
      has_custom |= s.custom_name == c.custom;
    }
    ASSERT_TRUE(has_code && has_data && has_custom);
    ASSERT_EQ(detectFormat(*bytes).name, "wasm");

    const std::string actual = colorize(colorizeWasm, *bytes);
    EXPECT_EQ(describeMismatch(actual, expectedMask(bytes->size(), expectedRegions(sections))), "");
    EXPECT_EQ(actual.substr(0, 8), "11111111");

    // Each section can be selected by its name: the kind in lower case, or
    // a custom section's own name.
    const Result<Colormap> named = buildColormap(*bytes, formatByName("wasm"), true);
    ASSERT_TRUE(named.ok());
    ASSERT_EQ(named->sections().size(), sections.size());
    for (std::size_t i = 0; i < sections.size(); ++i) {
      std::string expected = sections[i].custom_name.value_or(sections[i].kind);
      if (!sections[i].custom_name) {
        for (char& ch : expected)
          ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        if (expected == "elem") expected = "element";
      }
      const NamedSection& recorded = named->sections()[i];
      EXPECT_EQ(named->label(recorded.name), expected);
      EXPECT_EQ(recorded.offset, sections[i].start) << expected;
      EXPECT_EQ(recorded.size, sections[i].end - sections[i].start) << expected;
    }
  }
}

}  // namespace
}  // namespace lumo
