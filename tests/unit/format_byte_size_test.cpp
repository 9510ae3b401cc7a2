// Size texts: units, the two roundings in turn, the decimal comma, and counts beyond the
// fixed-point range.
#include "report/format_byte_size.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <limits>
#include <string>

namespace tarnvik {
namespace {

struct ByteCase {
  uint64_t bytes;
  const char* text;
};

std::ostream& operator<<(std::ostream& out, const ByteCase& c) { return out << c.bytes << " bytes"; }

class WholeByteCounts : public ::testing::TestWithParam<ByteCase> {};

TEST_P(WholeByteCounts, FixedPointAmountGivesTheText) {
  const ByteCase& c = GetParam();
  ASSERT_LE(c.bytes, kMaxFixedPointBytes);
  EXPECT_EQ(FormatByteSize(static_cast<int64_t>(c.bytes) * kFixedPointScale), c.text);
}

TEST_P(WholeByteCounts, ByteCountGivesTheSameText) {
  const ByteCase& c = GetParam();
  EXPECT_EQ(FormatByteCount(c.bytes), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, WholeByteCounts,
    ::testing::Values(
        ByteCase{0, "0 B"}, ByteCase{1, "1 B"}, ByteCase{5, "5 B"}, ByteCase{1023, "1023 B"},
        ByteCase{1024, "1 KB"}, ByteCase{1536, "1,5 KB"}, ByteCase{2048, "2 KB"},
        // Rounded to four places first: 1,0215 then 1,022 (one rounding would give 1,021).
        ByteCase{1046, "1,022 KB"},
        // 1,02246... becomes 1,0225, and the half goes away from zero: 1,023.
        ByteCase{1047, "1,023 KB"},
        // Exact halves at the fifth place go to the even neighbour: 1,03125 -> 1,0312.
        ByteCase{1056, "1,031 KB"}, ByteCase{1120, "1,094 KB"},
        ByteCase{1048575, "1023,999 KB"}, ByteCase{1048576, "1 MB"}, ByteCase{1081344, "1,031 MB"},
        // The unit is chosen before dividing, so a quotient may round up to 1024.
        ByteCase{1073741823, "1024 MB"}, ByteCase{1073741824, "1 GB"},
        ByteCase{499963170816, "465,627 GB"}, ByteCase{312538734592, "291,074 GB"},
        ByteCase{187424436224, "174,553 GB"}, ByteCase{1099511627775, "1024 GB"},
        ByteCase{1099511627776, "1 TB"}, ByteCase{2000398934016, "1,819 TB"},
        ByteCase{549755813888000, "500 TB"}, ByteCase{kMaxFixedPointBytes, "838,861 TB"}));

struct AmountCase {
  int64_t amount;
  const char* text;
};

std::ostream& operator<<(std::ostream& out, const AmountCase& c) { return out << "amount " << c.amount; }

class FixedPointAmounts : public ::testing::TestWithParam<AmountCase> {};

TEST_P(FixedPointAmounts, GiveTheText) { EXPECT_EQ(FormatByteSize(GetParam().amount), GetParam().text); }

INSTANTIATE_TEST_SUITE_P(
    Table, FixedPointAmounts,
    ::testing::Values(
        AmountCase{-1, "0 B"}, AmountCase{-10000, "0 B"},
        AmountCase{std::numeric_limits<int64_t>::min(), "0 B"},
        AmountCase{std::numeric_limits<int64_t>::max(), "838,861 TB"},
        // Fractions: below a thousandth nothing is left; a half thousandth rounds away from zero.
        AmountCase{4, "0 B"}, AmountCase{5, "0,001 B"}, AmountCase{5000, "0,5 B"}, AmountCase{15000, "1,5 B"},
        AmountCase{10235, "1,024 B"}, AmountCase{10225, "1,023 B"}, AmountCase{12340, "1,234 B"},
        AmountCase{10200, "1,02 B"},
        // Above 1023 bytes by a fraction already counts as kilobytes.
        AmountCase{10230000, "1023 B"}, AmountCase{10230001, "0,999 KB"},
        // 1048,0128 B / 1024 = 1,02345 exactly: halves to even give 1,0234, hence 1,023 (not 1,024).
        AmountCase{10480128, "1,023 KB"},
        // 1049,0368 B / 1024 = 1,02445 exactly: the even 1,0244 gives 1,024 (halves up: 1,025).
        AmountCase{10490368, "1,024 KB"}));

class CountsBeyondFixedPoint : public ::testing::TestWithParam<ByteCase> {};

TEST_P(CountsBeyondFixedPoint, AreWrittenInTerabytes) { EXPECT_EQ(FormatByteCount(GetParam().bytes), GetParam().text); }

INSTANTIATE_TEST_SUITE_P(
    Table, CountsBeyondFixedPoint,
    ::testing::Values(ByteCase{kMaxFixedPointBytes + 1, "838,861 TB"},
                      ByteCase{uint64_t{1} << 50, "1024 TB"},
                      ByteCase{(uint64_t{1} << 50) + (uint64_t{1} << 39), "1024,5 TB"},
                      // 1025,0000499... TB: just under half a ten-thousandth, so it rounds down.
                      ByteCase{(uint64_t{1025} << 40) + 54975581, "1025 TB"},
                      // 1025,09375 TB exactly: a half at the fifth place, across the split of the count.
                      ByteCase{(uint64_t{1025} << 40) + (uint64_t{3} << 35), "1025,094 TB"},
                      // 1025,0005 TB: the half at the fourth place goes away from zero.
                      ByteCase{(uint64_t{1025} << 40) + 549755814, "1025,001 TB"},
                      ByteCase{uint64_t{1} << 60, "1048576 TB"},
                      ByteCase{std::numeric_limits<uint64_t>::max(), "16777216 TB"}));

TEST(FormatByteSize, IgnoresTheLocaleDecimalSeparator) {
  // Under a locale whose decimal separator is already a comma, a formatter that leaned on the
  // C library would double or drop separators; the texts must not change.
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  const char* chosen = nullptr;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "ru_RU.UTF-8", "ru_RU.utf8"}) {
    if (std::setlocale(LC_ALL, name) != nullptr && std::string(std::localeconv()->decimal_point) == ",") {
      chosen = name;
      break;
    }
  }
  if (chosen == nullptr) {
    std::setlocale(LC_ALL, saved.c_str());
    GTEST_SKIP() << "no locale with a decimal comma is installed";
  }
  const std::string big = FormatByteCount(std::numeric_limits<uint64_t>::max());
  const std::string small = FormatByteCount(1536);
  const std::string fixedPoint = FormatByteSize(int64_t{499963170816} * kFixedPointScale);
  std::setlocale(LC_ALL, saved.c_str());
  EXPECT_EQ(big, "16777216 TB") << chosen;
  EXPECT_EQ(small, "1,5 KB") << chosen;
  EXPECT_EQ(fixedPoint, "465,627 GB") << chosen;
}

}  // namespace
}  // namespace tarnvik
