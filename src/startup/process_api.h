// The toolhelp and psapi calls of the process scan, one method per call.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace tarnvik {

using ProcessHandle = std::intptr_t;  ///< the platform's HANDLE value
using ModuleHandle = std::uintptr_t;  ///< the platform's HMODULE value

inline constexpr ProcessHandle kInvalidHandleValue = -1;
inline constexpr uint32_t kTh32csSnapProcess = 2;
inline constexpr uint32_t kProcessQueryInformation = 0x400;
inline constexpr uint32_t kProcessQueryLimitedInformation = 0x1000;  ///< Vista and later
inline constexpr uint32_t kProcessVmRead = 0x10;

/// Snapshot entry. Only szExeFile is read. The adapter fills it from the platform's own
/// record (of the build's own size), as UTF-8, so names outside the ANSI code page survive:
/// a MAX_PATH wide name can need three bytes a character.
struct ProcessEntry {
  static constexpr std::size_t kExeFileSize = 260 * 3;
  uint32_t dwSize = 0;
  uint32_t th32ProcessID = 0;
  std::array<char, kExeFileSize> szExeFile{};
};

inline constexpr uint32_t kSynchronize = 0x00100000;
inline constexpr uint32_t kErrorAccessDenied = 5;

/// Mirrors CreateToolhelp32Snapshot, Process32First/Next, EnumProcesses, OpenProcess,
/// EnumProcessModules, GetModuleFileNameExA, CloseHandle, GetCurrentProcessId,
/// ProcessIdToSessionId, GetProcessTimes, CreateMutex, OpenMutex, GetLastError and Sleep, with
/// their results and sizes.
class ProcessApi {
 public:
  virtual ~ProcessApi() = default;
  /// A snapshot handle, or kInvalidHandleValue.
  virtual ProcessHandle CreateToolhelp32Snapshot(uint32_t flags, uint32_t processId) = 0;
  /// Non-zero while an entry was delivered into `entry`.
  virtual int Process32First(ProcessHandle snapshot, ProcessEntry& entry) = 0;
  virtual int Process32Next(ProcessHandle snapshot, ProcessEntry& entry) = 0;
  /// Non-zero on success; *bytesReturned is how many bytes of `ids` were filled (size `cb` bytes).
  virtual int EnumProcesses(uint32_t* ids, uint32_t cb, uint32_t* bytesReturned) = 0;
  /// A process handle, or 0.
  virtual ProcessHandle OpenProcess(uint32_t desiredAccess, int inheritHandle, uint32_t processId) = 0;
  /// Non-zero on success; fills at most `cb` bytes of `modules`.
  virtual int EnumProcessModules(ProcessHandle process, ModuleHandle* modules, uint32_t cb, uint32_t* cbNeeded) = 0;
  /// Number of bytes copied into `fileName` (UTF-8, capacity `size`), 0 on failure.
  virtual uint32_t GetModuleFileNameExA(ProcessHandle process, ModuleHandle module, char* fileName, uint32_t size) = 0;
  /// Non-zero on success.
  virtual int CloseHandle(ProcessHandle handle) = 0;
  virtual uint32_t GetCurrentProcessId() = 0;
  /// Non-zero on success, with the session in *sessionId; 0 where the process cannot be
  /// queried and where the platform lacks the call (Windows 9x, NT 4).
  virtual int ProcessIdToSessionId(uint32_t processId, uint32_t* sessionId) = 0;
  /// Non-zero on success, with the four times as FILETIME values (100 ns units; creation since
  /// 1601). Needs a handle opened with kProcessQueryLimitedInformation or kProcessQueryInformation.
  virtual int GetProcessTimes(ProcessHandle process, uint64_t* creation, uint64_t* exit, uint64_t* kernel,
                              uint64_t* user) = 0;
  /// A handle to the named mutex (made when missing), or 0. The name is UTF-8.
  virtual ProcessHandle CreateMutexA(int initialOwner, const char* name) = 0;
  /// A handle to the existing named mutex, or 0 when there is none (or it may not be opened).
  virtual ProcessHandle OpenMutexA(uint32_t desiredAccess, int inheritHandle, const char* name) = 0;
  /// The calling thread's last error, as the call before it left it.
  virtual uint32_t GetLastError() = 0;
  /// The calling thread waits `milliseconds`.
  virtual void Sleep(uint32_t milliseconds) = 0;
};

}  // namespace tarnvik
