// The report as one JSON document, for scripts: the same drives and the same values the text
// shows, as numbers where they are numbers and null where a query failed, with the disk behind
// each drive and where and when the document was taken.
#pragma once

#include <string>
#include <string_view>

#include "report/report.h"

namespace tarnvik {

/// Appends `text` as a JSON string, quotes included: quote, backslash and control characters
/// escaped, everything else passed through as UTF-8; a byte that is not part of valid UTF-8
/// becomes U+FFFD, so the document always parses.
void AppendJsonString(std::string& out, std::string_view text);

/// The document of `report` taken at `origin`, with the same counts as its text. CR LF line
/// ends, two-space indentation.
std::string ReportJson(const Report& report, const ReportOrigin& origin);

}  // namespace tarnvik
