#include "startup/process_api_win.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "base/late_bound_win.h"
#include "base/utf8_copy.h"
#include "base/utf_win.h"
#include "base/win32_win.h"

#include <psapi.h>
#include <tlhelp32.h>

// tlhelp32.h maps these names to their W forms under UNICODE, which would rename the
// methods defined below.
#undef Process32First
#undef Process32Next

namespace tarnvik::win {

static_assert(sizeof(ModuleHandle) == sizeof(HMODULE));
static_assert(sizeof(ProcessHandle) == sizeof(HANDLE));

namespace {

HANDLE ToHandle(ProcessHandle h) { return reinterpret_cast<HANDLE>(h); }
ProcessHandle FromHandle(HANDLE h) { return reinterpret_cast<ProcessHandle>(h); }

std::string_view::size_type Length(const wchar_t* text, std::size_t capacity) {
  return std::wstring_view(text, capacity).find(L'\0');
}

// Fills the caller's entry from the platform's record; the caller's dwSize is theirs to keep.
void CopyEntry(const PROCESSENTRY32W& platform, ProcessEntry& entry) {
  std::wstring_view name(platform.szExeFile, std::size(platform.szExeFile));
  name = name.substr(0, Length(platform.szExeFile, std::size(platform.szExeFile)));
  entry.th32ProcessID = platform.th32ProcessID;
  CopyUtf8Truncated(WideToUtf8(name), entry.szExeFile.data(), entry.szExeFile.size());
}

int WalkStep(ProcessHandle snapshot, ProcessEntry& entry, bool first) {
  PROCESSENTRY32W platform{};
  platform.dwSize = sizeof(platform);
  const BOOL ok = first ? ::Process32FirstW(ToHandle(snapshot), &platform) : ::Process32NextW(ToHandle(snapshot), &platform);
  if (!ok) return 0;
  CopyEntry(platform, entry);
  return 1;
}

}  // namespace

ProcessHandle WinProcessApi::CreateToolhelp32Snapshot(uint32_t flags, uint32_t processId) {
  return FromHandle(::CreateToolhelp32Snapshot(flags, processId));
}

int WinProcessApi::Process32First(ProcessHandle snapshot, ProcessEntry& entry) {
  return WalkStep(snapshot, entry, true);
}

int WinProcessApi::Process32Next(ProcessHandle snapshot, ProcessEntry& entry) {
  return WalkStep(snapshot, entry, false);
}

int WinProcessApi::EnumProcesses(uint32_t* ids, uint32_t cb, uint32_t* bytesReturned) {
  if (ids == nullptr || bytesReturned == nullptr) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::vector<DWORD> table(cb / sizeof(DWORD));
  DWORD filled = 0;
  if (!::EnumProcesses(table.data(), static_cast<DWORD>(table.size() * sizeof(DWORD)), &filled)) return 0;
  const std::size_t count = std::min<std::size_t>(filled / sizeof(DWORD), table.size());
  std::copy_n(table.begin(), count, ids);
  *bytesReturned = static_cast<uint32_t>(count * sizeof(DWORD));
  return 1;
}

ProcessHandle WinProcessApi::OpenProcess(uint32_t desiredAccess, int inheritHandle, uint32_t processId) {
  return FromHandle(::OpenProcess(desiredAccess, inheritHandle != 0 ? TRUE : FALSE, processId));
}

int WinProcessApi::EnumProcessModules(ProcessHandle process, ModuleHandle* modules, uint32_t cb,
                                      uint32_t* cbNeeded) {
  DWORD needed = 0;
  if (!::EnumProcessModules(ToHandle(process), reinterpret_cast<HMODULE*>(modules), cb, &needed)) return 0;
  if (cbNeeded != nullptr) *cbNeeded = needed;
  return 1;
}

uint32_t WinProcessApi::GetModuleFileNameExA(ProcessHandle process, ModuleHandle module, char* fileName,
                                             uint32_t size) {
  if (fileName == nullptr || size == 0) {
    ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  // Long enough for any path the platform can name, so only the UTF-8 copy ever truncates.
  std::vector<wchar_t> wide(32768);
  const DWORD n = ::GetModuleFileNameExW(ToHandle(process), reinterpret_cast<HMODULE>(module), wide.data(),
                                         static_cast<DWORD>(wide.size()));
  if (n == 0) return 0;
  const std::wstring_view path(wide.data(), std::min<std::size_t>(n, Length(wide.data(), wide.size())));
  return static_cast<uint32_t>(CopyUtf8Truncated(WideToUtf8(path), fileName, size));
}

int WinProcessApi::CloseHandle(ProcessHandle handle) {
  // A failed OpenProcess gives 0, and the psapi walk closes it all the same: answer as the
  // platform would without handing it a null handle.
  if (handle == 0) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return ::CloseHandle(ToHandle(handle)) ? 1 : 0;
}

uint32_t WinProcessApi::GetCurrentProcessId() { return ::GetCurrentProcessId(); }

int WinProcessApi::ProcessIdToSessionId(uint32_t processId, uint32_t* sessionId) {
  const auto call = Kernel32().ProcessIdToSessionId;
  if (call == nullptr || sessionId == nullptr) {
    ::SetLastError(call == nullptr ? ERROR_CALL_NOT_IMPLEMENTED : ERROR_INVALID_PARAMETER);
    return 0;
  }
  DWORD session = 0;
  if (!call(processId, &session)) return 0;
  *sessionId = session;
  return 1;
}

int WinProcessApi::GetProcessTimes(ProcessHandle process, uint64_t* creation, uint64_t* exit, uint64_t* kernel,
                                   uint64_t* user) {
  FILETIME times[4]{};
  if (!::GetProcessTimes(ToHandle(process), &times[0], &times[1], &times[2], &times[3])) return 0;
  uint64_t* const out[4] = {creation, exit, kernel, user};
  for (int i = 0; i < 4; ++i) {
    if (out[i] != nullptr) *out[i] = (uint64_t{times[i].dwHighDateTime} << 32) | times[i].dwLowDateTime;
  }
  return 1;
}

ProcessHandle WinProcessApi::CreateMutexA(int initialOwner, const char* name) {
  return FromHandle(::CreateMutexW(nullptr, initialOwner, Utf8ToWide(name).c_str()));
}

ProcessHandle WinProcessApi::OpenMutexA(uint32_t desiredAccess, int inheritHandle, const char* name) {
  return FromHandle(::OpenMutexW(desiredAccess, inheritHandle, Utf8ToWide(name).c_str()));
}

uint32_t WinProcessApi::GetLastError() { return ::GetLastError(); }

void WinProcessApi::Sleep(uint32_t milliseconds) { ::Sleep(milliseconds); }

}  // namespace tarnvik::win
