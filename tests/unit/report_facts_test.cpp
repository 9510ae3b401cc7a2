// The facts a report gains beside the volume's: the disk behind a letter, the machine, the CSV form.
#include <gtest/gtest.h>

#include "fakes/fake_disk_api.h"
#include "fakes/fake_machine_api.h"
#include "report/csv.h"
#include "report/disk_facts.h"
#include "report/machine_facts.h"

namespace tarnvik {
namespace {

using Bytes = std::vector<unsigned char>;

void Put(Bytes& b, std::size_t at, uint64_t v, std::size_t width = 4) {
  b.resize(std::max(b.size(), at + width));
  for (std::size_t i = 0; i < width; ++i) b[at + i] = static_cast<unsigned char>(v >> (8 * i));
}

// A STORAGE_DEVICE_DESCRIPTOR with texts for the vendor, product, revision and serial ("": none),
// each `gap` bytes after the one before. It begins with its version, 40, as Windows' do.
Bytes Descriptor(uint32_t bus, std::vector<std::string> texts, bool removable = false, std::size_t gap = 0) {
  Bytes b(40);
  Put(b, 0, 40);  // the version
  for (std::size_t slot = 0; slot < texts.size(); ++slot) {
    if (texts[slot].empty()) continue;
    b.resize(b.size() + gap);
    Put(b, 12 + 4 * slot, b.size());
    b.insert(b.end(), texts[slot].c_str(), texts[slot].c_str() + texts[slot].size() + 1);
  }
  Put(b, 28, bus), Put(b, 4, b.size()), b[10] = removable;
  return b;
}

TEST(DiskFacts, DescriptorFieldsAreReadOnlyWhereTheAnswerHoldsThem) {
  const Bytes full = Descriptor(11, {"  ATA     ", "Samsung SSD 860 ", "1B6Q", "  S3Z9NB0K12  "});
  Bytes noNul = Descriptor(17, {"", "", "", "X"});
  noNul.back() = 'Y';  // the serial runs to the end without its NUL
  Bytes pastEnd = Descriptor(7, {"USB"}, true);
  Put(pastEnd, 16, pastEnd.size()), Put(pastEnd, 24, pastEnd.size() + 9);
  const struct { const char* name; Bytes bytes; std::size_t returned; DiskFacts want; } cases[] = {
      {"padded texts", full, 0, {{}, "ATA", "Samsung SSD 860", "1B6Q", "S3Z9NB0K12", 11, false}},
      {"offsets 0, as Wine gives", Descriptor(1, {}), 0, {{}, {}, {}, {}, {}, 1, false}},
      {"offsets at and past the size", pastEnd, 0, {{}, "USB", {}, {}, {}, 7, true}},
      {"text without its NUL", noNul, 0, {{}, {}, {}, {}, {}, 17, false}},
      {"cut short before the texts", full, 40, {{}, {}, {}, {}, {}, 11, false}},
      {"unknown bus type", Descriptor(0x7F, {}), 0, {{}, {}, {}, {}, {}, 0x7F, false}},
  };
  for (DiskFacts parsed; const auto& c : cases)  // returned 0: all of it
    EXPECT_EQ((ParseDeviceDescriptor(c.bytes.data(), c.returned ? c.returned : c.bytes.size(), parsed = {}), parsed),
              c.want) << c.name;
  EXPECT_TRUE(std::string(BusTypeName(11)) + BusTypeName(0x11) == "SATANVMe" && !BusTypeName(0x15));  // not yet a bus
}

Bytes Extents(std::vector<uint32_t> disks) {
  Bytes b(8);
  Put(b, 0, disks.size());
  for (std::size_t i = 0; i < disks.size(); ++i) Put(b, 8 + 24 * i, disks[i]), b.resize(32 + 24 * i);
  return b;
}

TEST(DiskFacts, ExtentsGiveTheDiskNumbersOrNoDisk) {
  const struct { const char* name; testing::FakeIoAnswer extents; std::optional<std::vector<uint32_t>> want; } cases[] = {
      {"one disk", {Extents({3})}, std::vector<uint32_t>{3}},
      {"two disks, asked again", {Extents({1, 0, 1}), 0, ioctl::kErrorMoreData}, std::vector<uint32_t>{1, 0}},
      {"refused", {{}, 50}, std::nullopt},
      {"no extents, as Wine gives", {Extents({})}, std::nullopt},
  };
  for (const auto& c : cases) {
    testing::FakeDiskApi api;
    api.answers[{"\\\\.\\E:", ioctl::kVolumeGetVolumeDiskExtents, ~0u}] = c.extents;
    const auto disk = QueryDisk(api, 'e', {.major = 6, .minor = 1});
    EXPECT_EQ(disk ? std::optional(disk->numbers) : std::nullopt, c.want) << c.name;
    EXPECT_TRUE(!disk || api.calls[c.want->size() > 1 ? 3 : 2] == "open \\\\.\\PhysicalDrive" + std::to_string((*c.want)[0]));
    EXPECT_TRUE(api.open.empty()) << c.name;
  }
  testing::FakeDiskApi refused;
  refused.openErrors["\\\\.\\E:"] = 5;
  EXPECT_EQ(QueryDisk(refused, 'E', {.major = 6, .minor = 1}), std::nullopt);
}

TEST(DiskFacts, TheDiskSaysWhatItIsAskedFromTheWindowsThatHasEachQuestion) {
  const std::string disk = "\\\\.\\PhysicalDrive2";
  Bytes geometry(40), prediction(516), trim(12), penalty(12), noPenalty(12);
  Put(geometry, 24, 500107862016, 8), prediction[0] = 1, trim[8] = 1, penalty[8] = 1;
  const struct { const char* name; uint32_t minor; testing::FakeIoAnswer seekPenalty; Bytes descriptor;
                 std::optional<bool> ssd, trim; std::string serial; std::size_t descriptorAsks; } cases[] = {
      {"Vista asks neither seek penalty nor trim", 0, {noPenalty}, Descriptor(11, {"", "WDC"}), {}, {}, "", 1},
      {"a seek penalty: no SSD", 1, {penalty}, Descriptor(11, {"", "WDC"}), false, true, "", 1},
      {"no seek penalty: an SSD", 1, {noPenalty}, Descriptor(11, {"", "WDC"}), true, true, "", 1},
      {"seek penalty refused: unknown", 1, {{}, 50}, Descriptor(11, {"", "WDC"}), {}, true, "", 1},
      {"past the first buffer: asked again", 1, {{}, 50}, Descriptor(11, {"", "WDC", "", "S3Z9"}, false, 600), {}, true, "S3Z9", 2},
  };
  for (const auto& c : cases) {
    testing::FakeDiskApi api;
    api.answers = {{{disk, ioctl::kStorageQueryProperty, 0}, {c.descriptor}},
                   {{disk, ioctl::kStorageQueryProperty, 7}, c.seekPenalty},
                   {{disk, ioctl::kStorageQueryProperty, 8}, {trim}},
                   {{disk, ioctl::kDiskGetDriveGeometryEx, ~0u}, {geometry}},
                   {{disk, ioctl::kStoragePredictFailure, ~0u}, {prediction}}};
    DiskFacts want{{}, {}, "WDC", {}, c.serial, 11, false, c.ssd, c.trim, 500107862016, true};
    EXPECT_EQ(QueryDiskDevice(api, 2, {.major = 6, .minor = c.minor}), want) << c.name;
    EXPECT_EQ(api.Count("io " + disk + " 2954240 0"), c.descriptorAsks) << c.name;
    EXPECT_EQ(api.Count("io " + disk + " 2954240 7") + api.Count("io " + disk + " 2954240 8") + api.open.size(),
              2 * c.minor) << c.name << ": seek penalty and trim from 6.1 on, every device closed";
  }
}

Bytes With(Bytes b, std::size_t at, uint64_t v, std::size_t width = 4) { return Put(b, at, v, width), b; }

// The SMART / health log of a worn NVMe disk as a STORAGE_PROTOCOL_DATA_DESCRIPTOR, and what it says.
Bytes NvmeLog() {
  Bytes b(48 + 512);
  Put(b, 0, 48), Put(b, 4, 48), Put(b, 8, 3), Put(b, 12, 2), Put(b, 16, 2), Put(b, 24, 40), Put(b, 28, 512);
  b[48] = 0x04, Put(b, 49, 318, 2), b[51] = 97, b[52] = 10, b[53] = 12;
  for (const auto& [at, count] : {std::pair{32, 1000}, {48, 3000}, {112, 1234}, {128, 5678}, {144, 42}, {176, 7}})
    Put(b, 48 + at, static_cast<uint64_t>(count), 8);
  return b;
}
const DiskHealth kLog{45, {}, {}, 12, 97, 10, 0x04, 512000000, 1536000000, 1234, 5678, 42, 0, 7};

// A STORAGE_TEMPERATURE_DATA_DESCRIPTOR: critical 85, warning 70 degrees, sensors {index, Celsius}.
Bytes Temperatures(std::vector<std::pair<int, int>> sensors, std::size_t infoCount = 0) {
  Bytes b(24);
  Put(b, 8, 85, 2), Put(b, 10, 70, 2), Put(b, 12, infoCount ? infoCount : sensors.size(), 2);
  for (const auto& [index, celsius] : sensors)  // Index, Temperature, and 12 bytes this program does not read
    Put(b, b.size(), static_cast<uint64_t>(index | (celsius & 0xFFFF) << 16), 8), b.resize(b.size() + 8);
  return Put(b, 4, b.size()), b;
}

TEST(DiskHealth, ParsersReadOnlyWholeAnswersOfTheKindAsked) {
  DiskHealth noTemperature = kLog, noHours = kLog, noBytesRead = kLog;
  noTemperature.temperatureCelsius.reset(), noHours.powerOnHours.reset(), noBytesRead.dataReadBytes.reset();
  const Bytes log = NvmeLog();
  const struct { const char* name; Bytes bytes; std::optional<DiskHealth> want; bool nvme = true; } rows[] = {
      {"a whole log", log, kLog}, {"cut short", Bytes(log.begin(), log.end() - 1), {}},
      {"a size field past the answer", With(log, 4, 561), {}}, {"another page", With(log, 16, 3), {}},
      {"another protocol", With(log, 8, 2), {}}, {"data past the answer", With(log, 24, 41), {}},
      {"0 Kelvin", With(log, 49, 0, 2), noTemperature}, {"a counter past 2^64 - 1", With(log, 184, 1, 1), noHours},
      {"bytes past 2^64 - 1", With(log, 80, UINT64_MAX / 512000 + 1, 8), noBytesRead},
      {"two sensors: the device's own, listed second", Temperatures({{1, 50}, {0, 41}}), DiskHealth{41, 70, 85}, false},
      {"without sensor 0, the first", Temperatures({{2, 33}, {3, 60}}), DiskHealth{33, 70, 85}, false},
      {"InfoCount past the data", Temperatures({{1, 39}}, 3), DiskHealth{39, 70, 85}, false},
      {"a size field past the buffer", With(Temperatures({{1, 38}}, 2), 4, 400), DiskHealth{38, 70, 85}, false},
      {"a sensor that reads nothing, no limits", With(Temperatures({{0, -273}}), 8, 0), DiskHealth{}, false},
      {"cut before the sensors", Bytes(23), {}, false},
  };
  for (const auto& r : rows) {
    DiskHealth h;
    const bool read = r.nvme ? ParseNvmeHealthLog(r.bytes.data(), r.bytes.size(), h)
                             : ParseTemperatures(r.bytes.data(), r.bytes.size(), h);
    EXPECT_EQ(read ? std::optional(h) : std::nullopt, r.want) << r.name;
  }
}

TEST(DiskHealth, TheVerdictFollowsItsRulesInOrder) {
  const struct { const char* rule; std::optional<bool> predicted; DiskHealth h; const char* want; } rows[] = {
      {"nothing read", {}, {}, nullptr}, {"a temperature alone is not enough", {}, {40}, nullptr},
      {"failure prediction answered", false, {}, "ok"}, {"the NVMe log read", {}, {.criticalWarnings = 0}, "ok"},
      {"failure predicted", true, {}, "failing"}, {"spare below its threshold", {}, {.criticalWarnings = 1}, "failing"},
      {"reliability degraded", {}, {.criticalWarnings = 4}, "failing"}, {"read-only", {}, {.criticalWarnings = 8}, "failing"},
      {"volatile-memory backup failed", {}, {.criticalWarnings = 0x10}, "failing"},
      {"failing before warning", true, {.percentageUsed = 95}, "failing"},
      {"90 percent used", false, {.percentageUsed = 90}, "warning"}, {"89", false, {.percentageUsed = 89}, "ok"},
      {"at the warning temperature", {}, {70, 70}, "warning"}, {"below it", false, {69, 70}, "ok"},
      {"the temperature bit", {}, {.criticalWarnings = 2}, "warning"},
      {"a media error", {}, {.criticalWarnings = 0, .mediaErrors = 1}, "warning"},
      {"a bit without a rule", {}, {.criticalWarnings = 0x20}, "ok"},
  };
  for (const auto& r : rows) EXPECT_STREQ(HealthStatus(r.predicted, r.h), r.want) << r.rule;
}

// An NVMe disk's health questions: from Windows 10 on; a refused one leaves its members null.
TEST(DiskHealth, AskedFromWindows10WhereARefusedQuestionLeavesTheRestStanding) {
  const std::string disk = "\\\\.\\PhysicalDrive0";
  DiskHealth both = kLog, noLog{41, 70, 85};
  both.temperatureCelsius = 41, both.warningTemperatureCelsius = 70, both.criticalTemperatureCelsius = 85;
  const struct { const char* name; uint32_t major; bool temperature, log, predicted; std::optional<DiskHealth> want;
                 bool controllerLog = false; } rows[] = {
      {"Windows 8.1 asks none", 6, true, true, true, {}}, {"both answer", 10, true, true, true, both},
      {"temperature refused", 10, false, true, true, kLog}, {"log refused", 10, true, false, true, noLog},
      {"the namespace's log refused, the controller's given", 10, true, false, true, both, true},
      {"failure prediction alone", 10, false, false, true, DiskHealth{}},
      {"nothing answers, as under Wine", 10, false, false, false, {}}};
  for (const auto& r : rows) {
    testing::FakeDiskApi api;
    api.answers[{disk, ioctl::kStorageQueryProperty, 0}] = {Descriptor(0x11, {})};
    api.answers[{disk, ioctl::kStorageQueryProperty, 52}] = {Temperatures({{0, 41}}), r.temperature ? 0u : 50u};
    api.answers[{disk, ioctl::kStorageQueryProperty, 50}] = {NvmeLog(), r.log ? 0u : 50u};
    api.answers[{disk, ioctl::kStorageQueryProperty, 49}] = {NvmeLog(), r.controllerLog ? 0u : 50u};
    api.answers[{disk, ioctl::kStoragePredictFailure, ~0u}] = {Bytes(516), r.predicted ? 0u : 50u};
    EXPECT_EQ(QueryDiskDevice(api, 0, {r.major, r.major == 10 ? 0u : 3u}).health, r.want) << r.name;
    EXPECT_EQ(api.Count("io " + disk + " 2954240 52") + api.Count("io " + disk + " 2954240 50"), r.major > 6 ? 2u : 0u)
        << r.name << ": the temperature and the NVMe log are asked from Windows 10 on";
  }
}

TEST(Csv, EveryFieldQuotedTheQuotesDoubled) {
  std::string document;
  for (const char* field : {"", "C", "say \"hi\", then; go\r\nДИСК", "=1", "+1", "-", "@", "\t1", "\r1"})
    AppendCsvField(document, field);  // a sheet would run the last six
  EXPECT_EQ(document, "\"\"\"C\"\"say \"\"hi\"\", then; go\r\nДИСК\"\"'=1\"\"'+1\"\"'-\"\"'@\"\"'\t1\"\"'\r1\"");
}

TEST(MachineFacts, NamesTimeAndTheMachinesArchitecture) {
  testing::FakeMachineApi api;
  api.names = {{0, "CLUSTER"}, {3, "cl.corp"},  // a cluster's node: the plain forms name the cluster
               {kComputerNamePhysicalNetBios, "DESK-7"}, {kComputerNamePhysicalDnsFullyQualified, "d.corp"}};
  api.now = {2026, 1, 5, 2, 3, 4, 5, 0};
  EXPECT_EQ(QueryMachine(api, true), (MachineFacts{"DESK-7", "d.corp", "2026-01-02T03:04:05Z", "x86", true}));
  for (const int administrator : {0, 1})  // a UAC-filtered token counts as 0
    EXPECT_EQ((api.administrator = administrator, QueryElevation(api)), administrator == 1);
  const struct { uint16_t nativeMachine, nativeArchitecture; std::optional<std::string> want; } cases[] = {
      {kImageFileMachineArm64, kProcessorArchitectureIntel, "ARM64"},  // x86 emulated on ARM64
      {0x01C4, kProcessorArchitectureAmd64, "x64"},                     // a machine not named: the older call
      {0, kProcessorArchitectureAmd64, "x64"},
      {0, 6, std::nullopt}};  // Itanium is none of the three
  for (const auto& c : cases) {
    api.nativeMachine = c.nativeMachine, api.nativeArchitecture = c.nativeArchitecture;
    EXPECT_EQ(MachineArchitecture(api), c.want) << c.nativeMachine << " " << c.nativeArchitecture;
  }
}

}  // namespace
}  // namespace tarnvik
