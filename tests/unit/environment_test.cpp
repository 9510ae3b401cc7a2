// The program's folder, the Windows family and version texts, and reading version numbers.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "fakes/fake_version_api.h"
#include "startup/environment.h"

namespace tarnvik {
namespace {

using testing::FakeVersionApi;

struct VersionCase {
  const char* name;
  uint32_t platform, major, minor;
  std::string family, version;
};

TEST(GetOsVersionTextTest, FamilyAndVersionOfEachPlatform) {
  const std::vector<VersionCase> cases = {
      {"Win32s on 3.1", 0, 3, 10, "DOS", "3.10"},
      {"Windows 95", 1, 4, 0, "9x", "4.0"},
      {"Windows 98", 1, 4, 10, "9x", "4.10"},
      {"Windows Me", 1, 4, 90, "9x", "4.90"},
      {"NT 4.0", 2, 4, 0, "NT", "4.0"},
      {"XP", 2, 5, 1, "NT", "5.1"},
      {"Windows 8", 2, 6, 2, "NT", "6.2"},
      {"Windows 10", 2, 10, 0, "NT", "10.0"},
      {"platform 3", 3, 6, 0, "x7", "6.0"},
      {"platform far above", 0x7FFFFFFF, 1, 2, "x7", "1.2"},
      {"largest numbers", 2, 4294967295u, 4294967295u, "NT", "4294967295.4294967295"},
  };
  for (const VersionCase& c : cases) {
    FakeVersionApi api;
    api.platform = c.platform;
    api.major = c.major;
    api.minor = c.minor;
    EXPECT_EQ(GetOsVersionText(api, 0), c.family) << c.name;
    EXPECT_EQ(GetOsVersionText(api, 1), c.version) << c.name;
    EXPECT_EQ(api.sizeSeen, 148u) << c.name;
  }
}

TEST(GetOsVersionTextTest, OtherSelectorsAndAFailedQueryGiveTheEmptyText) {
  FakeVersionApi api;
  api.platform = 2;
  api.major = 5;
  api.minor = 1;
  for (const int32_t selector : {2, 4, -1, 100, std::numeric_limits<int32_t>::min()}) {
    EXPECT_EQ(GetOsVersionText(api, selector), "") << selector;
  }
  api.ok = false;
  for (const int32_t selector : {0, 1}) {
    EXPECT_EQ(GetOsVersionText(api, selector), "") << selector;
  }
}

struct NumberCase {
  std::string text;
  double expected;
};

TEST(VersionNumberTest, ReadsTheLeadingDecimalNumber) {
  const std::vector<NumberCase> cases = {
      {"5.1", 5.1},   {"4.10", 4.1},  {"4.90", 4.9}, {"4.0", 4.0},    {"6.2", 6.2},   {"10.0", 10.0},
      {"3.51", 3.51}, {"", 0},        {"x7", 0},     {".5", 0},       {" 5.1", 0},    {"NT", 0},
      {"5", 5},       {"5.", 5},      {"5.1.2", 5.1}, {"6.2 beta", 6.2}, {"12abc", 12}, {"007.50", 7.5},
      {"4294967295.4294967295", 4294967295.4294967295}, {std::string(400, '9'), HUGE_VAL},
  };
  for (const NumberCase& c : cases) {
    EXPECT_DOUBLE_EQ(VersionNumber(c.text), c.expected) << '"' << c.text << '"';
  }
}

struct FolderCase {
  const char* name;
  std::string path;
  std::string expected;
};

TEST(ReadEnvironmentTest, AppFolderEndsInExactlyOneBackslash) {
  const std::vector<FolderCase> cases = {
      {"folder", "C:\\Tools", "C:\\Tools\\"},
      {"drive root", "D:\\", "D:\\"},
      {"blanks around", "  C:\\Program Files\\Tarnvik  ", "C:\\Program Files\\Tarnvik\\"},
      {"no path", "", ""},
      {"blanks only", "   ", ""},
      {"network share", "\\\\server\\share\\tools", "\\\\server\\share\\tools\\"},
      {"non-ASCII", "C:\\Программы\\Tärnvik", "C:\\Программы\\Tärnvik\\"},
  };
  for (const FolderCase& c : cases) {
    FakeVersionApi version;
    EXPECT_EQ(ReadEnvironment(c.path, version).appFolder, c.expected) << c.name;
  }
}

TEST(ReadEnvironmentTest, AVeryLongFolderIsCutToItsFirst65535Characters) {
  struct LongCase {
    const char* name;
    std::string path;
    std::string expected;
  };
  const std::string a(65535, 'a');
  const std::string cyr = [] {
    std::string s;
    for (int i = 0; i < 65535; ++i) s += "\xD0\xB6";  // ж
    return s;
  }();
  const std::vector<LongCase> cases = {
      {"exactly the limit", a, a + "\\"},
      {"one over", a + "b", a + "\\"},
      {"cut ends on a blank", std::string(65530, 'a') + "     tail", std::string(65530, 'a') + "\\"},
      {"limit ends with a backslash", std::string(65534, 'a') + "\\" + "more", std::string(65534, 'a') + "\\"},
      {"two-byte characters", cyr + "\xD0\xB6\xD0\xB6", cyr + "\\"},
  };
  for (const LongCase& c : cases) {
    FakeVersionApi version;
    const std::string folder = ReadEnvironment(c.path, version).appFolder;
    EXPECT_EQ(folder.size(), c.expected.size()) << c.name;
    EXPECT_TRUE(folder == c.expected) << c.name;
  }
}

TEST(ReadEnvironmentTest, SetsFamilyAndVersionOrLeavesThemEmpty) {
  struct Case {
    const char* name;
    bool ok;
    uint32_t platform, major, minor;
    std::string family, version;
  };
  const std::vector<Case> cases = {
      {"XP", true, 2, 5, 1, "NT", "5.1"},
      {"98", true, 1, 4, 10, "9x", "4.10"},
      {"platform 3", true, 3, 7, 0, "x7", "7.0"},
      {"query fails", false, 2, 5, 1, "", ""},
  };
  for (const Case& c : cases) {
    FakeVersionApi version;
    version.ok = c.ok;
    version.platform = c.platform;
    version.major = c.major;
    version.minor = c.minor;
    const Environment env = ReadEnvironment("C:\\Tools", version);
    EXPECT_EQ(env.osFamily, c.family) << c.name;
    EXPECT_EQ(env.osVersion, c.version) << c.name;
  }
}

}  // namespace
}  // namespace tarnvik
