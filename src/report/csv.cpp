#include "report/csv.h"

namespace tarnvik {

void AppendCsvField(std::string& document, std::string_view field) {
  document += '"';
  if (!field.empty() && std::string_view("=+-@\t\r").find(field[0]) != std::string_view::npos) document += '\'';
  for (const char c : field) {
    if (c == '"') document += '"';
    document += c;
  }
  document += '"';
}

}  // namespace tarnvik
