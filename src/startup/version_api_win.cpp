#include "startup/version_api_win.h"

#include <algorithm>

#include "base/win32_win.h"

namespace tarnvik::win {

static_assert(sizeof(OSVERSIONINFOA) == sizeof(OsVersionInfoA));
static_assert(sizeof(OSVERSIONINFOA::szCSDVersion) == std::tuple_size_v<decltype(OsVersionInfoA::szCSDVersion)>);

int WinVersionApi::GetVersionExA(OsVersionInfoA& info) {
  // The platform accepts a record of its own size only (the larger EX record is not ours);
  // any other size fails as it would there, and the record stays as the caller set it.
  if (info.dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
    ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  OSVERSIONINFOA platform{};
  platform.dwOSVersionInfoSize = sizeof(platform);
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
  const BOOL ok = ::GetVersionExA(&platform);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
  if (!ok) return 0;
  info.dwMajorVersion = platform.dwMajorVersion;
  info.dwMinorVersion = platform.dwMinorVersion;
  info.dwBuildNumber = platform.dwBuildNumber;
  info.dwPlatformId = platform.dwPlatformId;
  std::copy(std::begin(platform.szCSDVersion), std::end(platform.szCSDVersion), info.szCSDVersion.begin());
  return 1;
}

}  // namespace tarnvik::win
