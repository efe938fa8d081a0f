#include <string_view>

#include "cli/args.h"
#include "parsers/registry.h"
#include "platform/platform.h"
#include "platform/stderr_report.h"

#ifndef LUMO_VERSION
#error "LUMO_VERSION must be defined by the build from the project version"
#endif

namespace lumo {
namespace {

// Descriptions start at column 34; the last line leads into the parser list.
constexpr std::string_view kUsage =
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
    "  --parser                        Specify the parser to use. Available parsers:\n";

// Parser list entries hang under the description column of --parser.
constexpr std::string_view kParserIndent = "                                    ";
constexpr std::size_t kParserNameWidth = 6;
constexpr std::string_view kAuthor = "\nMade by Tovrel\n";

void appendParserLine(std::string& text, const Format& format) {
  std::string_view name = format.name;
  text.append(kParserIndent);
  text.append("- ");
  text.append(name);
  if (name.size() < kParserNameWidth) text.append(kParserNameWidth - name.size(), ' ');
  text.append(" ");
  text.append(format.description);
  text.append("\n");
}

}  // namespace

std::string helpText() {
  std::string text(kUsage);
  for (const Format* format : formats()) appendParserLine(text, *format);
  text.append(kAuthor);
  return text;
}

std::string versionLine() { return std::string("lumo ") + LUMO_VERSION + "\n"; }

void printHelp() {
  writeToStderr(helpText());
  platform::exitProcess(0);
}

void printVersion() {
  writeToStderr(versionLine());
  platform::exitProcess(0);
}

}  // namespace lumo
