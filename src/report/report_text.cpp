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

bool WantsPartitionStyles(const Fdfsm& m) { return VersionNumber(m.OsVersion) >= 5; }

std::string ReportHeaderText() {
  std::string text(kCrLf);
  text += kSeparator;
  text += kCrLf;
  text += kCrLf;
  return text;
}

std::string DriveBlockText(Fdfsm& m, int index, const DriveReportFacts& facts) {
  const DriveAnswers& answers = facts.answers;
  const char upper = static_cast<char>('A' + index);
  std::string text;
  AddField(text, " Drive: ", std::string(1, upper) + ":\\");

  m.RootPath = std::string(1, static_cast<char>('a' + index)) + ":\\";
  m.BytesPerSector = answers.bytesPerSector;
  m.SectorsPerCluster = answers.sectorsPerCluster;

  ++m.DriveCount;
  AddField(text, " Number:", std::to_string(m.DriveCount) + "/" + std::to_string(index + 1));

  const std::string serialHex = "00000000" + answers.serialText;
  const auto serialDecimal = static_cast<uint64_t>(UnsignedToDouble(static_cast<int32_t>(answers.serial)));
  AddField(text, " S/N:   ", std::to_string(serialDecimal) + "  (#" + serialHex.substr(serialHex.size() - 8) + ")");
  AddField(text, " Label: ", answers.label);
  AddField(text, " System:", answers.fileSystem);

  const std::string sizeText = GetDriveSpace(m, answers.space);
  AddField(text, " Size:  ", sizeText + "  (" + m.TotalBytesText + ")");
  AddField(text, " Free:  ", m.FreeSizeText + "  (" + m.FreeBytesText + ")");
  AddField(text, " Fill:  ", m.UsedSizeText + "  (" + m.UsedBytesText + ")");

  // Widened so that no pair of cluster figures can overflow the product.
  const uint64_t clusterBytes = uint64_t{m.BytesPerSector} * m.SectorsPerCluster;
  AddField(text, " Volume:",
           std::to_string(m.BytesPerSector) + "x" + std::to_string(m.SectorsPerCluster) + "  (" +
               std::to_string(clusterBytes) + " bytes)");
  AddField(text, " Type:  ", answers.typeText);

  if (WantsPartitionStyles(m)) {
    // Without a file system the volume did not answer, and no style was asked for.
    m.PartitionStyle = facts.partitionStyle;
    AddField(text, " Table: ", m.PartitionStyle);
  }
  text += kCrLf;
  text += kSeparator;
  text += kCrLf;
  text += kCrLf;
  return text;
}

std::string ReportSummaryText(const Fdfsm& m) {
  std::string text;
  AddField(text, " Drives: ", std::to_string(m.DriveCount) + "  (" + std::to_string(m.SizedDriveCount) + ")");
  text += kCrLf;
  return text;
}

std::string ReportText(Fdfsm& m, const std::vector<ReportedDrive>& drives) {
  m.SizedDriveCount = 0;
  m.DriveCount = 0;
  std::string text = ReportHeaderText();
  for (const ReportedDrive& drive : drives) text += DriveBlockText(m, drive.index, drive.facts);
  return text + ReportSummaryText(m);
}

}  // namespace tarnvik
