// The disk and machine adapters under Wine, against the letters the runner prepared.
#include <gtest/gtest.h>
#include <ctime>

#include "report/disk_api_win.h"
#include "report/disk_facts.h"
#include "report/machine_api_win.h"
#include "report/machine_facts.h"
#include "test_env_win.h"

namespace tarnvik {
namespace {

// Wine opens every letter (network and missing folders too) and answers a 40-byte descriptor
// (SCSI, no texts), but places no volume on a disk (0 extents): no letter has a disk.
TEST(WinDiskApi, WineOpensEachLetterButPlacesItOnNoDiskAndKeepsEvents) {
  win::WinDiskApi api;
  std::string letters = "c";
  for (const wchar_t* name : {L"TARNVIK_TEST_DRIVE", L"TARNVIK_TEST_CDROM", L"TARNVIK_TEST_MISSING",
                              L"TARNVIK_TEST_FLOPPY", L"TARNVIK_TEST_NETWORK"})
    if (const auto letter = testing::EnvDriveLetter(name)) letters += *letter;
  for (const char letter : letters) EXPECT_EQ(QueryDisk(api, letter, {}), std::nullopt) << letter;
  uint32_t error = 0, returned = 0;
  const ScopedDevice c(api, api.CreateFileW("\\\\.\\C:", 0, &error));
  ASSERT_TRUE(c) << error;
  unsigned char query[12] = {}, out[1024];
  ASSERT_TRUE(api.DeviceIoControl(c.get(), ioctl::kStorageQueryProperty, query, 12, out, 1024, &returned, &error));
  DiskFacts parsed;
  ParseDeviceDescriptor(out, returned, parsed);
  EXPECT_EQ(parsed, (DiskFacts{.busType = 1, .removable = false}));
  query[0] = ioctl::kStorageDeviceSeekPenaltyProperty;
  EXPECT_FALSE(api.DeviceIoControl(c.get(), ioctl::kStorageQueryProperty, query, 12, out, 12, &returned, &error));
  EXPECT_EQ(error, 50u);  // ERROR_NOT_SUPPORTED
  // The deadline's event: a wait ends by its time until the event is set, then at once, and stays so.
  const DeviceHandle event = api.CreateEventW();
  EXPECT_EQ(api.WaitForSingleObject(event, 10), kWaitTimeout);
  EXPECT_TRUE(api.SetEvent(event) && api.WaitForSingleObject(event, 0) + api.WaitForSingleObject(event, 0) == 0);
  EXPECT_TRUE(event != kNoDevice && api.CloseHandle(event));
}

TEST(WinMachineApi, NamesTheMachineItsArchitectureAndTheTimeNow) {
  win::WinMachineApi api;
  const MachineFacts facts = QueryMachine(api, std::nullopt);
  EXPECT_TRUE(facts.computerName && !facts.computerName->empty());
  EXPECT_EQ(QueryElevation(api), true);  // Wine's user is an administrator
  EXPECT_TRUE(sizeof(void*) == 4 || facts.architecture == "x64") << facts.architecture.value_or("null");
  std::tm taken{};
  ASSERT_EQ(std::sscanf(facts.takenUtc.c_str(), "%d-%d-%dT%d:%d:%dZ", &taken.tm_year, &taken.tm_mon, &taken.tm_mday,
                        &taken.tm_hour, &taken.tm_min, &taken.tm_sec), 6);
  taken.tm_year -= 1900, taken.tm_mon -= 1;
  EXPECT_LT(std::abs(_mkgmtime(&taken) - std::time(nullptr)), 60) << facts.takenUtc;
}

}  // namespace
}  // namespace tarnvik
