// The version adapter and the texts built from it, checked against the Windows version that
// the runner told Wine to report (TARNVIK_EXPECT_OS, e.g. "NT 6.1" or "9x 4.10").
#include "startup/version_api_win.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "startup/environment.h"
#include "startup/process_api_win.h"
#include "startup/process_scan.h"
#include "test_env_win.h"

namespace tarnvik {
namespace {

using testing::EnvUtf8;

TEST(WinVersionApi, RecordOfThePlatformSizeIsFilled) {
  win::WinVersionApi api;
  OsVersionInfoA info;
  info.dwOSVersionInfoSize = sizeof(OsVersionInfoA);
  ASSERT_NE(api.GetVersionExA(info), 0);
  EXPECT_GE(info.dwMajorVersion, 3u);
  EXPECT_LE(info.dwPlatformId, 2u);
  EXPECT_EQ(info.dwOSVersionInfoSize, 148u);
}

TEST(WinVersionApi, RecordOfAnotherSizeFailsAndStaysAsPreset) {
  win::WinVersionApi api;
  for (uint32_t size : {0u, 147u, 156u}) {
    OsVersionInfoA info;
    info.dwOSVersionInfoSize = size;
    info.dwMajorVersion = 77;
    info.dwPlatformId = 99;
    info.szCSDVersion.fill('#');
    EXPECT_EQ(api.GetVersionExA(info), 0) << "size " << size;
    EXPECT_EQ(info.dwMajorVersion, 77u);
    EXPECT_EQ(info.dwPlatformId, 99u);
    EXPECT_EQ(info.szCSDVersion[0], '#');
    EXPECT_EQ(info.dwOSVersionInfoSize, size);
  }
}

struct ExpectedOs {
  std::string family;   // "NT", "9x", ...
  std::string version;  // "6.1", "4.10", ...
};

// Skips the calling test when the runner did not say which version Wine reports.
#define REQUIRE_EXPECTED_OS(var)                                                               \
  const auto raw_##var = EnvUtf8(L"TARNVIK_EXPECT_OS");                                        \
  if (!raw_##var) GTEST_SKIP() << "TARNVIK_EXPECT_OS is not set";                              \
  const auto space_##var = raw_##var->find(' ');                                               \
  ASSERT_NE(space_##var, std::string::npos) << "TARNVIK_EXPECT_OS is \"FAMILY MAJOR.MINOR\""; \
  const ExpectedOs var{raw_##var->substr(0, space_##var), raw_##var->substr(space_##var + 1)}

TEST(OsVersion, TextsMatchTheVersionWineReports) {
  REQUIRE_EXPECTED_OS(expected);
  win::WinVersionApi api;
  EXPECT_EQ(GetOsVersionText(api, 0), expected.family);
  EXPECT_EQ(GetOsVersionText(api, 1), expected.version);
  EXPECT_DOUBLE_EQ(VersionNumber(GetOsVersionText(api, 1)), std::strtod(expected.version.c_str(), nullptr));
  EXPECT_EQ(GetOsVersionText(api, 2), "");
}

/// Forwards to the real adapter and notes which walk the scan took.
class CountingProcessApi final : public ProcessApi {
 public:
  int snapshots = 0;
  int enumerations = 0;
  ProcessHandle CreateToolhelp32Snapshot(uint32_t flags, uint32_t processId) override {
    ++snapshots;
    return real_.CreateToolhelp32Snapshot(flags, processId);
  }
  int Process32First(ProcessHandle s, ProcessEntry& e) override { return real_.Process32First(s, e); }
  int Process32Next(ProcessHandle s, ProcessEntry& e) override { return real_.Process32Next(s, e); }
  int EnumProcesses(uint32_t* ids, uint32_t cb, uint32_t* filled) override {
    ++enumerations;
    return real_.EnumProcesses(ids, cb, filled);
  }
  ProcessHandle OpenProcess(uint32_t access, int inherit, uint32_t id) override {
    return real_.OpenProcess(access, inherit, id);
  }
  int EnumProcessModules(ProcessHandle p, ModuleHandle* m, uint32_t cb, uint32_t* needed) override {
    return real_.EnumProcessModules(p, m, cb, needed);
  }
  uint32_t GetModuleFileNameExA(ProcessHandle p, ModuleHandle m, char* name, uint32_t size) override {
    return real_.GetModuleFileNameExA(p, m, name, size);
  }
  int CloseHandle(ProcessHandle h) override { return real_.CloseHandle(h); }
  uint32_t GetCurrentProcessId() override { return real_.GetCurrentProcessId(); }
  int ProcessIdToSessionId(uint32_t id, uint32_t* session) override { return real_.ProcessIdToSessionId(id, session); }
  int GetProcessTimes(ProcessHandle p, uint64_t* c, uint64_t* e, uint64_t* k, uint64_t* u) override {
    return real_.GetProcessTimes(p, c, e, k, u);
  }
  ProcessHandle CreateMutexA(int owner, const char* name) override { return real_.CreateMutexA(owner, name); }
  ProcessHandle OpenMutexA(uint32_t access, int inherit, const char* name) override {
    return real_.OpenMutexA(access, inherit, name);
  }
  uint32_t GetLastError() override { return real_.GetLastError(); }
  void Sleep(uint32_t milliseconds) override { real_.Sleep(milliseconds); }

 private:
  win::WinProcessApi real_;
};

TEST(OsVersion, ScanTakesTheWalkThatSuitsTheVersionAndFindsThisProgram) {
  REQUIRE_EXPECTED_OS(expected);
  win::WinVersionApi version;
  const Environment env{"", GetOsVersionText(version, 0), GetOsVersionText(version, 1)};
  CountingProcessApi api;
  const std::string list = ScanProcesses(env, api);

  const bool oldNt = expected.family == "NT" && std::strtod(expected.version.c_str(), nullptr) < 5;
  if (oldNt) {
    EXPECT_GT(api.enumerations, 0);
    EXPECT_EQ(api.snapshots, 0);
  } else {
    EXPECT_EQ(api.enumerations, 0);
    EXPECT_EQ(api.snapshots, 1);
  }
  EXPECT_GE(CountNameMatches("\r" + list, "TARNVIK_WIN_TESTS.EXE"), 1) << list;
}

}  // namespace
}  // namespace tarnvik
