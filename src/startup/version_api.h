// The kernel32 version query, shaped like GetVersionExA.
#pragma once

#include <array>
#include <cstdint>

namespace tarnvik {

/// Laid out as OSVERSIONINFOA (148 bytes).
struct OsVersionInfoA {
  uint32_t dwOSVersionInfoSize = 0;
  uint32_t dwMajorVersion = 0;
  uint32_t dwMinorVersion = 0;
  uint32_t dwBuildNumber = 0;
  uint32_t dwPlatformId = 0;
  std::array<char, 128> szCSDVersion{};
};
static_assert(sizeof(OsVersionInfoA) == 148);

class VersionApi {
 public:
  virtual ~VersionApi() = default;
  /// Non-zero on success; on failure the record keeps what the caller preset.
  virtual int GetVersionExA(OsVersionInfoA& info) = 0;
};

}  // namespace tarnvik
