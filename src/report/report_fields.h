// A drive of a report as named values, in the order the documents for scripts write them. The
// JSON and the CSV are both written from these lists, so the two never disagree.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "report/report.h"

namespace tarnvik {

struct ReportField {
  enum class Kind { Null, Number, String, Boolean, Numbers };
  std::string_view name;
  Kind kind = Kind::Null;
  std::string value;  ///< the digits, the text, "true" or "false", or numbers joined by blanks
};

/// The fields of `drive`, the `number`th of its report; `withStyles` as for its text block.
std::vector<ReportField> DriveFields(const ReportedDrive& drive, int number, bool withStyles);

/// The fields of a disk, every one null when there is none.
std::vector<ReportField> DiskFields(const std::optional<DiskFacts>& disk);

}  // namespace tarnvik
