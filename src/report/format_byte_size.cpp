// Size texts for the report. All arithmetic is on integers: the quotient is rounded to four
// decimals (halves to even) and then to three (halves away from zero) exactly, and the decimal
// comma is written by hand, so neither binary floating point nor the C locale can move a digit.
#include "report/format_byte_size.h"

#include <array>
#include <cstdint>
#include <string>

namespace tarnvik {
namespace {

struct Unit {
  uint64_t aboveBytes;  ///< the unit applies to amounts of more than this many bytes
  int shift;            ///< divisor as a power of two; 0 for none
  const char* name;
};

constexpr std::array<Unit, 4> kUnits{{
    {1099511627775u, 40, "TB"},
    {1073741823u, 30, "GB"},
    {1048575u, 20, "MB"},
    {1023u, 10, "KB"},
}};

constexpr uint64_t kScale = static_cast<uint64_t>(kFixedPointScale);

/// value / 2^shift, rounded to a whole number, halves to the even neighbour.
uint64_t ShiftRoundHalfEven(uint64_t value, int shift) {
  if (shift == 0) return value;
  const uint64_t mask = (uint64_t{1} << shift) - 1;
  const uint64_t half = uint64_t{1} << (shift - 1);
  uint64_t quotient = value >> shift;
  const uint64_t remainder = value & mask;
  if (remainder > half || (remainder == half && (quotient & 1) != 0)) ++quotient;
  return quotient;
}

/// The number text of a positive fixed-point amount: three decimals at most, halves away from
/// zero, trailing zeros and a bare separator dropped. A value below 1 keeps its leading "0".
std::string NumberText(uint64_t tenThousandths) {
  const uint64_t thousandths = tenThousandths / 10 + (tenThousandths % 10 >= 5 ? 1 : 0);
  std::string text = std::to_string(thousandths / 1000);
  uint64_t fraction = thousandths % 1000;
  if (fraction == 0) return text;
  int digits = 3;
  while (fraction % 10 == 0) {
    fraction /= 10;
    --digits;
  }
  std::string decimals = std::to_string(fraction);
  text += ',';
  text.append(static_cast<std::size_t>(digits) - decimals.size(), '0');
  text += decimals;
  return text;
}

std::string SizeText(uint64_t tenThousandths, const char* unit) {
  std::string text = NumberText(tenThousandths);
  text += ' ';
  text += unit;
  return text;
}

}  // namespace

std::string FormatByteSize(int64_t amount) {
  if (amount <= 0) return "0 B";
  const auto positive = static_cast<uint64_t>(amount);
  for (const Unit& unit : kUnits) {
    // The threshold is a whole byte count; the amount may carry a fraction.
    if (positive > unit.aboveBytes * kScale) return SizeText(ShiftRoundHalfEven(positive, unit.shift), unit.name);
  }
  return SizeText(positive, "B");
}

std::string FormatByteCount(uint64_t bytes) {
  if (bytes <= kMaxFixedPointBytes) return FormatByteSize(static_cast<int64_t>(bytes * kScale));
  // Too large for the fixed-point amount, and far above the terabyte threshold. bytes * 10000
  // needs 78 bits, so split the count at the divisor: whole terabytes times 10000 fit easily,
  // and the rest (below 2^40) times 10000 stays below 2^54.
  const uint64_t wholeTerabytes = bytes >> 40;
  const uint64_t rest = bytes & ((uint64_t{1} << 40) - 1);
  const uint64_t tenThousandths = wholeTerabytes * kScale + ShiftRoundHalfEven(rest * kScale, 40);
  return SizeText(tenThousandths, "TB");
}

}  // namespace tarnvik
