// lumo FILE --diff OTHER: the comparison of two inputs end to end.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "child_process.h"

namespace lumo::e2e {
namespace {

// Sixty-four bytes of the alphabet.
std::string alphabet(std::size_t size = 64) {
  std::string text(size, ' ');
  for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>('A' + i % 26);
  return text;
}

struct DiffCase {
  const char* name;
  std::string first;
  std::string second;
  std::vector<std::string> flags;
  bool secondOnStdin = false;
  std::string out;
};

TEST(Diff, ComparesByPosition) {
  std::string changed = alphabet();
  changed[0x23] = '\0';
  const std::string differs =
      "... 2 identical lines ...\n"
      "- 00000020 | 4748 494a 4b4c 4d4e 4f50 5152 5354 5556 | GHIJKLMNOPQRSTUV |\n"
      "+ 00000020 | 4748 4900 4b4c 4d4e 4f50 5152 5354 5556 | GHI.KLMNOPQRSTUV |\n"
      "                    ^^                                    ^\n"
      "... 1 identical line ...\n";
  const DiffCase cases[] = {
      {"identical",
       alphabet(),
       alphabet(),
       {},
       false,
       "... 4 identical lines ...\nFiles are identical: 64 bytes\n"},
      {"one byte",
       alphabet(),
       changed,
       {},
       false,
       differs + "Files differ: 1 byte in 1 line, first at 0x23; sizes 64 and 64 bytes\n"},
      {"other on standard input",
       alphabet(),
       changed,
       {},
       true,
       differs + "Files differ: 1 byte in 1 line, first at 0x23; sizes 64 and 64 bytes\n"},
      {"no size line", alphabet(), changed, {"--no-size"}, false, differs},
      {"window at the same offsets",
       alphabet(),
       changed,
       {"--skip", "0x22", "--length", "3"},
       false,
       "- 00000020 |      494a 4b                            |   IJK            |\n"
       "+ 00000020 |      4900 4b                            |   I.K            |\n"
       "                    ^^                                    ^\n"
       "Files differ: 1 byte in 1 line, first at 0x23; sizes 3 and 3 bytes\n"},
      {"the other is longer",
       alphabet(16),
       alphabet(18),
       {},
       false,
       "... 1 identical line ...\n"
       "- 00000010 |                                         |                  |\n"
       "+ 00000010 | 5152                                    | QR               |\n"
       "             ^^^^                                      ^^\n"
       "Files differ: 2 bytes in 1 line, first at 0x10; sizes 16 and 18 bytes\n"},
  };
  for (const DiffCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string first = dir.write("first", c.first);
    ChildSpec spec{.args = {first, "--diff"}};
    if (c.secondOnStdin) {
      spec.args.emplace_back("-");
      spec.stdinData = c.second;
    } else {
      spec.args.push_back(dir.write("second", c.second));
    }
    spec.args.insert(spec.args.end(), c.flags.begin(), c.flags.end());
    const ChildResult r = runLumo(spec);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, c.out);
  }
}

TEST(Diff, ColorShowsTheDifferingBytesReversed) {
  TempDir dir;
  std::string changed = alphabet();
  changed[5] = 'x';
  const ChildResult r =
      runLumo({.args = {dir.write("a", alphabet()), "--diff", dir.write("b", changed), "--color"}});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("\x1b[7m46"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\x1b[7m78"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find('^'), std::string::npos) << r.out;
}

TEST(Diff, FlagsThatCannotGoWithItFail) {
  TempDir dir;
  const std::string a = dir.write("a", alphabet());
  const std::string b = dir.write("b", alphabet());
  struct Case {
    std::vector<std::string> args;
    std::string err;
  };
  const Case cases[] = {
      {{a, "--diff", b, "--raw"}, "error: `--diff` and `--raw` are mutually exclusive\n"},
      {{a, "--diff", b, "--show-palette"},
       "error: `--diff` and `--show-palette` are mutually exclusive\n"},
      {{"-", "--diff", "-"}, "error: `--diff` and the file cannot both be standard input\n"},
      {{a, "--diff"}, "error: `--diff` needs a file to compare with\n"},
      {{a, "--diff", dir.path() + "/missing"}, "error: " + dir.path() + "/missing not found\n"},
      {{a, "--diff", b, "--section", ".text"}, "error: " + a + " has no named sections\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    const ChildResult r = runLumo({.args = c.args});
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.status, 1);
  }
}

// Two builds of one program: the legend names the sections that cmp and
// readelf say the differing bytes lie in, with as many bytes each.
TEST(Diff, TwoBuildsNameTheSectionsThatDiffer) {
  TempDir dir;
  const std::string source =
      dir.write("prog.c",
                "#include <stdio.h>\n"
                "static const char message[] = MESSAGE;\n"
                "int main(void) { printf(\"%s %d\\n\", message, NUMBER); return 0; }\n");
  const auto build = [&](const std::string& name, const std::string& message,
                         const std::string& number) {
    const std::string out = dir.path() + "/" + name;
    const ChildResult r =
        runChild("/usr/bin/gcc",
                 {.args = {"-O1", "-o", out, "-DMESSAGE=" + message, "-DNUMBER=" + number, source},
                  .env = {"PATH=/usr/bin:/bin"}});
    return r.status == 0 ? out : std::string();
  };
  const std::string a = build("a", "\"hello\"", "7");
  const std::string b = build("b", "\"jello\"", "9");
  if (a.empty() || b.empty()) GTEST_SKIP() << "gcc cannot build the two programs";
  const ChildResult cmp = runChild("/usr/bin/cmp", {.args = {"-l", a, b}});
  const ChildResult sections = runChild("/usr/bin/readelf", {.args = {"-S", "-W", a}});
  if (cmp.status < 0 || sections.status != 0) GTEST_SKIP() << "cmp or readelf is missing";

  // readelf: "[Nr] Name Type Address Off Size ..."
  struct Section {
    std::string name;
    std::uint64_t offset;
    std::uint64_t size;
  };
  std::vector<Section> table;
  const std::regex row(R"(\]\s+(\S+)\s+(\S+)\s+[0-9a-f]+\s+([0-9a-f]+)\s+([0-9a-f]+))");
  std::istringstream lines(sections.out);
  for (std::string line; std::getline(lines, line);) {
    std::smatch m;
    if (!std::regex_search(line, m, row) || m[2] == "NOBITS" || m[2] == "NULL") continue;
    table.push_back({m[1], std::stoull(m[3], nullptr, 16), std::stoull(m[4], nullptr, 16)});
  }
  std::map<std::string, std::uint64_t> expected;
  std::istringstream differing(cmp.out);
  for (std::uint64_t position = 0; differing >> position;) {
    std::string before, after;
    differing >> before >> after;
    const std::uint64_t offset = position - 1;  // cmp counts from 1
    for (const Section& s : table) {
      if (offset >= s.offset && offset < s.offset + s.size) ++expected[s.name];
    }
  }
  ASSERT_FALSE(expected.empty()) << cmp.out;

  const ChildResult r = runLumo({.args = {a, "--diff", b, "--legend", "--no-color"}});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string heading = "Differences in " + a + ":\n";
  const std::size_t from = r.out.find(heading);
  ASSERT_NE(from, std::string::npos) << r.out;
  const std::size_t to = r.out.find("Differences in " + b + ":\n");
  std::map<std::string, std::uint64_t> named;
  std::istringstream legend(r.out.substr(from + heading.size(), to - from - heading.size()));
  const std::regex entry(R"(^  section \d+ (\S+): (\d+) bytes? differs?$)");
  for (std::string line; std::getline(legend, line);) {
    std::smatch m;
    if (std::regex_match(line, m, entry)) named[m[1]] = std::stoull(m[2]);
  }
  EXPECT_EQ(named, expected) << r.out;

  // One section of each, compared from its start: as many bytes differ as
  // cmp counts inside it, and the sizes are readelf's.
  const auto rodata = std::find_if(table.begin(), table.end(),
                                   [](const Section& s) { return s.name == ".rodata"; });
  ASSERT_NE(rodata, table.end());
  const ChildResult section =
      runLumo({.args = {a, "--diff", b, "--section", ".rodata", "--no-color"}});
  EXPECT_EQ(section.status, 0) << section.err;
  const std::string size = std::to_string(rodata->size);
  const std::string summary = "sizes " + size + " and " + size + " bytes\n";
  EXPECT_TRUE(section.out.ends_with(summary)) << section.out;
  const std::uint64_t bytes = expected[".rodata"];
  EXPECT_NE(section.out.find("Files differ: " + std::to_string(bytes) +
                             (bytes == 1 ? " byte in " : " bytes in ")),
            std::string::npos)
      << section.out;

  const ChildResult missing = runLumo({.args = {a, "--diff", b, "--section", ".nosuch"}});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "error: no section named .nosuch in " + a + "\n");
}

}  // namespace
}  // namespace lumo::e2e
