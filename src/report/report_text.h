// The report's text, piece by piece: the opening, one drive's block and the summary. The window
// writes the pieces as the drives answer; a saved report joins the same pieces, so the two
// never differ by a byte.
#pragma once

#include <string>
#include <vector>

#include "report/report_queries.h"
#include "startup/program_state.h"

namespace tarnvik {

/// One drive of a report: its letter index (0 is A) and what its block shows.
struct ReportedDrive {
  int index = 0;
  DriveReportFacts facts;
};

/// True where the blocks carry a " Table: " line: Windows 5 and later.
bool WantsPartitionStyles(const ProgramState& state);

/// An empty line, the separator line and an empty line.
std::string ReportHeaderText();

/// The block of drive `index`, up to and including the empty line after its separator. Numbers
/// it as the next drive of the report (state.DriveCount), counts it in state.SizedDriveCount when it has
/// a size, and leaves the drive's root in state.RootPath.
std::string DriveBlockText(ProgramState& state, int index, const DriveReportFacts& facts);

/// The " Drives: " line and the empty line that ends the report.
std::string ReportSummaryText(const ProgramState& state);

/// The finished report of `drives` (in A-to-Z order), as the window shows it once its build has
/// ended. Counts from 0 in state.DriveCount and state.SizedDriveCount.
std::string ReportText(ProgramState& state, const std::vector<ReportedDrive>& drives);

}  // namespace tarnvik
