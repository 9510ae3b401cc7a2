// The report's text, piece by piece: the opening, one drive's block and the summary. The window
// writes the pieces as the drives answer; a saved report joins the same pieces, so the two
// never differ by a byte.
#pragma once

#include <string>
#include <vector>

#include "report/report_queries.h"
#include "startup/fdfsm.h"

namespace tarnvik {

/// One drive of a report: its letter index (0 is A) and what its block shows.
struct ReportedDrive {
  int index = 0;
  DriveReportFacts facts;
};

/// True where the blocks carry a " Table: " line: Windows 5 and later.
bool WantsPartitionStyles(const Fdfsm& m);

/// An empty line, the separator line and an empty line.
std::string ReportHeaderText();

/// The block of drive `index`, up to and including the empty line after its separator. Numbers
/// it as the next drive of the report (m.DriveCount), counts it in m.SizedDriveCount when it has
/// a size, and leaves its working values in m.
std::string DriveBlockText(Fdfsm& m, int index, const DriveReportFacts& facts);

/// The " Drives: " line and the empty line that ends the report.
std::string ReportSummaryText(const Fdfsm& m);

/// The finished report of `drives` (in A-to-Z order), as the window shows it once its build has
/// ended. Counts from 0 in m.DriveCount and m.SizedDriveCount.
std::string ReportText(Fdfsm& m, const std::vector<ReportedDrive>& drives);

}  // namespace tarnvik
