// A WebAssembly module on a pipe is colored as it streams: the dump equals
// the file's, lines show before the input ends, and nothing is spilled.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "child_process.h"
#include "parsers/wasm_test_bytes.h"

namespace lumo::e2e {
namespace {

using testing::leb128;

const std::string kHome = "HOME=/nonexistent/lumo-test-home";

std::string section(std::uint8_t id, const std::string& contents) {
  return static_cast<char>(id) + leb128(contents.size()) + contents;
}

std::string customSection(const std::string& name, const std::string& rest) {
  return section(0, leb128(name.size()) + name + rest);
}

// Sections that straddle the stream's buffer (a data section of 300000
// bytes, larger than one read), a custom name with control bytes, runs of
// identical lines, many small sections and a damaged end.
std::string streamedModule() {
  std::string wasm("\0asm\x01\0\0\0", 8);
  wasm += section(1, std::string(40, '\x60'));
  wasm += customSection("name\x1b[31m", std::string(100, 'n'));
  std::string data;
  for (std::size_t i = 0; i < 300000; ++i) data += static_cast<char>(i % 7 == 0 ? i % 251 : 'd');
  wasm += section(11, data);
  for (int k = 0; k < 5000; ++k) wasm += section(static_cast<std::uint8_t>(1 + k % 12), "ab");
  wasm += customSection(std::string(200, 'x'), "");  // a name past the cap
  wasm += section(10, std::string(64, '\0'));
  wasm += "\x0a\xff\xff";  // a size that never ends
  return wasm;
}

TEST(Forward, WasmOnAPipeDumpsLikeTheFile) {
  TempDir dir;
  const std::string wasm = streamedModule();
  const std::string path = dir.write("module.wasm", wasm);
  const std::vector<std::vector<std::string>> flagSets = {
      {"--color"},
      {"--color", "--no-skip-lines"},
      {"--color", "--skip", "100"},
      {"--color", "--skip", "33", "--length", "5000"},
      {"--color", "--skip", "299990", "--length", "40", "--no-size"},
      {"--color", "--skip", "1000000"},
      {"--color", "--length", "0"},
      {"--color", "--legend", "--skip", "300100", "--length", "300"},
      {"--color", "--section", "name\\x1b[31m"},
      {"--legend", "--no-color", "--length", "64"},
  };
  for (const std::vector<std::string>& flags : flagSets) {
    std::vector<std::string> fileArgs = flags;
    fileArgs.push_back(path);
    std::vector<std::string> pipeArgs = flags;
    pipeArgs.emplace_back("-");
    const ChildResult fromFile = runLumo({.args = fileArgs});
    const ChildResult fromPipe = runLumo({.args = pipeArgs, .stdinData = wasm});
    const std::string shown = ::testing::PrintToString(flags);
    EXPECT_EQ(fromPipe.status, fromFile.status) << shown;
    EXPECT_EQ(fromPipe.err, fromFile.err) << shown;
    EXPECT_TRUE(fromPipe.out == fromFile.out) << shown << ": stdin and file dumps differ";
  }
}

TEST(Forward, WasmLinesShowBeforeThePipeCloses) {
  // The first section reaches far past what is written: a dump that waited
  // for the whole module (or for the section's end) would show nothing
  // while the writer holds the pipe open.
  const std::string wasm =
      std::string("\0asm\x01\0\0\0", 8) + section(11, std::string(100000, 'd'));
  TempDir dir;
  const ChildResult whole = runLumo({.args = {"--color", dir.write("m.wasm", wasm)}});
  ASSERT_EQ(whole.status, 0);
  const std::string firstLine = whole.out.substr(0, whole.out.find('\n') + 1);
  const ChildResult r = runLumo({.args = {"--color", "-"},
                                 .stdinData = wasm.substr(0, 200),
                                 .holdStdinUntilOutput = firstLine.size()});
  EXPECT_EQ(r.status, 0);
  EXPECT_GE(r.outputBeforeStdinClosed, firstLine.size());
  EXPECT_EQ(r.out.substr(0, firstLine.size()), firstLine);
}

TEST(Forward, WasmOnAPipeMakesNoTemporaryFile) {
  TempDir input;
  TempDir temporary;
  const std::string module = input.write("m.wasm", streamedModule());
  // lumo reads a fifo that stays open until its open files are listed: a
  // spill file (unlinked, but open) shows there under TMPDIR. The legend
  // still reads the stream whole first, which shows that the check sees it.
  const std::string script =
      "mkfifo \"$2/in\"; \"$0\" \"$3\" - <\"$2/in\" >/dev/null & pid=$!; exec 3>\"$2/in\";"
      " cat \"$1\" >&3; ls -l /proc/$pid/fd >&2; exec 3>&-; wait $pid";
  struct Case {
    const char* flag;
    bool spills;
  };
  for (const Case& c : {Case{"--color", false}, Case{"--legend", true}}) {
    const ChildResult r =
        runChild("/bin/sh", {.args = {"-c", script, LUMO_BINARY, module, input.path(), c.flag},
                             .env = {kHome, "PATH=/usr/bin:/bin", "TMPDIR=" + temporary.path()}});
    EXPECT_EQ(r.status, 0) << c.flag;
    EXPECT_EQ(r.err.find(temporary.path()) != std::string::npos, c.spills) << c.flag << r.err;
  }
}

}  // namespace
}  // namespace lumo::e2e
