// A second, independent model of the size texts, used to check the program's formatter over
// millions of amounts. It works on exact fractions held in 128-bit integers (a divisor is a
// plain number here, never a shift), and it writes the number by editing a digit string with
// three implied decimals, so it shares neither method nor code with the formatter it checks.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace tarnvik::testing {

// The compiler's 128-bit integers (GCC and Clang); __extension__ keeps -Wpedantic quiet.
__extension__ typedef unsigned __int128 Wide;
__extension__ typedef __int128 SignedWide;

/// Decimal digits of a 128-bit value.
inline std::string WideDigits(Wide value) {
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(value % 10)));
    value /= 10;
  } while (value != 0);
  return digits;
}

/// The size text of a non-negative value given in ten-thousandths (value × 10000, exact).
inline std::string ReferenceSizeOfScaled(Wide scaled) {
  if (scaled == 0) return "0 B";

  struct Band {
    Wide moreThanBytes;
    Wide divisor;
    const char* unit;
  };
  static constexpr std::array<Band, 5> kBands{{
      {1099511627775u, 1099511627776u, "TB"},
      {1073741823u, 1073741824u, "GB"},
      {1048575u, 1048576u, "MB"},
      {1023u, 1024u, "KB"},
      {0u, 1u, "B"},
  }};
  // The unit is chosen on the value before any division; the value may carry a fraction.
  const Band* band = &kBands.back();
  for (const Band& b : kBands) {
    if (scaled > b.moreThanBytes * 10000) {
      band = &b;
      break;
    }
  }

  // First rounding: the exact quotient scaled / divisor to a whole number of ten-thousandths,
  // an exact half going to the even neighbour.
  Wide fourPlaces = scaled / band->divisor;
  const Wide remainder = scaled % band->divisor;
  const Wide twice = remainder * 2;
  if (twice > band->divisor || (twice == band->divisor && fourPlaces % 2 == 1)) fourPlaces += 1;

  // Second rounding: to thousandths, an exact half going up (all values here are positive).
  Wide threePlaces = fourPlaces / 10;
  if (fourPlaces % 10 >= 5) threePlaces += 1;

  // Digits with three implied decimals: at least "0000", then the comma before the last three.
  std::string digits = WideDigits(threePlaces);
  if (digits.size() < 4) digits.insert(0, 4 - digits.size(), '0');
  std::string number = digits.substr(0, digits.size() - 3) + "," + digits.substr(digits.size() - 3);
  while (number.back() == '0') number.pop_back();
  if (number.back() == ',') number.pop_back();
  return number + " " + band->unit;
}

/// The size text of a fixed-point amount (the value times 10000 in a signed 64-bit integer).
inline std::string ReferenceByteSize(int64_t amount) {
  if (amount <= 0) return "0 B";
  return ReferenceSizeOfScaled(static_cast<Wide>(amount));
}

/// The size text of a whole byte count of any size, in its true unit.
inline std::string ReferenceByteCount(uint64_t bytes) {
  return ReferenceSizeOfScaled(static_cast<Wide>(bytes) * 10000);
}

}  // namespace tarnvik::testing
