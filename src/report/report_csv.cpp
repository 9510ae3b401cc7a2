#include "report/report_csv.h"

#include "report/report_fields.h"

namespace tarnvik {
namespace {

/// Appends each field, quoted, to the document: its value, or in the header its column name.
class CsvFields final : public FieldSink {
 public:
  CsvFields(std::string& out, char delimiter) : out_(out), delimiter_(delimiter) {}
  bool header = false;
  bool disk = false;  ///< the disk's fields: their columns begin with "disk"

  void Field(const char* name, Kind, const std::string& value) override {
    if (!header) return Append(value);
    std::string column = name;
    if (disk) column[0] = static_cast<char>(column[0] - 'a' + 'A'), column.insert(0, "disk");
    Append(column);
  }
  void Append(std::string_view field) {
    AppendCsvField(out_, field);
    out_ += delimiter_;
  }
  void EndRow() { out_.back() = '\r', out_ += '\n'; }

 private:
  std::string& out_;
  char delimiter_;
};

}  // namespace

std::string ReportCsv(const Report& report, const ReportOrigin& origin, CsvDelimiter delimiter) {
  std::string out(kUtf8ByteOrderMark);
  CsvFields fields(out, static_cast<char>(delimiter));
  const ReportedDrive none;  // the names do not depend on the values: it gives the header
  for (std::size_t number = 0; number <= report.drives.size(); ++number) {
    fields.header = number == 0;
    const ReportedDrive& drive = fields.header ? none : report.drives[number - 1];
    fields.Append(fields.header ? "computerName" : origin.machine.computerName.value_or(""));
    fields.Append(fields.header ? "takenUtc" : origin.machine.takenUtc);
    fields.disk = false;
    DriveFields(drive, static_cast<int>(number), report.withPartitionStyles, fields);
    fields.disk = true;
    DiskFields(drive.facts.disk, fields);
    fields.EndRow();
  }
  return out;
}

}  // namespace tarnvik
