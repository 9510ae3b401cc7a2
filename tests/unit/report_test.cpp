// A report as a value: its drives collected in order, and a JSON document made from it alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "fakes/fake_disk_api.h"
#include "fakes/fake_drive_api.h"
#include "fakes/fake_volume_api.h"
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

// A letter's partition is asked with its disks, under their deadline: an answer after it is dropped.
TEST(ReportQueries, APartitionThatAnswersAfterTheDeadlineIsDropped) {
  for (const bool late : {false, true}) {
    testing::FakeDriveApi drive;
    testing::FakeWmiApi wmi;
    testing::FakeDiskApi disk;
    testing::FakeVolumeApi volumes;
    toolkit::HeadlessToolkit workers;
    workers.holdBackgroundWork = true, drive.drives['c'] = {};
    disk.answers[{"\\\\.\\C:", ioctl::kDiskGetPartitionInfoEx, ~0u}] = {std::vector<unsigned char>(48)};  // an MBR one
    disk.onIo = [&](const std::string& call) {  // the deadline (0 ms) passes, and its worker runs, at the extents
      if (late && call.ends_with(std::to_string(ioctl::kVolumeGetVolumeDiskExtents) + " 4294967295")) workers.RunBackgroundWork(1);
    };
    const auto queries = ReportQueries::Start(workers, drive, wmi, {false, false, true}, false, {{disk, {10, 0}, 0, &volumes}});
    while (!workers.backgroundWork.empty()) workers.RunBackgroundWork(0);
    EXPECT_EQ(queries->Take(2)->volume->partition.has_value(), !late);
  }
}

TEST(ReportJson, MadeBeforeAnyTextCarriesTheCounts) {
  ReportedDrive sized{2, {}};
  sized.facts.answers.space = {1, 0, true};
  const std::string json = ReportJson(Report{true, {sized, ReportedDrive{3, {}}, sized}}, {});
  EXPECT_NE(json.find("\"driveCount\": 3,\r\n  \"sizedDriveCount\": 2,\r\n  \"volumesWithoutLetter\": []\r\n}"), json.npos);
}

// One drive with a whole disk and volume, every member filled, and a label a sheet must keep in one
// field, a share without a disk, and an EFI partition without a letter; taken by an administrator.
struct Documents {
  Report report{false, {{2, {}}, {25, {}}}};
  ReportOrigin origin{{"DESK-7", {}, "2026-12-09T18:55:12Z", "x64", true}, {10, 0, 19045, ""}};
  Documents() {
    DriveReportFacts& c = report.drives[0].facts;
    c.answers.volumeAnswered = true, c.answers.fileSystem = "NTFS", c.answers.label = "say \"hi\", then\r\n\xD0\x94\xD0\x98\xD0\xA1\xD0\x9A";
    c.answers.space = {500107862016, 0, true};
    c.disk = DiskFacts{{0, 1}, "ATA", "@Samsung SSD", "1B6Q", "S3Z9", 0x2A, false, true, true, 500107862016, false,
                       DiskHealth{41, 70, 85, 3, 100, 10, 0x22, 512000000, 1536000000, 1234, 5678, 42, 0, 7}};
    c.volume = VolumeFacts{"\\\\?\\Volume{5a3c9e11-0000-0000-0000-100000000000}\\", "C:\\\nD:\\System\\\n", 0, false,
                           true, PartitionFacts{1, 1048576, 500106813440, false, "0x07"}, {}, EncryptionFacts{1, 2}};
    report.drives[1].facts.volume = VolumeFacts{.freeBytesForUser = 123, .remotePath = "\\\\files\\home"};
    report.volumesWithoutLetter.push_back({kNoLetter, {}});
    report.volumesWithoutLetter[0].facts.volume = VolumeFacts{
        .guidPath = "\\\\?\\Volume{2e1f8a3c-5b7d-4f90-a1c2-d3e4f5061728}\\", .mountPaths = "",
        .partition = PartitionFacts{1, 1048576, 104857600, true, "{c12a7328-f81f-11d2-ba4b-00a0c93ec93b}"},
        .encryption = EncryptionFacts{3, 6}};  // codes without a name here
  }
};

TEST(ReportJson, NestsTheDiskItsHealthAndTheVolumeOrSaysNull) {
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
                         "\"unsafeShutdowns\":42,\"mediaErrors\":0,\"errorLogEntries\":7}},"),
            std::string::npos) << json;
  EXPECT_NE(json.find("\"failurePredicted\": false,\r\n        \"health\": {\r\n          \"status\": "), json.npos);
  EXPECT_NE(json.find("\"x64\"\r\n  },\r\n  \"elevated\": true,\r\n  \"drives\""), std::string::npos) << json;
  // The volume closes each drive (a share has no volume here, only its free bytes), and the
  // volumes without a letter close the document.
  for (const char* volume :
       {"\"errorLogEntries\":7}},\"volume\":{\"guidPath\":\"\\\\\\\\?\\\\Volume{5a3c9e11-0000-0000-0000-100000000000}\\\\\","
        "\"mountPaths\":[\"C:\\\\\", \"D:\\\\System\\\\\"],\"freeBytesForUser\":0,\"readOnly\":false,\"compressed\":true,"
        "\"partition\":{\"number\":1,\"offsetBytes\":1048576,\"lengthBytes\":500106813440,\"style\":\"MBR\",\"type\":\"0x07\"},"
        "\"remotePath\":null,\"encryption\":{\"protection\":\"on\",\"conversion\":\"encrypting\"}}},",
        "\"disk\":null,\"volume\":{\"guidPath\":null,\"mountPaths\":null,\"freeBytesForUser\":123,\"readOnly\":null,"
        "\"compressed\":null,\"partition\":null,\"remotePath\":\"\\\\\\\\files\\\\home\",\"encryption\":null}}],\"driveCount\":2,"
        "\"sizedDriveCount\":1,\"volumesWithoutLetter\":[{\"letter\":null,\"number\":null,\"position\":null,\"serialNumber\":null,",
        "\"partitionStyle\":null,\"disk\":null,\"volume\":{\"guidPath\":\"\\\\\\\\?\\\\Volume{2e1f8a3c-5b7d-4f90-a1c2-d3e4f5061728}"
        "\\\\\",\"mountPaths\":[],\"freeBytesForUser\":null,", "\"{c12a7328-f81f-11d2-ba4b-00a0c93ec93b}\"},\"remotePath\":null,"
        "\"encryption\":{\"protection\":3,\"conversion\":6}}}]}"})
    EXPECT_NE(compact.find(volume), std::string::npos) << volume;
}

TEST(ReportCsv, OneQuotedRowPerDriveAndVolumeWithTheMarkOnce) {
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
      "\"diskHealthMediaErrors\",\"diskHealthErrorLogEntries\",\"volumeGuidPath\",\"volumeMountPaths\","
      "\"volumeFreeBytesForUser\",\"volumeReadOnly\",\"volumeCompressed\",\"volumePartitionNumber\","
      "\"volumePartitionOffsetBytes\",\"volumePartitionLengthBytes\",\"volumePartitionStyle\",\"volumePartitionType\","
      "\"volumeRemotePath\",\"volumeEncryptionProtection\",\"volumeEncryptionConversion\",\"elevated\"\r\n";
  const std::string c =
      "\"DESK-7\",\"2026-12-09T18:55:12Z\",\"C\",\"1\",\"3\",\"0\",\"00000000\",\"say \"\"hi\"\", then\r\n"
      "\xD0\x94\xD0\x98\xD0\xA1\xD0\x9A\",\"NTFS\",\"500107862016\",\"0\",\"500107862016\",\"\",\"\",\"0\",\"?  (Unknown)\",\"\","
      "\"0 1\",\"ATA\",\"'@Samsung SSD\",\"1B6Q\",\"S3Z9\",\"42\",\"false\",\"true\",\"true\",\"500107862016\",\"false\","
      "\"warning\",\"41\",\"70\",\"85\",\"3\",\"100\",\"10\",\"temperatureThreshold|5\",\"512000000\",\"1536000000\","
      "\"1234\",\"5678\",\"42\",\"0\",\"7\",\"\\\\?\\Volume{5a3c9e11-0000-0000-0000-100000000000}\\\",\"C:\\|D:\\System\\\","
      "\"0\",\"false\",\"true\",\"1\",\"1048576\",\"500106813440\",\"MBR\",\"0x07\",\"\",\"on\",\"encrypting\",\"true\"\r\n";
  std::string z = "\"DESK-7\",\"2026-12-09T18:55:12Z\",\"Z\",\"2\",\"26\"";
  for (int field = 0; field < 9; ++field) z += ",\"\"";  // serial to cluster figures: null
  z += ",\"0\",\"?  (Unknown)\"";
  for (int field = 0; field < 29; ++field) z += ",\"\"";  // the style, the disk, the volume's name and paths: null
  z += ",\"123\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\\\\files\\home\",\"\",\"\",\"true\"\r\n";
  // A volume without a letter has no letter, number or position either.
  const std::string efi = "\"DESK-7\",\"2026-12-09T18:55:12Z\",\"\",\"\",\"\",\"\",", efiVolume =
      "\"\\\\?\\Volume{2e1f8a3c-5b7d-4f90-a1c2-d3e4f5061728}\\\",\"\",\"\",\"\",\"\",\"1\",\"1048576\",\"104857600\",\"GPT\","
      "\"{c12a7328-f81f-11d2-ba4b-00a0c93ec93b}\",\"\",\"3\",\"6\",\"true\"\r\n";
  EXPECT_EQ(csv.substr(0, header.size() + c.size() + z.size() + efi.size()), header + c + z + efi);
  EXPECT_TRUE(csv.ends_with(efiVolume));
  const std::string semicolons = ReportCsv(d.report, d.origin, CsvDelimiter::kSemicolon);
  EXPECT_EQ(std::count(semicolons.begin(), semicolons.end(), ';'), 4 * 56) << semicolons;
}

}  // namespace
}  // namespace tarnvik
