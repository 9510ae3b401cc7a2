// Cutting UTF-8 text into the fixed buffers that the platform adapters fill.
#include "base/utf8_copy.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace tarnvik {
namespace {

struct CutCase {
  const char* name;
  std::string text;
  std::size_t capacity;
  std::string expected;
};

class CopyUtf8TruncatedTest : public ::testing::TestWithParam<CutCase> {};

TEST_P(CopyUtf8TruncatedTest, CutsOnCharacterBoundaryAndTerminates) {
  const CutCase& c = GetParam();
  std::array<char, 32> buffer;
  buffer.fill('#');
  const std::size_t copied = CopyUtf8Truncated(c.text, buffer.data(), c.capacity);
  EXPECT_EQ(copied, c.expected.size());
  EXPECT_EQ(std::string(buffer.data(), copied), c.expected);
  EXPECT_EQ(buffer[copied], '\0');
  // Nothing beyond the terminator is written.
  for (std::size_t i = copied + 1; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], '#') << "byte " << i;
}

// "ДИСК" is four two-byte characters; "€" is three bytes; "😀" is four.
INSTANTIATE_TEST_SUITE_P(
    Cases, CopyUtf8TruncatedTest,
    ::testing::Values(CutCase{"AsciiFits", "NTFS", 255, "NTFS"},
                      CutCase{"AsciiExactFit", "NTFS", 5, "NTFS"},
                      CutCase{"AsciiCut", "NTFS", 4, "NTF"},
                      CutCase{"EmptyText", "", 8, ""},
                      CutCase{"CapacityOne", "NTFS", 1, ""},
                      CutCase{"CyrillicFits", "\xD0\x94\xD0\x98\xD0\xA1\xD0\x9A", 9, "\xD0\x94\xD0\x98\xD0\xA1\xD0\x9A"},
                      CutCase{"CyrillicCutInsideCharacter", "\xD0\x94\xD0\x98\xD0\xA1\xD0\x9A", 6, "\xD0\x94\xD0\x98"},
                      CutCase{"CyrillicCutOnBoundary", "\xD0\x94\xD0\x98\xD0\xA1\xD0\x9A", 5, "\xD0\x94\xD0\x98"},
                      CutCase{"CyrillicNoRoomForOne", "\xD0\x94\xD0\x98", 2, ""},
                      CutCase{"ThreeByteAfterAscii", "a\xE2\x82\xAC", 4, "a"},
                      CutCase{"ThreeByteFits", "a\xE2\x82\xAC", 5, "a\xE2\x82\xAC"},
                      CutCase{"FourByteCutAtEachInnerByte", "\xF0\x9F\x98\x80z", 4, ""},
                      CutCase{"FourByteWhole", "\xF0\x9F\x98\x80z", 5, "\xF0\x9F\x98\x80"}),
    [](const ::testing::TestParamInfo<CutCase>& p) { return std::string(p.param.name); });

TEST(CopyUtf8Truncated, NullBufferOrZeroCapacityReceivesNothing) {
  EXPECT_EQ(CopyUtf8Truncated("text", nullptr, 10), 0u);
  char one = '#';
  EXPECT_EQ(CopyUtf8Truncated("text", &one, 0), 0u);
  EXPECT_EQ(one, '#');
}

}  // namespace
}  // namespace tarnvik
