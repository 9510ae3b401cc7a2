// The partition-style query against the in-memory management service: the answers, the exact
// texts sent to the service, every failure point, and that nothing outlives a query.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "fakes/fake_wmi_api.h"
#include "report/partition_style.h"

namespace tarnvik {
namespace {

using testing::FakeWmiApi;
using testing::FakeWmiDisk;
using Types = std::vector<std::optional<std::string>>;

constexpr const char* kQueryC =
    "ASSOCIATORS OF {Win32_LogicalDisk.DeviceID='C:'} WHERE ResultClass = Win32_DiskPartition";

// --- The answer for each kind of disk -----------------------------------------------------

struct StyleCase {
  const char* name;
  Types types;
  const char* style;
  int typesRead;  // the walk stops at the first GPT partition
};

class PartitionStyleAnswer : public ::testing::TestWithParam<StyleCase> {};

TEST_P(PartitionStyleAnswer, FollowsThePartitionTypes) {
  const StyleCase& c = GetParam();
  FakeWmiApi wmi;
  wmi.disks["C:"] = FakeWmiDisk{c.types, {}};
  EXPECT_EQ(QueryPartitionStyle(wmi, "c"), c.style);
  EXPECT_EQ(DiskDeviceIdOf("c"), "C:");
  EXPECT_EQ(wmi.typesRead, c.typesRead);
  EXPECT_EQ(wmi.liveObjects, 0);

  // The batch gives the drive the same answer, beside disks of every other kind.
  FakeWmiApi all;
  all.disks["C:"] = FakeWmiDisk{c.types, {}};
  all.disks["D:"] = FakeWmiDisk{{"GPT: Basic Data"}, {}};
  all.disks["E:"] = FakeWmiDisk{{}, {}};
  const PartitionStyles styles = QueryPartitionStyles(all);
  EXPECT_EQ(styles[2], c.style);
  EXPECT_EQ(styles[3], "GPT");
  EXPECT_EQ(styles[4], "RAW");
  EXPECT_EQ(styles[5], "Unknown");  // not a logical disk the service knows
  EXPECT_EQ(all.locatorsCreated, 1);
  EXPECT_EQ(all.apartmentsLeft, 1);
  EXPECT_EQ(all.liveObjectsWhenLeaving, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Types, PartitionStyleAnswer,
    ::testing::Values(
        StyleCase{"NoPartitionIsRaw", {}, "RAW", 0},
        StyleCase{"FileSystemNameIsMbr", {"NTFS"}, "MBR", 1},
        StyleCase{"InstallableFileSystemIsMbr", {"Installable File System"}, "MBR", 1},
        StyleCase{"SeveralOtherTypesAreMbr", {"Unknown", "Extended w/Extended Int 13", "FAT32"}, "MBR", 3},
        StyleCase{"GptBasicData", {"GPT: Basic Data"}, "GPT", 1},
        StyleCase{"GptAlone", {"GPT"}, "GPT", 1},
        StyleCase{"GptLowerCase", {"gpt: system"}, "GPT", 1},
        StyleCase{"GptAfterSpaces", {"   GPT: Basic Data  "}, "GPT", 1},
        StyleCase{"TwoCharactersNeverGpt", {"GP"}, "MBR", 1},
        StyleCase{"TwoCharactersAfterTrimNeverGpt", {"  GP  "}, "MBR", 1},
        StyleCase{"EmptyType", {""}, "MBR", 1},
        StyleCase{"TabIsNotTrimmed", {"\tGPT: Basic Data"}, "MBR", 1},
        StyleCase{"GptInsideIsNotAPrefix", {"Basic GPT"}, "MBR", 1},
        StyleCase{"GptAfterOthersEndsTheWalk", {"NTFS", "GPT: Basic Data", "GPT: System", "NTFS"}, "GPT", 2},
        StyleCase{"OtherAfterGptIsNotRead", {"GPT: System", "Installable File System"}, "GPT", 1},
        StyleCase{"TypeNotTextIsNotGpt", {std::nullopt}, "MBR", 1},
        StyleCase{"TypeNotTextBesideGpt", {std::nullopt, "GPT: Basic Data"}, "GPT", 2},
        StyleCase{"NonAsciiType", {"Раздел GPT"}, "MBR", 1}),
    [](const auto& p) { return std::string(p.param.name); });

// --- The letter given -----------------------------------------------------------------------

struct LetterCase {
  const char* name;
  std::string letter;
  const char* style;
  std::string diskDeviceId;
  bool asksService;
};

class PartitionStyleLetter : public ::testing::TestWithParam<LetterCase> {};

TEST_P(PartitionStyleLetter, OnlyASingleLetterIsAsked) {
  const LetterCase& c = GetParam();
  FakeWmiApi wmi;
  for (char l = 'A'; l <= 'Z'; ++l) wmi.disks[std::string(1, l) + ":"] = FakeWmiDisk{{"NTFS"}, {}};
  EXPECT_EQ(QueryPartitionStyle(wmi, c.letter), c.style);
  EXPECT_EQ(DiskDeviceIdOf(c.letter), c.diskDeviceId);
  EXPECT_EQ(wmi.locatorsCreated, c.asksService ? 1 : 0);
  EXPECT_EQ(wmi.liveObjects, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Letters, PartitionStyleLetter,
    ::testing::Values(LetterCase{"LowerCase", "c", "MBR", "C:", true},
                      LetterCase{"UpperCase", "C", "MBR", "C:", true},
                      LetterCase{"FirstLetter", "a", "MBR", "A:", true},
                      LetterCase{"LastLetter", "z", "MBR", "Z:", true},
                      LetterCase{"SpacesAround", "  d ", "MBR", "D:", true},
                      LetterCase{"Empty", "", "Unknown", "", false},
                      LetterCase{"OnlySpaces", "   ", "Unknown", "", false},
                      LetterCase{"TwoLetters", "cd", "Unknown", "CD", false},
                      LetterCase{"SpacesInside", "c d", "Unknown", "CD", false},
                      LetterCase{"WithColon", "c:", "Unknown", "C:", false},
                      LetterCase{"RootPath", "c:\\", "Unknown", "C:\\", false},
                      LetterCase{"Digit", "1", "Unknown", "1", false},
                      LetterCase{"BeforeA", "@", "Unknown", "@", false},
                      LetterCase{"AfterZ", "[", "Unknown", "[", false},
                      LetterCase{"AfterLowerZ", "{", "Unknown", "{", false},
                      LetterCase{"Tab", "\t", "Unknown", "\t", false},
                      LetterCase{"Nul", std::string(1, '\0'), "Unknown", std::string(1, '\0'), false},
                      LetterCase{"LatinNotAscii", "é", "Unknown", "É", false},
                      LetterCase{"Cyrillic", "с", "Unknown", "С", false}),
    [](const auto& p) { return std::string(p.param.name); });

// --- Every failure point ----------------------------------------------------------------------

struct FaultCase {
  const char* name;
  Types types;
  std::function<void(FakeWmiApi&)> fault;
  const char* style;
  // How far the query got: connections, object paths and queries sent.
  std::size_t connects, objectPaths, queries;
};

class PartitionStyleFault : public ::testing::TestWithParam<FaultCase> {};

TEST_P(PartitionStyleFault, GivesTheAnswerAndReleasesEverything) {
  const FaultCase& c = GetParam();
  FakeWmiApi wmi;
  wmi.disks["C:"] = FakeWmiDisk{c.types, {}};
  c.fault(wmi);
  EXPECT_EQ(QueryPartitionStyle(wmi, "c"), c.style);
  EXPECT_EQ(DiskDeviceIdOf("c"), "C:");
  EXPECT_EQ(wmi.connects.size(), c.connects);
  EXPECT_EQ(wmi.objectPaths.size(), c.objectPaths);
  EXPECT_EQ(wmi.queries.size(), c.queries);
  EXPECT_EQ(wmi.liveObjects, 0);

  // The batch meets the same faults in its own two walks and its question about a letter in no
  // link. It never asks for a linked letter's object, and a fault's count runs over both walks,
  // hence three other answers.
  const std::map<std::string, std::string> batchDiffers{
      {"GetFails", "MBR"}, {"LogicalDiskMissing", "MBR"}, {"FailureAfterGptIsNeverReached", "Unknown"}};
  FakeWmiApi all;
  all.disks["C:"] = FakeWmiDisk{c.types, {}};
  c.fault(all);
  const auto differs = batchDiffers.find(c.name);
  EXPECT_EQ(QueryPartitionStyles(all)[2], differs == batchDiffers.end() ? c.style : differs->second);
  EXPECT_EQ(all.liveObjects, 0);
  EXPECT_EQ(all.liveObjectsWhenLeaving, 0);
}

// A fault spoils only the letters it concerns. The log shows each letter's style as it is
// delivered and each letter asked about alone ("?D"): the linked letters are delivered before
// any such question, so one that hangs holds up nobody before it.
struct BatchFaultCase {
  const char* name;
  std::function<void(FakeWmiApi&)> fault;
  std::size_t queries;  ///< sent before the batch gave up
  std::string log;
};

class PartitionStyleBatchFault : public ::testing::TestWithParam<BatchFaultCase> {};

TEST_P(PartitionStyleBatchFault, SpoilsOnlyTheLettersItConcerns) {
  const BatchFaultCase& c = GetParam();
  FakeWmiApi wmi;
  wmi.disks["C:"] = FakeWmiDisk{{"GPT: System"}, {}};
  wmi.disks["D:"] = FakeWmiDisk{{}, {}};
  wmi.disks["E:"] = FakeWmiDisk{{"NTFS"}, {}};
  c.fault(wmi);
  std::string log;
  wmi.onAsk = [&, faultAsk = wmi.onAsk](const std::string& path) {
    if (faultAsk) faultAsk(path);
    if (path.starts_with("Win32_LogicalDisk.")) log += "?" + path.substr(path.size() - 3, 1) + " ";
  };
  PartitionLetters letters{};
  letters[2] = letters[3] = letters[4] = letters[5] = true;
  QueryPartitionStyles(wmi, letters, [&](std::size_t index, const std::string& style) {
    log += std::string(1, static_cast<char>('A' + index)) + "=" + style + " ";
  });
  EXPECT_EQ(log, c.log);
  EXPECT_EQ(wmi.queries.size(), c.queries);
  EXPECT_EQ(wmi.liveObjects, 0);
  EXPECT_EQ(wmi.liveObjectsWhenLeaving, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, PartitionStyleBatchFault,
    ::testing::Values(
        BatchFaultCase{"ApartmentRefused", [](FakeWmiApi& w) { w.apartmentFails = true; }, 0,
                       "C=Unknown D=Unknown E=Unknown F=Unknown "},
        BatchFaultCase{"NoFault", [](FakeWmiApi&) {}, 2, "C=GPT E=MBR ?D D=RAW ?F F=Unknown "},
        BatchFaultCase{"OneLetterFails", [](FakeWmiApi& w) { w.failingGetId = "D:"; }, 2,
                       "C=GPT E=MBR ?D D=Unknown ?F F=Unknown "},
        BatchFaultCase{"OneLetterTimesOut", [](FakeWmiApi& w) {
          w.onWait = [](const std::string& p) { return p.ends_with("D:'") ? testing::kFakeWaitTimedOut : kWmiOk; };
        }, 2, "C=GPT E=MBR ?D D=Unknown ?F F=Unknown "},
        // While this batch awaits D:, the next report's batch runs on another thread: D: is
        // answered only when that batch has delivered its linked C: meanwhile.
        BatchFaultCase{"StuckLetterLetsTheNextBatchThrough", [](FakeWmiApi& w) {
          auto next = std::make_shared<std::future<std::string>>();
          w.onWait = [next](const std::string& p) {
            if (!p.ends_with("D:'")) return kWmiOk;
            *next = std::async(std::launch::async, [] {
              FakeWmiApi other;
              other.disks["C:"] = FakeWmiDisk{{"GPT: System"}, {}};
              return QueryPartitionStyles(other)[2];
            });
            const bool in = next->wait_for(std::chrono::seconds(10)) == std::future_status::ready;
            return in && next->get() == "GPT" ? kWmiOk : testing::kFakeWaitTimedOut;
          };
        }, 2, "C=GPT E=MBR ?D D=RAW ?F F=Unknown "},
        // Another report's batch started while this one walks waits for it: were it let in, this
        // batch's partition walk would fail.
        BatchFaultCase{"NoOtherBatchDuringTheWalks", [](FakeWmiApi& w) {
          auto other = std::make_shared<std::future<std::string>>();
          w.onAsk = [other, &w](const std::string& p) {
            if (p.find("Win32_LogicalDiskToPartition") == std::string::npos) return;
            *other = std::async(std::launch::async, [] {
              FakeWmiApi second;
              return QueryPartitionStyles(second)[2];
            });
            if (other->wait_for(std::chrono::milliseconds(200)) == std::future_status::ready)
              w.failingQueryClass = "Win32_DiskPartition";
          };
        }, 2, "C=GPT E=MBR ?D D=RAW ?F F=Unknown "},
        BatchFaultCase{"OneLetterNotText", [](FakeWmiApi& w) { w.disks["D:"].deviceId = std::optional<std::string>(); },
                       2, "C=GPT E=MBR ?D D=Unknown ?F F=Unknown "},
        BatchFaultCase{"LinkQueryFails",
                       [](FakeWmiApi& w) { w.failingQueryClass = "Win32_LogicalDiskToPartition"; }, 1,
                       "C=Unknown D=Unknown E=Unknown F=Unknown "},
        BatchFaultCase{"PartitionQueryFails", [](FakeWmiApi& w) { w.failingQueryClass = "Win32_DiskPartition"; }, 2,
                       "C=Unknown D=Unknown E=Unknown F=Unknown "}),
    [](const auto& p) { return std::string(p.param.name); });

// Only a letter in no link is asked about alone; the answers are the same either way, and
// letters not asked are "Unknown".
struct LinkedCase {
  const char* name;
  std::string asked;  ///< letters
  std::vector<std::string> objectPaths;
  std::map<char, std::string> styles;
};

class PartitionStyleLetters : public ::testing::TestWithParam<LinkedCase> {};

TEST_P(PartitionStyleLetters, AskTheLogicalDiskOnlyForALetterInNoLink) {
  const LinkedCase& c = GetParam();
  FakeWmiApi wmi;
  wmi.disks["C:"] = FakeWmiDisk{{"GPT: System"}, {}};
  wmi.disks["D:"] = FakeWmiDisk{{"NTFS"}, {}};
  wmi.disks["E:"] = FakeWmiDisk{{}, {}};
  PartitionLetters letters{};
  for (char letter : c.asked) letters[static_cast<std::size_t>(letter - 'A')] = true;
  const PartitionStyles styles = QueryPartitionStyles(wmi, letters);
  EXPECT_EQ(wmi.queries.size(), 2u);
  EXPECT_EQ(wmi.objectPaths, c.objectPaths);
  for (std::size_t index = 0; index < styles.size(); ++index) {
    const auto expected = c.styles.find(static_cast<char>('A' + index));
    EXPECT_EQ(styles[index], expected == c.styles.end() ? "Unknown" : expected->second) << index;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Letters, PartitionStyleLetters,
    ::testing::Values(LinkedCase{"AllLinked", "CD", {}, {{'C', "GPT"}, {'D', "MBR"}}},
                      LinkedCase{"OneWithoutPartitions", "CE", {"Win32_LogicalDisk.DeviceID='E:'"},
                                 {{'C', "GPT"}, {'E', "RAW"}}},
                      LinkedCase{"OneUnknownToTheService", "DF", {"Win32_LogicalDisk.DeviceID='F:'"}, {{'D', "MBR"}}}),
    [](const auto& p) { return std::string(p.param.name); });

struct PathCase {
  const char* path;
  const char* className;
  std::optional<std::string> deviceId;
};

class ObjectPath : public ::testing::TestWithParam<PathCase> {};

TEST_P(ObjectPath, GivesTheDeviceIdOfTheNamedClassOnly) {
  EXPECT_EQ(DeviceIdOfPath(GetParam().path, GetParam().className), GetParam().deviceId) << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ObjectPath,
    ::testing::Values(
        PathCase{R"(\\HOST\root\cimv2:Win32_LogicalDisk.DeviceID="C:")", "Win32_LogicalDisk", "C:"},
        PathCase{R"(\\HOST\ROOT\CIMV2:WIN32_LOGICALDISK.DEVICEID="c:")", "Win32_LogicalDisk", "c:"},
        PathCase{R"(Win32_LogicalDisk.DeviceID="D:")", "Win32_LogicalDisk", "D:"},
        PathCase{R"(Win32_LogicalDisk.DeviceID='E:')", "Win32_LogicalDisk", "E:"},
        PathCase{R"(\\H\root\cimv2:Win32_DiskPartition.DeviceID="Disk #0, Partition #1")", "Win32_DiskPartition",
                 "Disk #0, Partition #1"},
        PathCase{R"(\\H\root\cimv2:Win32_DiskPartition.DeviceID="A \"quoted\" \\ name")", "Win32_DiskPartition",
                 R"(A "quoted" \ name)"},
        PathCase{R"(\\H\root\cimv2:Win32_LogicalDisk.DeviceID="C:")", "Win32_DiskPartition", std::nullopt},
        PathCase{R"(\\H\root\cimv2:Win32_LogicalDiskX.DeviceID="C:")", "Win32_LogicalDisk", std::nullopt},
        PathCase{R"(\\H\root\cimv2:Win32_LogicalDisk.Name="C:")", "Win32_LogicalDisk", std::nullopt},
        PathCase{R"(\\H\root\cimv2:Win32_LogicalDisk.DeviceID="C:)", "Win32_LogicalDisk", std::nullopt},
        PathCase{R"(\\H\root\cimv2:Win32_LogicalDisk.DeviceID="C:"x)", "Win32_LogicalDisk", std::nullopt},
        PathCase{R"(\\H\root\cimv2:Win32_LogicalDisk.DeviceID=C:)", "Win32_LogicalDisk", std::nullopt},
        PathCase{"", "Win32_LogicalDisk", std::nullopt}));

INSTANTIATE_TEST_SUITE_P(
    Faults, PartitionStyleFault,
    ::testing::Values(
        FaultCase{"LocatorNotCreated", {"NTFS"}, [](FakeWmiApi& w) { w.createFails = true; }, "Unknown", 0, 0, 0},
        FaultCase{"LocatorMissing", {"NTFS"}, [](FakeWmiApi& w) { w.hollowLocator = true; }, "Unknown", 0, 0, 0},
        FaultCase{"ConnectionRefused", {"NTFS"}, [](FakeWmiApi& w) { w.connectFails = true; }, "Unknown", 1, 0, 0},
        FaultCase{"ServicesMissing", {"NTFS"}, [](FakeWmiApi& w) { w.hollowServices = true; }, "Unknown", 1, 0, 0},
        FaultCase{"GetFails", {"NTFS"}, [](FakeWmiApi& w) { w.getFails = true; }, "Unknown", 1, 1, 0},
        FaultCase{"LogicalDiskUnknownToService", {"NTFS"}, [](FakeWmiApi& w) { w.disks.clear(); }, "Unknown", 1, 1, 0},
        FaultCase{"LogicalDiskMissing", {"NTFS"}, [](FakeWmiApi& w) { w.hollowObject = true; }, "Unknown", 1, 1, 0},
        FaultCase{"DeviceIdUnreadable", {"NTFS"}, [](FakeWmiApi& w) { w.deviceIdFails = true; }, "Unknown", 1, 1, 0},
        FaultCase{"DeviceIdNotText", {"NTFS"},
                  [](FakeWmiApi& w) { w.disks["C:"].deviceId = std::optional<std::string>(); }, "Unknown", 1, 1, 0},
        FaultCase{"ExecQueryFails", {"NTFS"}, [](FakeWmiApi& w) { w.execQueryFails = true; }, "Unknown", 1, 1, 1},
        FaultCase{"WalkMissing", {"NTFS"}, [](FakeWmiApi& w) { w.hollowWalk = true; }, "Unknown", 1, 1, 1},
        FaultCase{"WalkCannotStartOnEmptyDisk", {}, [](FakeWmiApi& w) { w.nextFails = true; }, "Unknown", 1, 1, 1},
        FaultCase{"WalkCannotStart", {"NTFS"}, [](FakeWmiApi& w) { w.nextFails = true; }, "Unknown", 1, 1, 1},
        FaultCase{"WalkFailsAfterAPartition", {"NTFS", "NTFS"},
                  [](FakeWmiApi& w) { w.nextFailsAt = 1; }, "Unknown", 1, 1, 1},
        FaultCase{"WalkFailsInsteadOfEnding", {"NTFS"}, [](FakeWmiApi& w) { w.nextFailsAt = 1; }, "Unknown", 1, 1, 1},
        FaultCase{"WalkTimesOut", {"NTFS"},
                  [](FakeWmiApi& w) {
                    w.nextFailsAt = 0;
                    w.nextAnswer = testing::kFakeTimedOut;
                  },
                  "Unknown", 1, 1, 1},
        FaultCase{"WalkTimesOutAfterAPartition", {"NTFS", "NTFS"},
                  [](FakeWmiApi& w) {
                    w.nextFailsAt = 1;
                    w.nextAnswer = testing::kFakeTimedOut;
                  },
                  "Unknown", 1, 1, 1},
        FaultCase{"WalkGivesNoItem", {"NTFS"}, [](FakeWmiApi& w) { w.hollowItem = true; }, "Unknown", 1, 1, 1},
        FaultCase{"TypeUnreadable", {"NTFS"}, [](FakeWmiApi& w) { w.typeFails = true; }, "Unknown", 1, 1, 1},
        FaultCase{"TypeUnreadableOnLastPartition", {"NTFS", "NTFS"},
                  [](FakeWmiApi& w) { w.typeFailsAt = 1; }, "Unknown", 1, 1, 1},
        FaultCase{"FailureAfterGptIsNeverReached", {"GPT: System", "NTFS"},
                  [](FakeWmiApi& w) {
                    w.typeFailsAt = 1;
                    w.nextFailsAt = 2;
                  },
                  "GPT", 1, 1, 1},
        FaultCase{"NoFault", {"NTFS"}, [](FakeWmiApi&) {}, "MBR", 1, 1, 1}),
    [](const auto& p) { return std::string(p.param.name); });

// --- The texts sent to the service ------------------------------------------------------------

struct TextCase {
  const char* letter;
  const char* objectPath;
  const char* query;
};

class PartitionStyleTexts : public ::testing::TestWithParam<TextCase> {};

TEST_P(PartitionStyleTexts, AreExact) {
  const TextCase& c = GetParam();
  FakeWmiApi wmi;
  for (char l = 'A'; l <= 'Z'; ++l) wmi.disks[std::string(1, l) + ":"] = FakeWmiDisk{{"NTFS"}, {}};
  QueryPartitionStyle(wmi, c.letter);
  EXPECT_EQ(wmi.connects, std::vector<std::string>{".|root\\CIMV2"});
  EXPECT_EQ(wmi.objectPaths, std::vector<std::string>{c.objectPath});
  EXPECT_EQ(wmi.queries, std::vector<std::string>{c.query});
}

INSTANTIATE_TEST_SUITE_P(
    Letters, PartitionStyleTexts,
    ::testing::Values(
        TextCase{"c", "Win32_LogicalDisk.DeviceID='C:'", kQueryC},
        TextCase{"a", "Win32_LogicalDisk.DeviceID='A:'",
                 "ASSOCIATORS OF {Win32_LogicalDisk.DeviceID='A:'} WHERE ResultClass = Win32_DiskPartition"},
        TextCase{"Z", "Win32_LogicalDisk.DeviceID='Z:'",
                 "ASSOCIATORS OF {Win32_LogicalDisk.DeviceID='Z:'} WHERE ResultClass = Win32_DiskPartition"}));

TEST(PartitionStyleDeviceId, QueryNamesTheDeviceIdTheServiceGave) {
  FakeWmiApi wmi;
  wmi.disks["C:"] = FakeWmiDisk{{"GPT: Basic Data"}, std::optional<std::string>("c:")};
  const std::string style = QueryPartitionStyle(wmi, "c");
  EXPECT_EQ(wmi.objectPaths, std::vector<std::string>{"Win32_LogicalDisk.DeviceID='C:'"});
  EXPECT_EQ(wmi.queries, std::vector<std::string>{
                             "ASSOCIATORS OF {Win32_LogicalDisk.DeviceID='c:'} WHERE ResultClass = Win32_DiskPartition"});
  EXPECT_EQ(style, "GPT");
}

// --- Nothing survives between drives ----------------------------------------------------------

TEST(PartitionStyleSequence, EachDriveIsAskedAfresh) {
  struct Step {
    const char* letter;
    std::function<void(FakeWmiApi&)> fault;
    const char* style;
  };
  const std::vector<Step> steps = {
      {"c", [](FakeWmiApi&) {}, "GPT"},
      {"d", [](FakeWmiApi& w) { w.connectFails = true; }, "Unknown"},
      {"e", [](FakeWmiApi&) {}, "RAW"},
      {"f", [](FakeWmiApi& w) { w.nextFailsAt = static_cast<std::size_t>(w.nextCalls) + 1; }, "Unknown"},
      {"c", [](FakeWmiApi&) {}, "GPT"},
      {"g", [](FakeWmiApi& w) { w.execQueryFails = true; }, "Unknown"},
      {"f", [](FakeWmiApi&) {}, "MBR"},
      {"?", [](FakeWmiApi&) {}, "Unknown"},
      {"e", [](FakeWmiApi& w) { w.createFails = true; }, "Unknown"},
      {"f", [](FakeWmiApi&) {}, "MBR"},
  };
  FakeWmiApi wmi;
  wmi.disks["C:"] = FakeWmiDisk{{"GPT: System", "GPT: Basic Data"}, {}};
  wmi.disks["D:"] = FakeWmiDisk{{"NTFS"}, {}};
  wmi.disks["E:"] = FakeWmiDisk{{}, {}};
  wmi.disks["F:"] = FakeWmiDisk{{"NTFS", "FAT32"}, {}};
  wmi.disks["G:"] = FakeWmiDisk{{"NTFS"}, {}};
  int expectedLocators = 0;
  for (std::size_t i = 0; i < steps.size(); ++i) {
    SCOPED_TRACE(i);
    // The faults apply to this step only.
    wmi.createFails = wmi.connectFails = wmi.execQueryFails = false;
    wmi.nextFailsAt = testing::kNever;
    steps[i].fault(wmi);
    const int before = wmi.locatorsCreated;
    EXPECT_EQ(QueryPartitionStyle(wmi, steps[i].letter), steps[i].style);
    EXPECT_EQ(wmi.liveObjects, 0);
    const bool asks = std::string(steps[i].letter) != "?" && !wmi.createFails;
    EXPECT_EQ(wmi.locatorsCreated - before, asks ? 1 : 0);  // a new locator for every drive
    expectedLocators += asks ? 1 : 0;
  }
  EXPECT_EQ(wmi.locatorsCreated, expectedLocators);
}

TEST(PartitionStyleSequence, ItemsAreReleasedAsTheWalkGoes) {
  FakeWmiApi wmi;
  wmi.disks["C:"] = FakeWmiDisk{Types(200, std::optional<std::string>("NTFS")), {}};
  EXPECT_EQ(QueryPartitionStyle(wmi, "c"), "MBR");
  EXPECT_EQ(wmi.typesRead, 200);
  // Services, walk and one item at a time, whatever the number of partitions.
  EXPECT_LE(wmi.peakLiveObjects, 3);
  EXPECT_EQ(wmi.liveObjects, 0);
}

}  // namespace
}  // namespace tarnvik
