#include "base/text.h"

#include <cstdint>

namespace tarnvik {

std::string Trim(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(' ');
  return std::string(text.substr(first, last - first + 1));
}

std::string CleanPlatformText(std::string_view text) {
  std::string cleaned(text);
  for (char& c : cleaned) {
    if (c == '\0' || c == '\t' || c == '\n' || c == '\r') c = ' ';
  }
  return Trim(cleaned);
}

std::string_view UpToNul(std::string_view text) {
  return text.substr(0, text.find('\0'));
}

namespace {

// Upper and lower case alternate in pairs; `upperParity` is the parity of the upper letter.
char32_t UpperOfPair(char32_t c, char32_t upperParity) { return c % 2 == upperParity ? c : c - 1; }

char32_t UpperCodePoint(char32_t c) {
  if (c >= U'a' && c <= U'z') return c - 32;
  if (c < 0x80) return c;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 32;  // Latin-1
  if (c == 0xFF) return 0x178;
  // Latin Extended-A. Dotless i, kra, n preceded by apostrophe and long s have no
  // single upper-case partner here and stay as they are.
  if (c >= 0x100 && c <= 0x17F) {
    if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
    const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    return UpperOfPair(c, oddUpper ? 1 : 0);
  }
  // Greek, with the accented vowels and final sigma.
  if (c == 0x3AC) return 0x386;
  if (c >= 0x3AD && c <= 0x3AF) return c - 37;
  if (c == 0x3C2) return 0x3A3;
  if (c >= 0x3B1 && c <= 0x3CB) return c - 32;
  if (c == 0x3CC) return 0x38C;
  if (c == 0x3CD || c == 0x3CE) return c - 63;
  // Cyrillic.
  if (c >= 0x430 && c <= 0x44F) return c - 32;
  if (c >= 0x450 && c <= 0x45F) return c - 80;
  if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || (c >= 0x4D0 && c <= 0x52F)) {
    return UpperOfPair(c, 0);
  }
  if (c >= 0x4C1 && c <= 0x4CE) return UpperOfPair(c, 1);
  if (c == 0x4CF) return 0x4C0;
  return c;
}

constexpr char32_t kMalformed = 0xFFFFFFFF;

// Decodes one UTF-8 sequence at `i`. A byte that does not start a well-formed sequence
// (stray continuation, truncated or overlong sequence, surrogate, beyond U+10FFFF) gives
// kMalformed with length 1, so that it is copied unchanged.
char32_t Decode(std::string_view s, std::size_t i, std::size_t& length) {
  length = 1;
  const auto b0 = static_cast<unsigned char>(s[i]);
  if (b0 < 0x80) return b0;
  const int extra = b0 >= 0xF8 ? -1 : b0 >= 0xF0 ? 3 : b0 >= 0xE0 ? 2 : b0 >= 0xC0 ? 1 : -1;
  if (extra < 0 || i + static_cast<std::size_t>(extra) >= s.size()) return kMalformed;
  char32_t c = b0 & (0x3F >> extra);
  for (int k = 1; k <= extra; ++k) {
    const auto b = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
    if ((b & 0xC0) != 0x80) return kMalformed;
    c = (c << 6) | (b & 0x3F);
  }
  // Re-encoding an overlong form would change its bytes (an overlong NUL would become a real NUL).
  static constexpr char32_t kShortest[] = {0, 0x80, 0x800, 0x10000};
  if (c < kShortest[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return kMalformed;
  length = static_cast<std::size_t>(extra) + 1;
  return c;
}

void Encode(char32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

std::string UpperCase(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    std::size_t length = 1;
    const char32_t c = Decode(text, i, length);
    if (c == kMalformed) {
      out += text[i];
    } else {
      Encode(UpperCodePoint(c), out);
    }
    i += length;
  }
  return out;
}

std::size_t Utf8SequenceLength(std::string_view text, std::size_t at) {
  std::size_t length = 1;
  return Decode(text, at, length) == kMalformed ? 0 : length;
}

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return out;
}

}  // namespace tarnvik
