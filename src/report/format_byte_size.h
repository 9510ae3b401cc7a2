// Size texts: a number with at most three decimals, a decimal comma and a binary unit.
#pragma once

#include <cstdint>
#include <string>

namespace tarnvik {

/// A fixed-point amount: the value times 10000 in a signed 64-bit integer.
inline constexpr int64_t kFixedPointScale = 10000;
/// The largest whole byte count a fixed-point amount holds.
inline constexpr uint64_t kMaxFixedPointBytes = 922337203685477u;

/// The size text of a fixed-point amount ("465,627 GB"; "0 B" for 0 or less).
std::string FormatByteSize(int64_t amount);

/// The size text of a byte count, any 64-bit count included.
std::string FormatByteCount(uint64_t bytes);

}  // namespace tarnvik
