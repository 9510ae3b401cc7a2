// A report as a value: its drives collected in order, and a JSON document made from it alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
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

TEST(ReportJson, MadeBeforeAnyTextCarriesTheCounts) {
  ReportedDrive sized{2, {}};
  sized.facts.answers.space = {1, 0, true};
  const std::string json = ReportJson(Report{true, {sized, ReportedDrive{3, {}}, sized}}, {});
  EXPECT_NE(json.find("\"driveCount\": 3,\r\n  \"sizedDriveCount\": 2\r\n}"), std::string::npos) << json;
}

// One drive with a whole disk, every member filled, and a label a sheet must keep in one field,
// and one without a disk; taken by an administrator.
struct Documents {
  Report report{false, {{2, {}}, {25, {}}}};
  ReportOrigin origin{{"DESK-7", {}, "2026-12-09T18:55:12Z", "x64", true}, {10, 0, 19045, ""}};
  Documents() {
    DriveReportFacts& c = report.drives[0].facts;
    c.answers.volumeAnswered = true, c.answers.fileSystem = "NTFS", c.answers.label = "say \"hi\", then\r\n\xD0\x94\xD0\x98\xD0\xA1\xD0\x9A";
    c.answers.space = {500107862016, 0, true};
    c.disk = DiskFacts{{0, 1}, "ATA", "@Samsung SSD", "1B6Q", "S3Z9", 0x2A, false, true, true, 500107862016, false,
                       DiskHealth{41, 70, 85, 3, 100, 10, 0x22, 512000000, 1536000000, 1234, 5678, 42, 0, 7}};
  }
};

TEST(ReportJson, NestsTheDiskAndItsHealthOrSaysNull) {
  const Documents d;
  const std::string json = ReportJson(d.report, d.origin);
  ::testing::Test::RecordProperty("json", json);  // --gtest_output=xml:FILE shows it
  const std::string compact = std::regex_replace(json, std::regex("\r\n *|(\":) "), "$1");
  EXPECT_NE(compact.find("\"disk\":{\"numbers\":[0, 1],\"vendor\":\"ATA\",\"model\":\"@Samsung SSD\",\"revision\":\"1B6Q\","
                         "\"serial\":\"S3Z9\",\"busType\":42,\"removable\":false,\"ssd\":true,\"trim\":true,"
                         "\"sizeBytes\":500107862016,\"failurePredicted\":false,\"health\":{\"status\":\"warning\","
                         "\"temperatureCelsius\":41,\"warningTemperatureCelsius\":70,\"criticalTemperatureCelsius\":85,"
                         "\"percentageUsed\":3,\"availableSparePercent\":100,\"availableSpareThresholdPercent\":10,"
                         "\"criticalWarnings\":[\"temperatureThreshold\", 5],\"dataReadBytes\":512000000,"
                         "\"dataWrittenBytes\":1536000000,\"powerCycles\":1234,\"powerOnHours\":5678,"
                         "\"unsafeShutdowns\":42,\"mediaErrors\":0,\"errorLogEntries\":7}}},"),
            std::string::npos) << json;
  EXPECT_NE(json.find("\"failurePredicted\": false,\r\n        \"health\": {\r\n          \"status\": "), json.npos);
  EXPECT_NE(json.find("\"partitionStyle\": null,\r\n      \"disk\": null\r\n    }\r\n  ],"), std::string::npos) << json;
  EXPECT_NE(json.find("\"x64\"\r\n  },\r\n  \"elevated\": true,\r\n  \"drives\""), std::string::npos) << json;
}

TEST(ReportCsv, OneQuotedRowPerDriveWithTheMarkOnce) {
  const Documents d;
  const std::string csv = ReportCsv(d.report, d.origin, CsvDelimiter::kComma);
  const std::string header =
      "\xEF\xBB\xBF\"computerName\",\"takenUtc\",\"letter\",\"number\",\"position\",\"serialNumber\",\"serialHex\","
      "\"label\",\"fileSystem\",\"totalBytes\",\"freeBytes\",\"usedBytes\",\"bytesPerSector\",\"sectorsPerCluster\","
      "\"driveType\",\"driveTypeText\",\"partitionStyle\",\"diskNumbers\",\"diskVendor\",\"diskModel\",\"diskRevision\","
      "\"diskSerial\",\"diskBusType\",\"diskRemovable\",\"diskSsd\",\"diskTrim\",\"diskSizeBytes\",\"diskFailurePredicted\","
      "\"diskHealthStatus\",\"diskHealthTemperatureCelsius\",\"diskHealthWarningTemperatureCelsius\","
      "\"diskHealthCriticalTemperatureCelsius\",\"diskHealthPercentageUsed\",\"diskHealthAvailableSparePercent\","
      "\"diskHealthAvailableSpareThresholdPercent\",\"diskHealthCriticalWarnings\",\"diskHealthDataReadBytes\","
      "\"diskHealthDataWrittenBytes\",\"diskHealthPowerCycles\",\"diskHealthPowerOnHours\",\"diskHealthUnsafeShutdowns\","
      "\"diskHealthMediaErrors\",\"diskHealthErrorLogEntries\",\"elevated\"\r\n";
  const std::string c =
      "\"DESK-7\",\"2026-12-09T18:55:12Z\",\"C\",\"1\",\"3\",\"0\",\"00000000\",\"say \"\"hi\"\", then\r\n"
      "\xD0\x94\xD0\x98\xD0\xA1\xD0\x9A\",\"NTFS\",\"500107862016\",\"0\",\"500107862016\",\"\",\"\",\"0\",\"?  (Unknown)\",\"\","
      "\"0 1\",\"ATA\",\"'@Samsung SSD\",\"1B6Q\",\"S3Z9\",\"42\",\"false\",\"true\",\"true\",\"500107862016\",\"false\","
      "\"warning\",\"41\",\"70\",\"85\",\"3\",\"100\",\"10\",\"temperatureThreshold|5\",\"512000000\",\"1536000000\","
      "\"1234\",\"5678\",\"42\",\"0\",\"7\",\"true\"\r\n";
  std::string z = "\"DESK-7\",\"2026-12-09T18:55:12Z\",\"Z\",\"2\",\"26\"";
  for (int field = 0; field < 9; ++field) z += ",\"\"";  // serial to cluster figures: null
  z += ",\"0\",\"?  (Unknown)\"";
  for (int field = 0; field < 27; ++field) z += ",\"\"";  // the style and the whole disk: null
  EXPECT_EQ(csv, header + c + z + ",\"true\"\r\n");
  const std::string semicolons = ReportCsv(d.report, d.origin, CsvDelimiter::kSemicolon);
  EXPECT_EQ(std::count(semicolons.begin(), semicolons.end(), ';'), 3 * 43) << semicolons;
}

}  // namespace
}  // namespace tarnvik
