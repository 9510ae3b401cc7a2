#include "report/report_csv.h"

#include <vector>

#include "report/report_fields.h"

namespace tarnvik {

std::string ReportCsv(const Report& report, const ReportOrigin& origin, CsvDelimiter delimiter) {
  const auto row = [&](const std::vector<ReportField>& drive, const std::vector<ReportField>& disk, bool header) {
    std::vector<std::string> fields;
    if (header) {
      fields = {"computerName", "takenUtc"};
    } else {
      fields = {origin.machine.computerName.value_or(""), origin.machine.takenUtc};
    }
    for (const ReportField& f : drive) fields.emplace_back(header ? f.name : f.value);
    for (const ReportField& f : disk) {
      if (!header) {
        fields.push_back(f.value);
        continue;
      }
      std::string name = "disk" + std::string(f.name);
      name[4] = static_cast<char>(name[4] - 'a' + 'A');
      fields.push_back(std::move(name));
    }
    return fields;
  };
  std::vector<std::vector<std::string>> rows;
  // The names do not depend on the values: any drive gives them.
  rows.push_back(row(DriveFields(ReportedDrive{}, 0, false), DiskFields(std::nullopt), true));
  int number = 0;
  for (const ReportedDrive& drive : report.drives) {
    rows.push_back(row(DriveFields(drive, ++number, report.withPartitionStyles), DiskFields(drive.facts.disk), false));
  }
  return CsvDocument(rows, delimiter);
}

}  // namespace tarnvik
