// A drive of a report as named values, in the order the documents for scripts write them. The
// JSON and the CSV are both written from these calls, so the two never disagree.
#pragma once

#include <optional>
#include <string>

#include "report/report.h"

namespace tarnvik {

/// Takes a drive's fields one by one, in their order.
class FieldSink {
 public:
  enum class Kind : char { Null, Number, String, Boolean, Numbers };
  virtual ~FieldSink() = default;
  /// `value`: the digits, the text, "true" or "false", or numbers joined by blanks; "" for null.
  virtual void Field(const char* name, Kind kind, const std::string& value) = 0;
};

/// The fields of `drive`, the `number`th of its report; `withStyles` as for its text block.
void DriveFields(const ReportedDrive& drive, int number, bool withStyles, FieldSink& sink);

/// The fields of a disk, every one null when there is none.
void DiskFields(const std::optional<DiskFacts>& disk, FieldSink& sink);

}  // namespace tarnvik
