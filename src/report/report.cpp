#include "report/report.h"

#include "report/format_byte_size.h"

namespace tarnvik {

// The " Size:" line decides: a size whose text begins with a zero is no size.
bool HasSize(const DiskSpace& space) { return FormatByteCount(space.totalBytes)[0] != '0'; }

int Report::SizedDriveCount() const {
  int sized = 0;
  for (const ReportedDrive& drive : drives) sized += HasSize(drive.facts.answers.space) ? 1 : 0;
  return sized;
}

}  // namespace tarnvik
