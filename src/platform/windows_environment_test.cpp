// The environment as Windows keeps it: names without regard to case.
#ifdef _WIN32

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "platform/windows_test_support.h"

namespace lumo::platform {
namespace {

TEST(WindowsEnvironment, NamesCompareWithoutRegardToCase) {
  const Environment environment = Environment::of({
      {"no_color", "1"},
      {"AppData", "C:\\Users\\u\\AppData\\Roaming"},
      {"caf\xc3\xa9", "latin"},  // café
      {"APPDATA", "second definition"},
  });
  struct Case {
    const char* name;
    std::optional<std::string_view> value;
  } cases[] = {
      {"NO_COLOR", "1"},
      {"No_Color", "1"},
      {"NO_COLOUR", std::nullopt},
      {"NO_COLO", std::nullopt},
      {"APPDATA", "C:\\Users\\u\\AppData\\Roaming"},
      {"CAF\xc3\x89", "latin"},  // CAFÉ
      {"CAFE", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(environment.get(c.name), c.value) << c.name;
}

TEST(WindowsEnvironment, ReadsTheProcessEnvironmentAsUtf8) {
  ASSERT_TRUE(::SetEnvironmentVariableW(L"lumo_Test_Variable", L"gr\u00fc\u00dfe \u65e5\u672c"));
  ASSERT_TRUE(::SetEnvironmentVariableW(L"LUMO_TEST_EMPTY", L""));
  // cmd.exe keeps the current folder of each drive in entries like this one.
  const bool driveEntry = ::SetEnvironmentVariableW(L"=Q:", L"Q:\\lumo");

  Result<Environment> environment = Environment::read();
  ::SetEnvironmentVariableW(L"lumo_Test_Variable", nullptr);
  ::SetEnvironmentVariableW(L"LUMO_TEST_EMPTY", nullptr);
  if (driveEntry) ::SetEnvironmentVariableW(L"=Q:", nullptr);

  ASSERT_TRUE(environment.ok());
  EXPECT_EQ(environment->get("LUMO_TEST_VARIABLE"),
            "gr\xc3\xbc\xc3\x9f"
            "e \xe6\x97\xa5\xe6\x9c\xac");
  EXPECT_EQ(environment->get("lumo_test_empty"), "");
  EXPECT_EQ(environment->get("LUMO_TEST_ABSENT"), std::nullopt);
  EXPECT_EQ(environment->get(""), std::nullopt);
  EXPECT_EQ(environment->get("=Q:"), std::nullopt);
  EXPECT_EQ(environment->get("Q:"), std::nullopt);
}

}  // namespace
}  // namespace lumo::platform

#endif  // _WIN32
