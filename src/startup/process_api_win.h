// The process calls of the copy count, answered by kernel32's toolhelp and by psapi.
#pragma once

#include "startup/process_api.h"

namespace tarnvik::win {

/// Snapshot entries come from the platform's own wide record (dwSize is the build's own
/// sizeof, which differs between 32- and 64-bit builds) and names reach the caller as UTF-8.
/// Handles are passed through as they are: the snapshot keeps its walk position per handle,
/// and the caller closes what it opened.
class WinProcessApi final : public ProcessApi {
 public:
  ProcessHandle CreateToolhelp32Snapshot(uint32_t flags, uint32_t processId) override;
  int Process32First(ProcessHandle snapshot, ProcessEntry& entry) override;
  int Process32Next(ProcessHandle snapshot, ProcessEntry& entry) override;
  int EnumProcesses(uint32_t* ids, uint32_t cb, uint32_t* bytesReturned) override;
  ProcessHandle OpenProcess(uint32_t desiredAccess, int inheritHandle, uint32_t processId) override;
  int EnumProcessModules(ProcessHandle process, ModuleHandle* modules, uint32_t cb, uint32_t* cbNeeded) override;
  uint32_t GetModuleFileNameExA(ProcessHandle process, ModuleHandle module, char* fileName, uint32_t size) override;
  int CloseHandle(ProcessHandle handle) override;
  uint32_t GetCurrentProcessId() override;
  /// Looked up at run time (base/late_bound_win.h), since Windows 9x and NT 4 lack it.
  int ProcessIdToSessionId(uint32_t processId, uint32_t* sessionId) override;
  int GetProcessTimes(ProcessHandle process, uint64_t* creation, uint64_t* exit, uint64_t* kernel,
                      uint64_t* user) override;
  ProcessHandle CreateMutexA(int initialOwner, const char* name) override;
  ProcessHandle OpenMutexA(uint32_t desiredAccess, int inheritHandle, const char* name) override;
  uint32_t GetLastError() override;
  void Sleep(uint32_t milliseconds) override;
};

}  // namespace tarnvik::win
