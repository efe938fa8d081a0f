// --annotate end to end: headings where readelf says sections begin, in a
// window, nested and colored; the conflicts; raw mode and streams.
#include <gtest/gtest.h>

#include <unistd.h>
#include <algorithm>
#include <cstdint>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "child_process.h"

namespace lumo::e2e {
namespace {

struct ElfRange {
  std::string name;
  std::string type;
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
};

// Rows of readelf -W: "[Nr] Name Type Address Off Size" for -S (section 0
// left out), "Type Offset VirtAddr PhysAddr FileSiz" for -l.
std::vector<ElfRange> readelfRows(const std::string& file, const std::string& flag) {
  const ChildResult r = runChild("/usr/bin/readelf", {.args = {flag, "-W", file}});
  std::vector<ElfRange> rows;
  if (r.status != 0) return rows;
  const std::regex section(R"(\]\s+(\S+)\s+(\S+)\s+[0-9a-f]+\s+([0-9a-f]+)\s+([0-9a-f]+))");
  const std::regex segment(
      R"(^\s+(\S+)\s+0x([0-9a-f]+)\s+0x[0-9a-f]+\s+0x[0-9a-f]+\s+0x([0-9a-f]+))");
  std::istringstream lines(r.out);
  for (std::string line; std::getline(lines, line);) {
    std::smatch m;
    if (flag == "-S" && line.find("[ 0]") == std::string::npos &&
        std::regex_search(line, m, section)) {
      rows.push_back({m[1], m[2], std::stoull(m[3], nullptr, 16), std::stoull(m[4], nullptr, 16)});
    } else if (flag == "-l" && std::regex_search(line, m, segment)) {
      rows.push_back({"", m[1], std::stoull(m[2], nullptr, 16), std::stoull(m[3], nullptr, 16)});
    }
  }
  return rows;
}

std::string hex(std::uint64_t value) {
  std::ostringstream text;
  text << "0x" << std::hex << value;
  return text.str();
}

// A heading, with the offset of the dump line that follows its group of
// headings (UINT64_MAX when something else follows).
struct Heading {
  std::string text;
  std::uint64_t line = UINT64_MAX;
};

std::vector<Heading> headingsOf(const std::string& dump) {
  std::vector<Heading> headings;
  std::size_t waiting = 0;  // headings still without their line
  std::istringstream lines(dump);
  for (std::string line; std::getline(lines, line);) {
    if (line.starts_with("\u2500\u2500 ")) {
      headings.push_back({line.substr(std::string("\u2500\u2500 ").size())});
      ++waiting;
      continue;
    }
    const bool dumpLine = line.size() > 9 && line[8] == ' ' && line[9] == '|';
    for (std::size_t k = headings.size() - waiting; k < headings.size(); ++k) {
      if (dumpLine) headings[k].line = std::stoull(line.substr(0, 8), nullptr, 16);
    }
    waiting = 0;
  }
  return headings;
}

std::string withoutHeadings(const std::string& dump) {
  std::string kept;
  std::istringstream lines(dump);
  for (std::string line; std::getline(lines, line);) {
    if (!line.starts_with("\u2500\u2500 ")) kept += line + "\n";
  }
  return kept;
}

// Each section readelf gives bytes to and that begins in the window has
// its heading, with its range and size, right before the line holding its
// first byte; no other section has one; and the headings are all that
// --annotate adds.
TEST(Annotate, SectionsOfRealFilesAgreeWithReadelf) {
  std::size_t tried = 0;
  for (const std::string file : {"/bin/ls", "/lib/x86_64-linux-gnu/libc.so.6"}) {
    const std::vector<ElfRange> sections = readelfRows(file, "-S");
    if (::access(file.c_str(), R_OK) != 0 || sections.empty()) continue;
    ++tried;
    // The whole file, and a window from just past the start of one section
    // to the first byte of the fourth after it.
    std::vector<std::uint64_t> starts;
    for (const ElfRange& section : sections) {
      if (section.type != "NOBITS" && section.size > 1) starts.push_back(section.offset);
    }
    std::sort(starts.begin(), starts.end());
    ASSERT_GT(starts.size(), 6U);
    for (const auto& [skip, length] : std::vector<std::pair<std::uint64_t, std::uint64_t>>{
             {0, UINT64_MAX}, {starts[2] + 1, starts[6] - starts[2]}}) {
      SCOPED_TRACE(file + " from " + hex(skip));
      std::vector<std::string> args = {file, "--no-color", "--no-skip-lines", "--skip",
                                       std::to_string(skip)};
      if (length != UINT64_MAX) args.insert(args.end(), {"--length", std::to_string(length)});
      std::vector<std::string> annotated = args;
      annotated.emplace_back("--annotate");
      const ChildResult plain = runLumo({.args = args});
      const ChildResult r = runLumo({.args = annotated});
      ASSERT_EQ(r.status, 0) << r.err;
      EXPECT_EQ(withoutHeadings(r.out), plain.out);
      const std::vector<Heading> headings = headingsOf(r.out);
      std::size_t headed = 0;
      for (const ElfRange& section : sections) {
        SCOPED_TRACE(section.name);
        const std::string tail = "  " + hex(section.offset) + "-" +
                                 hex(section.offset + section.size - 1) + "  " +
                                 std::to_string(section.size) + " bytes";
        std::vector<std::string> labels;
        for (const Heading& heading : headings) {
          if (heading.text.starts_with("section ") && heading.text.ends_with(tail)) {
            labels.push_back(heading.text.substr(0, heading.text.size() - tail.size()));
            EXPECT_EQ(heading.line, section.offset & ~std::uint64_t{15});
          }
        }
        const bool begins = section.type != "NOBITS" && section.size > 0 &&
                            section.offset >= skip && section.offset - skip < length;
        if (!begins) {
          EXPECT_TRUE(labels.empty());
          continue;
        }
        ++headed;
        ASSERT_EQ(labels.size(), 1U);
        // "section N NAME", or with a long name its head and tail around
        // "..." so that the heading keeps within 80 columns.
        const std::string name = labels[0].substr(labels[0].find(' ', 8) + 1);
        const std::size_t cut = name.find("...");
        if (cut == std::string::npos) {
          EXPECT_EQ(name, section.name);
        } else {
          EXPECT_TRUE(section.name.starts_with(name.substr(0, cut))) << name;
          EXPECT_TRUE(section.name.ends_with(name.substr(cut + 3))) << name;
          EXPECT_EQ(3 + labels[0].size() + tail.size(), 80U) << name;
        }
      }
      EXPECT_GT(headed, 0U);
    }
  }
  if (tried == 0) GTEST_SKIP() << "readelf or the ELF files are missing";
}

// Runs of identical lines still collapse, and never across a heading: the
// line after a heading is the one that holds its structure's first byte.
TEST(Annotate, CollapsingStopsAtEachHeading) {
  const std::string file = "/bin/ls";
  if (::access(file.c_str(), R_OK) != 0) GTEST_SKIP() << file << " is missing";
  const ChildResult r = runLumo({.args = {file, "--no-color", "--annotate"}});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find(" lines skipped ...\n"), std::string::npos);
  const std::regex range(R"(  0x([0-9a-f]+)-0x[0-9a-f]+  \d+ bytes?$)");
  for (const Heading& heading : headingsOf(r.out)) {
    SCOPED_TRACE(heading.text);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(heading.text, m, range));
    EXPECT_EQ(heading.line, std::stoull(m[1], nullptr, 16) & ~std::uint64_t{15});
  }
}

// A segment and the section that begins where it does: one heading each,
// the segment first, with readelf's ranges.
TEST(Annotate, NestedStartsOutermostFirst) {
  const std::string file = "/bin/ls";
  std::vector<ElfRange> interp;
  for (const ElfRange& segment : readelfRows(file, "-l")) {
    if (segment.type == "INTERP") interp.push_back(segment);
  }
  std::uint64_t section = UINT64_MAX;
  for (const ElfRange& row : readelfRows(file, "-S")) {
    if (row.name == ".interp") section = row.offset;
  }
  if (interp.size() != 1 || section != interp[0].offset) {
    GTEST_SKIP() << file << " has no .interp where its INTERP segment begins";
  }
  const std::string range = hex(interp[0].offset) + "-" +
                            hex(interp[0].offset + interp[0].size - 1) + "  " +
                            std::to_string(interp[0].size) + " bytes\n";
  const ChildResult r = runLumo(
      {.args = {file, "--annotate", "--no-color", "--skip", std::to_string(interp[0].offset)}});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(std::regex_search(
      r.out, std::regex("^\u2500\u2500 segment \\d+ \\(INTERP, r--\\)  " + range +
                        "\u2500\u2500 section \\d+ \\.interp  " + range + "00000310 \\|")))
      << r.out.substr(0, 400);
}

struct AnnotateCase {
  const char* name;
  std::vector<std::string> args;  // "{elf}" stands for the ELF file
  std::string out;
  std::string err;
  int status;
};

void PrintTo(const AnnotateCase& c, std::ostream* out) { *out << c.name; }

class AnnotateCli : public ::testing::TestWithParam<AnnotateCase> {};

TEST_P(AnnotateCli, ReportsAsExpected) {
  const std::string elf = "/bin/true";
  if (::access(elf.c_str(), R_OK) != 0) GTEST_SKIP() << elf << " is missing";
  ChildSpec spec;
  for (const std::string& arg : GetParam().args) spec.args.push_back(arg == "{elf}" ? elf : arg);
  const ChildResult r = runLumo(spec);
  EXPECT_EQ(r.out, GetParam().out);
  EXPECT_EQ(r.err, GetParam().err);
  EXPECT_EQ(r.status, GetParam().status);
}

// /bin/true's first 16 bytes: the ELF header's identification.
INSTANTIATE_TEST_SUITE_P(
    Cases, AnnotateCli,
    ::testing::Values(
        AnnotateCase{"WithList",
                     {"{elf}", "--annotate", "--list"},
                     "",
                     "error: `--list` and `--annotate` are mutually exclusive\n",
                     1},
        AnnotateCase{"WithDiff",
                     {"{elf}", "--annotate", "--diff", "{elf}"},
                     "",
                     "error: `--diff` and `--annotate` are mutually exclusive\n",
                     1},
        AnnotateCase{"WithShowPalette",
                     {"--show-palette", "--annotate"},
                     "",
                     "error: `--annotate` and `--show-palette` are mutually exclusive\n",
                     1},
        AnnotateCase{"RawIgnoresIt",
                     {"{elf}", "--annotate", "--raw", "--length", "16"},
                     "7f45 4c46 0201 0100 0000 0000 0000 0000 \n",
                     "",
                     0},
        AnnotateCase{"Plain",
                     {"{elf}", "--annotate", "--no-color", "--no-size", "--length", "16"},
                     "\u2500\u2500 ELF header  0x0-0x3f  64 bytes\n"
                     "00000000 | 7f45 4c46 0201 0100 0000 0000 0000 0000 | .ELF............ |\n",
                     "",
                     0},
        AnnotateCase{"Colored",
                     {"{elf}", "--annotate", "--color", "--no-ascii", "--no-offset", "--no-size",
                      "--length", "2"},
                     "\x1b[31m\u2500\u2500 ELF header  0x0-0x3f  64 bytes\x1b[0m\n"
                     "\x1b[2m|\x1b[0m \x1b[31m7f\x1b[0m\x1b[31m45\x1b[0m" +
                         std::string(36, ' ') + "\x1b[2m|\x1b[0m\n",
                     "",
                     0}),
    [](const ::testing::TestParamInfo<AnnotateCase>& param_info) { return param_info.param.name; });

// A stream whose format colors it as it flows is held whole for its names,
// and headed as its file is.
TEST(Annotate, StreamIsHeadedAsItsFile) {
  TempDir dir;
  const std::string data = dir.write("data.txt", std::string(300, 'x') + "tail\n");
  const ChildResult zipped = runChild("/bin/gzip", {.args = {"-kn", data}});
  if (zipped.status != 0) GTEST_SKIP() << "gzip is missing";
  const std::string file = data + ".gz";
  const ChildResult fromFile = runLumo({.args = {file, "--annotate", "--color"}});
  const ChildResult fromPipe =
      runLumo({.args = {"-", "--annotate", "--color"}, .stdinData = readFile(file)});
  ASSERT_EQ(fromFile.status, 0) << fromFile.err;
  EXPECT_EQ(fromPipe.status, 0) << fromPipe.err;
  EXPECT_NE(fromFile.out.find("\u2500\u2500 "), std::string::npos) << fromFile.out;
  EXPECT_EQ(fromPipe.out, fromFile.out);
}

}  // namespace
}  // namespace lumo::e2e
