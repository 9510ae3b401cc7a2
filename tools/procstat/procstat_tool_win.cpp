// procstat: a console helper for the hardening tests. It watches and drives Tarnvik's main
// window from another process and prepares registry keys the program may not write.
//
//   procstat stats                    resource counts of the process that owns the main window:
//                                     pid, handles, handles_listed (from the system handle
//                                     table), gdi, user, private, pagefile, workingset
//                                     (key=value lines; "?" where the call failed)
//   procstat refresh <count> <ms>     <count> refreshes through F5 in the report box, one after
//                                     another, each confirmed by a rebuilt report; <ms> bounds
//                                     each refresh. Prints done=<n> and elapsed_ms=<ms>
//   procstat windows                  visible top-level windows of the main window's process,
//                                     one "class|title" line each
//   procstat deny-key <32|64> <path>  creates HKLM\<path> and gives it a DACL that denies
//                                     everyone the right to set values and create subkeys
//   procstat allow-key <32|64> <path> gives HKLM\<path> a DACL that allows everything again
//   procstat try-write <32|64> <path> what an open of HKLM\<path> for all access and a create of
//                                     it give this process: open=<code> create=<code>
//   procstat cmdline <exe name>       the command line, as the process got it (quotes and all),
//                                     of each running process of that file name, one a line
//
// Exit codes: 0 done, 1 the condition was not met in time or a call failed, 2 usage,
// 3 no main window.

#include <cstddef>
#include <cstdint>
#include <cwchar>
#include <string>
#include <string_view>

#include "base/scoped_win.h"
#include "base/utf_win.h"
#include "base/win32_win.h"

// After <windows.h>, which they need.
#include <psapi.h>
#include <tlhelp32.h>
#include <winternl.h>

namespace {

using tarnvik::win::ScopedKernelHandle;
using tarnvik::win::ScopedRegKey;
using tarnvik::win::WideToUtf8;

constexpr wchar_t kMainTitle[] = L"QELM Tarnvik 1.2.0.2016.0";
constexpr wchar_t kMarker[] = L"procstat: refresh pending";
constexpr UINT kSendTimeoutMs = 5000;
constexpr DWORD kPollMs = 10;

enum ExitCode : int { kDone = 0, kFailed = 1, kUsage = 2, kNoWindow = 3 };

void WriteLine(std::string line) {
  line += '\n';
  DWORD written = 0;
  ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

void WriteError(std::string_view message) {
  std::string line = "procstat: " + std::string(message) + "\n";
  DWORD written = 0;
  ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

bool ParseNumber(const wchar_t* text, unsigned long long& value) {
  if (text == nullptr || *text == L'\0') return false;
  wchar_t* end = nullptr;
  value = std::wcstoull(text, &end, 10);
  return end != nullptr && *end == L'\0';
}

HWND FindMainWindow() { return ::FindWindowW(nullptr, kMainTitle); }

DWORD OwnerPid(HWND hwnd) {
  DWORD pid = 0;
  if (hwnd != nullptr) ::GetWindowThreadProcessId(hwnd, &pid);
  return pid;
}

BOOL CALLBACK TakeEditChild(HWND child, LPARAM param) {
  wchar_t name[16] = {};
  ::GetClassNameW(child, name, 16);
  if (::lstrcmpiW(name, L"Edit") != 0) return TRUE;
  *reinterpret_cast<HWND*>(param) = child;
  return FALSE;
}

HWND FindTextBox(HWND main) {
  HWND box = nullptr;
  if (main != nullptr) ::EnumChildWindows(main, TakeEditChild, reinterpret_cast<LPARAM>(&box));
  return box;
}

bool ReadText(HWND box, std::wstring& text) {
  DWORD_PTR length = 0;
  if (!::SendMessageTimeoutW(box, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &length)) return false;
  std::wstring buffer(static_cast<std::size_t>(length) + 4096, L'\0');
  DWORD_PTR copied = 0;
  if (!::SendMessageTimeoutW(box, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                             SMTO_ABORTIFHUNG, kSendTimeoutMs, &copied))
    return false;
  buffer.resize(static_cast<std::size_t>(copied) < buffer.size() ? static_cast<std::size_t>(copied) : 0);
  text = std::move(buffer);
  return true;
}

std::string Counter(bool ok, unsigned long long value) { return ok ? std::to_string(value) : "?"; }

// The system-wide handle table, counted for one process. Some systems (Wine) answer
// GetProcessHandleCount with 0 yet list every handle here.
struct SystemHandleEntry {
  void* object;
  ULONG_PTR processId;
  ULONG_PTR handleValue;
  ULONG grantedAccess;
  USHORT creatorBackTraceIndex;
  USHORT objectTypeIndex;
  ULONG handleAttributes;
  ULONG reserved;
};
struct SystemHandleTable {
  ULONG_PTR count;
  ULONG_PTR reserved;
  SystemHandleEntry entries[1];
};
constexpr ULONG kSystemExtendedHandleInformation = 64;
constexpr LONG kStatusInfoLengthMismatch = static_cast<LONG>(0xC0000004);
using QuerySystemInformation = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);

bool CountSystemHandles(DWORD pid, unsigned long long& count) {
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  if (ntdll == nullptr) return false;
  auto query = reinterpret_cast<QuerySystemInformation>(
      reinterpret_cast<void*>(::GetProcAddress(ntdll, "NtQuerySystemInformation")));
  if (query == nullptr) return false;
  std::string buffer(1 << 16, '\0');
  for (int attempt = 0; attempt < 8; ++attempt) {
    ULONG needed = 0;
    const LONG status = query(kSystemExtendedHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
    if (status == kStatusInfoLengthMismatch) {
      buffer.assign(needed > buffer.size() ? needed + 4096 : buffer.size() * 2, '\0');
      continue;
    }
    if (status < 0) return false;
    const auto* table = reinterpret_cast<const SystemHandleTable*>(buffer.data());
    const std::size_t room = (buffer.size() - offsetof(SystemHandleTable, entries)) / sizeof(SystemHandleEntry);
    const std::size_t listed = table->count < room ? table->count : room;
    count = 0;
    for (std::size_t i = 0; i < listed; ++i)
      if (table->entries[i].processId == pid) ++count;
    return true;
  }
  return false;
}

int CmdStats() {
  const DWORD pid = OwnerPid(FindMainWindow());
  if (pid == 0) {
    WriteError("no main window");
    return kNoWindow;
  }
  ScopedKernelHandle process(::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
  if (!process) {
    WriteError("OpenProcess failed: " + std::to_string(::GetLastError()));
    return kFailed;
  }
  DWORD handles = 0;
  const bool handlesOk = ::GetProcessHandleCount(process.get(), &handles) != FALSE;
  // GetGuiResources gives 0 both for "none" and for a failure; GetLastError tells them apart.
  ::SetLastError(0);
  const DWORD gdi = ::GetGuiResources(process.get(), GR_GDIOBJECTS);
  const bool gdiOk = gdi != 0 || ::GetLastError() == 0;
  ::SetLastError(0);
  const DWORD user = ::GetGuiResources(process.get(), GR_USEROBJECTS);
  const bool userOk = user != 0 || ::GetLastError() == 0;
  PROCESS_MEMORY_COUNTERS_EX memory{};
  memory.cb = sizeof memory;
  const bool memoryOk = ::GetProcessMemoryInfo(process.get(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                                               sizeof memory) != FALSE;
  WriteLine("pid=" + std::to_string(pid));
  WriteLine("handles=" + Counter(handlesOk, handles));
  unsigned long long listed = 0;
  WriteLine("handles_listed=" + Counter(CountSystemHandles(pid, listed), listed));
  WriteLine("gdi=" + Counter(gdiOk, gdi));
  WriteLine("user=" + Counter(userOk, user));
  WriteLine("private=" + Counter(memoryOk, memory.PrivateUsage));
  WriteLine("pagefile=" + Counter(memoryOk, memory.PagefileUsage));
  WriteLine("workingset=" + Counter(memoryOk, memory.WorkingSetSize));
  return kDone;
}

// One refresh: a marker replaces the report, F5 goes to the box, and the refresh counts only once
// a new summary line stands where the marker was. A dropped or failed F5 leaves the marker.
bool RefreshOnce(HWND box, DWORD boundMs) {
  DWORD_PTR ignored = 0;
  if (!::SendMessageTimeoutW(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(kMarker), SMTO_ABORTIFHUNG,
                             kSendTimeoutMs, &ignored))
    return false;
  // F5 with its scan code, repeat count 1; the key handler builds the whole report before the
  // send returns, as the box handles the key on the program's own thread.
  const LPARAM down = 1 | (0x3F << 16);
  const LPARAM up = down | (1u << 30) | (1u << 31);
  ::SendMessageTimeoutW(box, WM_KEYDOWN, VK_F5, down, SMTO_ABORTIFHUNG, boundMs, &ignored);
  ::SendMessageTimeoutW(box, WM_KEYUP, VK_F5, up, SMTO_ABORTIFHUNG, kSendTimeoutMs, &ignored);
  const DWORD start = ::GetTickCount();
  for (;;) {
    std::wstring text;
    if (ReadText(box, text) && text.find(kMarker) == std::wstring::npos && text.find(L" Drives: ") != std::wstring::npos)
      return true;
    if (static_cast<DWORD>(::GetTickCount() - start) >= boundMs) return false;
    ::Sleep(kPollMs);
  }
}

int CmdRefresh(const wchar_t* countArg, const wchar_t* msArg) {
  unsigned long long count = 0;
  unsigned long long ms = 0;
  if (!ParseNumber(countArg, count) || !ParseNumber(msArg, ms) || ms == 0 || ms > 600000) return kUsage;
  HWND box = FindTextBox(FindMainWindow());
  if (box == nullptr) {
    WriteError("no main window or no report box");
    return kNoWindow;
  }
  const DWORD start = ::GetTickCount();
  unsigned long long done = 0;
  while (done < count && RefreshOnce(box, static_cast<DWORD>(ms))) ++done;
  WriteLine("done=" + std::to_string(done));
  WriteLine("elapsed_ms=" + std::to_string(static_cast<DWORD>(::GetTickCount() - start)));
  return done == count ? kDone : kFailed;
}

struct WindowList {
  DWORD pid;
  std::string lines;
};

BOOL CALLBACK ListProcessWindow(HWND hwnd, LPARAM param) {
  auto* list = reinterpret_cast<WindowList*>(param);
  if (OwnerPid(hwnd) != list->pid || !::IsWindowVisible(hwnd)) return TRUE;
  wchar_t name[128] = {};
  wchar_t title[256] = {};
  ::GetClassNameW(hwnd, name, 128);
  ::GetWindowTextW(hwnd, title, 256);
  list->lines += WideToUtf8(name) + "|" + WideToUtf8(title) + "\n";
  return TRUE;
}

int CmdWindows() {
  WindowList list{OwnerPid(FindMainWindow()), {}};
  if (list.pid == 0) {
    WriteError("no main window");
    return kNoWindow;
  }
  ::EnumWindows(ListProcessWindow, reinterpret_cast<LPARAM>(&list));
  DWORD written = 0;
  ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), list.lines.data(), static_cast<DWORD>(list.lines.size()), &written,
              nullptr);
  return kDone;
}

bool ParseView(const wchar_t* text, REGSAM& view) {
  if (text != nullptr && std::wcscmp(text, L"32") == 0) {
    view = KEY_WOW64_32KEY;
    return true;
  }
  if (text != nullptr && std::wcscmp(text, L"64") == 0) {
    view = KEY_WOW64_64KEY;
    return true;
  }
  return false;
}

// A DACL for everyone: the deny entry (when asked for) comes first, as Windows orders them.
bool SetKeyDacl(HKEY key, bool denyWrites) {
  BYTE everyone[SECURITY_MAX_SID_SIZE] = {};
  DWORD sidSize = sizeof everyone;
  if (!::CreateWellKnownSid(WinWorldSid, nullptr, everyone, &sidSize)) return false;
  alignas(DWORD) BYTE aclBuffer[512] = {};
  auto* acl = reinterpret_cast<ACL*>(aclBuffer);
  if (!::InitializeAcl(acl, sizeof aclBuffer, ACL_REVISION)) return false;
  if (denyWrites && !::AddAccessDeniedAce(acl, ACL_REVISION, KEY_SET_VALUE | KEY_CREATE_SUB_KEY, everyone)) return false;
  const DWORD allowed = denyWrites ? (KEY_READ | WRITE_DAC | DELETE) : KEY_ALL_ACCESS;
  if (!::AddAccessAllowedAce(acl, ACL_REVISION, allowed, everyone)) return false;
  SECURITY_DESCRIPTOR sd{};
  if (!::InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION)) return false;
  if (!::SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE)) return false;
  return ::RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &sd) == ERROR_SUCCESS;
}

int CmdDenyKey(const wchar_t* viewArg, const wchar_t* path) {
  REGSAM view = 0;
  if (!ParseView(viewArg, view) || path == nullptr) return kUsage;
  ScopedRegKey key;
  const LONG created = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                         KEY_ALL_ACCESS | view, nullptr, key.put(), nullptr);
  if (created != ERROR_SUCCESS) {
    WriteError("RegCreateKeyExW failed: " + std::to_string(created));
    return kFailed;
  }
  return SetKeyDacl(key.get(), true) ? kDone : kFailed;
}

int CmdAllowKey(const wchar_t* viewArg, const wchar_t* path) {
  REGSAM view = 0;
  if (!ParseView(viewArg, view) || path == nullptr) return kUsage;
  ScopedRegKey key;
  const LONG opened = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, WRITE_DAC | view, key.put());
  if (opened != ERROR_SUCCESS) {
    WriteError("RegOpenKeyExW failed: " + std::to_string(opened));
    return kFailed;
  }
  return SetKeyDacl(key.get(), false) ? kDone : kFailed;
}

int CmdTryWrite(const wchar_t* viewArg, const wchar_t* path) {
  REGSAM view = 0;
  if (!ParseView(viewArg, view) || path == nullptr) return kUsage;
  ScopedRegKey opened;
  const LONG open = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_ALL_ACCESS | view, opened.put());
  ScopedRegKey created;
  const LONG create = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                        KEY_ALL_ACCESS | view, nullptr, created.put(), nullptr);
  WriteLine("open=" + std::to_string(open));
  WriteLine("create=" + std::to_string(create));
  return kDone;
}

// Read from the process's own parameters block: the Linux side of Wine sees only the split
// arguments, without the quotes the starting program put around them.
std::wstring CommandLineOf(DWORD processId) {
  using QueryProcess = LONG(WINAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
  const auto query = reinterpret_cast<QueryProcess>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
  ScopedKernelHandle process(::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
  PROCESS_BASIC_INFORMATION basic{};
  PEB peb{};
  RTL_USER_PROCESS_PARAMETERS parameters{};
  if (query == nullptr || !process ||
      query(process.get(), ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0 ||
      !::ReadProcessMemory(process.get(), basic.PebBaseAddress, &peb, sizeof peb, nullptr) ||
      !::ReadProcessMemory(process.get(), peb.ProcessParameters, &parameters, sizeof parameters, nullptr))
    return {};
  std::wstring line(parameters.CommandLine.Length / sizeof(wchar_t), L'\0');
  if (!::ReadProcessMemory(process.get(), parameters.CommandLine.Buffer, line.data(), parameters.CommandLine.Length,
                           nullptr))
    return {};
  return line;
}

int CmdCommandLines(const wchar_t* exeName) {
  ScopedKernelHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return kFailed;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry))
    if (_wcsicmp(entry.szExeFile, exeName) == 0) WriteLine(WideToUtf8(CommandLineOf(entry.th32ProcessID)));
  return kDone;
}

int Usage() {
  WriteError(
      "usage: procstat stats | refresh <count> <ms> | windows | deny-key <32|64> <path> | "
      "allow-key <32|64> <path> | try-write <32|64> <path> | cmdline <exe name>");
  return kUsage;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return Usage();
  const std::wstring_view command = argv[1];
  if (command == L"stats" && argc == 2) return CmdStats();
  if (command == L"refresh" && argc == 4) return CmdRefresh(argv[2], argv[3]);
  if (command == L"windows" && argc == 2) return CmdWindows();
  if (command == L"deny-key" && argc == 4) return CmdDenyKey(argv[2], argv[3]);
  if (command == L"allow-key" && argc == 4) return CmdAllowKey(argv[2], argv[3]);
  if (command == L"try-write" && argc == 4) return CmdTryWrite(argv[2], argv[3]);
  if (command == L"cmdline" && argc == 3) return CmdCommandLines(argv[2]);
  return Usage();
}
