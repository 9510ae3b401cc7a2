// The process list: both walks over the faked platform, and counting whole entries in it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes/fake_process_api.h"
#include "startup/environment.h"
#include "startup/process_scan.h"

namespace tarnvik {
namespace {

using namespace std::string_literals;
using testing::FakeProcessApi;

// The list with its carriage returns shown as "|" so that failures read easily.
std::string Shown(const std::string& list) {
  std::string out = list;
  for (char& c : out) {
    if (c == '\r') c = '|';
  }
  return out;
}

struct WalkChoiceCase {
  std::string family, version;
  bool psapi;
};

TEST(ScanProcessesTest, TakesThePsapiWalkOnlyOnNtBeforeFive) {
  const std::vector<WalkChoiceCase> cases = {
      {"NT", "4.0", true},   {"NT", "3.51", true},  {"NT", "", false},    {"NT", "4.99", true},
      {"NT", "5.0", false},  {"NT", "5.1", false},  {"NT", "10.0", false}, {"9x", "4.10", false},
      {"9x", "3.0", false},  {"", "4.0", false},    {"", "", false},      {"x7", "4.0", false},
      {"nt", "4.0", false},  {"DOS", "3.10", false},
  };
  for (const WalkChoiceCase& c : cases) {
    FakeProcessApi api;
    api.snapshotNames = {"snap.exe"};
    api.pids = {8};
    api.modulePaths[8] = "C:\\WINNT\\system32\\psapi.exe";
    const std::string list = ScanProcesses(Environment{"", c.family, c.version}, api);
    const std::string label = c.family + " " + c.version;
    EXPECT_EQ(Shown(list), c.psapi ? "PSAPI.EXE|" : "SNAP.EXE|") << label;
    EXPECT_EQ(api.snapshotCalls, c.psapi ? 0 : 1) << label;
    EXPECT_EQ(api.enumSizesTried.empty(), !c.psapi) << label;
  }
}

struct SnapshotCase {
  const char* name;
  std::vector<std::string> entries;  ///< raw name fields, in the platform's order
  std::string expected;              ///< "|" for each carriage return
};

std::string SnapshotScan(FakeProcessApi& api) { return ScanProcesses(Environment{"", "NT", "6.1"}, api); }

TEST(ScanProcessesTest, SnapshotWalkCleansAndUpperCasesEachName) {
  std::string full(ProcessEntry::kExeFileSize, ' ');
  full.replace(3, 11, "Tarnvik.exe");  // blanks around, no NUL anywhere in the field
  const std::string fullUnbroken(ProcessEntry::kExeFileSize, 'q');
  const std::vector<SnapshotCase> cases = {
      {"two names", {"explorer.exe", "tarnvik.exe"}, "EXPLORER.EXE|TARNVIK.EXE|"},
      {"platform order kept", {"b.exe", "a.exe", "b.exe"}, "B.EXE|A.EXE|B.EXE|"},
      {"nothing after the NUL", {"svchost.exe\0garbage"s}, "SVCHOST.EXE|"},
      {"blanks trimmed", {"   lsass.exe   "}, "LSASS.EXE|"},
      {"tabs and line breaks", {"\tbad\r\nname.exe\t"}, "BAD  NAME.EXE|"},
      {"blank-only names give no entry", {"a.exe", "", "   ", "\t\r\n", "\0x"s, "b.exe"}, "A.EXE|B.EXE|"},
      {"full path kept as reported", {"C:\\Tools\\tarnvik.exe"}, "C:\\TOOLS\\TARNVIK.EXE|"},
      {"a field with no NUL is taken whole", {full}, "TARNVIK.EXE|"},
      {"a full field of letters", {fullUnbroken}, std::string(ProcessEntry::kExeFileSize, 'Q') + "|"},
      {"Cyrillic and accented names", {"тарнвик.exe", "Café.exe"}, "ТАРНВИК.EXE|CAFÉ.EXE|"},
      {"no processes", {}, ""},
  };
  for (const SnapshotCase& c : cases) {
    FakeProcessApi api;
    api.snapshotNames = c.entries;
    const std::string list = SnapshotScan(api);
    EXPECT_EQ(Shown(list), c.expected) << c.name;
    EXPECT_EQ(api.snapshotsOpen, 0) << c.name << ": the snapshot must be closed";
  }
}

TEST(ScanProcessesTest, SnapshotWalkAsksForProcessesWithTheRecordsOwnSize) {
  FakeProcessApi api;
  api.snapshotNames = {"a.exe"};
  const std::string list = SnapshotScan(api);
  EXPECT_EQ(api.snapshotCalls, 1);
  EXPECT_EQ(api.entrySizeSeen, sizeof(ProcessEntry));
  EXPECT_EQ(list, "A.EXE\r");
}

TEST(ScanProcessesTest, AFailedSnapshotLeavesTheListEmpty) {
  FakeProcessApi api;
  api.snapshotFails = true;
  api.snapshotNames = {"a.exe"};
  const std::string list = SnapshotScan(api);
  EXPECT_EQ(list, "");
  EXPECT_EQ(api.snapshotsOpen, 0);
}

struct PsapiCase {
  const char* name;
  std::vector<uint32_t> pids;
  std::vector<std::pair<uint32_t, std::string>> paths;
  std::vector<uint32_t> unopenable;
  std::vector<uint32_t> moduleEnumFails;
  std::string expected;
};

std::string PsapiScan(FakeProcessApi& api) { return ScanProcesses(Environment{"", "NT", "4.0"}, api); }

TEST(ListProcessesPsapiTest, NamesEachProcessByItsFirstModule) {
  const std::vector<PsapiCase> cases = {
      {"system path", {8}, {{8, "C:\\WINNT\\system32\\smss.exe"}}, {}, {}, "SMSS.EXE|"},
      {"native path", {9}, {{9, "\\??\\C:\\WINNT\\system32\\winlogon.exe"}}, {}, {}, "WINLOGON.EXE|"},
      {"drive-relative", {9}, {{9, "C:name.exe"}}, {}, {}, "NAME.EXE|"},
      {"bar separator", {9}, {{9, "a|b.exe"}}, {}, {}, "B.EXE|"},
      {"slash separator", {9}, {{9, "c:/tools/x.exe"}}, {}, {}, "X.EXE|"},
      {"no separator", {9}, {{9, "plain.exe"}}, {}, {}, "PLAIN.EXE|"},
      {"blanks around the name", {9}, {{9, "C:\\dir\\  spaced.exe  "}}, {}, {}, "SPACED.EXE|"},
      {"tab inside the name", {9}, {{9, "C:\\a\tb.exe"}}, {}, {}, "A B.EXE|"},
      {"Cyrillic name", {9}, {{9, "C:\\Программы\\тарнвик.exe"}}, {}, {}, "ТАРНВИК.EXE|"},
      {"path ends in a separator", {9}, {{9, "C:\\dir\\"}}, {}, {}, "[SYSTEM PROCESS]|"},
      {"blank name", {9}, {{9, "C:\\dir\\   "}}, {}, {}, "[SYSTEM PROCESS]|"},
      {"name of only a tab", {9}, {{9, "C:\\dir\\\t"}}, {}, {}, ""},
      {"cannot be opened", {0, 4, 8}, {{8, "C:\\x\\smss.exe"}}, {0, 4}, {},
       "[SYSTEM PROCESS]|[SYSTEM PROCESS]|SMSS.EXE|"},
      {"no module name", {12}, {}, {}, {}, "[SYSTEM PROCESS]|"},
      {"modules cannot be listed after one that could",
       {8, 12},
       {{8, "C:\\x\\smss.exe"}, {12, "C:\\x\\csrss.exe"}},
       {},
       {12},
       "SMSS.EXE|[SYSTEM PROCESS]|"},
      {"table order kept", {30, 10, 20}, {{10, "a.exe"}, {20, "b.exe"}, {30, "c.exe"}}, {}, {}, "C.EXE|A.EXE|B.EXE|"},
  };
  for (const PsapiCase& c : cases) {
    FakeProcessApi api;
    api.pids = c.pids;
    for (const auto& [pid, path] : c.paths) api.modulePaths[pid] = path;
    api.unopenable = c.unopenable;
    api.moduleEnumFails.insert(c.moduleEnumFails.begin(), c.moduleEnumFails.end());
    const std::string list = PsapiScan(api);
    EXPECT_EQ(Shown(list), c.expected) << c.name;
    EXPECT_EQ(api.openHandles, 0) << c.name << ": every opened process must be closed";
    EXPECT_EQ(api.zeroHandlesClosed, 0) << c.name;
  }
}

TEST(ListProcessesPsapiTest, OpensForQueryAndReadNotInheritableAndListsInto200Bytes) {
  FakeProcessApi api;
  api.pids = {4, 8};
  api.modulePaths[4] = "a.exe";
  api.modulePaths[8] = "b.exe";
  PsapiScan(api);
  EXPECT_EQ(api.openAccessSeen, (std::vector<uint32_t>{0x410, 0x410}));
  EXPECT_EQ(api.openInheritSeen, (std::vector<int>{0, 0}));
  EXPECT_EQ(api.moduleTableBytesSeen, (std::vector<uint32_t>{200, 200}));
}

TEST(ListProcessesPsapiTest, AnUnopenedProcessIsNotAskedForItsModules) {
  FakeProcessApi api;
  api.pids = {8, 0};
  api.modulePaths[8] = "C:\\tarnvik.exe";
  api.unopenable = {0};
  const std::string list = PsapiScan(api);
  EXPECT_EQ(Shown(list), "TARNVIK.EXE|[SYSTEM PROCESS]|");
  EXPECT_EQ(api.moduleNameAskedOf, std::vector<ProcessHandle>{0x1000 + 8});
}

struct SizeCase {
  const char* name;
  std::size_t processes;
  std::vector<uint32_t> sizesTried;
};

TEST(ListProcessesPsapiTest, DoublesTheIdentifierTableUntilItIsNotFilled) {
  const std::vector<SizeCase> cases = {
      {"none", 0, {16}},
      {"one", 1, {16}},
      {"three", 3, {16}},
      {"exactly fills 16 bytes", 4, {16, 32}},
      {"five", 5, {16, 32}},
      {"exactly fills 32 bytes", 8, {16, 32, 64}},
      {"exactly fills 64 bytes", 16, {16, 32, 64, 128}},
      {"thirty", 30, {16, 32, 64, 128}},
      {"exactly fills 128 bytes", 32, {16, 32, 64, 128, 256}},
      {"a hundred", 100, {16, 32, 64, 128, 256, 512}},
  };
  for (const SizeCase& c : cases) {
    FakeProcessApi api;
    std::string expected;
    for (uint32_t pid = 1; pid <= c.processes; ++pid) {
      api.pids.push_back(pid * 4);
      api.modulePaths[pid * 4] = "p" + std::to_string(pid) + ".exe";
      expected += "P" + std::to_string(pid) + ".EXE|";
    }
    const std::string list = PsapiScan(api);
    EXPECT_EQ(api.enumSizesTried, c.sizesTried) << c.name;
    EXPECT_EQ(Shown(list), expected) << c.name << ": every process listed once";
  }
}

TEST(ListProcessesPsapiTest, AFailedEnumerationListsTwentyFourUnnamedProcesses) {
  FakeProcessApi api;
  api.enumProcessesFails = true;
  api.unopenable = {0};
  const std::string list = PsapiScan(api);
  EXPECT_EQ(api.enumSizesTried, (std::vector<uint32_t>{16, 32, 64, 128}));
  std::string expected;
  for (int i = 0; i < 24; ++i) expected += "[SYSTEM PROCESS]|";
  EXPECT_EQ(Shown(list), expected);
}

// A platform that always claims a full table must not make the walk loop for ever.
class AlwaysFullApi : public FakeProcessApi {
 public:
  int EnumProcesses(uint32_t* ids, uint32_t cb, uint32_t* bytesReturned) override {
    enumSizesTried.push_back(cb);
    (void)ids;
    *bytesReturned = cb;
    return 1;
  }
  ProcessHandle OpenProcess(uint32_t, int, uint32_t) override { return 0; }
};

TEST(ListProcessesPsapiTest, StopsDoublingAtABoundWhenTheTableIsAlwaysFull) {
  AlwaysFullApi api;
  const std::string list = ListProcessesPsapi(api);
  ASSERT_FALSE(api.enumSizesTried.empty());
  EXPECT_LE(api.enumSizesTried.size(), 24u);
  for (std::size_t i = 1; i < api.enumSizesTried.size(); ++i) {
    EXPECT_EQ(api.enumSizesTried[i], api.enumSizesTried[i - 1] * 2);
  }
  // Every identifier of the last table is listed: all unopened.
  const std::size_t entries = api.enumSizesTried.back() / 4;
  EXPECT_EQ(list.size(), entries * (std::string("[SYSTEM PROCESS]").size() + 1));
}

struct CountCase {
  const char* name;
  std::string list;  ///< as Main has it: a leading carriage return, "|" for each one
  std::string name_;
  int32_t expected;
};

std::string Crs(std::string list) {
  for (char& c : list) {
    if (c == '|') c = '\r';
  }
  return list;
}

TEST(CountNameMatchesTest, CountsWholeEntriesOnly) {
  const std::vector<CountCase> cases = {
      {"one copy", "|EXPLORER.EXE|TARNVIK.EXE|", "TARNVIK.EXE", 1},
      {"two neighbours share their carriage return", "|TARNVIK.EXE|TARNVIK.EXE|", "TARNVIK.EXE", 2},
      {"three in a row", "|TARNVIK.EXE|TARNVIK.EXE|TARNVIK.EXE|", "TARNVIK.EXE", 3},
      {"apart", "|TARNVIK.EXE|A.EXE|TARNVIK.EXE|B.EXE|", "TARNVIK.EXE", 2},
      {"prefix and suffix do not count", "|MYTARNVIK.EXE|TARNVIK.EXE.OLD|", "TARNVIK.EXE", 0},
      {"a full path does not count", "|C:\\TOOLS\\TARNVIK.EXE|", "TARNVIK.EXE", 0},
      {"case matters", "|tarnvik.exe|Tarnvik.exe|", "TARNVIK.EXE", 0},
      {"the only entry", "|TARNVIK.EXE|", "TARNVIK.EXE", 1},
      {"own name twice", "|TOOL.EXE|SVCHOST.EXE|TOOL.EXE|", "TOOL.EXE", 2},
      {"Cyrillic own name", "|ТАРНВИК.EXE|ТАРНВИК.EXE|", "ТАРНВИК.EXE", 2},
      {"no closing carriage return", "|EXPLORER.EXE|TARNVIK.EXE", "TARNVIK.EXE", 0},
      {"only a carriage return", "|", "TARNVIK.EXE", 0},
  };
  for (const CountCase& c : cases) {
    EXPECT_EQ(CountNameMatches(Crs(c.list), c.name_), c.expected) << c.name;
  }
}

TEST(CountNameMatchesTest, ResumesOnAMatchsClosingCarriageReturn) {
  // The second match starts on the first one's closing carriage return; the search then
  // resumes on its own, the list's last character, and finds nothing more.
  EXPECT_EQ(CountNameMatches(Crs("|A.EXE|TARNVIK.EXE|TARNVIK.EXE|"), "TARNVIK.EXE"), 2);
  EXPECT_EQ(CountNameMatches(Crs("|A.EXE|"), "TARNVIK.EXE"), 0);
}

}  // namespace
}  // namespace tarnvik
