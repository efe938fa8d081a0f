#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "cli/args.h"
#include "parsers/registry.h"

namespace lumo {
namespace {

// The usage text, with one line for each of --skip, --length, --section,
// --legend, --annotate, --diff, --list and --json before the --parser line.
constexpr std::size_t kUsageSize = 1443;
constexpr std::size_t kDescriptionColumn = 34;

std::vector<std::string> linesOf(std::string_view text) {
  std::vector<std::string> lines;
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    lines.emplace_back(text.substr(0, end));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

TEST(HelpText, IsTheUsageTheParserListAndTheAuthorLine) {
  const std::string expected =
      "lumo - hex viewer\n"
      "\n"
      "Usage:\n"
      "  lumo <file> [flags]\n"
      "\n"
      "Flags:\n"
      "  -h, --help                      Print this help message\n"
      "  -v, --version                   Print version information\n"
      "  --color, --no-color             Enable or disable output coloring\n"
      "  --lowercase, --uppercase        Switch between lowercase and uppercase hex\n"
      "  --size, --no-size               Enable or disable showing the size at the end\n"
      "  --offset, --no-offset           Enable or disable the offset at the left\n"
      "  --ascii, --no-ascii             Enable or disable the ASCII output\n"
      "  --skip-lines, --no-skip-lines   Enable or disable skipping of identical lines\n"
      "  --raw                           Output in raw format (disables most features)\n"
      "  --show-palette                  Print the color palette being used\n"
      "  --skip                          Start at this byte offset (negative: from the end)\n"
      "  --length                        Show at most this many bytes\n"
      "  --section                       Show only the named or numbered section\n"
      "  --legend                        Explain the colors after the dump\n"
      "  --annotate                      Name each structure at its start in the dump\n"
      "  --diff                          Compare with another file, byte by byte\n"
      "  --list                          Map the file's structures instead of a dump\n"
      "  --json                          With --list, print the list as JSON\n"
      "  --parser                        Specify the parser to use. Available parsers:\n"
      "                                    - elf    32-bit and 64-bit ELF files\n"
      "                                    - pe     PE (portable executable) files\n"
      "                                    - qoi    QOI (Quite OK Image)\n"
      "                                    - macho  Mach-O files, thin and universal\n"
      "                                    - wasm   WebAssembly modules\n"
      "                                    - zip    ZIP archives (JAR, APK, DOCX, XLSX, EPUB)\n"
      "                                    - png    PNG images\n"
      "                                    - jpeg   JPEG images\n"
      "                                    - gzip   gzip files, BGZF member by member\n"
      "                                    - gif    GIF images\n"
      "                                    - data   Binary or ASCII data\n"
      "\n"
      "Made by Tovrel\n";
  EXPECT_EQ(helpText(), expected);
}

TEST(HelpText, UsagePartHasTwentyFiveLines) {
  std::string help = helpText();
  ASSERT_GT(help.size(), kUsageSize);
  std::string usage = help.substr(0, kUsageSize);
  EXPECT_TRUE(usage.ends_with("Available parsers:\n"));
  EXPECT_EQ(linesOf(usage).size(), 25u);
}

TEST(HelpText, FlagDescriptionsStartAtColumn34) {
  std::vector<std::string> lines = linesOf(helpText().substr(0, kUsageSize));
  ASSERT_EQ(lines.size(), 25u);
  for (std::size_t i = 6; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    SCOPED_TRACE(line);
    ASSERT_GT(line.size(), kDescriptionColumn);
    EXPECT_TRUE(line.starts_with("  -"));
    EXPECT_EQ(line[kDescriptionColumn - 1], ' ');
    EXPECT_NE(line[kDescriptionColumn], ' ');
    // The flag names and the description are separated by one gap only.
    std::size_t gap = line.find("  ", 2);
    EXPECT_EQ(line.find_first_not_of(' ', gap), kDescriptionColumn);
  }
}

TEST(HelpText, ParserLinesHangUnderTheDescriptionColumn) {
  std::vector<std::string> lines = linesOf(helpText().substr(kUsageSize));
  const std::size_t count = formats().size();
  ASSERT_EQ(lines.size(), count + 2);
  for (std::size_t i = 0; i < count; ++i) {
    const Format& format = *formats()[i];
    std::string name(format.name);
    std::string expected = std::string(36, ' ') + "- " + name + std::string(6 - name.size(), ' ') +
                           " " + std::string(format.description);
    EXPECT_EQ(lines[i], expected);
    EXPECT_EQ(lines[i].find(format.description), 45u);
  }
  EXPECT_EQ(lines[count], "");
  EXPECT_EQ(lines[count + 1], "Made by Tovrel");
  EXPECT_TRUE(helpText().ends_with("\n\nMade by Tovrel\n"));
}

TEST(VersionLine, IsTheProjectVersion) { EXPECT_EQ(versionLine(), "lumo 1.1.0\n"); }

}  // namespace
}  // namespace lumo
