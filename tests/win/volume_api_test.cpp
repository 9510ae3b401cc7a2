// The volume adapter under Wine, against the letters the runner prepared: Wine names a GUID path
// for each letter (its last byte the letter's code), lists each volume with its one letter,
// refuses the partition query (error 50), maps no share and has no BitLocker class.
#include "report/volume_api_win.h"

#include <gtest/gtest.h>

#include <tuple>

#include "report/disk_api_win.h"
#include "report/drive_api_win.h"
#include "report/volume_facts.h"
#include "report/wmi_api_win.h"
#include "test_env_win.h"

namespace tarnvik {
namespace {

TEST(WinVolumeApi, LettersAndGuidPathsAnswerAndNoVolumeLacksALetter) {
  const std::string guidOfC = "\\\\?\\Volume{00000000-0000-0000-0000-000000000043}\\";
  win::WinVolumeApi volumes;
  win::WinDriveApi drives;
  win::WinDiskApi disks;
  win::WinWmiApi wmi;
  VolumeCalls calls{volumes, wmi};
  const DriveAnswers c = CollectDriveAnswers(drives, 2);
  EXPECT_EQ(QueryLetterVolume(calls, 2, c, true),
            (VolumeFacts{guidOfC, "C:\\\n", c.space.freeBytes, false, false, {}, {}, {}}));
  const DriveAnswers g = CollectVolumeAnswers(drives, guidOfC);
  EXPECT_EQ(std::tie(g.label, g.fileSystem, g.serial, g.space.totalBytes),
            std::tie(c.label, c.fileSystem, c.serial, c.space.totalBytes));
  EXPECT_FALSE(QueryVolumeDevice(disks, GuidVolumeDevice(guidOfC), true).partition);  // refused: error 50
  std::string list = "preset", first;
  uint32_t error = 0, asked = 0;
  const ScopedVolumeSearch search(volumes, volumes.FindFirstVolumeW(&first, &error));
  EXPECT_TRUE(search && IsVolumeGuidPath(first)) << error;
  EXPECT_EQ(ListLetterlessVolumes(volumes), std::vector<std::string>{});
  EXPECT_FALSE(volumes.GetVolumePathNamesForVolumeNameW(guidOfC, 4, &list, &asked, &error));
  EXPECT_EQ(std::tie(error, asked, list), std::make_tuple(234u, 5u, std::string("preset")));  // "C:\" and 2 NULs
  const auto cd = testing::EnvDriveLetter(L"TARNVIK_TEST_CDROM");
  const auto net = testing::EnvDriveLetter(L"TARNVIK_TEST_NETWORK");
  if (!cd || !net) GTEST_SKIP() << "the runner named no cdrom or network letter";
  EXPECT_EQ(QueryLetterVolume(calls, *cd - 'a', CollectDriveAnswers(drives, *cd - 'a'), false).readOnly, true);
  const VolumeFacts share = QueryLetterVolume(calls, *net - 'a', CollectDriveAnswers(drives, *net - 'a'), false);
  EXPECT_FALSE(share.guidPath || share.remotePath);
}

}  // namespace
}  // namespace tarnvik
