// A report as a value: the drives it shows, in A-to-Z order, and whether their blocks carry the
// partition style. Everything the text and the JSON say is computed from it.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "report/disk_facts.h"
#include "report/drive_answers.h"
#include "report/machine_facts.h"
#include "report/volume_facts.h"
#include "report/windows_version.h"

namespace tarnvik {

/// Letters by index, 0 (A) to 25 (Z).
using LetterSet = std::array<bool, 26>;

/// Everything one drive block shows that comes from the operating system.
struct DriveReportFacts {
  DriveAnswers answers;
  std::string partitionStyle;  ///< "Unknown" where no style was asked for
  std::optional<DiskFacts> disk = {};  ///< the disk behind the letter; asked only for JSON and CSV
  /// The volume behind it, likewise; empty too where its questions could not be asked.
  std::optional<VolumeFacts> volume = {};
};

/// The index of a volume that no letter reaches.
inline constexpr int kNoLetter = -1;

/// One drive of a report: its letter index (0 is A), or kNoLetter, and what its block shows.
struct ReportedDrive {
  int index = 0;
  DriveReportFacts facts;
};

/// True where the space query gave a size: the text's total is not "0 B".
bool HasSize(const DiskSpace& space);

struct Report {
  bool withPartitionStyles = false;  ///< the blocks carry a " Table: " line (Windows 5 and later)
  std::vector<ReportedDrive> drives;
  /// The volumes no letter reaches, in the order Windows lists them; only the documents ask.
  std::vector<ReportedDrive> volumesWithoutLetter = {};

  /// The drives alone: letters, as the text counts them.
  int DriveCount() const { return static_cast<int>(drives.size()); }
  /// The drives with a size (HasSize).
  int SizedDriveCount() const;
};

/// Where and when a document was taken. The window never shows it; the runs that write JSON or
/// CSV ask it once.
struct ReportOrigin {
  MachineFacts machine;
  WindowsVersion windows;
};

}  // namespace tarnvik
