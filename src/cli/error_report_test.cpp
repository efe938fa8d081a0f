#include "cli/error_report.h"

#include <gtest/gtest.h>

#include <string>

namespace lumo {
namespace {

// Names from outside reach the terminal with their control bytes written
// as \xNN; everything else, ordinary names included, stays byte for byte.
TEST(FormatMessage, PrintsNamesSafely) {
  struct Case {
    std::string name;
    std::string printed;
  };
  const Case cases[] = {
      {"plain.bin", "plain.bin"},
      {"", ""},
      // A line feed would forge a second report line.
      {"a\nerror: forged", "a\\x0aerror: forged"},
      {"line\r\n", "line\\x0d\\x0a"},
      // Escape sequences: colors, the window title, the clipboard.
      {"\x1b[31mred\x1b[0m", "\\x1b[31mred\\x1b[0m"},
      {"\x1b]0;title\x07", "\\x1b]0;title\\x07"},
      {"\x1b]52;c;aGk=\x1b\\", "\\x1b]52;c;aGk=\\x1b\\"},
      {"tab\there", "tab\\x09here"},
      {std::string("nul\0byte", 8), "nul\\x00byte"},
      {"\x1f\x20\x7e\x7f", "\\x1f ~\\x7f"},
      // UTF-8 and the bytes of other encodings above 0x7f stay as they are.
      {"gr\xc3\xbc\xc3\x9f \xe6\x97\xa5\xe6\x9c\xac.bin",
       "gr\xc3\xbc\xc3\x9f \xe6\x97\xa5\xe6\x9c\xac.bin"},
      {"\x80\xff", "\x80\xff"},
      // A Windows path keeps its backslashes, and a typed "\x1b" stays text.
      {"C:\\Users\\me\\file.bin", "C:\\Users\\me\\file.bin"},
      {"\\x1b", "\\x1b"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.name));
    EXPECT_EQ(formatMessage(ErrorMessage::NotFound, c.name), ": " + c.printed + " not found\n");
    EXPECT_EQ(formatMessage(ErrorMessage::InvalidFlag, c.name),
              ": invalid flag `" + c.printed + "`\n");
    EXPECT_EQ(formatMessage(ErrorMessage::NoParserNamed, c.name),
              ": no parser named " + c.printed + "\n");
    EXPECT_EQ(formatMessage(ErrorMessage::NonMatchingParser, c.name, "qoi"),
              ": " + c.printed + " does not match parser qoi\n");
  }
}

}  // namespace
}  // namespace lumo
