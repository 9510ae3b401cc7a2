// A drive of a report as named values, in the order the documents for scripts write them. The
// JSON and the CSV are both written from these calls, so the two never disagree.
#pragma once

#include <string_view>

#include "report/report.h"

namespace tarnvik {

/// Takes a drive's fields one by one, in their order, nested objects included.
class FieldSink {
 public:
  /// Numbers: numbers joined by blanks. Texts: texts joined by line feeds, where an item of
  /// digits alone is a number (a critical-warning bit without a name).
  enum class Kind : char { Null, Number, String, Boolean, Numbers, Texts };
  virtual ~FieldSink() = default;
  /// `value`: the digits (a leading '-' where negative), the text, "true" or "false", or the
  /// items of a list; "" for null.
  virtual void Field(const char* name, Kind kind, std::string_view value) = 0;
  /// Begins a nested object, null when not `present`. Its fields follow all the same (as nulls
  /// when it is absent, so every row of a sheet has the same columns), then EndObject.
  virtual void Object(const char* name, bool present) = 0;
  virtual void EndObject() = 0;
};

/// The fields of `drive`, the `number`th of its report, its disk and its volume among them;
/// `withStyles` as for its text block. A volume without a letter has no letter, number or
/// position, and no partition style.
void DriveFields(const ReportedDrive& drive, int number, bool withStyles, FieldSink& sink);

/// A number, or null where not `known`.
void NumberField(FieldSink& sink, const char* name, bool known, uint64_t value);

/// A flag as "true" or "false", or null.
void FlagField(FieldSink& sink, const char* name, const std::optional<bool>& value);

}  // namespace tarnvik
