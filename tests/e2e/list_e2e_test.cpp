// --list, --list --json and --section by number, end to end; the truth for
// ranges is readelf's.
#include <gtest/gtest.h>

#include <unistd.h>
#include <algorithm>
#include <cstdint>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "child_process.h"

namespace lumo::e2e {
namespace {

struct ElfSection {
  std::string name;
  std::string type;
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
};

// readelf -S -W: "[Nr] Name Type Address Off Size ...", without section 0.
std::vector<ElfSection> readelfSections(const std::string& file) {
  const ChildResult r = runChild("/usr/bin/readelf", {.args = {"-S", "-W", file}});
  std::vector<ElfSection> sections;
  if (r.status != 0) return sections;
  const std::regex row(R"(\]\s+(\S+)\s+(\S+)\s+[0-9a-f]+\s+([0-9a-f]+)\s+([0-9a-f]+))");
  std::istringstream lines(r.out);
  for (std::string line; std::getline(lines, line);) {
    std::smatch m;
    if (line.find("[ 0]") != std::string::npos || !std::regex_search(line, m, row)) continue;
    sections.push_back(
        {m[1], m[2], std::stoull(m[3], nullptr, 16), std::stoull(m[4], nullptr, 16)});
  }
  return sections;
}

// The members of one line of --list --json that the checks read.
struct JsonEntry {
  std::uint64_t index = 0;
  std::string name;  // empty for null
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
  bool selectable = false;
};

std::vector<JsonEntry> jsonEntries(const std::string& json) {
  std::vector<JsonEntry> entries;
  const std::regex object(
      R"re(^  \{"index": (\d+), "kind": "[^"]*", "name": (null|"([^"]*)"), .*"offset": (\d+), "size": (\d+), .*"selectable": (true|false))re");
  std::istringstream lines(json);
  for (std::string line; std::getline(lines, line);) {
    std::smatch m;
    if (!std::regex_search(line, m, object)) continue;
    entries.push_back(
        {std::stoull(m[1]), m[3], std::stoull(m[4]), std::stoull(m[5]), m[6] == "true"});
  }
  return entries;
}

bool parsesAsJson(const std::string& json) {
  return runChild("/usr/bin/python3", {.args = {"-m", "json.tool"}, .stdinData = json}).status == 0;
}

std::string hex(std::uint64_t value) {
  std::ostringstream text;
  text << "0x" << std::hex << value;
  return text.str();
}

std::size_t widestLine(const std::string& text) {
  std::size_t widest = 0;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) widest = std::max(widest, line.size());
  return widest;
}

// An object file with two COMDAT groups, both named .group; empty when g++
// is missing.
std::string objectWithTwoGroups(const TempDir& dir) {
  const std::string source = dir.write("two.cpp",
                                       "inline int f(int x) { return x + 1; }\n"
                                       "inline int g(int x) { return x * 2; }\n"
                                       "int h(int x) { return f(x) + g(x); }\n");
  const std::string object = dir.path() + "/two.o";
  const ChildResult r = runChild(
      "/usr/bin/g++", {.args = {"-c", "-O0", "-o", object, source}, .env = {"PATH=/usr/bin:/bin"}});
  return r.status == 0 ? object : std::string();
}

// Real files: the JSON parses, names every section readelf lists with its
// offset and size, and no line of the list is wider than 80 columns.
TEST(List, RealFilesAgreeWithReadelf) {
  std::size_t tried = 0;
  for (const std::string file :
       {"/bin/ls", "/bin/true", "/lib/x86_64-linux-gnu/libc.so.6",
        "/usr/lib/x86_64-linux-gnu/libstdc++.so.6", "/usr/lib32/libc.so.6"}) {
    if (::access(file.c_str(), R_OK) != 0) continue;
    const std::vector<ElfSection> sections = readelfSections(file);
    if (sections.empty()) continue;
    ++tried;
    SCOPED_TRACE(file);
    const ChildResult json = runLumo({.args = {file, "--list", "--json"}});
    ASSERT_EQ(json.status, 0) << json.err;
    EXPECT_TRUE(parsesAsJson(json.out));
    const std::vector<JsonEntry> entries = jsonEntries(json.out);
    std::map<std::string, const JsonEntry*> named;
    for (const JsonEntry& entry : entries) {
      if (entry.selectable) named[entry.name] = &entry;
    }
    for (const ElfSection& section : sections) {
      SCOPED_TRACE(section.name);
      ASSERT_EQ(named.count(section.name), 1U);
      EXPECT_EQ(named[section.name]->offset, section.offset);
      EXPECT_EQ(named[section.name]->size, section.size);
    }
    const ChildResult list = runLumo({.args = {file, "--list", "--no-color"}});
    ASSERT_EQ(list.status, 0) << list.err;
    EXPECT_LE(widestLine(list.out), 80U);
  }
  if (tried == 0) GTEST_SKIP() << "readelf or the ELF files are missing";
}

// Every section of libc can be selected, by name and by number: the last
// byte of the window is the last byte readelf gives it.
TEST(List, EverySectionOfLibcIsSelectable) {
  const std::string file = "/lib/x86_64-linux-gnu/libc.so.6";
  const std::vector<ElfSection> sections = readelfSections(file);
  if (sections.empty()) GTEST_SKIP() << "readelf or " << file << " is missing";
  const std::vector<JsonEntry> entries =
      jsonEntries(runLumo({.args = {file, "--list", "--json"}}).out);
  for (const ElfSection& section : sections) {
    SCOPED_TRACE(section.name);
    std::string number;
    for (const JsonEntry& entry : entries) {
      if (entry.selectable && entry.name == section.name) number = std::to_string(entry.index);
    }
    ASSERT_FALSE(number.empty());
    for (const std::string& value : {section.name, number}) {
      const ChildResult r = runLumo({.args = {file, "--section", value, "--skip", "-1"}});
      EXPECT_EQ(r.status, 0) << r.err;
      if (section.type == "NOBITS" || section.size == 0) {
        EXPECT_EQ(r.err, "lumo: section " + value + " has no bytes in the file\n");
        continue;
      }
      const std::string last = hex(section.offset + section.size - 1);
      std::string footer = "\nBytes ";
      footer += last;
      footer += '-';
      footer += last;
      footer += " (1 bytes)";
      EXPECT_NE(r.out.find(footer), std::string::npos) << r.out;
    }
  }
}

// Two sections of one name: the name fails and lists both with readelf's
// ranges; each number selects its own.
TEST(List, AmbiguousNameListsEachCandidate) {
  TempDir dir;
  const std::string object = objectWithTwoGroups(dir);
  if (object.empty()) GTEST_SKIP() << "g++ cannot build the object file";
  std::vector<ElfSection> groups;
  for (const ElfSection& section : readelfSections(object)) {
    if (section.name == ".group") groups.push_back(section);
  }
  ASSERT_EQ(groups.size(), 2U);
  std::vector<std::string> numbers;
  for (const JsonEntry& entry : jsonEntries(runLumo({.args = {object, "--list", "--json"}}).out)) {
    if (entry.name == ".group") numbers.push_back(std::to_string(entry.index));
  }
  ASSERT_EQ(numbers.size(), 2U);

  const ChildResult ambiguous = runLumo({.args = {object, "--section", ".group"}});
  std::string expected = "error: more than one section named .group: ";
  for (std::size_t k = 0; k < 2; ++k) {
    if (k > 0) expected += ", ";
    expected += numbers[k] + " (" + hex(groups[k].offset) + "-" +
                hex(groups[k].offset + groups[k].size - 1) + ")";
  }
  EXPECT_EQ(ambiguous.err, expected + "\n");
  EXPECT_EQ(ambiguous.out, "");
  EXPECT_EQ(ambiguous.status, 1);
  for (std::size_t k = 0; k < 2; ++k) {
    const ChildResult r = runLumo({.args = {object, "--section", numbers[k], "--no-color"}});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string range = hex(groups[k].offset) + "-" +
                              hex(groups[k].offset + groups[k].size - 1) + " (" +
                              std::to_string(groups[k].size) + " bytes)";
    EXPECT_NE(r.out.find("\nBytes " + range), std::string::npos) << r.out;
  }
}

// With a window, only the structures that meet it are listed, numbered as
// in the whole map.
TEST(List, WindowKeepsTheStructuresThatMeetIt) {
  TempDir dir;
  const std::string object = objectWithTwoGroups(dir);
  if (object.empty()) GTEST_SKIP() << "g++ cannot build the object file";
  const std::vector<JsonEntry> all =
      jsonEntries(runLumo({.args = {object, "--list", "--json"}}).out);
  std::uint64_t text_offset = 0;
  std::uint64_t text_size = 0;
  for (const ElfSection& section : readelfSections(object)) {
    if (section.name == ".text") text_offset = section.offset, text_size = section.size;
  }
  ASSERT_GT(text_size, 0U);
  for (const std::vector<std::string>& window :
       {std::vector<std::string>{"--section", ".text"},
        {"--skip", std::to_string(text_offset), "--length", std::to_string(text_size)}}) {
    std::vector<std::string> args = {object, "--list", "--json"};
    args.insert(args.end(), window.begin(), window.end());
    const ChildResult r = runLumo({.args = args});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::uint64_t> expected;
    for (const JsonEntry& entry : all) {
      if (entry.offset < text_offset + text_size && entry.offset + entry.size > text_offset) {
        expected.push_back(entry.index);
      }
    }
    std::vector<std::uint64_t> listed;
    for (const JsonEntry& entry : jsonEntries(r.out)) listed.push_back(entry.index);
    EXPECT_EQ(listed, expected) << r.out;
    EXPECT_NE(std::find(listed.begin(), listed.end(),
                        [&] {
                          for (const JsonEntry& entry : all) {
                            if (entry.name == ".text") return entry.index;
                          }
                          return UINT64_MAX;
                        }()),
              listed.end());
  }
}

// A section name of control bytes, bytes that are not UTF-8 and UTF-8, and
// one far too long for a line: escaped in the text and in JSON as
// documented, and cut in the middle.
TEST(List, HostileNamesAreEscapedAndCut) {
  TempDir dir;
  const std::string object = objectWithTwoGroups(dir);
  if (object.empty()) GTEST_SKIP() << "g++ cannot build the object file";
  const std::string odd = "\x01\xff\xc3\xa9\"";
  const std::string longName = "." + std::string(100, 'a') + std::string(100, 'z');
  const std::string renamed = dir.path() + "/renamed.o";
  const ChildResult copied = runChild(
      "/usr/bin/objcopy", {.args = {"--rename-section", ".comment=" + odd, "--rename-section",
                                    ".eh_frame=" + longName, object, renamed}});
  if (copied.status != 0) GTEST_SKIP() << "objcopy cannot rename the sections: " << copied.err;

  const ChildResult json = runLumo({.args = {renamed, "--list", "--json"}});
  ASSERT_EQ(json.status, 0) << json.err;
  EXPECT_TRUE(parsesAsJson(json.out));
  EXPECT_NE(json.out.find(R"("name": "\u0001\u00ff)"
                          "\xc3\xa9"
                          R"(\"")"),
            std::string::npos)
      << json.out;

  const ChildResult list = runLumo({.args = {renamed, "--list", "--no-color"}});
  ASSERT_EQ(list.status, 0) << list.err;
  EXPECT_LE(widestLine(list.out), 80U);
  EXPECT_NE(list.out.find(R"(\x01\xff\xc3\xa9")"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find(" .aaaa"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("a...z"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("zzzz\n"), std::string::npos) << list.out;

  // Colored, each label is in its style and followed by a reset.
  const ChildResult colored = runLumo({.args = {renamed, "--list", "--color"}});
  EXPECT_EQ(colored.status, 0);
  EXPECT_NE(colored.out.find("\x1b[0m\n"), std::string::npos);
}

struct ListCase {
  const char* name;
  // "{data}" and "{elf}" stand for the fixtures, "{last}" for the number of
  // the last structure of {elf}.
  std::vector<std::string> args;
  std::string out;
  std::string err;
  int status;
};

void PrintTo(const ListCase& c, std::ostream* out) { *out << c.name; }

class ListCli : public ::testing::TestWithParam<ListCase> {};

std::string filled(std::string text, const std::string& data, const std::string& elf) {
  const std::string last =
      std::to_string(jsonEntries(runLumo({.args = {elf, "--list", "--json"}}).out).size() - 1);
  for (const auto& [key, value] :
       {std::pair<std::string, std::string>{"{data}", data}, {"{elf}", elf}, {"{last}", last}}) {
    for (std::size_t at; (at = text.find(key)) != std::string::npos;)
      text.replace(at, key.size(), value);
  }
  return text;
}

TEST_P(ListCli, ReportsAsExpected) {
  TempDir dir;
  const std::string data = dir.write("plain.txt", "just some text\n");
  const std::string elf = "/bin/true";
  if (::access(elf.c_str(), R_OK) != 0) GTEST_SKIP() << elf << " is missing";
  ChildSpec spec;
  for (const std::string& arg : GetParam().args) spec.args.push_back(filled(arg, data, elf));
  const ChildResult r = runLumo(spec);
  EXPECT_EQ(r.out, filled(GetParam().out, data, elf));
  EXPECT_EQ(r.err, filled(GetParam().err, data, elf));
  EXPECT_EQ(r.status, GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ListCli,
    ::testing::Values(
        ListCase{"JsonWithoutList",
                 {"{elf}", "--json"},
                 "",
                 "error: `--json` works only with `--list`\n",
                 1},
        ListCase{"ListWithDiff",
                 {"{elf}", "--list", "--diff", "{elf}"},
                 "",
                 "error: `--list` and `--diff` are mutually exclusive\n",
                 1},
        ListCase{"ListWithRaw",
                 {"{elf}", "--raw", "--list"},
                 "",
                 "error: `--list` and `--raw` are mutually exclusive\n",
                 1},
        ListCase{"ListWithShowPalette",
                 {"--list", "--show-palette", "{elf}"},
                 "",
                 "error: `--list` and `--show-palette` are mutually exclusive\n",
                 1},
        ListCase{"PlainDataHasNoStructures", {"{data}", "--list"}, "", "", 0},
        ListCase{"PlainDataAsJson", {"{data}", "--list", "--json"}, "[]\n", "", 0},
        ListCase{"NumberOfPlainData",
                 {"{data}", "--section", "0"},
                 "",
                 "error: {data} has no named sections\n",
                 1},
        ListCase{"NumberPastTheLast",
                 {"{elf}", "--section", "99999"},
                 "",
                 "error: no structure numbered 99999 (`--list` shows 0-{last})\n",
                 1},
        ListCase{"NumberTooLargeForAnyMap",
                 {"{elf}", "--section", "184467440737095516160"},
                 "",
                 "error: no structure numbered 184467440737095516160 (`--list` shows 0-{last})\n",
                 1},
        ListCase{"NoFile", {"--list"}, "", "error: no file specified\n", 1}),
    [](const ::testing::TestParamInfo<ListCase>& param_info) { return param_info.param.name; });

// A structure without a name (the ELF header) is reachable by its number.
TEST(List, UnnamedStructureByNumber) {
  if (::access("/bin/true", R_OK) != 0) GTEST_SKIP() << "/bin/true is missing";
  const ChildResult r = runLumo({.args = {"/bin/true", "--section", "0", "--no-color"}});
  EXPECT_EQ(r.status, 0) << r.err;
  // readelf -h: the header of a 64-bit ELF file is 64 bytes.
  const ChildResult header = runChild("/usr/bin/readelf", {.args = {"-h", "/bin/true"}});
  if (header.out.find("Size of this header:               64 (bytes)") == std::string::npos) {
    GTEST_SKIP() << "/bin/true is not a 64-bit ELF file";
  }
  EXPECT_NE(r.out.find("\nBytes 0x0-0x3f (64 bytes)"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace lumo::e2e
