// The kernel32 calls that say which machine a report was taken on, and when.
#pragma once

#include <cstdint>
#include <string>

namespace tarnvik {

/// Laid out as SYSTEMTIME.
struct SystemTime {
  uint16_t wYear = 0;
  uint16_t wMonth = 0;
  uint16_t wDayOfWeek = 0;
  uint16_t wDay = 0;
  uint16_t wHour = 0;
  uint16_t wMinute = 0;
  uint16_t wSecond = 0;
  uint16_t wMilliseconds = 0;
};
static_assert(sizeof(SystemTime) == 16);

/// COMPUTER_NAME_FORMAT values the report asks for: the physical forms (Windows 2000 and later),
/// which on a cluster's node name the node itself rather than the cluster's virtual server.
enum : uint32_t {
  kComputerNamePhysicalNetBios = 4,
  kComputerNamePhysicalDnsFullyQualified = 7,
};

/// IMAGE_FILE_MACHINE_* and PROCESSOR_ARCHITECTURE_* codes the report names.
enum : uint16_t {
  kImageFileMachineI386 = 0x014C,
  kImageFileMachineAmd64 = 0x8664,
  kImageFileMachineArm64 = 0xAA64,
  kProcessorArchitectureIntel = 0,
  kProcessorArchitectureAmd64 = 9,
  kProcessorArchitectureArm64 = 12,
};

/// Mirrors GetComputerNameExW, GetSystemTime, GetNativeSystemInfo, IsWow64Process2 and
/// CheckTokenMembership. Contract: on failure each output keeps what the caller preset.
class MachineApi {
 public:
  virtual ~MachineApi() = default;

  /// GetComputerNameExW(nameType, ...), the whole name as UTF-8 (the adapter grows its buffer
  /// as the call asks). Non-zero on success.
  virtual int GetComputerNameExW(uint32_t nameType, std::string& name) = 0;

  /// Coordinated universal time; cannot fail.
  virtual void GetSystemTime(SystemTime& time) = 0;

  /// GetNativeSystemInfo's wProcessorArchitecture: the machine's, also for a 32-bit program on
  /// 64-bit x64 Windows (Windows XP and later). An x86 program emulated on ARM64 is told x86.
  virtual void GetNativeSystemInfo(uint16_t& processorArchitecture) = 0;

  /// IsWow64Process2 on the current process, looked up at run time (Windows 10 1709 and later):
  /// 0 where this Windows has no such function, as when it fails. Tells ARM64 under emulation.
  virtual int IsWow64Process2(uint16_t& processMachine, uint16_t& nativeMachine) = 0;

  /// CheckTokenMembership(NULL, the BUILTIN\\Administrators SID from AllocateAndInitializeSid,
  /// &isMember), then FreeSid (Windows 2000 and later): whether the thread's token counts the
  /// Administrators group. A token that UAC filtered holds the group for deny only, so it is
  /// not counted there. Non-zero on success.
  virtual int CheckTokenMembership(int& isMember) = 0;
};

}  // namespace tarnvik
