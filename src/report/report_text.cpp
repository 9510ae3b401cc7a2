// The layout of the report text: CR LF line ends; a field line is its label, a TAB, two spaces
// and the value; drive blocks are parted by an empty line, 50 hyphens and an empty line.
#include "report/report_text.h"

#include <cstdint>
#include <string_view>

#include "report/drive_facts.h"

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

std::string ReportHeaderText() {
  std::string text(kCrLf);
  text += kSeparator;
  text += kCrLf;
  text += kCrLf;
  return text;
}

std::string DriveBlockText(const ReportedDrive& drive, int number, bool withStyles) {
  const DriveAnswers& answers = drive.facts.answers;
  const char upper = static_cast<char>('A' + drive.index);
  std::string text;
  AddField(text, " Drive: ", std::string(1, upper) + ":\\");
  AddField(text, " Number:", std::to_string(number) + "/" + std::to_string(drive.index + 1));

  const std::string serialHex = "00000000" + answers.serialText;
  const auto serialDecimal = static_cast<uint64_t>(UnsignedToDouble(static_cast<int32_t>(answers.serial)));
  AddField(text, " S/N:   ", std::to_string(serialDecimal) + "  (#" + serialHex.substr(serialHex.size() - 8) + ")");
  AddField(text, " Label: ", answers.label);
  AddField(text, " System:", answers.fileSystem);

  const DriveSpaceTexts space = SpaceTexts(answers.space);
  AddField(text, " Size:  ", space.totalSize + "  (" + space.totalBytes + ")");
  AddField(text, " Free:  ", space.freeSize + "  (" + space.freeBytes + ")");
  AddField(text, " Fill:  ", space.usedSize + "  (" + space.usedBytes + ")");

  // Widened so that no pair of cluster figures can overflow the product.
  const uint64_t clusterBytes = uint64_t{answers.bytesPerSector} * answers.sectorsPerCluster;
  AddField(text, " Volume:",
           std::to_string(answers.bytesPerSector) + "x" + std::to_string(answers.sectorsPerCluster) + "  (" +
               std::to_string(clusterBytes) + " bytes)");
  AddField(text, " Type:  ", answers.typeText);

  if (withStyles) {
    // Without a file system the volume did not answer, and no style was asked for.
    AddField(text, " Table: ", drive.facts.partitionStyle);
  }
  text += kCrLf;
  text += kSeparator;
  text += kCrLf;
  text += kCrLf;
  return text;
}

std::string ReportSummaryText(const Report& report) {
  std::string text;
  AddField(text, " Drives: ",
           std::to_string(report.DriveCount()) + "  (" + std::to_string(report.SizedDriveCount()) + ")");
  text += kCrLf;
  return text;
}

std::string ReportText(const Report& report) {
  std::string text = ReportHeaderText();
  int number = 0;
  for (const ReportedDrive& drive : report.drives) {
    text += DriveBlockText(drive, ++number, report.withPartitionStyles);
  }
  return text + ReportSummaryText(report);
}

}  // namespace tarnvik
