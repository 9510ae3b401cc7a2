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
  Put(b, 0, 40);
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
  const struct { const char* name; Bytes bytes; std::size_t returned; DeviceDescriptor want; } cases[] = {
      {"padded texts", full, 0, {"ATA", "Samsung SSD 860", "1B6Q", "S3Z9NB0K12", 11, false}},
      {"offsets 0, as Wine gives", Descriptor(1, {}), 0, {{}, {}, {}, {}, 1, false}},
      {"offsets at and past the size", pastEnd, 0, {"USB", {}, {}, {}, 7, true}},
      {"text without its NUL", noNul, 0, {{}, {}, {}, {}, 17, false}},
      {"cut short before the texts", full, 40, {{}, {}, {}, {}, 11, false}},
      {"unknown bus type", Descriptor(0x7F, {}), 0, {{}, {}, {}, {}, 0x7F, false}},
  };
  for (const auto& c : cases)  // returned 0: all of it
    EXPECT_EQ(ParseDeviceDescriptor(c.bytes.data(), c.returned ? c.returned : c.bytes.size()), c.want) << c.name;
  EXPECT_EQ(BusTypeText(11) + BusTypeText(0x11) + BusTypeText(0x15), "SATANVMe21");  // 0x15: not yet a bus
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
  const struct {
    const char* name;
    uint32_t minor;
    testing::FakeIoAnswer seekPenalty;
    Bytes descriptor;
    std::optional<bool> ssd, trim;
    std::string serial;
    std::size_t descriptorAsks;
  } cases[] = {
      {"Vista asks neither seek penalty nor trim", 0, {noPenalty}, Descriptor(11, {"", "WDC"}), {}, {}, "", 1},
      {"a seek penalty: no SSD", 1, {penalty}, Descriptor(11, {"", "WDC"}), false, true, "", 1},
      {"no seek penalty: an SSD", 1, {noPenalty}, Descriptor(11, {"", "WDC"}), true, true, "", 1},
      {"seek penalty refused: unknown", 1, {{}, 50}, Descriptor(11, {"", "WDC"}), {}, true, "", 1},
      {"a descriptor past the first buffer, asked again whole", 1, {{}, 50},
       Descriptor(11, {"", "WDC", "", "S3Z9"}, false, 600), {}, true, "S3Z9", 2},
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
    EXPECT_EQ(api.Count("io " + disk + " 2954240 7") + api.Count("io " + disk + " 2954240 8"), 2 * c.minor) << c.name;
    EXPECT_TRUE(api.open.empty()) << c.name;
  }
}

TEST(Csv, EveryFieldQuotedTheQuotesDoubled) {
  std::string document;
  for (const char* field : {"", "C", "say \"hi\", then; go\r\nДИСК"}) AppendCsvField(document, field);
  EXPECT_EQ(document, "\"\"\"C\"\"say \"\"hi\"\", then; go\r\nДИСК\"");
}

TEST(MachineFacts, NamesTimeAndTheMachinesArchitecture) {
  testing::FakeMachineApi api;
  api.names[kComputerNameNetBios] = "DESK-7";
  api.now = {2026, 1, 5, 2, 3, 4, 5, 0};
  EXPECT_EQ(QueryMachine(api), (MachineFacts{"DESK-7", std::nullopt, "2026-01-02T03:04:05Z", "x86"}));
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
