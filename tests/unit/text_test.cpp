// Trimming, cleaning and upper-casing of texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/text.h"

namespace tarnvik {
namespace {

using namespace std::string_literals;

struct TextCase {
  std::string input;
  std::string expected;
};

TEST(TrimTest, RemovesBlanksOnlyAndOnlyAtTheEnds) {
  const std::vector<TextCase> cases = {
      {"", ""},
      {"   ", ""},
      {"  C:\\Tools  ", "C:\\Tools"},
      {"a b", "a b"},
      {"\ta\t", "\ta\t"},
      {"\r\nx\r\n", "\r\nx\r\n"},
      {" \xC2\xA0x ", "\xC2\xA0x"},  // a no-break space is not a blank
      {"x"s + '\0' + " ", "x"s + '\0'},
  };
  for (const TextCase& c : cases) {
    EXPECT_EQ(Trim(c.input), c.expected) << ::testing::PrintToString(c.input);
  }
}

TEST(CleanPlatformTextTest, ControlCharactersBecomeBlanksThenTrimmed) {
  const std::vector<TextCase> cases = {
      {"", ""},
      {"\0\tNTFS\n\r"s, "NTFS"},
      {"a\tb", "a b"},
      {"a"s + '\0' + "b", "a b"},
      {"line\r\nnext", "line  next"},
      {"\r\n\t"s + '\0', ""},
      {"  5.1  ", "5.1"},
      {"\x0B\x0C" "x", "\x0B\x0C" "x"},  // vertical tab and form feed are not touched
  };
  for (const TextCase& c : cases) {
    EXPECT_EQ(CleanPlatformText(c.input), c.expected) << ::testing::PrintToString(c.input);
  }
}

TEST(UpToNulTest, StopsAtTheFirstNul) {
  const std::vector<TextCase> cases = {
      {"", ""},
      {"abc", "abc"},
      {"abc\0def"s, "abc"},
      {"\0abc"s, ""},
      {"ab\0\0"s, "ab"},
  };
  for (const TextCase& c : cases) {
    EXPECT_EQ(std::string(UpToNul(c.input)), c.expected) << ::testing::PrintToString(c.input);
  }
}

TEST(UpperCaseTest, CasedLettersOfTheSupportedScripts) {
  const std::vector<TextCase> cases = {
      {"tarnvik.exe", "TARNVIK.EXE"},
      {"MixedCase.Exe", "MIXEDCASE.EXE"},
      {"c:\\tools\\a-b_c 1.exe", "C:\\TOOLS\\A-B_C 1.EXE"},
      // Latin-1: accented letters, with the sharp s and the division sign left alone.
      {"café.exe", "CAFÉ.EXE"},
      {"àéîõüçñøþ", "ÀÉÎÕÜÇÑØÞ"},
      {"ÿ", "Ÿ"},
      {"straße÷", "STRAßE÷"},
      // Latin Extended-A, both pairings, and the letters without a partner.
      {"łódź", "ŁÓDŹ"},
      {"ščřžňľ", "ŠČŘŽŇĽ"},
      {"āăąćĉėğħĳķńőœŕśşţũŵŷ", "ĀĂĄĆĈĖĞĦĲĶŃŐŒŔŚŞŢŨŴŶ"},
      {"ıĸŉſ", "ıĸŉſ"},
      // Greek, accents and final sigma included.
      {"σοφός", "ΣΟΦΌΣ"},
      {"άέήίϊϋόύώ", "ΆΈΉΊΪΫΌΎΏ"},
      // Cyrillic, Russian and the letters of other languages.
      {"тарнвик.exe", "ТАРНВИК.EXE"},
      {"ёжик", "ЁЖИК"},
      {"ґїєіў", "ҐЇЄІЎ"},
      {"ђљњћџ", "ЂЉЊЋЏ"},
      {"ѣҗӂӏӑӹ", "ѢҖӁӀӐӸ"},
      // Already upper case, digits, symbols and other scripts: unchanged.
      {"ТАРНВИК ÀÉ 123 !?", "ТАРНВИК ÀÉ 123 !?"},
      {"日本語.exe", "日本語.EXE"},
      {"\xF0\x9F\x98\x80" "a", "\xF0\x9F\x98\x80" "A"},
  };
  for (const TextCase& c : cases) {
    EXPECT_EQ(UpperCase(c.input), c.expected) << c.input;
  }
}

TEST(UpperCaseTest, MalformedBytesPassThroughUnchanged) {
  const std::vector<TextCase> cases = {
      {"\xFF" "a", "\xFF" "A"},                              // never a UTF-8 byte
      {"\x80" "abc", "\x80" "ABC"},                          // stray continuation byte
      {"ab\xD0", "AB\xD0"},                                  // sequence cut off at the end
      {"\xD0" "a", "\xD0" "A"},                              // lead byte followed by ASCII
      {"\xE0\xA4", "\xE0\xA4"},                              // three-byte sequence cut short
      {"\xC0\x80", "\xC0\x80"},                              // overlong NUL must not become a NUL
      {"\xC1\xA1", "\xC1\xA1"},                              // overlong "a" must not become "A"
      {"\xE0\x81\xA1", "\xE0\x81\xA1"},                      // overlong three-byte "a"
      {"\xF0\x80\x81\xA1", "\xF0\x80\x81\xA1"},              // overlong four-byte "a"
      {"\xED\xA0\x80" "x", "\xED\xA0\x80" "X"},              // surrogate
      {"\xF4\x90\x80\x80", "\xF4\x90\x80\x80"},              // beyond U+10FFFF
      {"\xD1\x8F\xD1", "\xD0\xAF\xD1"},                      // a good letter, then a cut one
      {"\xCC" "\xD1\x8F", "\xCC" "\xD0\xAF"},                // a cut one, then a good letter
  };
  for (const TextCase& c : cases) {
    EXPECT_EQ(UpperCase(c.input), c.expected) << ::testing::PrintToString(c.input);
  }
}

std::string Utf8(char32_t c) {
  std::string out;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
  return out;
}

// A pairing slip maps a letter onto another lower-case letter, which changes again when
// upper-cased once more. And no letter may turn into an ASCII byte: the control bytes that
// separate list entries must never appear out of a name.
TEST(UpperCaseTest, UpperCaseIsStableAndNeverProducesAscii) {
  for (char32_t c = 1; c < 0x2000; ++c) {
    const std::string once = UpperCase(Utf8(c));
    EXPECT_EQ(UpperCase(once), once) << "U+" << std::hex << static_cast<uint32_t>(c);
    const bool ascii = c < 0x80;
    const bool changesAscii = ascii && once != std::string(1, static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c));
    const bool producesAscii = !ascii && std::any_of(once.begin(), once.end(), [](char b) { return (b & 0x80) == 0; });
    EXPECT_FALSE(changesAscii || producesAscii) << "U+" << std::hex << static_cast<uint32_t>(c);
  }
}

}  // namespace
}  // namespace tarnvik
