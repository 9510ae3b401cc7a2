// The volume behind a letter and the volumes without one, against volumes in memory.
#include "report/volume_facts.h"

#include <gtest/gtest.h>
#include <thread>

#include "fakes/fake_disk_api.h"
#include "fakes/fake_drive_api.h"
#include "fakes/fake_volume_api.h"
#include "fakes/fake_wmi_api.h"
#include "report/partition_style.h"

namespace tarnvik {
namespace {

using namespace std::string_literals;
using Paths = std::optional<std::string>;
const std::string kGuid = "\\\\?\\Volume{5a3c9e11-0000-0000-0000-100000000000}\\";
const std::string kLong = "C:\\" + std::string(300, 'd') + "\\", kLonger = kLong + kLong;
std::string Guid(char last) { return "\\\\?\\Volume{00000000-0000-0000-0000-00000000000" + std::string(1, last) + "}\\"; }

TEST(VolumeFacts, PathListsAreAskedAgainWhileTheyGrowAndReadToTheirSecondNul) {
  const std::string x300(300, 'x'), x600(600, 'x'), x1300(1300, 'x'), x2700(2700, 'x');
  const struct { const char* name; std::vector<std::string> turns; Paths want; std::size_t asks; } cases[] = {
      {"one letter", {"C:\\\0\0"s}, "C:\\\n", 1},
      {"a letter and a folder", {"E:\\\0C:\\Data\\\0\0"s}, "E:\\\nC:\\Data\\\n", 1},
      {"none", {"\0"s}, "", 1},
      {"cut before its second NUL", {"C:\\\0"s}, std::nullopt, 1},
      {"longer than the first ask", {kLong + "\0\0"s}, kLong + "\n", 2},
      {"grown between two asks", {kLong + "\0\0"s, kLonger + "\0\0"s}, kLonger + "\n", 3},
      {"growing at every ask", {x300, x600, x1300, x2700}, std::nullopt, 4},
  };
  for (const auto& c : cases) {
    testing::FakeVolumeApi api;
    api.pathLists[kGuid] = c.turns;
    EXPECT_EQ(ReadMountPaths(api, kGuid), c.want) << c.name;
    EXPECT_EQ(api.pathAsks[kGuid], c.asks) << c.name;
  }
}

std::vector<unsigned char> Partition(uint32_t style, std::vector<unsigned char> type, std::size_t size = 144) {
  std::vector<unsigned char> bytes(144);
  bytes[0] = static_cast<unsigned char>(style);
  bytes[10] = 0x10, bytes[23] = 0x01, bytes[24] = 3;  // offset 1 MiB, length 2^56, partition 3
  std::copy(type.begin(), type.end(), bytes.begin() + 32);
  bytes.resize(size);
  return bytes;
}
const PartitionFacts kMbr{3, 1u << 20, 1ull << 56, false, "0x07"};

TEST(VolumeFacts, PartitionAnswersGiveMbrTypeByteOrGptTypeGuid) {
  const std::vector<unsigned char> efi = {0x28, 0x73, 0x2a, 0xc1, 0x1f, 0xf8, 0xd2, 0x11,
                                          0xba, 0x4b, 0x00, 0xa0, 0xc9, 0x3e, 0xc9, 0x3b};
  const PartitionFacts gpt{3, 1 << 20, 1ull << 56, true, "{c12a7328-f81f-11d2-ba4b-00a0c93ec93b}"};
  const struct { const char* name; std::vector<unsigned char> bytes; std::optional<PartitionFacts> want; } cases[] = {
      {"MBR", Partition(0, {0x07}), kMbr},
      {"GPT", Partition(1, efi), gpt},
      {"GPT cut in its type", Partition(1, efi, 47), std::nullopt},
      {"MBR cut before its type", Partition(0, {0x07}, 32), std::nullopt},
      {"no partition table (RAW)", Partition(2, efi), std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ParsePartitionInfo(c.bytes.data(), c.bytes.size()), c.want) << c.name;
}

TEST(VolumeFacts, WalkListsEachLetterlessVolumeOnceAndNoLetteredOne) {
  testing::FakeVolumeApi api;
  api.pathLists = {{Guid('a'), {"C:\\\0\0"s}}, {Guid('b'), {"\0"s}}, {Guid('c'), {"D:\\Data\\\0\0"s}},
                   {Guid('e'), {"D:\\Data\\\0e:\\\0\0"s}}};
  api.search = {Guid('a'), Guid('b'), Guid('b'), Guid('c'), Guid('d') /* gone */, "\\\\?\\Volume{b}\\", Guid('e'),
                Guid('x') /* odd bytes */};
  api.pathLists[Guid('x')] = {"\0"s};
  EXPECT_EQ(ListLetterlessVolumes(api), (std::vector<std::string>{Guid('b'), Guid('c')}));
  EXPECT_EQ(api.openSearches, 0);
}

// BitLocker: only when elevated, under the partition styles' lock (Wine's provider takes one caller), awaited without.
TEST(VolumeFacts, LetterAndItsGuidPathGiveOneVolumeSharesOnlyWhileConnectedBitLockerOnlyWhenElevated) {
  testing::FakeDriveApi drives;
  testing::FakeVolumeApi volumes;
  testing::FakeWmiApi wmi;  // knows no BitLocker volume
  VolumeCalls calls{volumes, wmi};
  std::vector<bool> lockTaken;  // at each question and each wait, as a batch on another thread finds it
  wmi.onAsk = [&](const std::string&) {
    std::thread([&] { lockTaken.push_back(!ManagementServiceLock().try_lock() || (ManagementServiceLock().unlock(), false)); }).join();
  };
  wmi.onWait = [&](const std::string& path) { return wmi.onAsk(path), kWmiOk; };
  auto& c = drives.drives['c'];
  c.label = "SYSTEM", c.totalBytes = 1000, c.freeBytes = 600, c.flags = kFileVolumeIsCompressed | 0x2, c.quotaLeft = 100;
  drives.drives['\\'] = c;
  volumes.guidPaths = {{"C:\\", kGuid}, {"Z:\\", kGuid}};
  volumes.pathLists[kGuid] = {"C:\\\0\0"s};
  const VolumeFacts letter = QueryLetterVolume(calls, 2, CollectDriveAnswers(drives, 2), true);
  EXPECT_EQ(letter, (VolumeFacts{kGuid, "C:\\\n", 100, false, true, {}, {}, {}}));
  EXPECT_EQ(QueryGuidVolume(calls, kGuid, CollectVolumeAnswers(drives, kGuid), true), letter);
  const std::string asked = "Win32_EncryptableVolume.DeviceID='\\\\\\\\?\\\\" + kGuid.substr(4, 44) + "\\\\'";
  EXPECT_EQ(wmi.objectPaths, (std::vector<std::string>{asked, asked}));
  EXPECT_EQ(wmi.connects[0], ".|root\\CIMV2\\Security\\MicrosoftVolumeEncryption");
  EXPECT_EQ(lockTaken, (std::vector<bool>{true, false, true, false}));
  drives.drives['z'].type = kDriveRemote;
  for (const uint32_t result : {0u, 1201u /* ERROR_CONNECTION_UNAVAIL: remembered, its server gone */}) {
    volumes.shares["Z:"] = {result, "\\\\files\\home"};
    const VolumeFacts share = QueryLetterVolume(calls, 25, CollectDriveAnswers(drives, 25), false);
    EXPECT_EQ(share.remotePath, result == 0 ? std::optional<std::string>("\\\\files\\home") : std::nullopt);
    EXPECT_FALSE(share.guidPath || share.mountPaths) << "a share lies on no volume here";
  }
  QueryLetterVolume(calls, 2, CollectDriveAnswers(drives, 2), false);
  EXPECT_EQ(wmi.connects.size(), 2u) << "asked without administrator rights";
}

struct EncryptableVolume : WmiObject {  // an object read, with its numbers
  std::map<std::string, uint32_t> numbers;
  WmiResult GetText(const std::string&, std::optional<std::string>&) override { return testing::kFakeNotFound; }
  WmiResult GetNumber(const std::string& name, std::optional<uint32_t>& value) override {
    if (numbers.count(name) != 0) value = numbers[name];
    return numbers.count(name) != 0 ? kWmiOk : testing::kFakeNotFound;
  }
};

TEST(VolumeFacts, BitLockerCodesAreTakenAsTheVolumeGivesThem) {
  EncryptableVolume locked, windows7, none;
  locked.numbers = {{"ProtectionStatus", 2}, {"ConversionStatus", 1}}, windows7.numbers = {{"ProtectionStatus", 0}};
  EXPECT_EQ(ReadEncryption(locked), (EncryptionFacts{2, 1}));
  EXPECT_EQ(ReadEncryption(windows7), (EncryptionFacts{0, std::nullopt}));
  EXPECT_EQ(ReadEncryption(none), std::nullopt);
}

}  // namespace
}  // namespace tarnvik
