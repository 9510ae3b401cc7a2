// Text rules shared by every subsystem. Texts are UTF-8; the rules touch ASCII bytes only,
// which never occur inside a multi-byte UTF-8 sequence.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tarnvik {

/// Removes blanks (space, 32) at both ends; nothing else counts as a blank.
std::string Trim(std::string_view text);

/// Replaces every NUL, tab, line feed and carriage return by a blank, then trims:
/// how every text that comes from the platform is cleaned.
std::string CleanPlatformText(std::string_view text);

/// The text up to, not including, its first NUL (all of it when there is none).
std::string_view UpToNul(std::string_view text);

/// Upper case for ASCII letters and the cased letters of Latin-1, Latin Extended-A, Greek and
/// Cyrillic. Process names and the program's own name both pass through it, so the two always
/// agree, whatever the language of the name.
std::string UpperCase(std::string_view text);

/// Length of the well-formed UTF-8 sequence that starts at text[at] (1 for an ASCII byte), or 0
/// when none starts there: a stray continuation byte, a truncated or overlong sequence, a
/// surrogate or a code point beyond U+10FFFF.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t at);

/// Lower case for ASCII letters only.
std::string LowerAscii(std::string_view text);

}  // namespace tarnvik
