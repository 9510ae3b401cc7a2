// Copying UTF-8 text into a fixed C buffer, as the platform adapters hand texts to the logic.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

namespace tarnvik {

/// Copies as much of `text` as fits in `capacity - 1` bytes without splitting a multi-byte
/// character, then a NUL. Returns the bytes copied (NUL not counted). A null buffer or a
/// capacity of 0 receives nothing. `text` is expected to be well-formed UTF-8.
inline std::size_t CopyUtf8Truncated(std::string_view text, char* buffer, std::size_t capacity) {
  if (buffer == nullptr || capacity == 0) return 0;
  std::size_t n = text.size() < capacity - 1 ? text.size() : capacity - 1;
  // A continuation byte (10xxxxxx) at the cut means the cut falls inside a character.
  while (n > 0 && n < text.size() && (static_cast<unsigned char>(text[n]) & 0xC0u) == 0x80u) --n;
  if (n > 0) std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
  return n;
}

}  // namespace tarnvik
