#include "report/machine_api_win.h"

#include <string>

#include "base/late_bound_win.h"
#include "base/scoped_win.h"
#include "base/utf_win.h"
#include "base/win32_win.h"

namespace tarnvik::win {

static_assert(uint32_t{ComputerNamePhysicalNetBIOS} == kComputerNamePhysicalNetBios &&
              uint32_t{ComputerNamePhysicalDnsFullyQualified} == kComputerNamePhysicalDnsFullyQualified);
static_assert(IMAGE_FILE_MACHINE_I386 == kImageFileMachineI386 && IMAGE_FILE_MACHINE_AMD64 == kImageFileMachineAmd64 &&
              IMAGE_FILE_MACHINE_ARM64 == kImageFileMachineArm64);
static_assert(PROCESSOR_ARCHITECTURE_INTEL == kProcessorArchitectureIntel &&
              PROCESSOR_ARCHITECTURE_AMD64 == kProcessorArchitectureAmd64 &&
              PROCESSOR_ARCHITECTURE_ARM64 == kProcessorArchitectureArm64);

int WinMachineApi::GetComputerNameExW(uint32_t nameType, std::string& name) {
  // A DNS name may be longer than a NetBIOS one; the call says how much room it needs.
  std::wstring buffer(MAX_COMPUTERNAME_LENGTH + 1, L'\0');
  for (int attempt = 0; attempt < 3; ++attempt) {
    DWORD size = static_cast<DWORD>(buffer.size());
    if (::GetComputerNameExW(static_cast<COMPUTER_NAME_FORMAT>(nameType), buffer.data(), &size)) {
      name = WideToUtf8(std::wstring_view(buffer.data(), size));
      return 1;
    }
    if (::GetLastError() != ERROR_MORE_DATA || size <= buffer.size()) return 0;
    buffer.assign(size + 1, L'\0');
  }
  return 0;
}

void WinMachineApi::GetSystemTime(SystemTime& time) {
  SYSTEMTIME now{};
  ::GetSystemTime(&now);
  time = {now.wYear, now.wMonth, now.wDayOfWeek, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}

void WinMachineApi::GetNativeSystemInfo(uint16_t& processorArchitecture) {
  SYSTEM_INFO info{};
  ::GetNativeSystemInfo(&info);
  processorArchitecture = info.wProcessorArchitecture;
}

int WinMachineApi::IsWow64Process2(uint16_t& processMachine, uint16_t& nativeMachine) {
  const auto call = Kernel32().IsWow64Process2;
  if (call == nullptr) {
    ::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return 0;
  }
  USHORT process = 0, native = 0;
  if (!call(::GetCurrentProcess(), &process, &native)) return 0;
  processMachine = process;
  nativeMachine = native;
  return 1;
}

int WinMachineApi::CheckTokenMembership(int& isMember) {
  struct SidTraits {
    using Handle = PSID;
    static Handle Empty() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { ::FreeSid(h); }
  };
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  ScopedHandle<SidTraits> administrators;
  BOOL member = FALSE;
  if (!::AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                  administrators.put()) ||
      !::CheckTokenMembership(nullptr, administrators.get(), &member))
    return 0;
  isMember = member ? 1 : 0;
  return 1;
}

}  // namespace tarnvik::win
