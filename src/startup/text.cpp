#include "startup/text.h"

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

char32_t UpperCodePoint(char32_t c) {
  if (c >= U'a' && c <= U'z') return c - 32;
  if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 32;          // Latin-1
  if (c == 0xFF) return 0x178;
  if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149) {
    // Latin Extended-A pairs: even upper, odd lower, except 0x139-0x148 and 0x179-0x17E
    // which pair odd upper, even lower.
    const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (oddUpper ? (c % 2 == 0) : (c % 2 == 1)) return c - 1;
    return c;
  }
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return c - 32;          // Greek
  if (c >= 0x430 && c <= 0x44F) return c - 32;                         // Cyrillic а-я
  if (c >= 0x450 && c <= 0x45F) return c - 80;                         // Cyrillic ѐ-џ
  return c;
}

// Decodes one UTF-8 sequence at `i`; a malformed byte stands for itself (returned as
// 0xFFFFFFFF so that it is copied unchanged).
char32_t Decode(std::string_view s, std::size_t& i, std::size_t& length) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  if (b0 < 0x80) { length = 1; return b0; }
  const int extra = b0 >= 0xF8 ? -1 : b0 >= 0xF0 ? 3 : b0 >= 0xE0 ? 2 : b0 >= 0xC0 ? 1 : -1;
  if (extra < 0 || i + static_cast<std::size_t>(extra) >= s.size()) {
    length = 1;
    return 0xFFFFFFFF;
  }
  char32_t c = b0 & (0x3F >> extra);
  for (int k = 1; k <= extra; ++k) {
    const auto b = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
    if ((b & 0xC0) != 0x80) { length = 1; return 0xFFFFFFFF; }
    c = (c << 6) | (b & 0x3F);
  }
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
    if (c == 0xFFFFFFFF) {
      out += text[i];
    } else {
      Encode(UpperCodePoint(c), out);
    }
    i += length;
  }
  return out;
}

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return out;
}

}  // namespace tarnvik
