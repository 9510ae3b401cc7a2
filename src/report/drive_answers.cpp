// The collector of one drive's answers. Every call gets its outputs preset, so a drive without
// a medium still gives a complete set of defaults.
#include "report/drive_answers.h"

#include "base/text.h"

namespace tarnvik {

namespace {
constexpr uint32_t kNameBufferSize = 255;
}  // namespace

DriveAnswers CollectDriveAnswers(DriveApi& api, int index) {
  DriveAnswers answers;
  const std::string lower(1, static_cast<char>('a' + index));
  const std::string root = lower + ":\\";

  std::string volumeName(kNameBufferSize, '\0');
  std::string fileSystemName(kNameBufferSize, '\0');
  uint32_t maxComponentLength = 0, fileSystemFlags = 0;
  answers.volumeAnswered =
      0 != api.GetVolumeInformationA(root, volumeName.data(), kNameBufferSize, &answers.serial, &maxComponentLength,
                                     &fileSystemFlags, fileSystemName.data(), kNameBufferSize);
  answers.label = CleanPlatformText(UpToNul(volumeName));
  answers.fileSystem = CleanPlatformText(UpToNul(fileSystemName));
  if (answers.fileSystem.empty()) answers.fileSystem = "?";

  uint32_t freeClusters = 0, totalClusters = 0;
  answers.clusterAnswered = 0 != api.GetDiskFreeSpaceA(root, &answers.sectorsPerCluster, &answers.bytesPerSector,
                                                       &freeClusters, &totalClusters);

  // Both halves of the S/N line come from one answer where there is one: a second query could
  // meet a medium that came or went in between. Only a failed volume query asks again.
  answers.serialText = answers.volumeAnswered ? EightHexDigits(answers.serial) : GetVolumeSerialText(api, lower);
  answers.space = QueryDriveSpace(api, lower);
  answers.typeCode = QueryDriveType(api, lower);
  answers.typeText = DriveTypeName(answers.typeCode);
  return answers;
}

}  // namespace tarnvik
