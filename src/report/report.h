// A report as a value: the drives it shows, in A-to-Z order, and whether their blocks carry the
// partition style. Everything the text and the JSON say is computed from it.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "report/drive_answers.h"

namespace tarnvik {

/// Letters by index, 0 (A) to 25 (Z).
using LetterSet = std::array<bool, 26>;

/// Everything one drive block shows that comes from the operating system.
struct DriveReportFacts {
  DriveAnswers answers;
  std::string partitionStyle;  ///< "Unknown" where no style was asked for
};

/// One drive of a report: its letter index (0 is A) and what its block shows.
struct ReportedDrive {
  int index = 0;
  DriveReportFacts facts;
};

/// True where the space query gave a size: the text's total is not "0 B".
bool HasSize(const DiskSpace& space);

struct Report {
  bool withPartitionStyles = false;  ///< the blocks carry a " Table: " line (Windows 5 and later)
  std::vector<ReportedDrive> drives;

  int DriveCount() const { return static_cast<int>(drives.size()); }
  /// The drives with a size (HasSize).
  int SizedDriveCount() const;
};

}  // namespace tarnvik
