// The layout of the report text: CR LF line ends; a field line is its label, a TAB, two spaces
// and the value; drive blocks are parted by an empty line, 50 hyphens and an empty line.
#include "report/report_text.h"

#include <cstdint>
#include <string_view>

#include "report/drive_facts.h"
#include "startup/environment.h"

namespace tarnvik {
namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kSeparator = "--------------------------------------------------";

void AddField(std::string& text, std::string_view label, std::string_view value) {
  text += label;
  text += "\t  ";
  text += value;
  text += kCrLf;
}

}  // namespace

bool WantsPartitionStyles(const ProgramState& state) { return VersionNumber(state.OsVersion) >= 5; }

std::string ReportHeaderText() {
  std::string text(kCrLf);
  text += kSeparator;
  text += kCrLf;
  text += kCrLf;
  return text;
}

std::string DriveBlockText(ProgramState& state, int index, const DriveReportFacts& facts) {
  const DriveAnswers& answers = facts.answers;
  const char upper = static_cast<char>('A' + index);
  std::string text;
  AddField(text, " Drive: ", std::string(1, upper) + ":\\");

  state.RootPath = std::string(1, static_cast<char>('a' + index)) + ":\\";

  ++state.DriveCount;
  AddField(text, " Number:", std::to_string(state.DriveCount) + "/" + std::to_string(index + 1));

  const std::string serialHex = "00000000" + answers.serialText;
  const auto serialDecimal = static_cast<uint64_t>(UnsignedToDouble(static_cast<int32_t>(answers.serial)));
  AddField(text, " S/N:   ", std::to_string(serialDecimal) + "  (#" + serialHex.substr(serialHex.size() - 8) + ")");
  AddField(text, " Label: ", answers.label);
  AddField(text, " System:", answers.fileSystem);

  const DriveSpaceTexts space = GetDriveSpace(state, answers.space);
  AddField(text, " Size:  ", space.totalSize + "  (" + space.totalBytes + ")");
  AddField(text, " Free:  ", space.freeSize + "  (" + space.freeBytes + ")");
  AddField(text, " Fill:  ", space.usedSize + "  (" + space.usedBytes + ")");

  // Widened so that no pair of cluster figures can overflow the product.
  const uint64_t clusterBytes = uint64_t{answers.bytesPerSector} * answers.sectorsPerCluster;
  AddField(text, " Volume:",
           std::to_string(answers.bytesPerSector) + "x" + std::to_string(answers.sectorsPerCluster) + "  (" +
               std::to_string(clusterBytes) + " bytes)");
  AddField(text, " Type:  ", answers.typeText);

  if (WantsPartitionStyles(state)) {
    // Without a file system the volume did not answer, and no style was asked for.
    AddField(text, " Table: ", facts.partitionStyle);
  }
  text += kCrLf;
  text += kSeparator;
  text += kCrLf;
  text += kCrLf;
  return text;
}

std::string ReportSummaryText(const ProgramState& state) {
  std::string text;
  AddField(text, " Drives: ", std::to_string(state.DriveCount) + "  (" + std::to_string(state.SizedDriveCount) + ")");
  text += kCrLf;
  return text;
}

std::string ReportText(ProgramState& state, const std::vector<ReportedDrive>& drives) {
  state.SizedDriveCount = 0;
  state.DriveCount = 0;
  std::string text = ReportHeaderText();
  for (const ReportedDrive& drive : drives) text += DriveBlockText(state, drive.index, drive.facts);
  return text + ReportSummaryText(state);
}

}  // namespace tarnvik
