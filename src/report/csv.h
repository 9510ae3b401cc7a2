// Comma-separated values as spreadsheets read them (RFC 4180): every field quoted, CR LF rows,
// UTF-8 with a byte-order mark so that Excel and Windows PowerShell 5.1 take the text as UTF-8.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarnvik {

/// The field separator: ',' or, for locales whose list separator is ';', a semicolon.
enum class CsvDelimiter : char { kComma = ',', kSemicolon = ';' };

/// Appends one row: each field in double quotes, quotes inside doubled, fields joined by the
/// delimiter, then CR LF. Line breaks and delimiters inside a field stay as they are, quoted.
void AppendCsvRow(std::string& document, const std::vector<std::string>& fields, CsvDelimiter delimiter);

/// A whole document: the byte-order mark once, then each row in turn.
std::string CsvDocument(const std::vector<std::vector<std::string>>& rows, CsvDelimiter delimiter);

/// The UTF-8 byte-order mark, EF BB BF.
inline constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

}  // namespace tarnvik
