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

using namespace std::string_literals;

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

// The volumes no letter reaches: listed on a worker of their own, each once and never a lettered
// one, each then asked on a worker of its own, its disk asked once with the letters'. The held
// worker at the front (the walk, then the first volume's) never keeps the others back.
TEST(ReportQueries, AsksEachVolumeWithoutALetterOnceAndAHungOneHoldsUpOnlyItself) {
  testing::FakeDriveApi drive;
  testing::FakeWmiApi wmi;
  testing::FakeDiskApi disk;
  testing::FakeVolumeApi volumes;
  toolkit::HeadlessToolkit workers;
  workers.holdBackgroundWork = true;
  const auto guid = [](char last) { return "\\\\?\\Volume{00000000-0000-0000-0000-00000000000" + std::string(1, last) + "}\\"; };
  volumes.guidPaths = {{"C:\\", guid('c')}, {"D:\\", guid('d')}};
  volumes.pathLists = {{guid('c'), {"C:\\\0\0"s}}, {guid('d'), {"D:\\\0\0"s}}, {guid('a'), {"C:\\Data\\\0\0"s}},
                       {guid('e'), {"\0"s}}};
  volumes.search = {guid('c'), guid('a'), guid('a'), guid('d'), guid('e')};
  std::vector<unsigned char> onDisk0(32), descriptor(40);
  onDisk0[0] = 1, descriptor[16] = 40, descriptor.insert(descriptor.end(), {'M', '0', 0});
  for (const std::string& device : {"\\\\.\\C:"s, GuidVolumeDevice(guid('a'))})
    disk.answers[{device, ioctl::kVolumeGetVolumeDiskExtents, ~0u}] = {onDisk0};
  disk.answers[{"\\\\.\\PhysicalDrive0", ioctl::kStorageQueryProperty, 0}] = {descriptor};
  LetterSet letters{};
  for (const char letter : {'c', 'd'}) drive.drives[letter] = {}, letters[letter - 'a'] = true;
  drive.drives['\\'] = {};
  const auto queries =
      ReportQueries::Start(workers, drive, wmi, letters, false, DiskQuestions{disk, {10, 0}, 1000, &volumes, false});
  const auto runAllButTheFirst = [&] {
    while (workers.backgroundWork.size() > 1) workers.RunBackgroundWork(1);
  };
  workers.RunBackgroundWork(0), workers.RunBackgroundWork(0);  // the letters' workers, started first
  runAllButTheFirst();  // the walk is held
  EXPECT_TRUE(queries->Take(2) && queries->Take(3));
  EXPECT_EQ(queries->VolumesWithoutLetter(), std::nullopt);
  workers.RunBackgroundWork(0);
  runAllButTheFirst();  // the first volume's worker is held
  EXPECT_EQ(queries->VolumesWithoutLetter(), 2u);
  EXPECT_TRUE(!queries->TakeVolume(0) && queries->TakeVolume(1) && !queries->TakeVolume(2));
  Report report;
  const auto wait = [&] { return workers.RunBackgroundWork(0), true; };
  EXPECT_TRUE(CollectDrives(*queries, report, wait, [](const Report&) { return true; }) &&
              CollectVolumes(*queries, report, wait));
  std::vector<std::string> listed;
  for (const ReportedDrive& v : report.volumesWithoutLetter) listed.push_back(v.facts.volume->guidPath.value_or(""));
  EXPECT_EQ(listed, (std::vector<std::string>{guid('a'), guid('e')}));
  EXPECT_EQ(report.volumesWithoutLetter[0].facts.volume->mountPaths, "C:\\Data\\\n");
  EXPECT_EQ(report.volumesWithoutLetter[0].facts.disk->model, "M0");
  EXPECT_EQ(report.drives[0].facts.disk, report.volumesWithoutLetter[0].facts.disk);
  EXPECT_EQ(report.volumesWithoutLetter[1].facts.disk, std::nullopt);
  EXPECT_EQ(disk.Count("open \\\\.\\PhysicalDrive0"), 1u) << "one disk, asked once";
  EXPECT_EQ(report.drives[1].facts.volume->guidPath, guid('d'));
  EXPECT_EQ(volumes.openSearches, 0);
}

// A letter's partition is asked with its disks, under their deadline: one that answers after it
// is dropped, as its disk is.
TEST(ReportQueries, APartitionThatAnswersAfterTheDeadlineIsDropped) {
  for (const bool late : {false, true}) {
    testing::FakeDriveApi drive;
    testing::FakeWmiApi wmi;
    testing::FakeDiskApi disk;
    testing::FakeVolumeApi volumes;
    toolkit::HeadlessToolkit workers;
    workers.holdBackgroundWork = true;
    drive.drives['c'] = {};
    std::vector<unsigned char> mbr(48);
    mbr[24] = 1;  // partition 1 of an MBR disk
    disk.answers[{"\\\\.\\C:", ioctl::kDiskGetPartitionInfoEx, ~0u}] = {mbr};
    // The deadline (0 ms) passes while the extents are asked: its worker runs then.
    disk.onIo = [&](const std::string& call) {
      if (late && call.find(" " + std::to_string(ioctl::kVolumeGetVolumeDiskExtents) + " ") != call.npos)
        workers.RunBackgroundWork(workers.backgroundWork.size() - 1);
    };
    LetterSet letters{};
    letters[2] = true;
    const auto queries =
        ReportQueries::Start(workers, drive, wmi, letters, false, DiskQuestions{disk, {10, 0}, 0, &volumes, false});
    workers.RunBackgroundWork(0);
    while (!workers.backgroundWork.empty()) workers.RunBackgroundWork(0);
    EXPECT_EQ(queries->Take(2)->volume->partition.has_value(), !late) << late;
  }
}

TEST(ReportJson, MadeBeforeAnyTextCarriesTheCounts) {
  ReportedDrive sized{2, {}};
  sized.facts.answers.space = {1, 0, true};
  const std::string json = ReportJson(Report{true, {sized, ReportedDrive{3, {}}, sized}}, {});
  EXPECT_NE(json.find("\"driveCount\": 3,\r\n  \"sizedDriveCount\": 2,\r\n  \"volumesWithoutLetter\": []\r\n}"),
            std::string::npos) << json;
}

// One drive with a whole disk and volume, every member filled, and a label a sheet must keep in
// one field, and a share without a disk; then the README's two volumes without a letter (a data
// disk mounted in a folder, an EFI system partition); taken by an administrator.
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
    for (int v = 0; v < 2; ++v) {
      DriveAnswers a;
      a.volumeAnswered = a.clusterAnswered = true, a.typeCode = 3, a.typeText = "HDD/VHD  (Fixed)";
      a.serial = v == 0 ? 0x3C5D7E9F : 0x8A4E3F21, a.serialText = v == 0 ? "3C5D7E9F" : "8A4E3F21";
      a.label = v == 0 ? "Archive" : "", a.fileSystem = v == 0 ? "NTFS" : "FAT32";
      a.bytesPerSector = 512, a.sectorsPerCluster = v == 0 ? 8 : 1;
      a.space = v == 0 ? DiskSpace{4000650883072, 1851203137536, true} : DiskSpace{100663296, 69206016, true};
      report.volumesWithoutLetter.push_back({kNoLetter, {a, "Unknown"}});
    }
    DriveReportFacts& data = report.volumesWithoutLetter[0].facts;
    data.disk = DiskFacts{{1}, "", "WDC WD40EFRX-68N32N0", "82.00A82", "WD-WCC7K1234567", 0x0B, false, false, false,
                          4000787030016, false, DiskHealth{.temperatureCelsius = 33}};
    data.volume = VolumeFacts{"\\\\?\\Volume{7c9e8f10-3a2b-4c5d-8e9f-a0b1c2d3e4f5}\\", "D:\\Data\\\n", 1851203137536,
                              false, false, PartitionFacts{2, 135266304, 4000650887168, true,
                                                           "{ebd0a0a2-b9e5-4433-87c0-68b6b72699c7}"}, {}, EncryptionFacts{0, 0}};
    DriveReportFacts& efi = report.volumesWithoutLetter[1].facts;
    efi.disk = DiskFacts{{0}, "", "Samsung SSD 860 EVO 500GB", "RVT04B6Q", "S3Z9NB0K123456A", 0x0B, false, true, true,
                         500107862016, false, DiskHealth{.temperatureCelsius = 34, .warningTemperatureCelsius = 70,
                                                         .criticalTemperatureCelsius = 85}};
    efi.volume = VolumeFacts{"\\\\?\\Volume{2e1f8a3c-5b7d-4f90-a1c2-d3e4f5061728}\\", "", 69206016,
                             false, false, PartitionFacts{1, 1048576, 104857600, true,
                                                          "{c12a7328-f81f-11d2-ba4b-00a0c93ec93b}"}, {}, {}};
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
  // The volume closes each drive; a share has no volume of this machine, only its free bytes.
  const std::string volumes[] = {
      "\"errorLogEntries\":7}},\"volume\":{\"guidPath\":\"\\\\\\\\?\\\\Volume{5a3c9e11-0000-0000-0000-100000000000}\\\\\","
      "\"mountPaths\":[\"C:\\\\\", \"D:\\\\System\\\\\"],\"freeBytesForUser\":0,\"readOnly\":false,\"compressed\":true,"
      "\"partition\":{\"number\":1,\"offsetBytes\":1048576,\"lengthBytes\":500106813440,\"style\":\"MBR\",\"type\":\"0x07\"},"
      "\"remotePath\":null,\"encryption\":{\"protection\":\"on\",\"conversion\":\"encrypting\"}}},",
      "\"partitionStyle\":null,\"disk\":null,\"volume\":{\"guidPath\":null,\"mountPaths\":null,\"freeBytesForUser\":123,"
      "\"readOnly\":null,\"compressed\":null,\"partition\":null,\"remotePath\":\"\\\\\\\\files\\\\home\",\"encryption\":null}}],"
      "\"driveCount\":2,\"sizedDriveCount\":1,\"volumesWithoutLetter\":[{\"letter\":null,\"number\":null,\"position\":null,"
      "\"serialNumber\":1012760223,",
      "\"partitionStyle\":null,\"disk\":{\"numbers\":[1],",
      "\"volume\":{\"guidPath\":\"\\\\\\\\?\\\\Volume{7c9e8f10-3a2b-4c5d-8e9f-a0b1c2d3e4f5}\\\\\",\"mountPaths\":[\"D:\\\\Data\\\\\"],"
      "\"freeBytesForUser\":1851203137536,\"readOnly\":false,\"compressed\":false,\"partition\":{\"number\":2,"
      "\"offsetBytes\":135266304,\"lengthBytes\":4000650887168,\"style\":\"GPT\",\"type\":"
      "\"{ebd0a0a2-b9e5-4433-87c0-68b6b72699c7}\"},\"remotePath\":null,\"encryption\":{\"protection\":\"off\","
      "\"conversion\":\"fullyDecrypted\"}}},{\"letter\":null,",
      "\"volume\":{\"guidPath\":\"\\\\\\\\?\\\\Volume{2e1f8a3c-5b7d-4f90-a1c2-d3e4f5061728}\\\\\",\"mountPaths\":[],"
      "\"freeBytesForUser\":69206016,\"readOnly\":false,\"compressed\":false,\"partition\":{\"number\":1,"
      "\"offsetBytes\":1048576,\"lengthBytes\":104857600,\"style\":\"GPT\",\"type\":"
      "\"{c12a7328-f81f-11d2-ba4b-00a0c93ec93b}\"},\"remotePath\":null,\"encryption\":null}}]}"};
  for (const std::string& volume : volumes) EXPECT_NE(compact.find(volume), std::string::npos) << volume;
  // BitLocker codes this program has no name for are written as their numbers.
  Documents later;
  later.report.drives[0].facts.volume->encryption = EncryptionFacts{3, 6};
  EXPECT_NE(ReportJson(later.report, later.origin).find("\"protection\": 3,\r\n          \"conversion\": 6\r\n"),
            std::string::npos);
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
  for (int field = 0; field < 29; ++field) z += ",\"\"";  // the style, the whole disk, the volume's first two: null
  z += ",\"123\"";
  for (int field = 0; field < 7; ++field) z += ",\"\"";  // the flags and the partition: null
  z += ",\"\\\\files\\home\",\"\",\"\",\"true\"\r\n";
  // The volumes without a letter follow, with no letter, number or position.
  const std::string data = "\"DESK-7\",\"2026-12-09T18:55:12Z\",\"\",\"\",\"\",\"1012760223\",\"3C5D7E9F\",\"Archive\",";
  const std::string efi = "\"DESK-7\",\"2026-12-09T18:55:12Z\",\"\",\"\",\"\",\"2320383777\",\"8A4E3F21\",\"\",\"FAT32\",";
  EXPECT_EQ(csv.substr(0, header.size() + c.size() + z.size()), header + c + z);
  const std::size_t dataAt = header.size() + c.size() + z.size(), efiAt = csv.find("\r\n", dataAt) + 2;
  EXPECT_EQ(csv.substr(dataAt, data.size()), data);
  EXPECT_EQ(csv.substr(efiAt, efi.size()), efi);
  EXPECT_NE(csv.find("\"D:\\Data\\\",\"1851203137536\",\"false\",\"false\",\"2\",\"135266304\",\"4000650887168\",\"GPT\","
                     "\"{ebd0a0a2-b9e5-4433-87c0-68b6b72699c7}\",\"\",\"off\",\"fullyDecrypted\",\"true\"\r\n", dataAt), std::string::npos);
  EXPECT_EQ(csv.find("\r\n", efiAt), csv.size() - 2);
  const std::string semicolons = ReportCsv(d.report, d.origin, CsvDelimiter::kSemicolon);
  EXPECT_EQ(std::count(semicolons.begin(), semicolons.end(), ';'), 5 * 56) << semicolons;
}

}  // namespace
}  // namespace tarnvik
