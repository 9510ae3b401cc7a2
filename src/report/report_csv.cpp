#include "report/report_csv.h"

#include <algorithm>

#include "report/report_fields.h"

namespace tarnvik {
namespace {

/// Appends each field, quoted, to the document: its value, or in the header its column name,
/// which a nested object's fields take after the object's own (diskHealthStatus).
class CsvFields final : public FieldSink {
 public:
  CsvFields(std::string& out, char delimiter) : out_(out), delimiter_(delimiter) {}
  bool header = false;

  void Field(const char* name, Kind kind, std::string_view value) override {
    if (header) {  // names need no quotes doubled
      out_ += '"';
      Capitalised(out_, name);
      (out_ += '"') += delimiter_;
      return;
    }
    const std::size_t at = out_.size();
    Append(value);
    // A list's texts, one a line in the field, stand side by side in a cell: '|' is in no name
    // and in no path.
    if (kind == Kind::Texts) std::replace(out_.begin() + static_cast<std::ptrdiff_t>(at), out_.end(), '\n', '|');
  }
  void Object(const char* name, bool) override {
    const std::size_t at = openedAt_[depth_++] = prefix_.size();
    prefix_ += name;
    if (at != 0) prefix_[at] = static_cast<char>(prefix_[at] - 'a' + 'A');
  }
  void EndObject() override { prefix_.erase(openedAt_[--depth_]); }

  void Append(std::string_view field) {
    AppendCsvField(out_, field);
    out_ += delimiter_;
  }
  void EndRow() { out_.back() = '\r', out_ += '\n'; }

 private:
  // Appends the open objects' names and `name`, each after the first with a capital: diskHealthStatus.
  void Capitalised(std::string& to, const char* name) const {
    to += prefix_;
    const std::size_t at = to.size();
    to += name;
    if (!prefix_.empty()) to[at] = static_cast<char>(to[at] - 'a' + 'A');
  }
  std::string& out_;
  char delimiter_;
  std::string prefix_;
  std::size_t openedAt_[4] = {};  // the prefix's length before each open object
  int depth_ = 0;
};

}  // namespace

std::string ReportCsv(const Report& report, const ReportOrigin& origin, CsvDelimiter delimiter) {
  std::string out(kUtf8ByteOrderMark);
  CsvFields fields(out, static_cast<char>(delimiter));
  const ReportedDrive none;  // the names do not depend on the values: it gives the header
  // The drives' rows, then the volumes no letter reaches, with no letter.
  const std::size_t drives = report.drives.size();
  for (std::size_t number = 0; number <= drives + report.volumesWithoutLetter.size(); ++number) {
    fields.header = number == 0;
    const ReportedDrive& drive = fields.header         ? none
                                 : number <= drives ? report.drives[number - 1]
                                                    : report.volumesWithoutLetter[number - 1 - drives];
    fields.Append(fields.header ? "computerName" : origin.machine.computerName.value_or(""));
    fields.Append(fields.header ? "takenUtc" : origin.machine.takenUtc);
    DriveFields(drive, static_cast<int>(number), report.withPartitionStyles, fields);
    // The machine's own facts close each row; a later fact of the drive goes before them.
    FlagField(fields, "elevated", origin.machine.elevated);
    fields.EndRow();
  }
  return out;
}

}  // namespace tarnvik
