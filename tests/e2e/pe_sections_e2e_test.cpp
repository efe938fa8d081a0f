// Every section of a PE built with long section names (.debug_info and its
// kin, which the section table holds as "/N") selected by name with
// --section, against what objdump reports of the same file.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "child_process.h"

namespace lumo::e2e {
namespace {

// Output and exit status of a shell command.
std::string run(const std::string& command, int& status) {
  std::string text;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    status = -1;
    return text;
  }
  char buffer[4096];
  std::size_t got = 0;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, got);
  status = pclose(pipe);
  return text;
}

bool have(const std::string& tool) {
  int status = 0;
  run("command -v " + tool + " >/dev/null 2>&1", status);
  return status == 0;
}

struct Section {
  std::string name;
  unsigned long long size = 0;
  unsigned long long offset = 0;
  bool contents = false;
};

// The sections of `objdump -h` ("  11 .debug_info  000098f6  ...  00004200  2**0"
// and a line of flags under each) and FileAlignment of `objdump -p`.
std::vector<Section> parseObjdump(const std::string& text, unsigned long long& alignment) {
  std::vector<Section> sections;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    if (words.size() == 2 && words[0] == "FileAlignment")
      alignment = std::stoull(words[1], nullptr, 16);
    if (words.size() == 7 && words[6].starts_with("2**") &&
        words[0] == std::to_string(sections.size())) {
      sections.push_back(
          {words[1], std::stoull(words[2], nullptr, 16), std::stoull(words[5], nullptr, 16)});
    } else if (!sections.empty() && line.find("CONTENTS") != std::string::npos) {
      sections.back().contents = true;
    }
  }
  return sections;
}

std::string hex(unsigned long long value) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%llx", value);
  return text;
}

TEST(PeSections, EveryLongNamedSectionIsTheWindowObjdumpReports) {
  const std::string gcc = "x86_64-w64-mingw32-gcc";
  if (!have(gcc)) GTEST_SKIP() << gcc << " is missing; install gcc-mingw-w64-x86-64";
  const std::string objdump =
      have("x86_64-w64-mingw32-objdump") ? "x86_64-w64-mingw32-objdump" : "objdump";
  if (!have(objdump)) GTEST_SKIP() << "objdump is missing; install binutils-mingw-w64-x86-64";

  const TempDir dir;
  const std::string source = dir.write("m.c",
                                       "int answer(int x) { return x * 2; }\n"
                                       "int main(void) { return answer(21) - 42; }\n");
  const std::string exe = dir.path() + "/m.exe";
  int status = 0;
  run(gcc + " -g -O0 '" + source + "' -o '" + exe + "' 2>&1", status);
  ASSERT_EQ(status, 0) << gcc << " could not build the PE";
  unsigned long long alignment = 0;
  const std::vector<Section> sections =
      parseObjdump(run(objdump + " -h -p '" + exe + "'", status), alignment);
  ASSERT_EQ(status, 0);
  ASSERT_GT(alignment, 0u);
  // The point of the file: names that do not fit the 8-byte field.
  bool long_name = false;
  for (const Section& s : sections) long_name = long_name || s.name.size() > 8;
  ASSERT_TRUE(long_name) << "objdump shows no long section name";

  for (const Section& s : sections) {
    SCOPED_TRACE(s.name);
    const ChildResult bySection = runLumo({.args = {exe, "--section", s.name}});
    if (!s.contents) {
      EXPECT_EQ(bySection.status, 0);
      EXPECT_EQ(bySection.err, "lumo: section " + s.name + " has no bytes in the file\n");
      continue;
    }
    // objdump gives the section's size in memory; its bytes in the file are
    // that, rounded up to the file alignment.
    const unsigned long long raw = (s.size + alignment - 1) / alignment * alignment;
    const ChildResult byWindow =
        runLumo({.args = {exe, "--skip", hex(s.offset), "--length", std::to_string(raw)}});
    EXPECT_EQ(bySection.status, 0) << bySection.err;
    EXPECT_NE(bySection.out.find("Bytes " + hex(s.offset) + "-" + hex(s.offset + raw - 1)),
              std::string::npos)
        << bySection.out.substr(0, 200);
    EXPECT_EQ(bySection.out, byWindow.out);
  }
}

}  // namespace
}  // namespace lumo::e2e
