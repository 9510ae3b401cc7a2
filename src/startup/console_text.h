// What a console is given of the report: text, where a pipe or file gets bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tarnvik {

/// The most UTF-16 units one console write takes: older consoles pass a write through a 64 KB
/// heap that the rest of the process shares.
inline constexpr std::size_t kConsolePieceUnits = 8192;

/// How many units of `text` the next console write takes: all of them up to `limit`, one fewer
/// where the cut would part a surrogate pair, whose halves a console cannot show apart.
template <class Unit>
std::size_t ConsolePieceLength(std::basic_string_view<Unit> text, std::size_t limit = kConsolePieceUnits) {
  if (text.size() <= limit) return text.size();
  const auto last = static_cast<uint32_t>(text[limit - 1]);
  return limit > 1 && last >= 0xD800 && last <= 0xDBFF ? limit - 1 : limit;
}

}  // namespace tarnvik
