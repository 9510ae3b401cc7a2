// The drive report as it lands in the report box: layout, letter order, failure paths, and how a build
// ends when the program quits or its windows are closed from outside during a yield.
#include "ui/main_window/report_view.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <limits>
#include <new>
#include <optional>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "fakes/fake_command_api.h"
#include "startup/command_line.h"
#include "ui_fixture.h"

namespace tarnvik {
namespace {

using testing::FakeDrive;
using testing::ShownProgram;

const std::string kSep(50, '-');
// The batch; a letter of the report in no link is then asked about alone.
const std::vector<std::string> kBatchQueries{"SELECT Antecedent, Dependent FROM Win32_LogicalDiskToPartition",
                                             "SELECT DeviceID, Type FROM Win32_DiskPartition"};
const std::vector<std::string>& kLinkedBatchQueries = kBatchQueries;

std::string Field(const std::string& label, const std::string& value) { return label + "\t  " + value + "\r\n"; }

/// The lines of a report; every line must end with CR LF and hold no other CR or LF.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      ADD_FAILURE() << "text does not end with CR LF: " << text.substr(start);
      break;
    }
    const std::string line = text.substr(start, end - start);
    EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << "stray CR or LF in: " << line;
    lines.push_back(line);
    start = end + 2;
  }
  return lines;
}

/// The values of every field line with `label`, in report order.
std::vector<std::string> ValuesOf(const std::string& text, const std::string& label) {
  std::vector<std::string> values;
  for (const std::string& line : Lines(text)) {
    if (line.rfind(label + "\t  ", 0) == 0) values.push_back(line.substr(label.size() + 3));
  }
  return values;
}

FakeDrive FixedDrive(uint64_t total = 1073741824, uint64_t free = 536870912) {
  FakeDrive d;
  d.label = "DATA";
  d.serial = 0x0BADF00D;
  d.totalBytes = total;
  d.freeBytes = free;
  return d;
}

FakeDrive EmptyOpticalDrive() {
  FakeDrive d;
  d.volumeOk = false;
  d.clusterOk = false;
  d.spaceOk = false;
  d.type = kDriveCdrom;
  return d;
}

class ReportBuilder : public ::testing::Test {
 protected:
  void SetUp() override { p.SetOsVersion("6.1"); }

  void AddDrive(char letter, const FakeDrive& d) {
    p.drive.drives[letter] = d;
    p.drive.logicalDrives |= testing::LetterMask(std::string(1, letter));
  }
  void Refresh() { RefreshDriveReport(p.program.ui); }
  /// What a saving run of the same drives writes to the standard output.
  std::string Saved(const std::string& option) {
    testing::FakeCommandApi api;
    api.arguments = {option, "-"};
    p.drive.RestartTurns();
    for (const auto& [letter, drive] : p.drive.drives) api.logicalDrives |= 1u << (letter - 'a');
    EXPECT_EQ(RunCommand(p.Saving(), api, ParseCommandLine(api.arguments)), kExitWritten);
    return api.out.value_or("");
  }
  /// The JSON without its line ends, indentation and the blank after each name.
  static std::string Compact(const std::string& json) {
    return std::regex_replace(std::regex_replace(json, std::regex("\r\n *"), ""), std::regex("\": "), "\":");
  }
  std::string Text() { return p.win().ReportBox().Text(); }
  int CallsFor(const std::string& rootPath) {
    return static_cast<int>(std::count_if(p.drive.calls.begin(), p.drive.calls.end(), [&](const std::string& c) {
      return c.size() >= rootPath.size() && c.compare(c.size() - rootPath.size(), rootPath.size(), rootPath) == 0;
    }));
  }

  ShownProgram p;
};

TEST_F(ReportBuilder, WorkedExampleByteForByte) {
  FakeDrive c;
  c.label = "SYSTEM";
  c.serial = 0x5A3C9E11;
  c.totalBytes = 499963170816;
  c.freeBytes = 312538734592;
  p.drive.drives['c'] = c;
  p.drive.drives['d'] = EmptyOpticalDrive();
  p.wmi.disks["C:"].partitionTypes = {"GPT: System", "GPT: Basic Data"};
  p.drive.logicalDrives = testing::LetterMask("cd");

  Refresh();

  const std::string expected =
      "\r\n" + kSep + "\r\n" + "\r\n" +
      " Drive: \t  C:\\\r\n"
      " Number:\t  1/3\r\n"
      " S/N:   \t  1513922065  (#5A3C9E11)\r\n"
      " Label: \t  SYSTEM\r\n"
      " System:\t  NTFS\r\n"
      " Size:  \t  465,627 GB  (499963170816)\r\n"
      " Free:  \t  291,074 GB  (312538734592)\r\n"
      " Fill:  \t  174,553 GB  (187424436224)\r\n"
      " Volume:\t  512x8  (4096 bytes)\r\n"
      " Type:  \t  HDD/VHD  (Fixed)\r\n"
      " Table: \t  GPT\r\n"
      "\r\n" + kSep + "\r\n" + "\r\n" +
      " Drive: \t  D:\\\r\n"
      " Number:\t  2/4\r\n"
      " S/N:   \t  0  (#00000000)\r\n"
      " Label: \t  \r\n"
      " System:\t  ?\r\n"
      " Size:  \t  0 B  (0)\r\n"
      " Free:  \t  0 B  (0)\r\n"
      " Fill:  \t  0 B  (0)\r\n"
      " Volume:\t  0x0  (0 bytes)\r\n"
      " Type:  \t  CD/DVD/Blue-Ray  (Optical)\r\n"
      " Table: \t  Unknown\r\n"
      "\r\n" + kSep + "\r\n" + "\r\n" +
      " Drives: \t  2  (1)\r\n"
      "\r\n";
  EXPECT_EQ(Text(), expected);
  EXPECT_EQ(Lines(Text()).size(), 33u);
  // One batch answers every drive's partition style; the drive without a file system takes none,
  // though its letter, in no link, is asked about alone.
  EXPECT_EQ(p.wmi.queries, kBatchQueries);
  EXPECT_EQ(p.wmi.objectPaths, std::vector<std::string>{"Win32_LogicalDisk.DeviceID='D:'"});
  EXPECT_TRUE(p.ui().ReportIdle());
  // A saving run writes the same text, and the same values as JSON; only the JSON asks for disks.
  EXPECT_EQ(Saved("/save"), expected);
  EXPECT_TRUE(p.disk.calls.empty());
  p.machine.names[kComputerNamePhysicalNetBios] = "DESK-7";
  p.machine.now = {2026, 12, 3, 9, 18, 55, 12, 0};
  std::vector<unsigned char> oneExtent(32), basicData(144);
  oneExtent[0] = 1;  // on disk 0, which answers nothing else
  p.disk.answers[{"\\\\.\\C:", ioctl::kVolumeGetVolumeDiskExtents, ~0u}] = {oneExtent};
  // C: fills GPT partition 3 (basic data), after the EFI and reserved partitions: 8-byte fields at 0 to 40.
  const uint64_t fields[] = {1, 122683392, 499963174912, 3, 0x4433b9e5ebd0a0a2, 0xc79926b7b668c087};
  for (std::size_t i = 0; i < 48; ++i) basicData[i] = static_cast<unsigned char>(fields[i / 8] >> 8 * (i % 8));
  p.disk.answers[{"\\\\.\\C:", ioctl::Code(0x07, 0x012), ~0u}] = {basicData};  // the partition's control code
  const std::string guidC = "\\\\?\\Volume{5a3c9e11-0000-0000-0000-100000000000}\\";
  p.volume.guidPaths = {{"C:\\", guidC}}, p.volume.pathLists = {{guidC, {std::string("C:\\\0\0", 5)}}};
  std::vector<std::size_t> driveCallsAtCheck;  // the run's rights are asked once, before any drive
  p.machine.administrator = 0, p.machine.onCheck = [&] { driveCallsAtCheck.push_back(p.drive.calls.size()); };
  p.drive.calls.clear(), p.wmi.objectPaths.clear();
  EXPECT_EQ(Compact(Saved("-JSON")),
            "{\"program\":\"Tarnvik\",\"version\":\"1.2.0.2016.0\",\"schemaVersion\":3,\"computerName\":\"DESK-7\","
            "\"dnsHostName\":null,\"takenUtc\":\"2026-12-09T18:55:12Z\",\"windows\":{\"major\":6,\"minor\":1,"
            "\"build\":7601,\"servicePack\":\"\",\"architecture\":\"x86\"},\"elevated\":false,\"drives\":["
            "{\"letter\":\"C\",\"number\":1,\"position\":3,\"serialNumber\":1513922065,\"serialHex\":\"5A3C9E11\","
            "\"label\":\"SYSTEM\",\"fileSystem\":\"NTFS\",\"totalBytes\":499963170816,\"freeBytes\":312538734592,"
            "\"usedBytes\":187424436224,\"bytesPerSector\":512,\"sectorsPerCluster\":8,\"driveType\":3,"
            "\"driveTypeText\":\"HDD/VHD  (Fixed)\",\"partitionStyle\":\"GPT\",\"disk\":{\"numbers\":[0],"
            "\"vendor\":null,\"model\":null,\"revision\":null,\"serial\":null,\"busType\":null,\"removable\":null,"
            "\"ssd\":null,\"trim\":null,\"sizeBytes\":null,\"failurePredicted\":null,\"health\":null},"
            "\"volume\":{\"guidPath\":\"\\\\\\\\?\\\\Volume{5a3c9e11-0000-0000-0000-100000000000}\\\\\","
            "\"mountPaths\":[\"C:\\\\\"],\"freeBytesForUser\":312538734592,\"readOnly\":false,\"compressed\":false,"
            "\"partition\":{\"number\":3,\"offsetBytes\":122683392,\"lengthBytes\":499963174912,\"style\":\"GPT\","
            "\"type\":\"{ebd0a0a2-b9e5-4433-87c0-68b6b72699c7}\"},\"remotePath\":null,\"encryption\":null}},"
            "{\"letter\":\"D\",\"number\":2,\"position\":4,\"serialNumber\":null,\"serialHex\":null,\"label\":null,"
            "\"fileSystem\":null,\"totalBytes\":null,\"freeBytes\":null,\"usedBytes\":null,\"bytesPerSector\":null,"
            "\"sectorsPerCluster\":null,\"driveType\":5,\"driveTypeText\":\"CD/DVD/Blue-Ray  (Optical)\","
            "\"partitionStyle\":null,\"disk\":null,\"volume\":{\"guidPath\":null,\"mountPaths\":null,\"freeBytesForUser\":null,"
            "\"readOnly\":null,\"compressed\":null,\"partition\":null,\"remotePath\":null,\"encryption\":null}}],"
            "\"driveCount\":2,\"sizedDriveCount\":1,\"volumesWithoutLetter\":[]}");
  EXPECT_EQ(driveCallsAtCheck, std::vector<std::size_t>{0});
  EXPECT_EQ(p.wmi.objectPaths, std::vector<std::string>{"Win32_LogicalDisk.DeviceID='D:'"});
  // The optical drive opens nothing; the trim question is asked: the run passed on Windows 7's version.
  EXPECT_EQ(std::count(p.disk.calls.begin(), p.disk.calls.end(), "open \\\\.\\D:"), 0) << p.disk.calls.size();
  EXPECT_EQ(std::count(p.disk.calls.begin(), p.disk.calls.end(), "io \\\\.\\PhysicalDrive0 2954240 8"), 1);
  p.machine.administrator = 1, Saved("/json");  // an administrator is asked it, for each volume with a GUID path
  EXPECT_EQ(p.wmi.objectPaths.back(), "Win32_EncryptableVolume.DeviceID='\\\\\\\\?\\\\" + guidC.substr(4, 44) + "\\\\'");
}

// D: has shown no file system before the batch: its block takes no style, so it is not asked about.
TEST_F(ReportBuilder, ALetterKnownToHaveNoFileSystemIsNotAskedAboutAlone) {
  AddDrive('c', FixedDrive());
  AddDrive('d', EmptyOpticalDrive());
  p.wmi.disks["C:"].partitionTypes = {"GPT: System"};
  p.tk.holdBackgroundWork = true;
  p.tk.onDoEvents = [&](int) {
    if (p.tk.waitEventsCount == 1) p.tk.RunBackgroundWork(1), p.tk.RunBackgroundWork(0);
  };
  Refresh();
  EXPECT_TRUE(p.wmi.objectPaths.empty());
  EXPECT_EQ(ValuesOf(Text(), " Table: "), (std::vector<std::string>{"GPT", "Unknown"}));
  // Such drives alone never ask the service.
  p.drive.logicalDrives = testing::LetterMask("d");
  p.wmi.queries.clear();
  Refresh();
  EXPECT_TRUE(p.wmi.queries.empty());
}

TEST_F(ReportBuilder, AsksEachQueryWithTheRightLetterAndBuffers) {
  AddDrive('c', FixedDrive());
  p.wmi.disks["C:"].partitionTypes = {"Installable File System"};
  Refresh();
  const std::vector<std::string> calls{"vol c:\\", "cluster c:\\", "space c:\\", "type C:\\"};
  EXPECT_EQ(p.drive.calls, calls);
  // The volume query gets 255-character buffers; having answered, it gives the serial too.
  const std::vector<std::pair<uint32_t, uint32_t>> sizes{{255u, 255u}};
  EXPECT_EQ(p.drive.volumeBufferSizes, sizes);
  EXPECT_EQ(p.wmi.queries, kLinkedBatchQueries);
  EXPECT_EQ(p.wmi.apartmentsJoined, 1);
  EXPECT_EQ(ValuesOf(Text(), " Table: "), std::vector<std::string>{"MBR"});
}

struct ListCase {
  const char* name;
  uint32_t letterMask;
  std::vector<std::string> drives;   ///< " Drive: " values, in order
  std::vector<std::string> numbers;  ///< " Number:" values, in order
};

class LetterCollection : public ReportBuilder, public ::testing::WithParamInterface<ListCase> {};

TEST_P(LetterCollection, ReportsEachListedLetterOnceInAlphabeticalOrder) {
  p.drive.logicalDrives = GetParam().letterMask;
  Refresh();
  EXPECT_EQ(ValuesOf(Text(), " Drive: "), GetParam().drives);
  EXPECT_EQ(ValuesOf(Text(), " Number:"), GetParam().numbers);
  const std::string count = std::to_string(GetParam().drives.size());
  EXPECT_EQ(ValuesOf(Text(), " Drives: "), std::vector<std::string>{count + "  (0)"});
}

INSTANTIATE_TEST_SUITE_P(
    Table, LetterCollection,
    ::testing::Values(
        ListCase{"TwoInOrder", testing::LetterMask("dc"), {"C:\\", "D:\\"}, {"1/3", "2/4"}},
        ListCase{"WithAGap", testing::LetterMask("ec"), {"C:\\", "E:\\"}, {"1/3", "2/5"}},
        // The mask's bits past Z name no letter.
        ListCase{"BitsPastZ", testing::LetterMask("z") | 0xFC000000u, {"Z:\\"}, {"1/26"}},
        ListCase{"FirstAndLast", testing::LetterMask("za"), {"A:\\", "Z:\\"}, {"1/1", "2/26"}},
        ListCase{"LetterAlone", testing::LetterMask("b"), {"B:\\"}, {"1/2"}}),
    [](const ::testing::TestParamInfo<ListCase>& p) { return std::string(p.param.name); });

struct VersionCase {
  const char* version;
  bool tableLines;
  uint32_t major = 0, minor = 0;  ///< the version a saving run reads; 0: it refuses to run
};

class VersionGate : public ReportBuilder, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(VersionGate, TableLinesOnlyFromVersionFive) {
  p.SetOsVersion(GetParam().version);
  AddDrive('c', FixedDrive());
  AddDrive('d', EmptyOpticalDrive());
  p.wmi.disks["C:"].partitionTypes = {"GPT: Basic Data"};
  Refresh();
  const auto tables = ValuesOf(Text(), " Table: ");
  if (GetParam().tableLines) {
    EXPECT_EQ(tables, (std::vector<std::string>{"GPT", "Unknown"}));
    EXPECT_EQ(p.wmi.queries, kBatchQueries);
  } else {
    EXPECT_TRUE(tables.empty());
    EXPECT_TRUE(p.wmi.queries.empty());
    EXPECT_EQ(p.wmi.locatorsCreated, 0);
  }
  // The block still ends with its separator whether or not the line is there.
  EXPECT_EQ(Lines(Text()).size(), GetParam().tableLines ? 33u : 31u);
  if (GetParam().major == 0) return;
  p.version.major = GetParam().major, p.version.minor = GetParam().minor;
  EXPECT_EQ(Compact(Saved("/json")).find("\"partitionStyle\":\"") != std::string::npos, GetParam().tableLines);
}

INSTANTIATE_TEST_SUITE_P(Table, VersionGate,
                         ::testing::Values(VersionCase{"6.1", true, 6, 1}, VersionCase{"5.0", true, 5, 0},
                                           VersionCase{"10.0", true, 10, 0}, VersionCase{"4.0", false, 4, 0},
                                           VersionCase{"4.90", false, 4, 90}, VersionCase{"", false}));

struct FactCase {
  const char* name;
  FakeDrive drive;
  std::optional<std::vector<std::optional<std::string>>> partitions;  ///< nullopt: the service knows no such disk
  std::vector<std::pair<std::string, std::string>> expected;           ///< label, value
  std::string json = "";  ///< members of the drive in the saved JSON, compacted
};

class DriveFacts : public ReportBuilder, public ::testing::WithParamInterface<FactCase> {};

TEST_P(DriveFacts, AppearInTheBlock) {
  const FactCase& c = GetParam();
  AddDrive('c', c.drive);
  if (c.partitions) p.wmi.disks["C:"].partitionTypes = *c.partitions;
  Refresh();
  for (const auto& [label, value] : c.expected) {
    EXPECT_EQ(ValuesOf(Text(), label), std::vector<std::string>{value}) << "line '" << label << "'";
  }
  // Every block has the same eleven field lines, whatever failed.
  EXPECT_EQ(Lines(Text()).size(), 19u);
  // A saving run shows the same block, and its JSON the same values.
  const std::string text = Text();
  EXPECT_EQ(Saved("/save"), text);
  EXPECT_NE(Compact(Saved("/json")).find(c.json), std::string::npos) << Compact(Saved("/json"));
  EXPECT_EQ(p.disk.calls.empty(), c.drive.type == kDriveNoRootDir);  // a letter without a root is not asked
}

FakeDrive With(FakeDrive d, void (*change)(FakeDrive&)) {
  change(d);
  return d;
}

const std::vector<std::optional<std::string>> kMbr{"Installable File System"};

INSTANTIATE_TEST_SUITE_P(
    Table, DriveFacts,
    ::testing::Values(
        FactCase{"VolumeQueryFails",
                 With(FixedDrive(), [](FakeDrive& d) { d.volumeOk = false; }),
                 kMbr,
                 {{" S/N:   ", "0  (#00000000)"},
                  {" Label: ", ""},
                  {" System:", "?"},
                  {" Table: ", "Unknown"},
                  {" Size:  ", "1 GB  (1073741824)"},
                  {" Drives: ", "1  (1)"}},
                 "\"serialNumber\":null,\"serialHex\":null,\"label\":null,\"fileSystem\":null,\"totalBytes\":1073741824"},
        FactCase{"EveryQueryFails",
                 With(EmptyOpticalDrive(), [](FakeDrive& d) { d.type = kDriveNoRootDir; }),
                 kMbr,
                 {{" S/N:   ", "0  (#00000000)"}, {" Volume:", "0x0  (0 bytes)"}, {" Type:  ", "?  (Unknown)"}},
                 "\"serialNumber\":null,\"serialHex\":null,\"label\":null,\"fileSystem\":null,\"totalBytes\":null,"
                 "\"freeBytes\":null,\"usedBytes\":null,\"bytesPerSector\":null,\"sectorsPerCluster\":null,"
                 "\"driveType\":1,\"driveTypeText\":\"?  (Unknown)\",\"partitionStyle\":null,\"disk\":null,"
                 "\"volume\":{\"guidPath\":null,\"mountPaths\":null,\"freeBytesForUser\":null,\"readOnly\":null,"
                 "\"compressed\":null,\"partition\":null,\"remotePath\":null,\"encryption\":null}}],\"driveCount\":1,"
                 "\"sizedDriveCount\":0,\"volumesWithoutLetter\":[]}"},
        FactCase{"ClusterQueryFails",
                 With(FixedDrive(), [](FakeDrive& d) { d.clusterOk = false; }),
                 kMbr,
                 {{" Volume:", "0x0  (0 bytes)"}, {" Table: ", "MBR"}},
                 "\"bytesPerSector\":null,\"sectorsPerCluster\":null,\"driveType\":3,"},
        FactCase{"SpaceQueryFails",
                 With(FixedDrive(), [](FakeDrive& d) { d.spaceOk = false; }),
                 kMbr,
                 {{" Size:  ", "0 B  (0)"}, {" Free:  ", "0 B  (0)"}, {" Fill:  ", "0 B  (0)"}, {" Drives: ", "1  (0)"}},
                 "\"totalBytes\":null,\"freeBytes\":null,\"usedBytes\":null,\"bytesPerSector\":512,"},
        // The serial-only query is asked only after a failed volume query.
        FactCase{"MediumGoneAfterTheVolumeQuery",
                 With(FixedDrive(), [](FakeDrive& d) { d.volumeOkByCall = {true}; d.volumeOk = false; }), kMbr,
                 {{" S/N:   ", "195948557  (#0BADF00D)"}, {" Label: ", "DATA"}}},
        FactCase{"MediumReadyAfterTheVolumeQuery",
                 With(FixedDrive(), [](FakeDrive& d) { d.volumeOkByCall = {false}; }), kMbr,
                 {{" S/N:   ", "0  (#0BADF00D)"}, {" System:", "?"}},
                 "\"serialNumber\":null,\"serialHex\":\"0BADF00D\",\"label\":null,"},
        FactCase{"SerialWithHighBit",
                 With(FixedDrive(), [](FakeDrive& d) { d.serial = 0x80000000; }),
                 kMbr,
                 {{" S/N:   ", "2147483648  (#80000000)"}},
                 "\"serialNumber\":2147483648,\"serialHex\":\"80000000\",\"label\":\"DATA\",\"fileSystem\":\"NTFS\","},
        FactCase{"LabelOfBlanksAndTabs", With(FixedDrive(), [](FakeDrive& d) { d.label = "  \t \t "; }), kMbr,
                 {{" Label: ", ""}}},
        FactCase{"LabelWithTab", With(FixedDrive(), [](FakeDrive& d) { d.label = "A\tB"; }), kMbr,
                 {{" Label: ", "A B"}}},
        FactCase{"LabelWithLineBreak", With(FixedDrive(), [](FakeDrive& d) { d.label = " X\r\nY\n"; }), kMbr,
                 {{" Label: ", "X  Y"}}},
        FactCase{"LabelCutAtNul", With(FixedDrive(), [](FakeDrive& d) { d.label = std::string("AB\0CD", 5); }), kMbr,
                 {{" Label: ", "AB"}}},
        FactCase{"LabelNotAscii",
                 With(FixedDrive(), [](FakeDrive& d) { d.label = "Donn\xC3\xA9" "es \xD0\x94\xD0\xB8\xD1\x81\xD0\xBA"; }),
                 kMbr,
                 {{" Label: ", "Donn\xC3\xA9" "es \xD0\x94\xD0\xB8\xD1\x81\xD0\xBA"}},
                 "\"label\":\"Donn\xC3\xA9" "es \xD0\x94\xD0\xB8\xD1\x81\xD0\xBA\""},
        // Quotes, a backslash, a tab (a blank in the text too), Cyrillic, a control character
        // and a byte that is not UTF-8.
        FactCase{"LabelThatJsonEscapes",
                 With(FixedDrive(), [](FakeDrive& d) { d.label = "A\"b\\c\t\xD0\x94\x01\xFF\""; }), kMbr,
                 {{" Label: ", "A\"b\\c \xD0\x94\x01\xFF\""}},
                 "\"label\":\"A\\\"b\\\\c \xD0\x94\\u0001\\ufffd\\\"\""},
        FactCase{"FileSystemCleaned", With(FixedDrive(), [](FakeDrive& d) { d.fileSystem = "\tFAT32\n"; }), kMbr,
                 {{" System:", "FAT32"}, {" Table: ", "MBR"}}},
        FactCase{"FileSystemNotAscii", With(FixedDrive(), [](FakeDrive& d) { d.fileSystem = "\xC3\x84" "FS"; }),
                 kMbr, {{" System:", "\xC3\x84" "FS"}}},
        // A volume that answers without a file-system name is not asked about partitions.
        FactCase{"FileSystemEmpty", With(FixedDrive(), [](FakeDrive& d) { d.fileSystem = " "; }), kMbr,
                 {{" System:", "?"}, {" Table: ", "Unknown"}}},
        FactCase{"LargeClusters",
                 With(FixedDrive(), [](FakeDrive& d) { d.bytesPerSector = 4096; d.sectorsPerCluster = 128; }), kMbr,
                 {{" Volume:", "4096x128  (524288 bytes)"}}},
        // A product beyond 32 bits is written in full, not wrapped or dropped.
        FactCase{"ClusterProductBeyond32Bits",
                 With(FixedDrive(), [](FakeDrive& d) { d.bytesPerSector = 65536; d.sectorsPerCluster = 65536; }),
                 kMbr, {{" Volume:", "65536x65536  (4294967296 bytes)"}}},
        FactCase{"LargestByteCount",
                 With(FixedDrive(), [](FakeDrive& d) { d.totalBytes = std::numeric_limits<uint64_t>::max(); d.freeBytes = 0; }),
                 kMbr,
                 {{" Size:  ", "16777216 TB  (18446744073709551615)"},
                  {" Fill:  ", "16777216 TB  (18446744073709551615)"},
                  {" Drives: ", "1  (1)"}},
                 "\"totalBytes\":18446744073709551615,\"freeBytes\":0,\"usedBytes\":18446744073709551615,"},
        FactCase{"PartitionStyleRaw", FixedDrive(), std::vector<std::optional<std::string>>{},
                 {{" Table: ", "RAW"}}, "\"partitionStyle\":\"RAW\""},
        FactCase{"PartitionStyleUnknown", FixedDrive(), std::nullopt, {{" Table: ", "Unknown"}}},
        FactCase{"LabelWithTheLastControlCharacter", With(FixedDrive(), [](FakeDrive& d) { d.label = "A\x1F" "B"; }),
                 kMbr, {{" Label: ", "A\x1F" "B"}}, "\"label\":\"A\\u001fB\""}),
    [](const ::testing::TestParamInfo<FactCase>& p) { return std::string(p.param.name); });

struct EmptyCase {
  const char* name;
  uint32_t letterMask;
};

class EmptyDriveList : public ReportBuilder, public ::testing::WithParamInterface<EmptyCase> {};

TEST_P(EmptyDriveList, ShowsAnEmptyReportInsteadOfTheWaitingText) {
  p.drive.logicalDrives = GetParam().letterMask;
  Refresh();
  EXPECT_EQ(Text(), "\r\n" + kSep + "\r\n\r\n" + Field(" Drives: ", "0  (0)") + "\r\n");
  EXPECT_TRUE(p.drive.calls.empty());
  EXPECT_TRUE(p.ui().ReportIdle());
}

INSTANTIATE_TEST_SUITE_P(Table, EmptyDriveList,
                         ::testing::Values(EmptyCase{"NoEntries", 0}, EmptyCase{"OnlyJunk", 0xFC000000u}),
                         [](const ::testing::TestParamInfo<EmptyCase>& p) { return std::string(p.param.name); });

TEST_F(ReportBuilder, ANewReportReplacesTheLastOne) {
  AddDrive('c', FixedDrive());
  AddDrive('d', FixedDrive());
  Refresh();
  const std::string first = Text();
  Refresh();
  EXPECT_EQ(Text(), first);
  EXPECT_EQ(ValuesOf(Text(), " Drives: "), std::vector<std::string>{"2  (2)"});

  // A drive that went away since is not reported again.
  p.drive.logicalDrives = testing::LetterMask("d");
  Refresh();
  EXPECT_EQ(ValuesOf(Text(), " Drive: "), std::vector<std::string>{"D:\\"});
  EXPECT_EQ(ValuesOf(Text(), " Drives: "), std::vector<std::string>{"1  (1)"});
}

// The build yields once, then sleeps in waits until the next drive's answers are in. Workers that
// answer late, out of order or never: blocks still reach the box in A-to-Z order, each once
// every block before it is in; blocks that are ready together cost one write; a quit while
// waiting ends the build at once.
struct ArrivalCase {
  const char* name;
  std::vector<std::string> answering;  ///< per wait: the letters whose workers finish then
  int quitAtWait;                      ///< 0: never
  std::vector<std::string> drives;     ///< " Drive: " values in the final box
  std::vector<int> blocksAtYields;     ///< whole blocks in the box whenever messages are handled
  int writes;                          ///< box writes of the whole build
  /// A fault put into the program, and what the reference shows instead (its drives and service
  /// failing as plainly as the fault makes them look).
  std::function<void(ShownProgram& faulty, ShownProgram& reference)> fault = [](ShownProgram&, ShownProgram&) {};
  bool throwsAtLastWait = false;  ///< the build throws where the table quits
};

// A drive whose every call failed, as a drive whose worker threw must show.
FakeDrive FailedDrive() {
  FakeDrive d = EmptyOpticalDrive();
  d.type = kDriveUnknown;
  return d;
}

class Arrivals : public ReportBuilder, public ::testing::WithParamInterface<ArrivalCase> {};

TEST_P(Arrivals, KeepTheOrderAndNeverHoldTheWindow) {
  const ArrivalCase& c = GetParam();
  ShownProgram reference;
  for (char letter : {'c', 'd', 'e'}) {
    AddDrive(letter, FixedDrive(uint64_t{1} << (30 + letter - 'c')));
    reference.drive.drives[letter] = p.drive.drives[letter];
  }
  reference.SetOsVersion(p.program.env.osVersion);
  reference.drive.logicalDrives = p.drive.logicalDrives;
  p.wmi.disks["C:"].partitionTypes = reference.wmi.disks["C:"].partitionTypes = {"GPT: System"};
  c.fault(p, reference);
  RefreshDriveReport(reference.program.ui);

  p.tk.holdBackgroundWork = true;
  std::string pending = "cde";  // the held workers, in the order they were started
  std::vector<std::string> texts;
  std::vector<int> blocks;
  bool idleSeen = false;
  p.tk.onDoEvents = [&](int) {
    const int wait = p.tk.waitEventsCount;
    if (wait >= 1 && wait <= static_cast<int>(c.answering.size())) {
      for (char letter : c.answering[static_cast<std::size_t>(wait - 1)]) {
        const std::size_t at = pending.find(letter);
        pending.erase(at, 1);
        p.tk.RunBackgroundWork(at);
      }
    }
    if (c.quitAtWait > 0 && wait == c.quitAtWait) {
      if (c.throwsAtLastWait) throw std::bad_alloc();
      p.ui().Quit();
    }
    idleSeen = idleSeen || p.ui().ReportIdle();
    texts.push_back(Text());
    // The waiting text has no line end, so count block starts rather than parse lines.
    int starts = 0;
    for (std::size_t at = Text().find(" Drive: \t"); at != std::string::npos; at = Text().find(" Drive: \t", at + 1)) {
      ++starts;
    }
    blocks.push_back(starts);
  };
  const int writesBefore = p.win().reportBox().setTextCount();
  if (c.throwsAtLastWait) {
    EXPECT_THROW(Refresh(), std::bad_alloc);
  } else {
    Refresh();
  }

  if (c.drives.empty()) {
    EXPECT_EQ(Text(), " Please wait...");
  } else {
    EXPECT_EQ(ValuesOf(Text(), " Drive: "), c.drives);
  }
  if (c.quitAtWait == 0) {
    EXPECT_EQ(Text(), reference.win().ReportBox().Text());
  }
  for (const std::string& text : texts) {
    if (text != " Please wait...") {
      EXPECT_EQ(reference.win().ReportBox().Text().rfind(text, 0), 0u) << text;
    }
  }
  EXPECT_EQ(blocks, c.blocksAtYields);
  EXPECT_EQ(p.win().reportBox().setTextCount() - writesBefore, c.writes);
  EXPECT_FALSE(idleSeen);
  EXPECT_TRUE(p.ui().ReportIdle());
  if (c.quitAtWait == 0) {
    // Once every drive has answered, a refresh works as ever.
    p.tk.holdBackgroundWork = false;
    p.tk.onDoEvents = nullptr;
    Refresh();
    EXPECT_EQ(Text(), reference.win().ReportBox().Text());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, Arrivals,
    ::testing::Values(
        ArrivalCase{"OneAtEachWait", {"c", "d", "e"}, 0, {"C:\\", "D:\\", "E:\\"}, {0, 0, 1, 2}, 4},
        ArrivalCase{"AllAtOnce", {"cde"}, 0, {"C:\\", "D:\\", "E:\\"}, {0, 0}, 2},
        ArrivalCase{"Late", {"", "", "c", "", "de"}, 0, {"C:\\", "D:\\", "E:\\"}, {0, 0, 0, 0, 1, 1}, 3},
        ArrivalCase{"OutOfOrder", {"e", "d", "c"}, 0, {"C:\\", "D:\\", "E:\\"}, {0, 0, 0, 0}, 2},
        ArrivalCase{"OneNeverAnswers", {"ce", "", ""}, 3, {"C:\\"}, {0, 0, 1, 1}, 2},
        ArrivalCase{"NoneAnswers", {}, 4, {}, {0, 0, 0, 0, 0}, 1},
        ArrivalCase{"OneThrows", {"c", "d", "e"}, 0, {"C:\\", "D:\\", "E:\\"}, {0, 0, 1, 2}, 4,
                    [](ShownProgram& faulty, ShownProgram& reference) {
                      faulty.drive.throwingLetter = 'd';
                      reference.drive.drives['d'] = FailedDrive();
                    }},
        ArrivalCase{"BatchThrows", {"e", "cd"}, 0, {"C:\\", "D:\\", "E:\\"}, {0, 0, 0}, 2,
                    [](ShownProgram& faulty, ShownProgram& reference) {
                      faulty.wmi.queryThrows = true;
                      reference.wmi.connectFails = true;
                    }},
        ArrivalCase{"BatchThrowsAfterALetter", {"cde"}, 0, {"C:\\", "D:\\", "E:\\"}, {0, 0}, 2,
                    [](ShownProgram& faulty, ShownProgram&) {
                      faulty.wmi.onWait = [](const std::string&) -> WmiResult { throw std::bad_alloc(); };
                    }},
        ArrivalCase{"NoThreads", {}, 0, {"C:\\", "D:\\", "E:\\"}, {0}, 2,
                    [](ShownProgram& faulty, ShownProgram& reference) {
                      faulty.tk.noThreads = true;
                      for (char letter : {'c', 'd', 'e'}) reference.drive.drives[letter] = FailedDrive();
                    }},
        ArrivalCase{"BuildThrows", {"c"}, 2, {"C:\\"}, {0, 0}, 2, [](ShownProgram&, ShownProgram&) {}, true}),
    [](const ::testing::TestParamInfo<ArrivalCase>& p) { return std::string(p.param.name); });

TEST_F(ReportBuilder, AReportWithoutDrivesIsWrittenOnceAfterTheWaitingText) {
  p.drive.logicalDrives = 0xFC000000u;
  const int before = p.win().reportBox().setTextCount();
  Refresh();
  EXPECT_EQ(p.win().reportBox().setTextCount() - before, 2);
  EXPECT_EQ(Text(), "\r\n" + kSep + "\r\n\r\n" + Field(" Drives: ", "0  (0)") + "\r\n");
}

TEST_F(ReportBuilder, QuittingAtTheFirstYieldLeavesTheWaitingText) {
  AddDrive('c', FixedDrive());
  p.tk.onDoEvents = [&](int n) {
    if (n == 1) p.ui().Quit();
  };
  Refresh();
  EXPECT_EQ(Text(), " Please wait...");
  EXPECT_TRUE(p.drive.calls.empty());
  EXPECT_TRUE(p.ui().ReportIdle());
}

TEST_F(ReportBuilder, QuittingWhileWaitingForTheFourthOfFiveDrivesEndsAfterTheThird) {
  for (char letter : {'c', 'd', 'e', 'f', 'g'}) AddDrive(letter, FixedDrive());
  p.tk.onDoEvents = [&](int n) {
    if (n == 5) p.ui().Quit();  // the wait for F
  };
  Refresh();
  const std::string text = Text();
  EXPECT_EQ(ValuesOf(text, " Drive: "), (std::vector<std::string>{"C:\\", "D:\\", "E:\\"}));
  EXPECT_TRUE(ValuesOf(text, " Drives: ").empty());
  const std::string ending = "\r\n" + kSep + "\r\n\r\n";
  ASSERT_GE(text.size(), ending.size());
  EXPECT_EQ(text.substr(text.size() - ending.size()), ending);
  EXPECT_EQ(CallsFor("g:\\"), 0);
  EXPECT_TRUE(p.ui().ReportIdle());
}

TEST_F(ReportBuilder, RefreshCommandsDuringABuildAreDropped) {
  for (char letter : {'c', 'd', 'e'}) AddDrive(letter, FixedDrive());
  p.tk.onDoEvents = [&](int n) {
    if (n == 2) {
      int16_t f5 = 116;
      p.g().OnReportBoxKeyDown(f5, 0);
      RunMenuItem(p.ui(), static_cast<int>(CommandId::Refresh));
    }
  };
  const int before = p.tk.doEventsCount;
  Refresh();
  EXPECT_EQ(p.Builds(), 1);
  EXPECT_EQ(p.tk.doEventsCount - before, 4);
  EXPECT_EQ(ValuesOf(Text(), " Drive: ").size(), 3u);
  EXPECT_EQ(ValuesOf(Text(), " Drives: "), std::vector<std::string>{"3  (3)"});
}

class CloseFromOutsideDuringYield : public ReportBuilder, public ::testing::WithParamInterface<int> {};

TEST_P(CloseFromOutsideDuringYield, StopsAndNeverRecreatesAWindow) {
  const int closingYield = GetParam();
  for (char letter : {'c', 'd', 'e', 'f'}) AddDrive(letter, FixedDrive());
  toolkit::HeadlessMainWindow* window = p.tk.mainWindow;
  p.tk.onDoEvents = [&](int n) {
    if (n == closingYield) window->RequestClose();
  };
  Refresh();

  EXPECT_TRUE(p.ui().ReportIdle());
  EXPECT_FALSE(p.ui().Quitting());
  EXPECT_FALSE(window->Loaded());
  EXPECT_EQ(p.tk.mainWindowsLoaded, 1);
  EXPECT_EQ(p.tk.loadedForms, 0);
  // The unloaded box kept what was written before the close, and nothing after it: at the
  // n-th yield, n - 1 workers have answered and the blocks before the last of them are in.
  const int blocksBefore = std::max(0, closingYield - 2);
  const std::string text = window->reportBox().Text();
  if (blocksBefore == 0) {
    EXPECT_EQ(text, " Please wait...");
  } else {
    EXPECT_EQ(ValuesOf(text, " Drive: ").size(), static_cast<std::size_t>(blocksBefore));
    EXPECT_TRUE(ValuesOf(text, " Drives: ").empty());
  }
  EXPECT_EQ(p.drive.calls.size(), static_cast<std::size_t>(4 * (closingYield - 1)));
}

INSTANTIATE_TEST_SUITE_P(Yields, CloseFromOutsideDuringYield, ::testing::Values(1, 2, 3, 5));

TEST_F(ReportBuilder, CloseFromOutsideInsideAQueryStopsWritingAtOnce) {
  // A call that pumps messages (the management service does) can let a close request in.
  for (char letter : {'c', 'd', 'e'}) AddDrive(letter, FixedDrive());
  p.wmi.disks["D:"].partitionTypes = kMbr;
  toolkit::HeadlessMainWindow* window = p.tk.mainWindow;
  p.drive.onCall = [&](const std::string& call) {
    if (call == "type D:\\") window->RequestClose();
  };
  Refresh();

  // The box keeps what it showed at the last yield: C's whole block and nothing of D's.
  const std::string text = window->reportBox().Text();
  const std::string blockEnd = "\r\n" + kSep + "\r\n\r\n";
  ASSERT_GE(text.size(), blockEnd.size());
  EXPECT_EQ(text.substr(text.size() - blockEnd.size()), blockEnd);
  EXPECT_EQ(ValuesOf(text, " Drive: "), std::vector<std::string>{"C:\\"});
  EXPECT_EQ(CallsFor("e:\\"), 0);
  EXPECT_EQ(p.wmi.queries, kBatchQueries);
  EXPECT_EQ(p.tk.mainWindowsLoaded, 1);
  EXPECT_TRUE(p.ui().ReportIdle());
}

TEST_F(ReportBuilder, QuitCommandFinishedByATimerTickDuringAYield) {
  for (char letter : {'c', 'd', 'e'}) AddDrive(letter, FixedDrive());
  toolkit::HeadlessMainWindow* window = p.tk.mainWindow;
  p.tk.onDoEvents = [&](int n) {
    if (n == 3) {  // the wait for D
      p.ui().Quit();
      window->Tick();
    }
  };
  Refresh();
  EXPECT_FALSE(window->Loaded());
  EXPECT_EQ(p.tk.mainWindowsLoaded, 1);
  EXPECT_EQ(ValuesOf(window->reportBox().Text(), " Drive: ").size(), 1u);
  EXPECT_EQ(CallsFor("e:\\"), 0);
  EXPECT_TRUE(p.ui().ReportIdle());
}

TEST(ReportBuilderWithoutWindows, LoadsNoFormAndWritesNothing) {
  testing::TestProgram t;
  t.drive.logicalDrives = testing::LetterMask("c");
  RefreshDriveReport(t.program.ui);
  EXPECT_EQ(t.tk.mainWindowsLoaded, 0);
  EXPECT_TRUE(t.drive.calls.empty());
  EXPECT_EQ(t.tk.doEventsCount, 0);
  EXPECT_TRUE(t.ui().ReportIdle());
}

TEST_F(ReportBuilder, AfterAnUnloadHasBegunWritesNothing) {
  AddDrive('c', FixedDrive());
  Refresh();
  const std::string before = Text();
  const int setTexts = p.win().reportBox().setTextCount();
  int16_t cancel = 0;
  p.g().OnQueryUnload(cancel, toolkit::kUnloadFromCode);
  Refresh();
  EXPECT_EQ(Text(), before);
  EXPECT_EQ(p.win().reportBox().setTextCount(), setTexts);
  EXPECT_TRUE(p.ui().ReportIdle());
}

}  // namespace
}  // namespace tarnvik
