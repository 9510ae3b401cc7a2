// The start-up sequence on the headless toolkit with every operating-system call faked.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/text.h"
#include "fakes/fake_command_api.h"
#include "fakes/test_program.h"
#include "startup/command_line.h"
#include "startup/main.h"
#include "startup/process_scan.h"
#include "ui/main_window/report_window.h"

namespace tarnvik {
namespace {

using testing::TestProgram;
using Fake = testing::FakeProcessApi;

const std::string kKey(kRegistryKey);

bool Started(const TestProgram& t) {
  return t.tk.loadedForms == 1 && t.tk.mainWindowsLoaded == 1 && t.tk.mainWindowsShown == 1;
}

/// A stop at a check: no window shown or left, and no drive was asked about or is being asked.
bool NoWindowNoQuery(const TestProgram& t) {
  return t.tk.loadedForms == 0 && t.tk.mainWindowsShown == 0 && t.tk.backgroundWork.empty() && t.drive.calls.empty();
}

bool ProcessesScanned(const TestProgram& t) {
  return t.process.snapshotCalls > 0 || !t.process.enumSizesTried.empty();
}

std::string Stored(const TestProgram& t, const std::string& name) {
  const auto* v = t.registry.Find(kKey, name);
  return v == nullptr ? "<missing>" : std::string(v->data.begin(), v->data.end());
}

struct GateCase {
  const char* name;
  bool queryOk;
  uint32_t platform, major, minor;
  bool starts;
};

TEST(MainTest, VersionGate) {
  const std::vector<GateCase> cases = {
      {"95", true, 1, 4, 0, true},
      {"98", true, 1, 4, 10, true},
      {"Me", true, 1, 4, 90, true},
      {"NT 4.0", true, 2, 4, 0, true},
      {"XP", true, 2, 5, 1, true},
      {"8", true, 2, 6, 2, true},
      {"10", true, 2, 10, 0, true},
      {"NT 3.51", true, 2, 3, 51, false},
      {"Win32s", true, 0, 3, 10, false},
      {"DOS family, high version", true, 0, 6, 0, false},
      {"x7, high enough", true, 3, 4, 0, true},
      {"x7, too old", true, 3, 3, 99, false},
      {"version query fails", false, 2, 6, 1, false},
  };
  for (const GateCase& c : cases) {
    TestProgram t;
    t.version.ok = c.queryOk;
    t.version.platform = c.platform;
    t.version.major = c.major;
    t.version.minor = c.minor;
    Main(t.program);
    EXPECT_EQ(t.tk.title, kAppTitle) << c.name;
    if (c.starts) {
      EXPECT_TRUE(Started(t)) << c.name;
      EXPECT_EQ(Stored(t, "Version"), std::string(kAppVersion) + '\0') << c.name;
    } else {
      EXPECT_TRUE(NoWindowNoQuery(t)) << c.name;
      EXPECT_TRUE(t.registry.calls.empty()) << c.name << ": refused before the registry stamp";
      EXPECT_FALSE(ProcessesScanned(t)) << c.name;
    }
  }
}

struct StampCase {
  const char* name;
  std::vector<std::pair<std::string, std::string>> before;  ///< values present at start
  bool keyExists;
  std::vector<std::string> writes;  ///< the create and set calls, in order
};

TEST(MainTest, RegistryStampRewritesOnlyWhatDiffers) {
  const std::string version(kAppVersion), author(kAppAuthor), home(kAppHomePage);
  const std::string create = "create " + kKey;
  const std::vector<StampCase> cases = {
      {"all equal", {{"Version", version}, {"Author", author}, {"HomePage", home}}, true, {}},
      {"author in lower case",
       {{"Version", version}, {"Author", "orvald, qelm soft"}, {"HomePage", home}},
       true,
       {create, create, "set Author"}},
      {"author with a trailing blank",
       {{"Version", version}, {"Author", author + " "}, {"HomePage", home}},
       true,
       {create, create, "set Author"}},
      {"older version, home page missing",
       {{"Version", "1.1.0.2015.0"}, {"Author", author}},
       true,
       {create, create, "set Version", create, create, "set HomePage"}},
      {"value too long to read", {{"Version", version}, {"Author", author}, {"HomePage", std::string(255, 'h')}}, true,
       {create, create, "set HomePage"}},
      {"key missing",
       {},
       false,
       {create, create, "set Version", create, create, "set Author", create, create, "set HomePage"}},
  };
  for (const StampCase& c : cases) {
    TestProgram t;
    if (c.keyExists) t.registry.keys[UpperCase(kKey)];
    for (const auto& [name, text] : c.before) t.registry.SetString(kKey, name, text);
    Main(t.program);
    std::vector<std::string> writes;
    for (const std::string& call : t.registry.calls) {
      if (call.rfind("create", 0) == 0 || call.rfind("set", 0) == 0) writes.push_back(call);
    }
    EXPECT_EQ(writes, c.writes) << c.name;
    EXPECT_EQ(Stored(t, "Version"), version + '\0') << c.name;
    EXPECT_EQ(Stored(t, "Author"), author + '\0') << c.name;
    EXPECT_EQ(Stored(t, "HomePage"), home + '\0') << c.name;
    EXPECT_EQ(t.registry.openHandles(), 0u) << c.name;
    EXPECT_TRUE(Started(t)) << c.name;
  }
}

TEST(MainTest, ARegistryThatCannotBeWrittenDoesNotStopStartUp) {
  for (const bool denyAll : {false, true}) {
    TestProgram t;
    t.registry.denyWrites = true;
    t.registry.denyAll = denyAll;
    Main(t.program);
    EXPECT_TRUE(t.registry.keys.empty()) << denyAll;
    EXPECT_TRUE(Started(t)) << denyAll;
  }
}

TEST(MainTest, APreviousInstanceStampsTheRegistryThenStopsWithoutScanning) {
  TestProgram t;
  t.tk.prevInstance = true;
  t.process.snapshotNames = {"tarnvik.exe"};
  Main(t.program);
  EXPECT_EQ(Stored(t, "Version"), std::string(kAppVersion) + '\0');
  EXPECT_EQ(Stored(t, "Author"), std::string(kAppAuthor) + '\0');
  EXPECT_EQ(Stored(t, "HomePage"), std::string(kAppHomePage) + '\0');
  EXPECT_FALSE(ProcessesScanned(t));
  EXPECT_TRUE(NoWindowNoQuery(t));
  EXPECT_EQ(t.tk.title, kAppTitle);
}

struct CopiesCase {
  const char* name;
  std::vector<std::string> processes;  ///< snapshot names
  std::string exeName;
  bool starts;
  std::vector<int> sessions = {};  ///< own session first, then each process's; -1: cannot be read
  std::vector<int> marked = {};  ///< snapshot entries marked as no copy (negated: elevated, not openable)
  std::vector<int> startedMsAgo = {};  ///< own process first, then each entry's; unlisted: cannot be read
  std::vector<std::pair<int, uint32_t>> markedAfter = {};  ///< entries whose mark appears after so many ms
  int scans = 1;
  std::vector<uint32_t> lighterRefused = {};  ///< entries that refuse the lighter right (~0u: this process)
};

TEST(MainTest, RefusesASecondCopyByTheFixedOrItsOwnName) {
  const std::vector<CopiesCase> cases = {
      {"no process listed", {}, "tarnvik", true},
      {"only blank names", {"  ", "\t"}, "tarnvik", true},
      {"itself among others", {"explorer.exe", "tarnvik.exe"}, "tarnvik", true},
      {"two copies side by side", {"tarnvik.exe", "tarnvik.exe"}, "tarnvik", false},
      {"two copies apart, cases differ", {"Tarnvik.EXE", "svchost.exe", "TARNVIK.exe"}, "Tarnvik", false},
      {"names that only contain it", {"mytarnvik.exe", "tarnvik.exe.old", "tarnvik.exe"}, "tarnvik", true},
      {"full paths do not count", {"C:\\Tools\\tarnvik.exe", "D:\\tarnvik.exe"}, "tarnvik", true},
      {"renamed, started twice", {"tool.exe", "explorer.exe", "tool.exe"}, "tool", false},
      {"renamed, once, beside a tarnvik.exe", {"tool.exe", "tarnvik.exe"}, "tool", true},
      {"renamed, own name padded", {"tool.exe", "tool.exe"}, "  tool  ", false},
      {"renamed, but two tarnvik.exe run", {"tool.exe", "tarnvik.exe", "tarnvik.exe"}, "tool", false},
      {"no own name: fixed name only", {"tool.exe", "tool.exe"}, "", true},
      {"Cyrillic name twice", {"Тарнвик.exe", "тарнвик.EXE"}, "тарнвик", false},
      {"Cyrillic name once", {"Тарнвик.exe", "explorer.exe"}, "ТАРНВИК", true},
      {"accented name twice", {"Café.exe", "CAFÉ.exe"}, "café", false},
      {"Greek name twice", {"σοφός.exe", "ΣΟΦΌΣ.exe"}, "Σοφός", false},
      {"another session's copy", {"tarnvik.exe", "tarnvik.exe"}, "tarnvik", true, {1, 2, 1}},
      {"a copy whose session is unknown", {"tarnvik.exe", "tarnvik.exe"}, "tarnvik", true, {1, -1, 1}},
      {"two copies in this session", {"tarnvik.exe", "x.exe", "tarnvik.exe"}, "tarnvik", false, {3, 3, 0, 3}},
      {"own session unknown: all count", {"tool.exe", "tool.exe"}, "tool", false, {-1, 1, 2}},
      {"beside a saving run", {"tarnvik.exe", "tarnvik.exe"}, "tarnvik", true, {}, {1}},
      {"beside an elevated saving run", {"tarnvik.exe", "tarnvik.exe"}, "tarnvik", true, {}, {-1}},
      {"an ended copy lingers, another runs", {"tarnvik.exe", "tarnvik.exe", "tarnvik.exe"}, "tarnvik", false, {}, {1}},
      {"a saving run that marks itself while the count waits", {"tarnvik.exe", "tarnvik.exe"}, "tarnvik", true, {}, {},
       {0, 0, 1900}, {{1, 250}}, 2},
      {"a young copy that stays unmarked", {"tarnvik.exe", "tarnvik.exe"}, "tarnvik", false, {}, {}, {0, 0, 300}, {}, 8},
      {"an older copy is refused at once", {"tarnvik.exe", "tarnvik.exe"}, "tarnvik", false, {}, {}, {0, 0, 2100},
       {{1, 250}}},
      // Looked at again every 250 ms until the mark comes, or the copy is 2 s old.
      {"marked from the start", {"tarnvik.exe", "tarnvik.exe"}, "tarnvik", true, {}, {}, {0, 0, 100}, {{1, 0}}},
      {"marked after 300 ms", {"tarnvik.exe", "tarnvik.exe"}, "tarnvik", true, {}, {}, {0, 0, 100}, {{1, 300}}, 3},
      {"marked after 1900 ms", {"tarnvik.exe", "tarnvik.exe"}, "tarnvik", true, {}, {}, {0, 0, 0}, {{1, 1900}}, 9},
      {"unmarked past 2 s", {"tarnvik.exe", "tarnvik.exe"}, "tarnvik", false, {}, {}, {0, 0, 0}, {{1, 2100}}, 9},
      {"the lighter right refused, the old one granted", {"tarnvik.exe", "tarnvik.exe"}, "tarnvik", true, {}, {},
       {0, 0, 100}, {{1, 300}}, 3, {~0u, 1}},
  };
  for (const CopiesCase& c : cases) {
    TestProgram t;
    t.process.snapshotNames = c.processes;
    for (std::size_t i = 0; i < c.sessions.size(); ++i) {
      const uint32_t id = i == 0 ? testing::FakeProcessApi::kOwnId
                                 : testing::FakeProcessApi::kFirstSnapshotId + uint32_t(i - 1);
      if (c.sessions[i] >= 0) t.process.sessionOf[id] = static_cast<uint32_t>(c.sessions[i]);
    }
    for (const int entry : c.marked) {
      const std::string mark = NotACopyMarkName(testing::FakeProcessApi::kFirstSnapshotId + uint32_t(std::abs(entry)));
      (entry < 0 ? t.process.deniedMutexes : t.process.mutexes).insert(mark);
    }
    for (std::size_t i = 0; i < c.startedMsAgo.size(); ++i) {
      const uint32_t id = i == 0 ? Fake::kOwnId : Fake::kFirstSnapshotId + uint32_t(i - 1);
      t.process.createdAt[id] = 1'000'000'000 - uint64_t(c.startedMsAgo[i]) * 10'000;  // FILETIME: 100 ns
    }
    for (const auto& [entry, ms] : c.markedAfter) {
      t.process.mutexesFrom[NotACopyMarkName(Fake::kFirstSnapshotId + uint32_t(entry))] = ms;
    }
    for (const uint32_t entry : c.lighterRefused) {
      t.process.lighterRightRefused.insert(entry == ~0u ? Fake::kOwnId : Fake::kFirstSnapshotId + entry);
    }
    t.tk.exeName = c.exeName;
    Main(t.program);
    EXPECT_EQ(Started(t), c.starts) << c.name;
    EXPECT_EQ(NoWindowNoQuery(t), !c.starts) << c.name;
    EXPECT_EQ(t.process.openHandles, 0) << c.name << ": every handle the count opened is closed";
    EXPECT_EQ(t.process.snapshotCalls, c.scans) << c.name;
    EXPECT_EQ(t.process.sleeps, std::vector<uint32_t>(static_cast<std::size_t>(c.scans - 1), 250)) << c.name;
    for (const uint32_t id : t.process.askedAbout) {  // only a process of a counted name is asked about
      const std::string name = UpperCase(Trim(c.processes.at(id - Fake::kFirstSnapshotId)));
      EXPECT_TRUE(name == kFixedProcessName || name == UpperCase(Trim(c.exeName)) + ".EXE") << c.name << ": " << name;
    }
    const std::vector<uint32_t>& open = t.process.openAccessSeen;  // the lighter right first, the old where refused
    for (std::size_t i = 0; i < open.size(); ++i)
      EXPECT_TRUE(open[i] == 0x1000 || (open[i] == 0x400 && i > 0 && open[i - 1] == 0x1000)) << c.name << ": " << i;
  }
}

TEST(MainTest, AFailedSnapshotStartsWithoutCounting) {
  TestProgram t;
  t.process.snapshotFails = true;
  Main(t.program);
  EXPECT_EQ(ScanProcesses(t.program.env, t.process), "");
  EXPECT_TRUE(Started(t));
}

TEST(MainTest, OnNtFourTheIdentifierWalkFindsTheSecondCopy) {
  TestProgram t;
  t.version.platform = 2;
  t.version.major = 4;
  t.version.minor = 0;
  t.process.pids = {0, 8, 120, 136};
  t.process.unopenable = {0};
  t.process.modulePaths[8] = "\\SystemRoot\\System32\\smss.exe";
  t.process.modulePaths[120] = "C:\\Tools\\TARNVIK.EXE";
  t.process.modulePaths[136] = "C:\\Other\\tarnvik.exe";
  Main(t.program);
  EXPECT_EQ(t.process.snapshotCalls, 0);
  EXPECT_TRUE(NoWindowNoQuery(t));
  // The list the count saw, taken again the way start-up chose.
  EXPECT_EQ(ScanProcesses(t.program.env, t.process), "[SYSTEM PROCESS]\rSMSS.EXE\rTARNVIK.EXE\rTARNVIK.EXE\r");
  EXPECT_EQ(t.process.snapshotCalls, 0);
}

TEST(MainTest, ReadsTheEnvironmentAfreshBeforeAnyCheck) {
  TestProgram t;
  t.program.env = {"C:\\Old\\", "NT", "6.1"};
  t.version.ok = false;  // stops at the version gate
  Main(t.program);
  EXPECT_EQ(t.program.env.osFamily, "");
  EXPECT_EQ(t.program.env.osVersion, "");
  EXPECT_FALSE(t.ui().withPartitionStyles);
  EXPECT_TRUE(NoWindowNoQuery(t));
  EXPECT_FALSE(t.ui().Quitting());
  EXPECT_FALSE(t.ui().ReportIdle());
}

TEST(MainTest, TheWindowStartsWithoutADragAndAsksNoLetterBeforeTheFirstYield) {
  TestProgram t;
  std::size_t workersAtFirstYield = 99;
  t.tk.onDoEvents = [&](int n) {
    if (n == 1) workersAtFirstYield = t.tk.backgroundWork.size();
  };
  Main(t.program);
  ASSERT_TRUE(Started(t));
  EXPECT_EQ(workersAtFirstYield, 0u) << "no drive listed, none asked";
  // A move with the left button held but no press in the title band moves nothing.
  toolkit::HeadlessMainWindow& w = *t.tk.mainWindow;
  const double left = w.Left(), top = w.Top();
  t.ui().Window()->OnMouseMove(toolkit::kLeftButton, 0, 40, 10);
  EXPECT_EQ(w.Left(), left);
  EXPECT_EQ(w.Top(), top);
  EXPECT_TRUE(t.ui().ReportIdle()) << "the first report ran to its end";
}

TEST(MainTest, OpensTheWindowsThenBuildsTheFirstReport) {
  TestProgram t;
  t.tk.path = "C:\\Tools";
  t.drive.logicalDrives = testing::LetterMask("c");
  t.drive.drives['c'].totalBytes = 1 << 20;
  t.process.snapshotNames = {"System", "explorer.exe", "tarnvik.exe"};

  struct AtFirstYield {
    bool seen = false;
    bool windowVisible = false, timerEnabled = false, reportIdle = true;
    int timerInterval = 0;
    std::size_t registryValues = 0;
    std::size_t workers = 0;
  } atYield;
  t.tk.onDoEvents = [&](int n) {
    if (n != 2) return;  // the report's first, after the copy count's wait
    atYield.seen = true;
    atYield.windowVisible = t.tk.mainWindow != nullptr && t.tk.mainWindow->visible();
    if (t.tk.mainWindow != nullptr) {
      atYield.timerEnabled = t.tk.mainWindow->windowTimer().Enabled();
      atYield.timerInterval = t.tk.mainWindow->windowTimer().Interval();
    }
    atYield.reportIdle = t.ui().ReportIdle();
    atYield.registryValues = t.registry.keys[UpperCase(kKey)].size();
    atYield.workers = t.tk.backgroundWork.size();
  };
  Main(t.program);

  ASSERT_TRUE(Started(t));
  EXPECT_EQ(t.tk.title, kAppTitle);
  EXPECT_EQ(t.program.env.appFolder, "C:\\Tools\\");
  EXPECT_EQ(t.ui().appFolder, "C:\\Tools\\");
  EXPECT_EQ(t.program.env.osFamily, "NT");
  EXPECT_EQ(t.program.env.osVersion, "6.1");
  EXPECT_TRUE(t.ui().withPartitionStyles);
  // The report runs with the window already open: timer at 125 ms, window shown.
  ASSERT_TRUE(atYield.seen);
  EXPECT_TRUE(atYield.windowVisible);
  EXPECT_TRUE(atYield.timerEnabled);
  EXPECT_TRUE(t.tk.mainWindow->timerRanWhenShown());
  EXPECT_EQ(atYield.timerInterval, 125);
  EXPECT_FALSE(atYield.reportIdle);
  EXPECT_EQ(atYield.registryValues, 3u);
  // The report took over the worker start-up began before the windows, rather than a second.
  EXPECT_EQ(atYield.workers, 1u);
  // And it ran to its end.
  EXPECT_TRUE(t.ui().ReportIdle());
  const std::string report = t.tk.mainWindow->reportBox().Text();
  EXPECT_NE(report.find(" Drive: \t  C:\\"), std::string::npos) << report;
  EXPECT_NE(report.find(" Drives: \t  1"), std::string::npos) << report;
  EXPECT_TRUE(t.tk.mainWindow->visible());
}

TEST(MainTest, TheWindowShowsOnceWithWhatHasComeIn) {
  // Drives that have answered by the first showing (here at once: no thread can be had) go with it, in one write.
  for (const bool answeredFirst : {true, false}) {
    TestProgram t;
    t.tk.noThreads = answeredFirst;
    t.drive.logicalDrives = testing::LetterMask("cd");
    std::string shownWith;  // the box's text at the first yield with the window shown
    t.tk.onDoEvents = [&](int) {
      if (shownWith.empty() && t.tk.mainWindow->visible()) shownWith = t.tk.mainWindow->reportBox().Text();
    };
    Main(t.program);
    ASSERT_TRUE(Started(t)) << answeredFirst;
    EXPECT_NE(t.tk.mainWindow->reportBox().Text().find(" Drives: \t  2  (0)"), std::string::npos) << answeredFirst;
    EXPECT_EQ(t.tk.mainWindow->reportBox().setTextCount(), answeredFirst ? 1 : 3) << answeredFirst;
    EXPECT_EQ(shownWith, answeredFirst ? "" : " Please wait...") << answeredFirst;
  }
}

struct CommandCase {
  std::vector<std::string> arguments;
  CommandAction action;
  int exitCode;
  std::map<std::string, std::string> files;  ///< every file left, with its first bytes
  void (*setup)(TestProgram&, testing::FakeCommandApi&) = nullptr;
  std::vector<uint32_t> waits = {};  ///< each wait before a rename is tried again
  std::string message = {};          ///< when given, the whole standard error
  bool early = false;                ///< refused before any drive is asked
};

TEST(MainTest, CommandLinesWriteTheReportWithoutAWindow) {
  using A = CommandAction;
  using Api = testing::FakeCommandApi;
  const std::string bom = "\xEF\xBB\xBF\r\n---";
  const std::vector<CommandCase> cases = {
      {{}, A::Window, 0, {}},
      {{"/save", "r.txt"}, A::SaveText, 0, {{"r.txt", bom}}},
      {{"/JSON", "r.json"}, A::SaveJson, 0, {{"r.json", "{\r\n  \"program\""}}},
      {{"-json", "-"}, A::SaveJson, 0, {}},
      {{"/csv", "r.csv"}, A::SaveCsv, 0, {{"r.csv", "\xEF\xBB\xBF\"computerName\",\"takenUtc\","}}},
      {{"-CSV:Semicolon", "-"}, A::SaveCsv, 0, {}},
      {{"/csv"}, A::Wrong, 2, {}},
      {{"/csv:tab", "r.csv"}, A::Wrong, 2, {}},
      {{"/csv:comma", "r.csv", "x"}, A::Wrong, 2, {}},
      {{"/?"}, A::Usage, 0, {}},
      {{"/save"}, A::Wrong, 2, {}},
      {{"/json", ""}, A::Wrong, 2, {}},
      {{"/print", "r.txt"}, A::Wrong, 2, {}},
      {{"--save", "r.txt"}, A::Wrong, 2, {}},
      {{"r.txt"}, A::Wrong, 2, {}},
      {{"/save", "r.txt", "/json"}, A::Wrong, 2, {}},
      // Beside a running window, which a second window would give way to.
      {{"-Save", "r.txt"}, A::SaveText, 0, {{"r.txt", bom}},
       [](TestProgram& t, Api&) { t.tk.prevInstance = true, t.process.snapshotNames = {"tarnvik.exe", "tarnvik.exe"}; }},
      // Nothing half-written is left: the old file stays, the temporary one goes.
      {{"/save", "r.txt"}, A::SaveText, 1, {{"r.txt", "old"}},
       [](TestProgram&, Api& api) { api.files["r.txt"] = "old", api.diskFullAfter = 100; }},
      // Renames tried again only while a file is held; the message names FILE as typed.
      {{"/save", "C:\\x\\r.txt"}, A::SaveText, 1, {}, [](TestProgram&, Api& api) { api.failMove["\\\\?\\C:\\x\\r.txt"] = 5; },
       {50, 100, 200, 400, 800}, "tarnvik: the report could not be written to \"C:\\x\\r.txt\": Access is denied. (5)\r\n"},
      {{"/save", "r.txt"}, A::SaveText, 0, {{"r.txt", bom}},
       [](TestProgram&, Api& api) { api.failMove["r.txt"] = 5, api.moveFailures = 1; }, {50}},
      {{"/save", "r.txt"}, A::SaveText, 1, {}, [](TestProgram&, Api& api) { api.failMove["r.txt"] = 3; }},
      {{"/json", "C:\\x\\r.json"}, A::SaveJson, 1, {}, [](TestProgram& t, Api& api) {
         t.machine.names[kComputerNamePhysicalNetBios] = "PC", api.failCreate["\\\\?\\C:\\x\\tarnvik-PC-4000-1.tmp"] = 3; }},
      // A name another run holds or left is never written, renamed or deleted; FILE gets this run's bytes.
      {{"/save", "r.txt"}, A::SaveText, 0, {{"r.txt", bom}, {"tarnvik-4000-1.tmp", "theirs"}, {"tarnvik-4000-2.tmp", "left"}},
       [](TestProgram&, Api& api) { api.files["tarnvik-4000-1.tmp"] = "theirs", api.files["tarnvik-4000-2.tmp"] = "left"; }},
      {{"/save", "r.txt"}, A::SaveText, 1, {{"tarnvik-4000-1.tmp", "theirs"}},
       [](TestProgram&, Api& api) { api.files["tarnvik-4000-1.tmp"] = "theirs", api.failCreate["tarnvik-4000-1.tmp"] = 5; }},
      // Said before any drive is asked: a folder (no retries), any device but a pipe, NUL or the console,
      // which are written as they are in any form Windows names them, and never flushed.
      {{"/save", "C:\\T"}, A::SaveText, 1, {}, [](TestProgram&, Api& api) { api.folders.insert("\\\\?\\C:\\T"); }, {},
       "tarnvik: the report could not be written to \"C:\\T\": it is a folder\r\n", true},
      {{"/json", "COM1"}, A::SaveJson, 2, {}, [](TestProgram&, Api& a) { a.fullPaths["COM1"] = "\\\\.\\COM1"; }, {}, {}, true},
      {{"/csv", "\\\\.\\pipe\\..\\C:"}, A::SaveCsv, 2, {},
       [](TestProgram&, Api& api) { api.fullPaths["\\\\.\\pipe\\..\\C:"] = "\\\\.\\C:"; }, {}, {}, true},
      {{"/save", "\\\\?\\C:"}, A::SaveText, 2, {}, nullptr, {}, {}, true},
      {{"/json", "nul.j"}, A::SaveJson, 0, {{"\\\\.\\NUL", "{"}}, [](TestProgram&, Api& a) { a.fullPaths["nul.j"] = "\\\\.\\nul"; }},
      {{"/save", "con.t"}, A::SaveText, 0, {{"CONOUT$", bom}}, [](TestProgram&, Api& a) { a.fullPaths["con.t"] = "\\\\.\\con"; }},
      {{"/save", "CONOUT$"}, A::SaveText, 0, {{"CONOUT$", bom}}, [](TestProgram&, Api& a) { a.fullPaths["CONOUT$"] = "C:\\CONOUT$"; }},
      // FILE made full by hand where Windows cannot; a device as it is; a relative FILE, not at all.
      {{"/save", "C:/" + std::string(200, 'a') + "//" + std::string(200, 'b') + "/r.txt"}, A::SaveText, 0,
       {{"\\\\?\\C:\\" + std::string(200, 'a') + "\\" + std::string(200, 'b') + "\\r.txt", bom}},
       [](TestProgram&, Api& api) { api.fullPathError = 206; }},
      {{"/save", "\\\\s\\h\\..\\" + std::string(200, 'a') + "/" + std::string(200, 'b')}, A::SaveText, 0,
       {{"\\\\?\\UNC\\s\\h\\" + std::string(200, 'a') + "\\" + std::string(200, 'b'), bom}},
       [](TestProgram&, Api& api) { api.fullPathError = 206; }},
      {{"/save", "c:\\x\\.\\y.\\..\\..\\..\\z\\r.txt. "}, A::SaveText, 0, {{"\\\\?\\c:\\z\\r.txt", bom}},
       [](TestProgram&, Api& api) { api.fullPathError = 206; }},
      {{"/save", "\\\\.\\pipe\\name"}, A::SaveText, 0, {{"\\\\.\\pipe\\name", bom}}},
      {{"/save", "r.txt"}, A::SaveText, 1, {}, [](TestProgram&, Api& api) { api.fullPathError = 3; }, {},
       "tarnvik: the report could not be written to \"r.txt\": system error 3\r\n", true},
      {{"/save", "C:\\x\\" + std::string(250, 'n')}, A::SaveText, 0, {{"\\\\?\\C:\\x\\" + std::string(250, 'n'), bom}}},
      // A path past 260 characters, and a rename that another process holds up for a moment.
      {{"/save", "\\\\s\\h\\" + std::string(260, 'd')}, A::SaveText, 0,
       {{"\\\\?\\UNC\\s\\h\\" + std::string(260, 'd'), bom}}},
      {{"/save", "r.txt"}, A::SaveText, 0, {{"r.txt", bom}},
       [](TestProgram&, Api& api) { api.failMove["r.txt"] = 32, api.moveFailures = 3; }, {50, 100, 200}},
      {{"/save", "-"}, A::SaveText, 1, {}, [](TestProgram&, Api& api) { api.out.reset(); }},
      {{"/save", "r.txt"}, A::SaveText, 1, {}, [](TestProgram& t, Api&) { t.version.major = 3; }},
      {{"/help"}, A::Usage, 0, {}},
      {{"/?", "x"}, A::Wrong, 2, {}},
  };
  for (const CommandCase& c : cases) {
    const std::string name = ::testing::PrintToString(c.arguments);
    TestProgram t;
    Api api;
    api.arguments = c.arguments;
    api.logicalDrives = 0b1100;  // C: and D:
    if (c.setup) c.setup(t, api);
    const CommandRequest request = ParseCommandLine(api.Arguments());
    EXPECT_EQ(request.action, c.action) << name;
    if (c.action == A::Window) continue;
    MarkIfSaving(t.process, request);  // first of all, as the entry point does
    EXPECT_EQ(RunCommand(t.Saving(), api, request), c.exitCode) << name;
    std::map<std::string, std::string> left;
    for (const auto& [path, bytes] : api.files) left[path] = bytes.substr(0, c.files.count(path) ? c.files.at(path).size() : 0);
    EXPECT_EQ(left, c.files) << name;
    EXPECT_EQ(api.sleeps, c.waits) << name;
    for (const std::string& flushed : api.flushed) EXPECT_TRUE(flushed.ends_with(".tmp")) << name << ": " << flushed;
    // A device is written as it is: it takes no temporary and no rename.
    for (const auto& [path, bytes] : c.files)
      EXPECT_EQ(api.devices.count(path), path.starts_with("\\\\.\\") || path == "CONOUT$" ? 1u : 0u) << name << ": " << path;
    EXPECT_TRUE(c.message.empty() || api.err == c.message) << name << api.err.value_or("");
    // A message exactly when the exit code is not 0; never a box, a window or a process scan.
    EXPECT_EQ(api.err.value_or("").empty(), c.exitCode == 0) << name << api.err.value_or("");
    EXPECT_TRUE(t.tk.messageBoxes.empty() && t.tk.loadedForms == 0 && t.tk.mainWindowsLoaded == 0) << name;
    EXPECT_FALSE(ProcessesScanned(t)) << name;
    // A saving run marks itself, so that a window started beside it does not count it.
    const bool saving = c.action == A::SaveText || c.action == A::SaveJson || c.action == A::SaveCsv;
    EXPECT_EQ(t.drive.calls.empty(), !saving || t.version.major < 4 || c.early) << name;
    EXPECT_EQ(t.process.mutexes.count(NotACopyMarkName(testing::FakeProcessApi::kOwnId)), saving ? 1u : 0u) << name;
    const bool stamped = Stored(t, "Version") == std::string(kAppVersion) + '\0';
    EXPECT_EQ(stamped, c.action != A::Wrong && c.action != A::Usage && t.version.major >= 4) << name;
    const std::string out = c.arguments[0] == "-json" ? "{\r\n  \"program\"" : "\"computerName\";\"takenUtc\";";  // no mark
    const bool toOutput = c.arguments.size() == 2 && c.arguments[1] == "-" && c.exitCode == 0;
    EXPECT_EQ(api.out.value_or("").rfind(out, 0), toOutput ? 0 : std::string::npos) << name;
  }
}

}  // namespace
}  // namespace tarnvik
