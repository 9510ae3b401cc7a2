// The report as a sheet: one row per drive, each carrying the machine and the time, so that the
// files of many machines stack into one table.
#pragma once

#include <string>

#include "report/csv.h"
#include "report/report.h"

namespace tarnvik {

/// The header row and one row per drive of `report` taken at `origin`: computerName, takenUtc,
/// the drive's JSON fields in their order, its disk's as diskNumbers, diskVendor and so on, its
/// disk's health as diskHealthStatus and so on, and last elevated. Numbers are raw, the disk
/// numbers joined by blanks, a list's texts by '|', and a null is an empty field; a text that a
/// spreadsheet would run as a formula begins with an apostrophe.
std::string ReportCsv(const Report& report, const ReportOrigin& origin, CsvDelimiter delimiter);

}  // namespace tarnvik
