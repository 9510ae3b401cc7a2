// Comma-separated values as spreadsheets read them (RFC 4180): every field quoted, CR LF rows,
// UTF-8 with a byte-order mark so that Excel and Windows PowerShell 5.1 take the text as UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace tarnvik {

/// The field separator: ',' or, for locales whose list separator is ';', a semicolon.
enum class CsvDelimiter : char { kComma = ',', kSemicolon = ';' };

/// Appends one field in double quotes, the quotes inside it doubled. Line breaks and delimiters
/// inside a field stay as they are: the quotes keep them in the field. A field that a spreadsheet
/// would run as a formula (one that begins with = + - @, a tab or a carriage return) begins with
/// an apostrophe, which makes it plain text there; no number does, as none is negative.
void AppendCsvField(std::string& document, std::string_view field);

/// The UTF-8 byte-order mark, EF BB BF.
inline constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

}  // namespace tarnvik
