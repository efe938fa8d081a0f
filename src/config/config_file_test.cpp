#include "config/config_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

namespace lumo {
namespace {

namespace fs = std::filesystem;
using Env = std::vector<std::pair<std::string, std::string>>;

struct PathCase {
  Env variables;
  std::optional<std::string> path;
};

TEST(ConfigPath, FollowsTheEnvironment) {
#ifdef _WIN32
  const std::string sep = "\\";
#else
  const std::string sep = "/";
#endif
  const PathCase cases[] = {
      {{{"APPDATA", "/a/b"}}, "/a/b" + sep + "lumo/config.ziggy"},
      {{{"APPDATA", "/a/b/"}}, "/a/b/lumo/config.ziggy"},
      {{{"APPDATA", "C:\\Users\\me\\"}}, "C:\\Users\\me\\lumo/config.ziggy"},
      {{{"APPDATA", ""}}, "lumo/config.ziggy"},
      {{{"HOME", "/h"}, {"APPDATA", ""}, {"XDG_CONFIG_HOME", "/x"}}, "lumo/config.ziggy"},
      {{{"HOME", "/h"}, {"APPDATA", "/a"}}, "/a" + sep + "lumo/config.ziggy"},
#ifndef _WIN32
      // Without APPDATA the usual places of a POSIX system are tried.
      {{{"XDG_CONFIG_HOME", "/x"}, {"HOME", "/h"}}, "/x/lumo/config.ziggy"},
      {{{"XDG_CONFIG_HOME", "/x/"}}, "/x/lumo/config.ziggy"},
      {{{"XDG_CONFIG_HOME", ""}, {"HOME", "/h"}}, "/h/.config/lumo/config.ziggy"},
      {{{"HOME", "/h/"}}, "/h/.config/lumo/config.ziggy"},
      // A relative XDG_CONFIG_HOME is invalid: ignored, HOME decides.
      {{{"XDG_CONFIG_HOME", "."}, {"HOME", "/h"}}, "/h/.config/lumo/config.ziggy"},
      {{{"XDG_CONFIG_HOME", "config"}, {"HOME", "/h"}}, "/h/.config/lumo/config.ziggy"},
      {{{"XDG_CONFIG_HOME", "~/x"}, {"HOME", "/h"}}, "/h/.config/lumo/config.ziggy"},
      {{{"XDG_CONFIG_HOME", "./x"}}, std::nullopt},
      // APPDATA is taken as it is, relative or empty.
      {{{"APPDATA", "."}, {"XDG_CONFIG_HOME", "/x"}}, "./lumo/config.ziggy"},
#endif
      {{{"HOME", ""}}, std::nullopt},
      {{{"XDG_CONFIG_HOME", ""}, {"HOME", ""}}, std::nullopt},
      {{}, std::nullopt},
  };
  for (const PathCase& c : cases) {
    std::optional<std::string> path = configPath(platform::Environment::of(c.variables));
    EXPECT_EQ(path, c.path) << (c.variables.empty() ? "(empty)" : c.variables[0].first);
  }
}

TEST(ConfigDiagnosticReport, FramesTheDiagnostic) {
  ziggy::Diagnostic diagnostic{"dir/config.ziggy", {}};
  (void)ziggy::addError(
      diagnostic,
      {ziggy::ErrorKind::UnknownField, "Color", {}, ziggy::Selection{{3, 2}, {3, 7}}, {}});
  EXPECT_EQ(configDiagnosticReport(diagnostic), ": dir/config.ziggy:3:2\nunknown field 'Color'\n");
}

// A private APPDATA folder with room for lumo/config.ziggy.
class ConfigFileTest : public testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    root_ = fs::temp_directory_path() / ("lumo-config-test-" + std::to_string(random()));
    fs::create_directories(root_);
    path_ = configPath(environment()).value();
  }
  void TearDown() override { fs::remove_all(root_); }

  platform::Environment environment() const {
    return platform::Environment::of({{"APPDATA", root_.string()}});
  }

  void writeConfig(std::string_view text) {
    fs::create_directories(root_ / "lumo");
    std::ofstream out(path_, std::ios::binary);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
  }

  // readConfig's result, with what it wrote to standard error in `stderrText`.
  Result<std::optional<Config>> read(std::string* stderrText = nullptr) {
    testing::internal::CaptureStderr();
    Result<std::optional<Config>> result = readConfig(environment());
    std::string written = testing::internal::GetCapturedStderr();
    if (stderrText != nullptr) *stderrText = written;
    return result;
  }

  fs::path root_;
  std::string path_;
};

TEST_F(ConfigFileTest, NoFileIsNoConfiguration) {
  std::string written;
  Result<std::optional<Config>> result = read(&written);
  ASSERT_TRUE(result.ok());
  EXPECT_FALSE(result->has_value());
  EXPECT_EQ(written, "");
}

TEST_F(ConfigFileTest, DirectoryInPlaceOfTheFileIsNoConfiguration) {
  fs::create_directories(path_);
  std::string written;
  Result<std::optional<Config>> result = read(&written);
  ASSERT_TRUE(result.ok());
  EXPECT_FALSE(result->has_value());
  EXPECT_EQ(written, "");
}

TEST_F(ConfigFileTest, EmptyFileIsNoConfiguration) {
  writeConfig("");
  Result<std::optional<Config>> result = read();
  ASSERT_TRUE(result.ok());
  EXPECT_FALSE(result->has_value());
}

TEST_F(ConfigFileTest, BindsAGoodFile) {
  writeConfig("// mine\n.uppercase = true,\n.show_size = false,\n.skip_lines = null,\n");
  Result<std::optional<Config>> result = read();
  ASSERT_TRUE(result.ok());
  ASSERT_TRUE(result->has_value());
  const Config& config = **result;
  EXPECT_EQ(config.uppercase, true);
  EXPECT_EQ(config.show_size, false);
  EXPECT_FALSE(config.skip_lines.has_value());
  EXPECT_FALSE(config.color.has_value());
  EXPECT_FALSE(config.palette.has_value());
}

TEST_F(ConfigFileTest, ZeroByteEndsTheDocument) {
  writeConfig(std::string("{ .raw = true }\0 not read", 25));
  Result<std::optional<Config>> result = read();
  ASSERT_TRUE(result.ok());
  ASSERT_TRUE(result->has_value());
  EXPECT_EQ((*result)->raw, true);
}

TEST_F(ConfigFileTest, MalformedFileIsReportedWithItsPath) {
  struct Case {
    std::string text;
    std::string report;  // after "error: " and the path
  };
  const Case cases[] = {
      // Unlike an empty file, comments alone are a document without its struct.
      {"// nothing yet\n", ":2:1\nunexpected 'EOF', expected: '.' or '}'\n\n"},
      // A NUL byte ends the text, so one at the start leaves nothing.
      {std::string("\0", 1), ":1:1\nunexpected 'EOF', expected: '.' or '}'\n\n"},
      {"{ .color = true }\n.Color = true", ":2:1\nunexpected '.', expected: 'EOF'\n\n"},
      {".show_size = false,\n.Color = true", ":2:2\nunknown field 'Color'\n"},
      {".palette = {}", ":1:13\nmissing field: 'normal'\n"},
      {".palette = { .normal = @color(\"pink\") }", ":1:24\nsyntax error\n\n"},
  };
  for (const Case& c : cases) {
    writeConfig(c.text);
    std::string written;
    Result<std::optional<Config>> result = read(&written);
    ASSERT_FALSE(result.ok()) << testing::PrintToString(c.text);
    EXPECT_EQ(result.failure(), Failure::InvalidConfig);
    EXPECT_EQ(written, "error: " + path_ + c.report) << testing::PrintToString(c.text);
  }
}

#ifdef __linux__
TEST_F(ConfigFileTest, ReadFailureAfterOpeningIsPassedOn) {
  // This file opens, but reading its first bytes (address 0) fails.
  fs::create_directories(root_ / "lumo");
  fs::create_symlink("/proc/self/mem", path_);
  std::string written;
  Result<std::optional<Config>> result = read(&written);
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(failureName(result.failure()), "InputOutput");
  EXPECT_EQ(written, "");
}
#endif

#ifndef _WIN32
TEST_F(ConfigFileTest, FindsTheFileUnderXdgConfigHome) {
  writeConfig(".raw = true");
  Result<std::optional<Config>> result =
      readConfig(platform::Environment::of({{"XDG_CONFIG_HOME", root_.string()}}));
  ASSERT_TRUE(result.ok());
  ASSERT_TRUE(result->has_value());
  EXPECT_EQ((*result)->raw, true);
}
#endif

// The example shipped with the sources must stay a valid configuration.
TEST_F(ConfigFileTest, ReadsTheShippedExample) {
  fs::path example =
      fs::path(__FILE__).parent_path().parent_path().parent_path() / "examples" / "config.ziggy";
  std::ifstream in(example, std::ios::binary);
  ASSERT_TRUE(in) << example;
  std::stringstream text;
  text << in.rdbuf();
  writeConfig(text.str());

  std::string written;
  Result<std::optional<Config>> result = read(&written);
  ASSERT_TRUE(result.ok()) << written;
  ASSERT_TRUE(result->has_value());
  const Config& config = **result;
  // Left to the terminal test: copied as it is, it must not put escape
  // codes into redirected output.
  EXPECT_FALSE(config.color.has_value());
  EXPECT_EQ(config.uppercase, false);
  EXPECT_FALSE(config.skip_lines.has_value());
  EXPECT_EQ(config.raw, false);
  ASSERT_TRUE(config.palette.has_value());
  const Palette& palette = *config.palette;
  using namespace colors;
  const Color white = Color::named(kWhite);
  EXPECT_TRUE(palette[kNormal] == (TextStyle{white, std::nullopt, false, false}));
  EXPECT_TRUE(palette[kNormalAlt] == (TextStyle{white, std::nullopt, true, false}));
  EXPECT_TRUE(palette[kNormalAccent] ==
              (TextStyle{Color::named(kWhite + kBright), std::nullopt, false, true}));
  EXPECT_TRUE(palette[kC1] ==
              (TextStyle{Color::rgb(0xff, 0x5f, 0x5f), std::nullopt, false, false}));
  EXPECT_TRUE(palette[kC1Accent] ==
              (TextStyle{Color::rgb(0xff, 0xff, 0xff), Color::rgb(0xaf, 0, 0), false, true}));
  EXPECT_TRUE(palette[kC4Accent] ==
              (TextStyle{Color::named(kBlack), Color::named(kMagenta + kBright), false, false}));
  EXPECT_TRUE(palette[kC5Accent] ==
              (TextStyle{Color::named(kCyan + kBright), std::nullopt, false, true}));
}

}  // namespace
}  // namespace lumo
