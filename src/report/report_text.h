// The report's text, piece by piece: the opening, one drive's block and the summary. The window
// writes the pieces as the drives answer; a saved report joins the same pieces, so the two
// never differ by a byte. Every piece depends on its arguments alone.
#pragma once

#include <string>

#include "report/report.h"

namespace tarnvik {

/// An empty line, the separator line and an empty line.
std::string ReportHeaderText();

/// The block of `drive`, the `number`th of its report, up to and including the empty line after
/// its separator; with `withStyles`, it carries the " Table: " line.
std::string DriveBlockText(const ReportedDrive& drive, int number, bool withStyles);

/// The " Drives: " line of `report` and the empty line that ends the report.
std::string ReportSummaryText(const Report& report);

/// The finished report, as the window shows it once its build has ended.
std::string ReportText(const Report& report);

}  // namespace tarnvik
