#include "report/csv.h"

namespace tarnvik {

void AppendCsvField(std::string& document, std::string_view field) {
  document += '"';
  for (const char c : field) {
    if (c == '"') document += '"';
    document += c;
  }
  document += '"';
}

}  // namespace tarnvik
