// The process adapter and the scan over it, looking for this test program among the running
// processes of the Wine prefix.
#include "startup/process_api_win.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "base/scoped_win.h"
#include "base/text.h"
#include "base/utf_win.h"
#include "base/win32_win.h"
#include "startup/process_scan.h"
#include "test_env_win.h"

namespace tarnvik {
namespace {

using testing::OwnExeBaseName;
using testing::OwnExePathWide;

constexpr char kOwnUpperName[] = "TARNVIK_WIN_TESTS.EXE";

std::vector<std::string> SplitList(const std::string& list) {
  std::vector<std::string> entries;
  std::size_t start = 0;
  for (std::size_t cr = list.find('\r'); cr != std::string::npos; cr = list.find('\r', start)) {
    entries.push_back(list.substr(start, cr - start));
    start = cr + 1;
  }
  EXPECT_EQ(start, list.size()) << "the list must end with the carriage return of its last entry";
  return entries;
}

int CountIn(const std::string& list, const std::string& name) {
  return CountNameMatches("\r" + list, name);
}

struct Snapshot {
  std::vector<std::string> names;
  std::vector<uint32_t> ids;
};

Snapshot Walk(ProcessApi& api) {
  Snapshot s;
  const ProcessHandle snapshot = api.CreateToolhelp32Snapshot(kTh32csSnapProcess, 0);
  EXPECT_NE(snapshot, kInvalidHandleValue);
  if (snapshot == kInvalidHandleValue) return s;
  ProcessEntry entry;
  for (int more = api.Process32First(snapshot, entry); more != 0; more = api.Process32Next(snapshot, entry)) {
    s.names.emplace_back(entry.szExeFile.data());
    s.ids.push_back(entry.th32ProcessID);
  }
  EXPECT_NE(api.CloseHandle(snapshot), 0);
  return s;
}

TEST(WinProcessApi, TestProgramIsNamedWithItsOwnNameUpperCased) {
  EXPECT_EQ(UpperCase(OwnExeBaseName()), kOwnUpperName);
}

TEST(WinProcessApi, SnapshotListsThisProcessUnderItsFileName) {
  win::WinProcessApi api;
  const Snapshot s = Walk(api);
  ASSERT_FALSE(s.names.empty());
  const auto at = std::find(s.ids.begin(), s.ids.end(), ::GetCurrentProcessId());
  ASSERT_NE(at, s.ids.end());
  EXPECT_EQ(s.names[static_cast<std::size_t>(at - s.ids.begin())], OwnExeBaseName());
  uint32_t session = 0xFFFFFFFFu;  // the call is found in kernel32 and answers for this process
  EXPECT_NE(api.ProcessIdToSessionId(api.GetCurrentProcessId(), &session), 0);
  EXPECT_NE(session, 0xFFFFFFFFu);
}

TEST(WinProcessApi, EachSnapshotKeepsItsOwnWalkPosition) {
  win::WinProcessApi api;
  const ProcessHandle a = api.CreateToolhelp32Snapshot(kTh32csSnapProcess, 0);
  const ProcessHandle b = api.CreateToolhelp32Snapshot(kTh32csSnapProcess, 0);
  ASSERT_NE(a, kInvalidHandleValue);
  ASSERT_NE(b, kInvalidHandleValue);
  std::vector<uint32_t> fromA, fromB;
  ProcessEntry entryA, entryB;
  int moreA = api.Process32First(a, entryA);
  int moreB = api.Process32First(b, entryB);
  // Step the two walks in turn; each must see the whole list from its own start.
  while (moreA != 0 || moreB != 0) {
    if (moreA != 0) {
      fromA.push_back(entryA.th32ProcessID);
      moreA = api.Process32Next(a, entryA);
    }
    if (moreB != 0) {
      fromB.push_back(entryB.th32ProcessID);
      moreB = api.Process32Next(b, entryB);
    }
  }
  EXPECT_NE(api.CloseHandle(a), 0);
  EXPECT_NE(api.CloseHandle(b), 0);
  // Had the two walks shared one position, each would have seen every other entry. The head
  // of the list is compared: the services at its start do not come and go during the test.
  ASSERT_GE(fromA.size(), 3u);
  ASSERT_GE(fromB.size(), 3u);
  EXPECT_EQ(std::vector<uint32_t>(fromA.begin(), fromA.begin() + 3), std::vector<uint32_t>(fromB.begin(), fromB.begin() + 3));
}

TEST(WinProcessApi, EndOfWalkLeavesTheLastEntryInPlace) {
  win::WinProcessApi api;
  const ProcessHandle snapshot = api.CreateToolhelp32Snapshot(kTh32csSnapProcess, 0);
  ASSERT_NE(snapshot, kInvalidHandleValue);
  ProcessEntry entry;
  std::string last;
  for (int more = api.Process32First(snapshot, entry); more != 0; more = api.Process32Next(snapshot, entry))
    last = entry.szExeFile.data();
  ASSERT_FALSE(last.empty());
  EXPECT_EQ(std::string(entry.szExeFile.data()), last);
  api.CloseHandle(snapshot);
}

TEST(WinProcessApi, PsapiNamesThisProcessByItsFirstModule) {
  win::WinProcessApi api;
  std::array<uint32_t, 1024> ids{};
  uint32_t filled = 0;
  ASSERT_NE(api.EnumProcesses(ids.data(), static_cast<uint32_t>(sizeof(ids)), &filled), 0);
  EXPECT_EQ(filled % 4, 0u);
  const auto end = ids.begin() + filled / 4;
  EXPECT_NE(std::find(ids.begin(), end, ::GetCurrentProcessId()), end);

  const ProcessHandle self = api.OpenProcess(kProcessQueryInformation | kProcessVmRead, 0, ::GetCurrentProcessId());
  ASSERT_NE(self, 0);
  uint64_t created = 0, unused = 0;
  FILETIME now{};
  ::GetSystemTimeAsFileTime(&now);
  EXPECT_NE(api.GetProcessTimes(self, &created, &unused, &unused, &unused), 0);
  const uint64_t age = ((uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime) - created;
  EXPECT_LT(age, 36'000'000'000u) << created;  // started within the hour, not in the future
  std::array<ModuleHandle, 50> modules{};
  uint32_t needed = 0;
  ASSERT_NE(api.EnumProcessModules(self, modules.data(), 200, &needed), 0);
  EXPECT_GE(needed, sizeof(ModuleHandle));
  EXPECT_EQ(modules[0], reinterpret_cast<ModuleHandle>(::GetModuleHandleW(nullptr)));

  std::array<char, 780> path;
  path.fill(' ');
  const uint32_t copied = api.GetModuleFileNameExA(self, modules[0], path.data(), static_cast<uint32_t>(path.size()));
  const std::string expected = win::WideToUtf8(OwnExePathWide());
  EXPECT_EQ(std::string(path.data(), copied), expected);
  EXPECT_EQ(path[copied], '\0');

  // A short buffer takes what fits and stays terminated.
  std::array<char, 8> small;
  small.fill(' ');
  EXPECT_EQ(api.GetModuleFileNameExA(self, modules[0], small.data(), 8), 7u);
  EXPECT_EQ(std::string(small.data()), expected.substr(0, 7));
  EXPECT_NE(api.CloseHandle(self), 0);
}

TEST(WinProcessApi, ClosingTheNullHandleOfAFailedOpenFailsQuietly) {
  win::WinProcessApi api;
  EXPECT_EQ(api.CloseHandle(0), 0);
}

TEST(WinProcessApi, ScanFindsThisProgramOnBothWalks) {
  win::WinProcessApi api;
  const std::string list = ScanProcesses(Environment{"", "NT", "6.1"}, api);
  EXPECT_GE(CountIn(list, kOwnUpperName), 1) << list;
  EXPECT_GT(SplitList(list).size(), 1u);

  const std::string psapi = ListProcessesPsapi(api);
  EXPECT_GE(CountIn(psapi, kOwnUpperName), 1) << psapi;
}

// A copy of this program under a Cyrillic name, started suspended so that it only sits in
// the process list, and ended and deleted again when the test is done.
class NonAsciiProcess {
 public:
  explicit NonAsciiProcess(const std::wstring& fileName) {
    std::array<wchar_t, MAX_PATH + 1> temp{};
    const DWORD n = ::GetTempPathW(static_cast<DWORD>(temp.size()), temp.data());
    if (n == 0 || n >= temp.size()) return;
    path_ = std::wstring(temp.data(), n) + fileName;
    if (!::CopyFileW(OwnExePathWide().c_str(), path_.c_str(), FALSE)) {
      path_.clear();
      return;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    std::wstring commandLine = L"\"" + path_ + L"\"";
    if (!::CreateProcessW(path_.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                          nullptr, &startup, &info))
      return;
    process_.reset(info.hProcess);
    thread_.reset(info.hThread);
    id_ = info.dwProcessId;
  }
  ~NonAsciiProcess() {
    if (process_) {
      ::TerminateProcess(process_.get(), 0);
      ::WaitForSingleObject(process_.get(), 10000);
    }
    thread_.reset();
    process_.reset();
    if (!path_.empty()) ::DeleteFileW(path_.c_str());
  }
  NonAsciiProcess(const NonAsciiProcess&) = delete;
  NonAsciiProcess& operator=(const NonAsciiProcess&) = delete;

  bool running() const { return static_cast<bool>(process_); }
  uint32_t id() const { return id_; }

 private:
  std::wstring path_;
  win::ScopedKernelHandle process_, thread_;
  uint32_t id_ = 0;
};

TEST(WinProcessApi, NonAsciiProcessNameComesThroughAsUtf8) {
  const std::wstring wideName = L"\x0422\x0430\x0440\x043D\x0432\x0438\x043A_\x0442\x0435\x0441\x0442.exe";  // Тарнвик_тест.exe
  const std::string utf8Name = "\xD0\xA2\xD0\xB0\xD1\x80\xD0\xBD\xD0\xB2\xD0\xB8\xD0\xBA_"
                               "\xD1\x82\xD0\xB5\xD1\x81\xD1\x82.exe";
  NonAsciiProcess child(wideName);
  ASSERT_TRUE(child.running()) << "could not start a copy of the test program";

  win::WinProcessApi api;
  const Snapshot s = Walk(api);
  const auto at = std::find(s.ids.begin(), s.ids.end(), child.id());
  ASSERT_NE(at, s.ids.end());
  EXPECT_EQ(s.names[static_cast<std::size_t>(at - s.ids.begin())], utf8Name);

  const std::string list = ScanProcesses(Environment{"", "NT", "6.1"}, api);
  const std::string upperName = "\xD0\xA2\xD0\x90\xD0\xA0\xD0\x9D\xD0\x92\xD0\x98\xD0\x9A_"
                                "\xD0\xA2\xD0\x95\xD0\xA1\xD0\xA2.EXE";  // ТАРНВИК_ТЕСТ.EXE
  EXPECT_EQ(CountIn(list, upperName), 1) << list;
}

}  // namespace
}  // namespace tarnvik
