// The Windows build, lumo.exe, run under Wine and held to what this build
// does. These run when LUMO_WINDOWS_EXE names the cross-built lumo.exe
// (scripts/test-windows.sh sets it) and are skipped otherwise.
// LUMO_WINEPREFIX picks the Wine prefix; by default it is the "wine" folder
// beside lumo.exe, the one the cross build's own tests use.
#include <signal.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "child_process.h"

namespace lumo::e2e {
namespace {

const std::string kWineRun = LUMO_SOURCE_DIR "/scripts/wine-run.sh";

struct WindowsBuild {
  std::string exe;
  std::string prefix;
};

std::optional<WindowsBuild> windowsBuild() {
  const char* exe = std::getenv("LUMO_WINDOWS_EXE");
  if (exe == nullptr || *exe == '\0') return std::nullopt;
  const std::filesystem::path path = std::filesystem::absolute(exe);
  const char* prefix = std::getenv("LUMO_WINEPREFIX");
  return WindowsBuild{path.string(), prefix != nullptr && *prefix != '\0'
                                         ? std::string(prefix)
                                         : (path.parent_path() / "wine").string()};
}

/// The Windows spelling of a path of this machine: Wine shows the root of
/// the Unix file system as drive Z.
std::string windowsPath(const std::string& path) {
  std::string result = "Z:" + path;
  for (char& c : result) {
    if (c == '/') c = '\\';
  }
  return result;
}

std::string patterned(std::size_t size) {
  std::string content(size, '\0');
  for (std::size_t i = 0; i < size; ++i) content[i] = static_cast<char>((i * 13 + i / 97) % 256);
  return content;
}

// A QOI header and one byte of data, then two identical data lines that
// collapse, then a tail.
std::string mixedInput() {
  return std::string("qoif\0\0\0\x02\0\0\0\x03\x04\x00", 14) + "\xff" + std::string(64, '\0') +
         "tail\x7f\x80 text";
}

class WindowsE2e : public ::testing::Test {
 protected:
  void SetUp() override {
    build_ = windowsBuild();
    if (!build_) GTEST_SKIP() << "LUMO_WINDOWS_EXE is not set; scripts/test-windows.sh sets it";
    ASSERT_TRUE(std::filesystem::exists(build_->exe)) << build_->exe;
  }

  /// Runs lumo.exe as `spec` describes; its environment adds what Wine needs.
  ChildResult runExe(ChildSpec spec) const {
    spec.args.insert(spec.args.begin(), {build_->prefix, build_->exe});
    return runChild(kWineRun, withWineEnvironment(std::move(spec)));
  }

  /// Runs lumo.exe from cmd.exe with APPDATA set to `appData`: Wine puts its
  /// own user folders over an APPDATA from the Unix environment, but cmd's
  /// "set" gives the child the value as Windows programs see it. The
  /// arguments must need no quoting.
  ChildResult runExeWithAppData(const std::string& appData, const std::vector<std::string>& args,
                                ChildSpec spec) const {
    std::string command = "set APPDATA=" + appData + "&& " + windowsPath(build_->exe);
    for (const std::string& arg : args) command += " " + arg;
    spec.args = {build_->prefix, "cmd", "/c", command};
    return runChild(kWineRun, withWineEnvironment(std::move(spec)));
  }

  static ChildSpec withWineEnvironment(ChildSpec spec) {
    // The script needs a PATH; Wine converts the arguments by the locale.
    spec.env.emplace_back("PATH=/usr/bin:/bin");
    spec.env.emplace_back("LANG=C.UTF-8");
    return spec;
  }

  /// Runs both builds with the same spec and expects the same result.
  void expectSameAsThisBuild(const ChildSpec& spec, const std::string& what) const {
    ChildResult here = runLumo(spec);
    ChildResult windows = runExe(spec);
    EXPECT_EQ(windows.status, here.status) << what;
    EXPECT_EQ(windows.err, here.err) << what;
    EXPECT_EQ(windows.out.size(), here.out.size()) << what;
    EXPECT_TRUE(windows.out == here.out) << what << ": the dumps differ";
  }

  std::optional<WindowsBuild> build_;
  TempDir dir_;
};

TEST_F(WindowsE2e, DumpsOfFilesAreThoseOfThisBuild) {
  dir_.write("mixed", mixedInput());
  dir_.write("pattern", patterned(70000));
  dir_.write("empty", "");
  const std::vector<std::vector<std::string>> flagSets = {
      {},
      {"--color"},
      {"--raw"},
      {"--uppercase", "--no-offset", "--no-ascii", "--no-skip-lines"},
      {"--parser", "data", "--color", "--no-size"},
  };
  for (const char* file : {"mixed", "pattern", "empty"}) {
    for (const auto& flags : flagSets) {
      std::vector<std::string> args = {file};
      args.insert(args.end(), flags.begin(), flags.end());
      expectSameAsThisBuild({.args = args, .cwd = dir_.path()}, file);
    }
  }
}

TEST_F(WindowsE2e, RealExecutablesAreParsedAsOnLinux) {
  // lumo.exe is a PE image and this build's lumo an ELF one.
  std::filesystem::copy_file(build_->exe, dir_.path() + "/lumo.exe");
  std::filesystem::copy_file(LUMO_BINARY, dir_.path() + "/lumo.elf");
  for (const char* file : {"lumo.exe", "lumo.elf"}) {
    expectSameAsThisBuild({.args = {file, "--color"}, .cwd = dir_.path()}, file);
  }
}

TEST_F(WindowsE2e, StandardInputIsDumpedAsOnLinux) {
  const std::string elf = readFile(LUMO_BINARY);
  const struct {
    const char* name;
    std::string input;
  } cases[] = {
      {"mixed", mixedInput()},
      {"large", patterned(3 << 20)},
      {"empty", ""},
      {"ELF, read whole", elf.substr(0, 200000)},
  };
  for (const auto& c : cases) {
    expectSameAsThisBuild({.args = {"-", "--color"}, .stdinData = c.input}, c.name);
  }
  dir_.write("input", mixedInput());
  expectSameAsThisBuild({.args = {"-"}, .stdinFile = dir_.path() + "/input"}, "file as input");
}

TEST_F(WindowsE2e, FailuresAreReportedAsOnLinux) {
  dir_.write("file", "x");
  dir_.write("sub/inner", "x");
  struct Case {
    ChildSpec spec;
    std::string err;
  } cases[] = {
      {{.args = {}}, "error: no file specified\n"},
      {{.args = {"missing"}}, "error: missing not found\n"},
      {{.args = {"nope/x"}}, "error: nope/x not found\n"},
      {{.args = {"gr\xc3\xbc\xc3\x9f"
                 "e.bin"}},
       "error: gr\xc3\xbc\xc3\x9f"
       "e.bin not found\n"},
      {{.args = {"sub"}}, "error: sub is a directory\n"},
      {{.args = {"."}}, "error: . is a directory\n"},
      {{.args = {"file/inner"}}, "error: file/inner could not be opened\n"},
      {{.args = {"--bogus"}}, "error: invalid flag `--bogus`\n"},
      {{.args = {"file", "--color", "--no-color"}},
       "error: `--color` and `--no-color` are mutually exclusive\n"},
      {{.args = {"file", "file"}}, "error: multiple files specified\n"},
      {{.args = {"file", "--parser", "elf"}}, "error: file does not match parser elf\n"},
      {{.args = {"-"}, .stdinFile = dir_.path() + "/sub"}, "error: <stdin> is a directory\n"},
  };
  for (Case& c : cases) {
    c.spec.cwd = dir_.path();
    ChildResult windows = runExe(c.spec);
    EXPECT_EQ(windows.status, 1) << c.err;
    EXPECT_EQ(windows.out, "") << c.err;
    EXPECT_EQ(windows.err, c.err);
    EXPECT_EQ(runLumo(c.spec).err, c.err) << "this build differs";
  }
}

TEST_F(WindowsE2e, ArgumentsOutsideAsciiNameTheFile) {
  const std::string name =
      "gr\xc3\xbc\xc3\x9f"
      "e \xe6\x97\xa5\xe6\x9c\xac.bin";  // grüße 日本.bin
  dir_.write(name, "content");
  ChildResult r = runExe({.args = {name, "--no-size"}, .cwd = dir_.path()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "00000000 | 636f 6e74 656e 74                       | content          |\n");
}

TEST_F(WindowsE2e, ConfigurationFileUnderAppData) {
  dir_.write("hi.txt", "hi");
  const std::string appData = windowsPath(dir_.path());
  const std::string configPath = appData + "\\lumo/config.ziggy";

  dir_.write("lumo/config.ziggy", ".uppercase = true,\n.show_size = false\n");
  ChildResult r = runExeWithAppData(appData, {"hi.txt", "--raw"}, {.cwd = dir_.path()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "6869" + std::string(36, ' ') + "\n");

  // The diagnostic names the path as it was put together: one backslash
  // before the relative part, none added after a trailing slash.
  dir_.write("lumo/config.ziggy", ".Color = true\n");
  const struct {
    std::string appData;
    std::string path;
  } locations[] = {
      {appData, configPath},
      {appData + "\\", configPath},
      {appData + "/", appData + "/lumo/config.ziggy"},
  };
  for (const auto& location : locations) {
    r = runExeWithAppData(location.appData, {"hi.txt"}, {.cwd = dir_.path()});
    EXPECT_EQ(r.status, 1) << location.appData;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "error: " + location.path +
                         ":1:2\nunknown field 'Color'\nerror: Invalid config found\n");
  }
}

TEST_F(WindowsE2e, NoColorCountsInAnyCase) {
  dir_.write("hi.txt", "hi");
  dir_.write("lumo/config.ziggy", ".color = true");
  const std::string appData = windowsPath(dir_.path());
  const std::string plain =
      "00000000 | 6869                                    | hi               |\n";
  const struct {
    std::vector<std::string> env;
    bool color;
  } cases[] = {
      {{}, true},
      {{"no_color=1"}, false},
      {{"No_Color=0"}, false},
      {{"no_color="}, true},
  };
  for (const auto& c : cases) {
    std::vector<std::string> env = {"HOME=/nonexistent"};
    env.insert(env.end(), c.env.begin(), c.env.end());
    ChildResult r =
        runExeWithAppData(appData, {"hi.txt", "--no-size"}, {.env = env, .cwd = dir_.path()});
    EXPECT_EQ(r.status, 0) << r.err;
    if (c.color) {
      EXPECT_NE(r.out.find("\x1b["), std::string::npos) << (c.env.empty() ? "" : c.env[0]);
    } else {
      EXPECT_EQ(r.out, plain) << c.env[0];
    }
  }
}

TEST_F(WindowsE2e, WriteFailures) {
  dir_.write("big", patterned(4 << 20));
  const ChildSpec readerLeaves = {
      .args = {"big"}, .out = Sink::EarlyClose, .closeAfter = 72, .cwd = dir_.path()};
  ChildResult gone = runExe(readerLeaves);
  EXPECT_EQ(gone.status, 1);
  EXPECT_EQ(gone.err, "error: Broken pipe\n");
  EXPECT_EQ(gone.out, runLumo(readerLeaves).out);
  EXPECT_EQ(gone.out.size(), 72u);

  ChildResult palette =
      runExe({.args = {"--show-palette"}, .out = Sink::EarlyClose, .closeAfter = 0});
  EXPECT_EQ(palette.status, 1);
  EXPECT_EQ(palette.err, "error: BrokenPipe\n");

  ChildResult full = runExe({.args = {"big"}, .out = Sink::DevFull, .cwd = dir_.path()});
  EXPECT_EQ(full.status, 1);
  EXPECT_EQ(full.err, "error: Error writing to stdout: NoSpaceLeft\n");
}

TEST_F(WindowsE2e, CtrlCEndsAColoredDumpWithTerminatorAndReset) {
  // Wine turns SIGINT into the console's Ctrl-C event. The handler runs on
  // a thread of its own while the dump goes on; its bytes must still be the
  // last ones, and the process ends as Windows ends it for Ctrl-C.
  dir_.write("big", patterned(64 << 20));
  constexpr int kControlCExit = 0xC000013A & 0xff;  // as Wine passes it on
  const std::string kTerminalRestore = "\x1b\\\x1b[0m";
  for (const int delay : {0, 150}) {
    ChildResult r = runExe({.args = {"big", "--color"},
                            .cwd = dir_.path(),
                            .signal = SIGINT,
                            .signalDelay = std::chrono::milliseconds(delay)});
    EXPECT_EQ(r.status, kControlCExit) << delay << " ms";
    EXPECT_TRUE(r.out.ends_with(kTerminalRestore))
        << delay << " ms: last bytes " << testing::PrintToString(r.out.substr(r.out.size() - 30));
    const std::string dumped = r.out.substr(0, r.out.size() - kTerminalRestore.size());
    EXPECT_TRUE(runLumo({.args = {"big", "--color"},
                         .out = Sink::EarlyClose,
                         .closeAfter = dumped.size(),
                         .cwd = dir_.path()})
                    .out == dumped)
        << delay << " ms: the dump before the restore differs";
  }
}

}  // namespace
}  // namespace lumo::e2e
