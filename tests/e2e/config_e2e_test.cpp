// The user's configuration file: where it is found, what it changes, and
// how a malformed one is reported.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "child_process.h"

namespace lumo::e2e {
namespace {

const std::string kTwoBytes =
    "00000000 | 6869                                    | hi               |\n";

// A palette of eighteen slots, each given as a style text.
std::string palette(const std::string& style, int slots = 18) {
  const char* names[] = {"normal", "normal_alt", "normal_accent", "c1", "c1_alt", "c1_accent",
                         "c2",     "c2_alt",     "c2_accent",     "c3", "c3_alt", "c3_accent",
                         "c4",     "c4_alt",     "c4_accent",     "c5", "c5_alt", "c5_accent"};
  std::string text = "{\n";
  for (int i = 0; i < slots; ++i)
    text += std::string("  .") + names[i] + " = @color(\"" + style + "\"),\n";
  return text + "}";
}

class ConfigFile : public ::testing::Test {
 protected:
  ChildResult run(const std::string& config, std::vector<std::string> args,
                  std::vector<std::string> extraEnv = {}, Sink out = Sink::Pipe) {
    dir_.write("lumo/config.ziggy", config);
    std::vector<std::string> env = {"XDG_CONFIG_HOME=" + dir_.path(), "HOME=/nonexistent"};
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    return runLumo({.args = std::move(args), .out = out, .env = env, .cwd = dir_.path()});
  }
  std::string path() const { return dir_.path() + "/lumo/config.ziggy"; }
  std::string input() const { return dir_.write("hi.txt", "hi"); }

  TempDir dir_;
};

TEST_F(ConfigFile, MalformedFilesAreReportedWithTheirPosition) {
  struct Case {
    const char* name;
    std::string config;
    std::string diagnostic;  // after "error: " and the path
  } cases[] = {
      {"unknown key", ".Color = true\n", ":1:2\nunknown field 'Color'"},
      {"only comments", "// nothing here\n", ":2:1\nunexpected 'EOF', expected: '.' or '}'\n"},
      {"only white space", " \n\t\n", ":3:1\nunexpected 'EOF', expected: '.' or '}'\n"},
      {"comment without line feed", "  // end", ":1:3\nunexpected 'EOF', expected: '.' or '}'\n"},
      {"missing equals", ".color true", ":1:8\nunexpected 'true', expected: '='\n"},
      {"two fields without comma", "{ .color = true .raw = false }",
       ":1:17\nunexpected '.', expected: ',' or '}'\n"},
      {"brace-less fields without comma", ".color = true .raw = false",
       ":1:15\nunexpected '.', expected: ',' or '}' or 'EOF'\n"},
      {"value that is no boolean", ".color = 1",
       ":1:10\nunexpected '(integer)', expected: 'true' or 'false'\n"},
      {"trailing identifier", "{ .color = true } x",
       ":1:19\nunexpected '(identifier)', expected: 'EOF'\n"},
      {"duplicate palette", ".palette = null,\n.palette = null",
       ":2:2\nduplicate field 'palette', first definition here:\n" + path() + ":1:2\n"},
      {"seventeen slots", ".palette = " + palette("red", 17), ":19:1\nmissing field: 'c5_accent'"},
      {"bare string slot", ".palette = { .normal = \"red\" }",
       ":1:24\nunexpected '(string)', expected: '@'\n"},
      {"tag other than color", ".palette = { .normal = @colour(\"red\") }",
       ":1:25\nsyntax error\n"},
      {"tag with capital C", ".palette = { .normal = @Color(\"red\") }", ":1:25\nsyntax error\n"},
      {"unknown color", ".palette = " + palette("reddish"), ":2:13\nsyntax error\n"},
      {"empty third piece", ".palette = " + palette("red::"), ":2:13\nsyntax error\n"},
      {"backslash in style", ".palette = " + palette("red\\\\"), ":2:13\nsyntax error\n"},
      {"invalid byte", ".color = true,\n#",
       ":2:1\nunexpected '(invalid)', expected: '.' or 'EOF'\n"},
  };
  for (const Case& c : cases) {
    ChildResult r = run(c.config, {input()});
    EXPECT_EQ(r.status, 1) << c.name;
    EXPECT_EQ(r.out, "") << c.name;
    EXPECT_EQ(r.err, "error: " + path() + c.diagnostic + "\nerror: Invalid config found\n")
        << c.name;
  }
}

TEST_F(ConfigFile, MalformedFileWinsOverAMissingFileArgument) {
  ChildResult r = run("x", {});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "error: " + path() +
                       ":1:2\nunexpected 'EOF', expected: '.' or '}'\n\n"
                       "error: Invalid config found\n");
}

TEST_F(ConfigFile, ValuesChangeTheDefaults) {
  ChildResult r = run(".uppercase = true,\n.show_size = false,\n.skip_lines = null,\n",
                      {input(), "--no-ascii"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, "00000000 | 6869                                    |\n");

  // A braced document with a name in front works the same; flags still win.
  r = run("Config { .show_offset = false, .uppercase = true }",
          {input(), "--lowercase", "--no-size"});
  EXPECT_EQ(r.out, "| 6869                                    | hi               |\n");

  r = run(".raw = true", {input()});
  EXPECT_EQ(r.out, "6869" + std::string(36, ' ') + "\n");
}

TEST_F(ConfigFile, ColorFromTheFileAndNoColor) {
  const std::string colored = "00000000 \x1b[2m|\x1b[0m \x1b[33m68\x1b[0m\x1b[33m69\x1b[0m " +
                              std::string(35, ' ') +
                              "\x1b[2m|\x1b[0m \x1b[33mh\x1b[0m\x1b[33mi\x1b[0m" +
                              std::string(14, ' ') + " \x1b[2m|\x1b[0m\n";
  EXPECT_EQ(run(".color = true", {input(), "--no-size"}).out, colored);
  EXPECT_EQ(run(".color = true", {input(), "--no-size"}, {"NO_COLOR=1"}).out, kTwoBytes);
  EXPECT_EQ(run(".color = false", {input(), "--no-size"}, {}, Sink::Terminal).out, kTwoBytes);
  EXPECT_EQ(run(".color = false", {input(), "--no-size", "--color"}).out, colored);
}

TEST_F(ConfigFile, PaletteReplacesTheListing) {
  ChildResult r = run(".palette = " + palette("#FFaa00:blue:bold"), {"--show-palette"});
  EXPECT_EQ(r.status, 0);
  const std::string cell = "\x1b[38;2;255;170;0m\x1b[44m\x1b[1m0x112233\x1b[0m";
  std::string expected = "                  (alt)    (accent)\n(main)   ";
  for (int row = 0; row < 6; ++row) {
    if (row > 0) expected += "         ";
    expected.append(cell).append(" ").append(cell).append(" ").append(cell).append("\n");
  }
  EXPECT_EQ(r.out, expected);
}

TEST_F(ConfigFile, AbsentEmptyOrUnreadableFilesAreNoConfiguration) {
  EXPECT_EQ(run("", {input(), "--no-size"}).out, kTwoBytes);
  ::mkdir((dir_.path() + "/lumo").c_str(), 0755);
  // A directory where the file should be.
  TempDir other;
  ::mkdir((other.path() + "/lumo").c_str(), 0755);
  ::mkdir((other.path() + "/lumo/config.ziggy").c_str(), 0755);
  ChildResult r =
      runLumo({.args = {input(), "--no-size"}, .env = {"XDG_CONFIG_HOME=" + other.path()}});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, kTwoBytes);
  // HOME without XDG_CONFIG_HOME.
  TempDir home;
  home.write(".config/lumo/config.ziggy", ".show_offset = false");
  r = runLumo({.args = {input(), "--no-size"}, .env = {"HOME=" + home.path()}});
  EXPECT_EQ(r.out, "| 6869                                    | hi               |\n");
}

TEST_F(ConfigFile, AppDataComesFirst) {
  TempDir appData;
  appData.write("lumo/config.ziggy", ".show_offset = oops");
  dir_.write("lumo/config.ziggy", ".uppercase = true");
  for (const std::string& value : {appData.path(), appData.path() + "/"}) {
    ChildResult r =
        runLumo({.args = {input()}, .env = {"APPDATA=" + value, "XDG_CONFIG_HOME=" + dir_.path()}});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "error: " + appData.path() +
                         "/lumo/config.ziggy:1:16\n"
                         "unexpected '(identifier)', expected: 'true' or 'false'\n\n"
                         "error: Invalid config found\n");
  }
}

TEST_F(ConfigFile, RelativeXdgConfigHomeIsIgnored) {
  // The current folder holds a configuration that must not be read.
  dir_.write("lumo/config.ziggy", ".show_offset = oops");
  TempDir home;
  home.write(".config/lumo/config.ziggy", ".show_offset = false");
  for (const char* value : {".", "lumo/..", "./"}) {
    ChildResult r =
        runLumo({.args = {input(), "--no-size"},
                 .env = {std::string("XDG_CONFIG_HOME=") + value, "HOME=" + home.path()},
                 .cwd = dir_.path()});
    EXPECT_EQ(r.status, 0) << value << ": " << r.err;
    EXPECT_EQ(r.out, "| 6869                                    | hi               |\n") << value;
  }
}

TEST_F(ConfigFile, ControlBytesInThePathArePrintedEscaped) {
  // The path comes from the environment; a line feed in it must not forge a
  // line, nor an escape sequence reach the terminal.
  TempDir base;
  const std::string name = "a\nerror: forged\x1b]0;title\x07";
  base.write(name + "/lumo/config.ziggy", ".bad = true");
  const std::string folder = base.path() + "/" + name;
  ChildResult r = runLumo({.args = {input()}, .env = {"XDG_CONFIG_HOME=" + folder}});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "error: " + base.path() +
                       "/a\\x0aerror: forged\\x1b]0;title\\x07/lumo/config.ziggy:1:2\n"
                       "unknown field 'bad'\nerror: Invalid config found\n");
}

TEST_F(ConfigFile, DiagnosticPrefixIsColoredOnATerminal) {
  dir_.write("lumo/config.ziggy", ".bad = true");
  ChildResult r = runLumo(
      {.args = {input()}, .err = Sink::Terminal, .env = {"XDG_CONFIG_HOME=" + dir_.path()}});
  const std::string prefix = "\x1b[31m\x1b[1merror\x1b[0m";
  EXPECT_EQ(r.err, prefix + ": " + path() + ":1:2\nunknown field 'bad'\n" + prefix +
                       ": Invalid config found\n");
}

TEST_F(ConfigFile, FifosAndDevicesAreNoConfiguration) {
  // Neither may block the run waiting for a writer, nor read without end.
  ::mkdir((dir_.path() + "/lumo").c_str(), 0755);
  ASSERT_EQ(::mkfifo(path().c_str(), 0644), 0);
  ChildResult fifo =
      runLumo({.args = {input(), "--no-size"}, .env = {"XDG_CONFIG_HOME=" + dir_.path()}});
  EXPECT_EQ(fifo.status, 0);
  EXPECT_EQ(fifo.out, kTwoBytes);
  ::unlink(path().c_str());
  ASSERT_EQ(::symlink("/dev/zero", path().c_str()), 0);
  ChildResult zero =
      runLumo({.args = {input(), "--no-size"}, .env = {"XDG_CONFIG_HOME=" + dir_.path()}});
  EXPECT_EQ(zero.status, 0);
  EXPECT_EQ(zero.out, kTwoBytes);
}

}  // namespace
}  // namespace lumo::e2e
