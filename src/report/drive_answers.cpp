// The collector of one drive's answers. Every call gets its outputs preset, so a drive without
// a medium still gives a complete set of defaults.
#include "report/drive_answers.h"

#include "base/text.h"

namespace tarnvik {

namespace {

constexpr uint32_t kNameBufferSize = 255;

// `letter` is the lower-case letter whose type is asked, or empty for a volume without one,
// whose type is asked of its root.
DriveAnswers Collect(DriveApi& api, const std::string& root, const std::string& letter) {
  DriveAnswers answers;

  std::string volumeName(kNameBufferSize, '\0');
  std::string fileSystemName(kNameBufferSize, '\0');
  uint32_t maxComponentLength = 0;
  answers.volumeAnswered =
      0 != api.GetVolumeInformationA(root, volumeName.data(), kNameBufferSize, &answers.serial, &maxComponentLength,
                                     &answers.fileSystemFlags, fileSystemName.data(), kNameBufferSize);
  answers.label = CleanPlatformText(UpToNul(volumeName));
  answers.fileSystem = CleanPlatformText(UpToNul(fileSystemName));
  if (answers.fileSystem.empty()) answers.fileSystem.push_back('?');  // an assignment trips GCC 12's -Wrestrict

  uint32_t freeClusters = 0, totalClusters = 0;
  answers.clusterAnswered = 0 != api.GetDiskFreeSpaceA(root, &answers.sectorsPerCluster, &answers.bytesPerSector,
                                                       &freeClusters, &totalClusters);

  // Both halves of the S/N line come from one answer where there is one: a second query could
  // meet a medium that came or went in between. Only a failed volume query asks again.
  answers.serialText = answers.volumeAnswered ? EightHexDigits(answers.serial) : RootSerialText(api, root);
  answers.space = QueryRootSpace(api, root);
  answers.typeCode = letter.empty() ? api.GetDriveTypeA(root) : QueryDriveType(api, letter);
  answers.typeText = DriveTypeName(answers.typeCode);
  return answers;
}

}  // namespace

DriveAnswers CollectDriveAnswers(DriveApi& api, int index) {
  const std::string lower(1, static_cast<char>('a' + index));
  return Collect(api, lower + ":\\", lower);
}

DriveAnswers CollectVolumeAnswers(DriveApi& api, const std::string& root) { return Collect(api, root, {}); }

}  // namespace tarnvik
