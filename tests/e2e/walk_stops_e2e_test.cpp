// Where a format's walk stops at damage, --list and the legend say so in a
// line of their own; the dump itself stays as it was.
#include <gtest/gtest.h>

#include <string>

#include "child_process.h"

namespace lumo::e2e {
namespace {

using namespace std::string_literals;

// A PNG whose second chunk claims 5000 bytes where 10 follow.
const std::string kCutPng =
    "\x89PNG\r\n\x1a\n"
    "\0\0\0\x0dIHDR"s +
    std::string(17, '\0') + "\0\0\x13\x88IDAT"s + std::string(10, '\0');

TEST(WalkStops, ListShowsTheStopAfterTheStructures) {
  TempDir dir;
  const std::string file = dir.write("cut.png", kCutPng);
  const ChildResult r = runLumo({.args = {file, "--list", "--no-color"}});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "0  0x0-0x7           8 bytes  PNG signature\n"
            "1  0x8-0xf           8 bytes  chunk 0 IHDR\n"
            "2  0x10-0x1c        13 bytes  data of chunk 0 IHDR\n"
            "3  0x1d-0x20         4 bytes  CRC of chunk 0 IHDR\n"
            "4  0x21-0x28         8 bytes  chunk 1 IDAT\n"
            "5  0x29-0x13b0    5000 bytes  data of chunk 1 IDAT\n"
            "6  0x13b1-0x13b4     4 bytes  CRC of chunk 1 IDAT\n"
            "   0x21  walk stopped: chunk 1 claims 5000 bytes, past the end\n");
  // A window that ends before the stop leaves it out; JSON has no stops.
  const ChildResult window = runLumo({.args = {file, "--list", "--length", "0x21"}});
  EXPECT_EQ(window.out.find("walk stopped"), std::string::npos) << window.out;
  const ChildResult json = runLumo({.args = {file, "--list", "--json"}});
  EXPECT_EQ(json.out.find("walk stopped"), std::string::npos) << json.out;
}

// From a pipe, the legend reads the whole input first: the stop shows there
// as in a file's legend, and the dump is the file's.
TEST(WalkStops, LegendOfAStreamShowsTheStop) {
  TempDir dir;
  const std::string file = dir.write("cut.png", kCutPng);
  const ChildResult r = runLumo({.args = {"-", "--legend", "--no-color"}, .stdinData = kCutPng});
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string legend =
      "Legend:\n"
      "0  0x0-0x7         8 bytes  PNG signature\n"
      "1  0x8-0xf         8 bytes  chunk 0 IHDR\n"
      "2  0x10-0x1c      13 bytes  data of chunk 0 IHDR\n"
      "3  0x1d-0x20       4 bytes  CRC of chunk 0 IHDR\n"
      "4  0x21-0x28       8 bytes  chunk 1 IDAT\n"
      "5  0x29-0x13b0  5000 bytes  data of chunk 1 IDAT\n"
      "   0x21  walk stopped: chunk 1 claims 5000 bytes, past the end\n";
  EXPECT_NE(r.out.find(legend), std::string::npos) << r.out;
  const ChildResult fromFile = runLumo({.args = {file, "--legend", "--no-color"}});
  EXPECT_NE(fromFile.out.find(legend), std::string::npos) << fromFile.out;
  for (const char* color : {"--color", "--no-color"}) {
    const ChildResult streamed = runLumo({.args = {"-", color}, .stdinData = kCutPng});
    const ChildResult dumped = runLumo({.args = {file, color}});
    EXPECT_EQ(streamed.out, dumped.out) << color;
    EXPECT_EQ(dumped.out.find("walk stopped"), std::string::npos) << color;
  }
}

}  // namespace
}  // namespace lumo::e2e
