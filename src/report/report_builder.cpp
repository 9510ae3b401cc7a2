// The drive report. Text1 holds the report: lines are appended by reading the box and writing
// it back whole, so the window shows the report growing drive by drive.
#include "report/report_builder.h"

#include <cstdint>
#include <string>
#include <string_view>

#include "report/drive_facts.h"
#include "report/partition_style.h"
#include "startup/environment.h"
#include "startup/program.h"
#include "startup/text.h"
#include "ui/main_window/fdfsg.h"
#include "ui/menu_form/fdfsf.h"

namespace tarnvik {
namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kSeparator = "--------------------------------------------------";
constexpr uint32_t kNameBufferSize = 255;

/// Writes into Text1 while both forms are still there. A close from outside can arrive inside
/// a yield, or inside a management-service call that pumps messages; the unload then drops the
/// form references, and using an empty reference would load a fresh window. So every write
/// looks first, and once the forms are gone the writer refuses for good.
///
/// Lines are gathered and reach the box in one write at each Flush, which the build makes
/// before every yield and at its end. The box therefore shows exactly the same text whenever
/// the window can paint or be read, but a drive block costs one whole-box write instead of
/// fourteen: every write lays the box out again and redraws both of its scroll bars, some
/// twenty milliseconds under Wine, as much as a drive's own queries.
class ReportWriter {
 public:
  explicit ReportWriter(Program& program) : program_(program) {}

  bool FormsGone() {
    if (gone_) return true;
    gone_ = program_.FDFSM.UnloadRequested || !program_.FdfsgLoaded() || !program_.FDFSG().Window().Loaded() ||
            !program_.FdfsfLoaded() || !program_.FDFSF().Window().Loaded();
    return gone_;
  }

  /// The whole text becomes `text` at the next Flush.
  bool Replace(std::string_view text) {
    if (FormsGone()) return false;
    pending_.assign(text);
    replacing_ = true;
    return true;
  }

  /// `text` is added at the end of the box at the next Flush.
  bool Append(std::string_view text) {
    if (FormsGone()) return false;
    pending_ += text;
    return true;
  }

  /// Writes what was gathered since the last Flush. False (and the gathered text dropped) when
  /// the forms are gone.
  bool Flush() {
    const bool nothingToWrite = !replacing_ && pending_.empty();
    if (FormsGone() || nothingToWrite) {
      pending_.clear();
      replacing_ = false;
      return !gone_;
    }
    toolkit::TextBox& box = program_.FDFSG().Window().Text1();
    if (replacing_) {
      box.SetText(pending_);
    } else {
      box.AppendText(pending_);
    }
    pending_.clear();
    replacing_ = false;
    return true;
  }

  /// A field line: the label, a TAB, two spaces, the value, CR LF.
  bool Field(std::string_view label, std::string_view value) {
    std::string line(label);
    line += "\t  ";
    line += value;
    line += kCrLf;
    return Append(line);
  }

  bool Header() {
    if (!Replace(kCrLf)) return false;
    return Append(std::string(kSeparator) + std::string(kCrLf)) && Append(kCrLf);
  }

  bool BlockEnd() {
    return Append(kCrLf) && Append(std::string(kSeparator) + std::string(kCrLf)) && Append(kCrLf);
  }

 private:
  Program& program_;
  bool gone_ = false;
  std::string pending_;     // text gathered since the last Flush
  bool replacing_ = false;  // pending_ replaces the box rather than extending it
};

/// Yields to the event loop; false when the build must end: a quit was asked for, or the
/// windows are being or have been unloaded.
bool YieldAndGoOn(Program& program, ReportWriter& writer) {
  if (!writer.Flush()) return false;
  program.tk.DoEvents();
  return !program.FDFSM.Quitting && !writer.FormsGone();
}

/// Marks in DriveListed every letter that begins an entry of Drive1.
void CollectLetters(Program& program) {
  Fdfsm& m = program.FDFSM;
  toolkit::DriveList& list = program.FDFSF().Drive1();
  const int count = list.ListCount();
  m.ScanIndex = count;
  for (int entry = 0; entry < count; ++entry) {
    m.ScanStart = entry;
    const std::string padded = Trim(list.List(entry)) + " ";
    m.ListedLetter = LowerAscii(Trim(padded.substr(0, 1)));
    if (m.ListedLetter.empty()) continue;
    const int index = static_cast<unsigned char>(m.ListedLetter[0]) - 'a';
    if (index >= 0 && index < 26) m.DriveListed[static_cast<std::size_t>(index)] = true;
  }
}

/// Appends the block of the drive with letter index `index`; false when the forms went away.
bool WriteDriveBlock(Program& program, ReportWriter& writer, int index) {
  Fdfsm& m = program.FDFSM;
  DriveApi& api = program.os.drive;
  const char upper = static_cast<char>('A' + index);
  const std::string lower(1, static_cast<char>('a' + index));
  const std::string root = lower + ":\\";

  if (!writer.Field(" Drive: ", std::string(1, upper) + ":\\")) return false;

  std::string volumeName(kNameBufferSize, '\0');
  std::string fileSystemName(kNameBufferSize, '\0');
  uint32_t serial = 0, maxComponentLength = 0, fileSystemFlags = 0;
  api.GetVolumeInformationA(root, volumeName.data(), kNameBufferSize, &serial, &maxComponentLength,
                            &fileSystemFlags, fileSystemName.data(), kNameBufferSize);
  const std::string label = CleanPlatformText(UpToNul(volumeName));
  std::string fileSystem = CleanPlatformText(UpToNul(fileSystemName));
  if (fileSystem.empty()) fileSystem = "?";

  m.RootPath = root;
  m.BytesPerSector = 0;
  m.SectorsPerCluster = 0;
  uint32_t freeClusters = 0, totalClusters = 0;
  api.GetDiskFreeSpaceA(m.RootPath, &m.SectorsPerCluster, &m.BytesPerSector, &freeClusters, &totalClusters);

  ++m.DriveCount;
  if (!writer.Field(" Number:", std::to_string(m.DriveCount) + "/" + std::to_string(index + 1))) return false;

  const std::string serialHex = "00000000" + GetVolumeSerialText(api, lower);
  const auto serialDecimal = static_cast<uint64_t>(UnsignedToDouble(static_cast<int32_t>(serial)));
  if (!writer.Field(" S/N:   ", std::to_string(serialDecimal) + "  (#" + serialHex.substr(serialHex.size() - 8) + ")")) {
    return false;
  }
  if (!writer.Field(" Label: ", label) || !writer.Field(" System:", fileSystem)) return false;

  const std::string sizeText = GetDriveSpace(m, api, lower);
  if (!writer.Field(" Size:  ", sizeText + "  (" + m.TotalBytesText + ")") ||
      !writer.Field(" Free:  ", m.FreeSizeText + "  (" + m.FreeBytesText + ")") ||
      !writer.Field(" Fill:  ", m.UsedSizeText + "  (" + m.UsedBytesText + ")")) {
    return false;
  }

  // Widened so that no pair of cluster figures can overflow the product.
  const uint64_t clusterBytes = uint64_t{m.BytesPerSector} * m.SectorsPerCluster;
  if (!writer.Field(" Volume:", std::to_string(m.BytesPerSector) + "x" + std::to_string(m.SectorsPerCluster) + "  (" +
                                    std::to_string(clusterBytes) + " bytes)")) {
    return false;
  }
  if (!writer.Field(" Type:  ", GetDriveTypeText(api, lower))) return false;

  if (VersionNumber(m.OsVersion) >= 5) {
    // Without a file system the volume did not answer; the service would not either.
    if (fileSystem == "?") {
      m.PartitionStyle = "Unknown";
    } else {
      QueryPartitionStyle(m, program.os.wmi, std::string(1, upper));
    }
    if (!writer.Field(" Table: ", m.PartitionStyle)) return false;
  }
  return writer.BlockEnd();
}

void BuildReport(Program& program) {
  Fdfsm& m = program.FDFSM;
  ReportWriter writer(program);
  if (!writer.Replace(" Please wait...")) return;
  program.FDFSF().Drive1().Refresh();
  m.SizedDriveCount = 0;
  bool headerWritten = false;
  for (m.ScanIndex = 0; m.ScanIndex < 26; ++m.ScanIndex) m.DriveListed[static_cast<std::size_t>(m.ScanIndex)] = false;

  if (!YieldAndGoOn(program, writer)) return;
  m.DriveCount = 0;
  CollectLetters(program);

  for (int index = 0; index < 26; ++index) {
    m.ScanIndex = index;
    if (!m.DriveListed[static_cast<std::size_t>(index)]) continue;
    if (!headerWritten) {
      if (!writer.Header()) return;
      headerWritten = true;
    }
    if (!WriteDriveBlock(program, writer, index)) return;
    if (!YieldAndGoOn(program, writer)) return;
  }

  // With no letter at all, an honest empty report replaces the waiting text.
  if (!headerWritten && !writer.Header()) return;
  if (!writer.Field(" Drives: ", std::to_string(m.DriveCount) + "  (" + std::to_string(m.SizedDriveCount) + ")")) {
    return;
  }
  if (writer.Append(kCrLf)) writer.Flush();
}

}  // namespace

void RefreshDriveReport(Program& program) {
  program.FDFSM.ReportIdle = false;
  BuildReport(program);
  program.FDFSM.ReportIdle = true;
}

}  // namespace tarnvik
