// A report as a value: its drives collected in order, and a JSON document made from it alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "fakes/fake_disk_api.h"
#include "fakes/fake_drive_api.h"
#include "fakes/fake_wmi_api.h"
#include "report/report_csv.h"
#include "report/report_json.h"
#include "report/report_queries.h"
#include "ui/toolkit/headless_toolkit.h"

namespace tarnvik {
namespace {

TEST(CollectDrives, TakesTheDrivesInOrderOneCallEachAndStopsWhenTold) {
  struct Case {
    const char* name;
    std::vector<std::size_t> runFirst;  ///< held workers (C, D, E at first) run before collecting
    int stopAtWait;                     ///< the wait that says stop (from 1); 0 for none
    char stopAtArrival;                 ///< the drive whose arrival says stop; 0 for none
    std::string collected;
  };
  const std::vector<Case> cases = {
      {"in order", {}, 0, 0, "CDE"},
      {"a late drive still comes in its place", {2, 0}, 0, 0, "CDE"},  // E and C first: D is late
      {"a stop while waiting keeps the drives before it", {}, 2, 0, "C"},
      {"a stop on an arrival keeps that drive and those before it", {2, 0, 0}, 0, 'D', "CD"},
  };
  for (const Case& c : cases) {
    testing::FakeDriveApi drive;
    testing::FakeWmiApi wmi;
    toolkit::HeadlessToolkit workers;
    workers.holdBackgroundWork = true;
    LetterSet letters{};
    for (const char letter : std::string("cde")) drive.drives[letter] = {}, letters[letter - 'a'] = true;
    const auto queries = ReportQueries::Start(workers, drive, wmi, letters, false);
    for (const std::size_t index : c.runFirst) workers.RunBackgroundWork(index);
    Report report;
    int waits = 0;
    std::string arrivals;
    const auto wait = [&] { return ++waits != c.stopAtWait && (workers.RunBackgroundWork(0), true); };
    const auto arrived = [&](const Report& sofar) {
      arrivals += static_cast<char>('A' + sofar.drives.back().index);
      return arrivals.back() != c.stopAtArrival;
    };
    const bool complete = CollectDrives(*queries, report, wait, arrived);
    std::string collected;
    for (const ReportedDrive& d : report.drives) collected += static_cast<char>('A' + d.index);
    EXPECT_EQ(collected, c.collected) << c.name;
    EXPECT_EQ(arrivals, c.collected) << c.name << ": one call per drive, as it arrives";
    EXPECT_EQ(complete, c.collected == "CDE" && c.stopAtArrival == 0) << c.name;
  }
}

TEST(ReportQueries, AsksTheDiskOnlyAfterTheDriveHasAskedThePartitionStyles) {
  // A disk that hangs must hold up no batch: the drive's worker runs the batch before its disk.
  struct Disk : testing::FakeDiskApi {
    const testing::FakeWmiApi* wmi = nullptr;
    int batchesDoneAtOpen = -1;
    DeviceHandle CreateFileW(const std::string& path, uint32_t access, uint32_t* lastError) override {
      batchesDoneAtOpen = wmi->apartmentsLeft;
      return FakeDiskApi::CreateFileW(path, access, lastError);
    }
  } disk;
  testing::FakeDriveApi drive;
  testing::FakeWmiApi wmi;
  toolkit::HeadlessToolkit workers;
  workers.holdBackgroundWork = true;
  disk.wmi = &wmi;
  drive.drives['c'] = {};
  LetterSet letters{};
  letters[2] = true;
  const auto queries = ReportQueries::Start(workers, drive, wmi, letters, true, DiskQuestions{disk, {6, 1}});
  workers.RunBackgroundWork(0);
  EXPECT_EQ(disk.calls.front(), "open \\\\.\\C:");
  EXPECT_EQ(disk.batchesDoneAtOpen, 1);
}

// Letters as "c3:0" (letter, drive type, the disks its volume lies on); disk N calls itself "MN".
TEST(ReportQueries, EachDiskIsAskedOnceForEveryLetterOnItWithinItsDeadline) {
  const struct {
    const char* name;
    std::vector<std::string> letters;
    std::string disks;  ///< each letter's disk numbers and model, or "-"
    std::size_t volumeOpens, diskOpens;
    int hungDisk = -1;  ///< its descriptor question outlasts the deadline
    bool noEvents = false;
  } cases[] = {
      {"two letters on one disk ask it once", {"c3:0", "d3:0", "e2:1"}, "0 M0,0 M0,1 M1,", 3, 2},
      {"a spanned volume takes its first disk's facts", {"c3:1,0", "d3:0"}, "1 0 M1,0 M0,", 2, 2},
      {"optical, network, RAM-disk, rootless letters open nothing", {"c3:0", "d5:0", "e4:0", "f6:0", "g1:0"},
       "0 M0,-,-,-,-,", 1, 1},
      {"a disk that never answers leaves its letters null, the rest whole", {"c3:0", "d3:0", "e3:1"}, "-,-,1 M1,", 3,
       2, 0},
      {"no event for a deadline: nothing asked", {"c3:0"}, "-,", 0, 0, -1, true},
  };
  for (const auto& c : cases) {
    testing::FakeDriveApi drive;
    testing::FakeWmiApi wmi;
    testing::FakeDiskApi disk;
    toolkit::HeadlessToolkit workers;
    LetterSet letters{};
    for (const std::string& l : c.letters) {
      letters[l[0] - 'a'] = true, drive.drives[l[0]].type = static_cast<uint32_t>(l[1] - '0');
      std::vector<unsigned char> extents(8 + 24 * (l.size() - 2) / 2);
      extents[0] = static_cast<unsigned char>((l.size() - 2) / 2);
      for (std::size_t i = 0; 3 + 2 * i < l.size(); ++i)
        extents[8 + 24 * i] = static_cast<unsigned char>(l[3 + 2 * i] - '0');
      disk.answers[{std::string("\\\\.\\") + static_cast<char>(l[0] - 32) + ":", ioctl::kVolumeGetVolumeDiskExtents,
                    ~0u}] = {extents, 0, ioctl::kErrorMoreData};
    }
    for (const char n : std::string("01")) {
      std::vector<unsigned char> descriptor(40);
      descriptor[16] = 40, descriptor.insert(descriptor.end(), {'M', static_cast<unsigned char>(n), 0});
      disk.answers[{std::string("\\\\.\\PhysicalDrive") + n, ioctl::kStorageQueryProperty, 0}] = {descriptor};
    }
    disk.eventsFail = c.noEvents;
    bool hung = false;  // the deadline passes (its worker, the newest, runs) while the descriptor is asked
    disk.onIo = [&](const std::string& call) {
      if (call == "io \\\\.\\PhysicalDrive" + std::to_string(c.hungDisk) + " 2954240 0" && !std::exchange(hung, true))
        workers.RunBackgroundWork(workers.backgroundWork.size() - 1);
    };
    const auto queries = ReportQueries::Start(workers, drive, wmi, letters, false, DiskQuestions{disk, {10, 0}});
    Report report;
    CollectDrives(*queries, report, [&] { return workers.WaitEvents(), true; }, [](const Report&) { return true; });
    while (!workers.backgroundWork.empty()) workers.RunBackgroundWork(0);  // the deadlines left
    std::string disks;
    for (const ReportedDrive& d : report.drives) {
      for (const uint32_t n : d.facts.disk.value_or(DiskFacts{}).numbers) disks += std::to_string(n) + " ";
      disks += (d.facts.disk ? d.facts.disk->model : "-") + ",";
    }
    EXPECT_EQ(disks, c.disks) << c.name;
    const auto opens = [&](const std::string& prefix, std::size_t size) {
      return std::count_if(disk.calls.begin(), disk.calls.end(),
                           [&](const std::string& call) { return call.starts_with(prefix) && call.size() >= size; });
    };
    EXPECT_EQ(opens("open \\\\.\\", 11) - opens("open \\\\.\\P", 0), static_cast<long>(c.volumeOpens)) << c.name;
    EXPECT_EQ(opens("open \\\\.\\P", 0), static_cast<long>(c.diskOpens)) << c.name;
    EXPECT_TRUE(disk.open.empty()) << c.name << ": every device and event closed";
  }
}

TEST(ReportJson, MadeBeforeAnyTextCarriesTheCounts) {
  ReportedDrive sized{2, {}};
  sized.facts.answers.space = {1, 0, true};
  const std::string json = ReportJson(Report{true, {sized, ReportedDrive{3, {}}, sized}}, {});
  EXPECT_NE(json.find("\"driveCount\": 3,\r\n  \"sizedDriveCount\": 2\r\n}"), std::string::npos) << json;
}

// One drive with a whole disk and a label a sheet must keep in one field, and one without a disk.
struct Documents {
  Report report{false, {{2, {}}, {25, {}}}};
  ReportOrigin origin{{"DESK-7", {}, "2026-12-09T18:55:12Z", "x64"}, {10, 0, 19045, ""}};
  Documents() {
    DriveReportFacts& c = report.drives[0].facts;
    c.answers.volumeAnswered = true, c.answers.fileSystem = "NTFS", c.answers.label = "say \"hi\", then\r\n\xD0\x94\xD0\x98\xD0\xA1\xD0\x9A";
    c.answers.space = {500107862016, 0, true};
    c.disk = DiskFacts{{0, 1}, "ATA", "Samsung SSD", "1B6Q", "S3Z9", 0x2A, false, true, {}, 500107862016, false};
  }
};

TEST(ReportJson, NestsTheDiskOrSaysNull) {
  const Documents d;
  const std::string json = ReportJson(d.report, d.origin);
  EXPECT_NE(json.find("\"partitionStyle\": null,\r\n      \"disk\": {\r\n        \"numbers\": [0, 1],\r\n"
                      "        \"vendor\": \"ATA\",\r\n        \"model\": \"Samsung SSD\",\r\n        \"revision\": \"1B6Q\",\r\n"
                      "        \"serial\": \"S3Z9\",\r\n        \"busType\": 42,\r\n        \"removable\": false,\r\n"
                      "        \"ssd\": true,\r\n        \"trim\": null,\r\n        \"sizeBytes\": 500107862016,\r\n"
                      "        \"failurePredicted\": false\r\n      }\r\n    },"),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("\"partitionStyle\": null,\r\n      \"disk\": null\r\n    }\r\n  ],"), std::string::npos) << json;
}

TEST(ReportCsv, OneQuotedRowPerDriveWithTheMarkOnce) {
  const Documents d;
  const std::string csv = ReportCsv(d.report, d.origin, CsvDelimiter::kComma);
  const std::string header =
      "\xEF\xBB\xBF\"computerName\",\"takenUtc\",\"letter\",\"number\",\"position\",\"serialNumber\",\"serialHex\","
      "\"label\",\"fileSystem\",\"totalBytes\",\"freeBytes\",\"usedBytes\",\"bytesPerSector\",\"sectorsPerCluster\","
      "\"driveType\",\"driveTypeText\",\"partitionStyle\",\"diskNumbers\",\"diskVendor\",\"diskModel\",\"diskRevision\","
      "\"diskSerial\",\"diskBusType\",\"diskRemovable\",\"diskSsd\",\"diskTrim\",\"diskSizeBytes\",\"diskFailurePredicted\"\r\n";
  const std::string c =
      "\"DESK-7\",\"2026-12-09T18:55:12Z\",\"C\",\"1\",\"3\",\"0\",\"00000000\",\"say \"\"hi\"\", then\r\n"
      "\xD0\x94\xD0\x98\xD0\xA1\xD0\x9A\",\"NTFS\",\"500107862016\",\"0\",\"500107862016\",\"\",\"\",\"0\",\"?  (Unknown)\",\"\","
      "\"0 1\",\"ATA\",\"Samsung SSD\",\"1B6Q\",\"S3Z9\",\"42\",\"false\",\"true\",\"\",\"500107862016\",\"false\"\r\n";
  std::string z = "\"DESK-7\",\"2026-12-09T18:55:12Z\",\"Z\",\"2\",\"26\"";
  for (int field = 0; field < 9; ++field) z += ",\"\"";  // serial to cluster figures: null
  z += ",\"0\",\"?  (Unknown)\"";
  for (int field = 0; field < 12; ++field) z += ",\"\"";  // the style and the whole disk: null
  EXPECT_EQ(csv, header + c + z + "\r\n");
  const std::string semicolons = ReportCsv(d.report, d.origin, CsvDelimiter::kSemicolon);
  EXPECT_EQ(std::count(semicolons.begin(), semicolons.end(), ';'), 3 * 27) << semicolons;
}

}  // namespace
}  // namespace tarnvik
