#include "report/csv.h"

namespace tarnvik {

void AppendCsvRow(std::string& document, const std::vector<std::string>& fields, CsvDelimiter delimiter) {
  bool first = true;
  for (const std::string& field : fields) {
    if (!first) document += static_cast<char>(delimiter);
    first = false;
    document += '"';
    for (const char c : field) {
      if (c == '"') document += '"';
      document += c;
    }
    document += '"';
  }
  document += "\r\n";
}

std::string CsvDocument(const std::vector<std::vector<std::string>>& rows, CsvDelimiter delimiter) {
  std::string document(kUtf8ByteOrderMark);
  for (const auto& row : rows) AppendCsvRow(document, row, delimiter);
  return document;
}

}  // namespace tarnvik
