// What the Windows tests learn from their surroundings: environment variables set by the
// runner script, and the test program's own file name.
#pragma once

#include <cctype>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/utf_win.h"
#include "base/win32_win.h"

namespace tarnvik::testing {

/// The variable's value as UTF-8; nothing when it is not set.
inline std::optional<std::string> EnvUtf8(const wchar_t* name) {
  const DWORD needed = ::GetEnvironmentVariableW(name, nullptr, 0);
  if (needed == 0) return std::nullopt;
  std::wstring value(needed, L'\0');
  const DWORD n = ::GetEnvironmentVariableW(name, value.data(), needed);
  if (n == 0 || n >= needed) return std::nullopt;
  value.resize(n);
  return win::WideToUtf8(value);
}

/// A drive letter named by the variable, in lower case; nothing when unset or not a letter.
inline std::optional<char> EnvDriveLetter(const wchar_t* name) {
  const auto value = EnvUtf8(name);
  if (!value || value->size() != 1 || !std::isalpha(static_cast<unsigned char>((*value)[0]))) return std::nullopt;
  return static_cast<char>(std::tolower(static_cast<unsigned char>((*value)[0])));
}

/// Bytes from a text of hexadecimal pairs ("D094" gives two bytes); nothing when malformed.
/// Lets the runner pass non-ASCII expectations through the environment in plain ASCII.
inline std::optional<std::string> HexBytes(std::string_view hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  std::string bytes;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    unsigned value = 0;
    for (std::size_t j = i; j < i + 2; ++j) {
      const auto c = static_cast<unsigned char>(std::tolower(static_cast<unsigned char>(hex[j])));
      if (!std::isxdigit(c)) return std::nullopt;
      value = value * 16 + static_cast<unsigned>(std::isdigit(c) ? c - '0' : c - 'a' + 10);
    }
    bytes.push_back(static_cast<char>(value));
  }
  return bytes;
}

/// The full path of the running test program.
inline std::wstring OwnExePathWide() {
  std::vector<wchar_t> buffer(32768);
  const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  return std::wstring(buffer.data(), n);
}

/// The running test program's file name, without its folder, as UTF-8.
inline std::string OwnExeBaseName() {
  const std::wstring path = OwnExePathWide();
  const auto slash = path.find_last_of(L"\\/");
  return win::WideToUtf8(slash == std::wstring::npos ? path : path.substr(slash + 1));
}

}  // namespace tarnvik::testing
