// startbench: times Tarnvik (and programs to compare it with) from inside Windows, on the
// performance counter, so that no launcher outside the system adds its own start-up.
//
//   startbench start   <runs> <timeout-ms> <exe> [arguments...]
//       Each run: stamp, CreateProcessW the program, poll every millisecond for its main window
//       and the report box's text until it holds " Drives: ", take the time; then WM_CLOSE and
//       wait (bounded) for the process to end before the next run.
//   startbench exit    <runs> <timeout-ms> <exe> [arguments...]
//       Each run: stamp, CreateProcessW the program with its output on NUL, wait for it to end.
//   startbench refresh <runs> <timeout-ms> <exe>
//       Starts the program once and waits for its first report; then each run: stamp, post F5
//       to the report box, wait until the text has lost " Drives: " (the refresh began) and
//       holds it again (the refresh ended). Closes the program at the end.
//   startbench notice <runs> <timeout-ms> <exe>
//       As refresh, but each run broadcasts the notice of a medium arriving in drive D: (as the
//       system sends it to every top-level window) instead of F5: the time includes the
//       program's quiet wait before it rebuilds.
//
// Prints one line per run ("run 3: 123.456 ms") and a summary line
// "median <ms> min <ms> max <ms> runs <n>". Exit codes: 0 every run measured, 1 a run failed
// or timed out (its process is ended), 2 usage.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <string_view>
#include <vector>

#include "base/scoped_win.h"
#include "base/win32_win.h"

#include <dbt.h>

namespace {

using tarnvik::win::ScopedKernelHandle;

constexpr wchar_t kMainTitle[] = L"QELM Tarnvik 1.2.0.2016.0";
constexpr wchar_t kReportEnd[] = L" Drives: ";
// A window that does not answer one message within this time counts as hung.
constexpr UINT kSendTimeoutMs = 10000;
// How long a program may take to end after WM_CLOSE before it is ended by force.
constexpr DWORD kCloseTimeoutMs = 15000;

enum ExitCode : int { kDone = 0, kFailed = 1, kUsage = 2 };

class Clock {
 public:
  Clock() { ::QueryPerformanceFrequency(&frequency_); }
  LARGE_INTEGER Now() const {
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return now;
  }
  double MsSince(LARGE_INTEGER start) const {
    return static_cast<double>(Now().QuadPart - start.QuadPart) * 1000.0 / static_cast<double>(frequency_.QuadPart);
  }

 private:
  LARGE_INTEGER frequency_;
};

struct Child {
  ScopedKernelHandle process;
  DWORD id = 0;
};

std::wstring Quoted(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
  std::wstring out = L"\"";
  for (wchar_t c : argument) {
    if (c == L'"') out += L'\\';
    out += c;
  }
  return out + L"\"";
}

// The folder of a path, so the program starts where it lives, as from a shortcut.
std::wstring FolderOf(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

bool Start(const std::wstring& exe, const std::vector<std::wstring>& arguments, bool quiet, Child& child) {
  std::wstring command = Quoted(exe);
  for (const std::wstring& a : arguments) command += L" " + Quoted(a);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  ScopedKernelHandle nul;
  if (quiet) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    nul.reset(::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                            OPEN_EXISTING, 0, nullptr));
    if (nul) {
      startup.dwFlags = STARTF_USESTDHANDLES;
      startup.hStdInput = nul.get();
      startup.hStdOutput = nul.get();
      startup.hStdError = nul.get();
    }
  }
  const std::wstring folder = FolderOf(exe);
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, quiet && nul ? TRUE : FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &info)) {
    std::fprintf(stderr, "startbench: CreateProcessW failed, error %lu\n", ::GetLastError());
    return false;
  }
  ScopedKernelHandle thread(info.hThread);
  child.process.reset(info.hProcess);
  child.id = info.dwProcessId;
  return true;
}

bool Exited(const Child& child, DWORD waitMs = 0) {
  return ::WaitForSingleObject(child.process.get(), waitMs) == WAIT_OBJECT_0;
}

// The program's main window: a visible top-level window of the child with the main title and an
// Edit child. The process id is checked, so a stray window of another program cannot be taken
// for it; a window not yet shown is not asked about, since a user sees nothing of it and every
// question to it takes the program's own thread from its start.
struct MainSearch {
  DWORD processId;
  HWND main;
  HWND edit;
};

BOOL CALLBACK FindEdit(HWND child, LPARAM param) {
  wchar_t name[16] = {};
  if (::GetClassNameW(child, name, 16) > 0 && ::lstrcmpiW(name, L"Edit") == 0) {
    reinterpret_cast<MainSearch*>(param)->edit = child;
    return FALSE;
  }
  return TRUE;
}

bool FindReportBox(DWORD processId, MainSearch& found) {
  found = {processId, nullptr, nullptr};
  HWND candidate = nullptr;
  while ((candidate = ::FindWindowExW(nullptr, candidate, nullptr, kMainTitle)) != nullptr) {
    DWORD owner = 0;
    ::GetWindowThreadProcessId(candidate, &owner);
    if (owner != processId || !::IsWindowVisible(candidate)) continue;
    found.main = candidate;
    ::EnumChildWindows(candidate, FindEdit, reinterpret_cast<LPARAM>(&found));
    if (found.edit != nullptr) return true;
  }
  return false;
}

// The box's text through WM_GETTEXT. While the program builds a report it answers only when it
// yields, so a reply can take as long as one drive's queries.
bool ReadText(HWND edit, std::wstring& text) {
  DWORD_PTR length = 0;
  if (!::SendMessageTimeoutW(edit, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &length)) return false;
  // Room beyond the reported length: a line appended in between is then read whole.
  std::wstring buffer(static_cast<std::size_t>(length) + 4096, L'\0');
  DWORD_PTR copied = 0;
  if (!::SendMessageTimeoutW(edit, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                             SMTO_ABORTIFHUNG, kSendTimeoutMs, &copied))
    return false;
  buffer.resize(std::min<std::size_t>(static_cast<std::size_t>(copied), buffer.size()));
  text = std::move(buffer);
  return true;
}

bool HasReportEnd(const std::wstring& text) { return text.find(kReportEnd) != std::wstring::npos; }

class Deadline {
 public:
  Deadline(const Clock& clock, double ms) : clock_(clock), start_(clock.Now()), ms_(ms) {}
  bool Passed() const { return clock_.MsSince(start_) >= ms_; }

 private:
  const Clock& clock_;
  LARGE_INTEGER start_;
  double ms_;
};

// Waits for the child's report box; false when the child ended or the time ran out.
bool WaitForBox(const Clock& clock, const Child& child, double timeoutMs, MainSearch& found) {
  const Deadline deadline(clock, timeoutMs);
  while (!FindReportBox(child.id, found)) {
    if (Exited(child) || deadline.Passed()) return false;
    ::Sleep(1);
  }
  return true;
}

// Polls the box until `done` holds for its text.
template <typename Done>
bool PollText(const Clock& clock, const Child& child, HWND edit, double timeoutMs, Done done) {
  const Deadline deadline(clock, timeoutMs);
  for (;;) {
    std::wstring text;
    if (ReadText(edit, text) && done(text)) return true;
    if (Exited(child) || deadline.Passed()) return false;
    ::Sleep(1);
  }
}

// Asks the program to close as a task bar would, waits, and ends it by force only when it
// does not go within the bound. True when it ended by itself.
bool CloseAndWait(const Child& child, HWND main) {
  if (Exited(child)) return true;
  if (main != nullptr) ::PostMessageW(main, WM_CLOSE, 0, 0);
  if (Exited(child, kCloseTimeoutMs)) return true;
  std::fprintf(stderr, "startbench: the program did not end within %lu ms; ending it\n", kCloseTimeoutMs);
  ::TerminateProcess(child.process.get(), 1);
  Exited(child, kCloseTimeoutMs);
  return false;
}

void EndChild(const Child& child) {
  if (!child.process || Exited(child)) return;
  ::TerminateProcess(child.process.get(), 1);
  Exited(child, kCloseTimeoutMs);
}

// One start: process creation to the end of the first report.
bool TimeStart(const Clock& clock, const std::wstring& exe, const std::vector<std::wstring>& arguments,
               double timeoutMs, double& ms) {
  Child child;
  const LARGE_INTEGER start = clock.Now();
  if (!Start(exe, arguments, false, child)) return false;
  MainSearch found{};
  const bool seen = WaitForBox(clock, child, timeoutMs, found) &&
                    PollText(clock, child, found.edit, timeoutMs, [](const std::wstring& t) { return HasReportEnd(t); });
  ms = clock.MsSince(start);
  if (!seen) {
    std::fprintf(stderr, "startbench: no finished report within %.0f ms%s\n", timeoutMs,
                 Exited(child) ? " (the program ended)" : "");
    EndChild(child);
    return false;
  }
  return CloseAndWait(child, found.main);
}

bool TimeExit(const Clock& clock, const std::wstring& exe, const std::vector<std::wstring>& arguments,
              double timeoutMs, double& ms) {
  Child child;
  const LARGE_INTEGER start = clock.Now();
  if (!Start(exe, arguments, true, child)) return false;
  const bool ended = Exited(child, static_cast<DWORD>(timeoutMs));
  ms = clock.MsSince(start);
  if (!ended) {
    std::fprintf(stderr, "startbench: the program did not end within %.0f ms\n", timeoutMs);
    EndChild(child);
    return false;
  }
  DWORD code = 0;
  ::GetExitCodeProcess(child.process.get(), &code);
  if (code != 0) std::fprintf(stderr, "startbench: exit code %lu\n", code);
  return true;
}

// F5 as the keyboard delivers it to the focused box: key down, then key up.
void PostF5(HWND edit) {
  const LPARAM down = 1 | (static_cast<LPARAM>(::MapVirtualKeyW(VK_F5, MAPVK_VK_TO_VSC)) << 16);
  const LPARAM up = down | (LPARAM{1} << 30) | (LPARAM{1} << 31);
  ::PostMessageW(edit, WM_KEYDOWN, VK_F5, down);
  ::PostMessageW(edit, WM_KEYUP, VK_F5, up);
}

void BroadcastMediaArrival() {
  DEV_BROADCAST_VOLUME volume{sizeof volume, DBT_DEVTYP_VOLUME, 0, 1ul << ('D' - 'A'), DBTF_MEDIA};
  ::BroadcastSystemMessageW(BSF_FORCEIFHUNG | BSF_QUERY, nullptr, WM_DEVICECHANGE, DBT_DEVICEARRIVAL,
                            reinterpret_cast<LPARAM>(&volume));
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void PrintSummary(const std::vector<double>& ms) {
  if (ms.empty()) return;
  std::printf("median %.3f min %.3f max %.3f runs %zu\n", Median(ms), *std::min_element(ms.begin(), ms.end()),
              *std::max_element(ms.begin(), ms.end()), ms.size());
}

int Usage() {
  std::fprintf(stderr,
               "usage: startbench start|exit <runs> <timeout-ms> <exe> [arguments...]\n"
               "       startbench refresh|notice <runs> <timeout-ms> <exe>\n");
  return kUsage;
}

bool ParsePositive(const wchar_t* text, long& value) {
  wchar_t* end = nullptr;
  value = std::wcstol(text, &end, 10);
  return end != text && *end == L'\0' && value > 0;
}

int RunRefresh(const Clock& clock, const std::wstring& exe, long runs, double timeoutMs, bool notice) {
  Child child;
  if (!Start(exe, {}, false, child)) return kFailed;
  MainSearch found{};
  if (!WaitForBox(clock, child, timeoutMs, found) ||
      !PollText(clock, child, found.edit, timeoutMs, [](const std::wstring& t) { return HasReportEnd(t); })) {
    std::fprintf(stderr, "startbench: the first report did not finish within %.0f ms\n", timeoutMs);
    EndChild(child);
    return kFailed;
  }
  std::vector<double> ms;
  int status = kDone;
  for (long run = 1; run <= runs; ++run) {
    const LARGE_INTEGER start = clock.Now();
    if (notice) {
      BroadcastMediaArrival();
    } else {
      PostF5(found.edit);
    }
    // Sent messages are answered before posted ones, so the first replies may still show the
    // old report: the refresh has begun only once " Drives: " is gone.
    bool started = false;
    const bool done = PollText(clock, child, found.edit, timeoutMs, [&started](const std::wstring& t) {
      if (!HasReportEnd(t)) started = true;
      return started && HasReportEnd(t);
    });
    const double elapsed = clock.MsSince(start);
    if (!done) {
      std::fprintf(stderr, "startbench: refresh %ld did not %s within %.0f ms\n", run, started ? "finish" : "begin",
                   timeoutMs);
      status = kFailed;
      break;
    }
    ms.push_back(elapsed);
    std::printf("run %ld: %.3f ms\n", run, elapsed);
    std::fflush(stdout);
    ::Sleep(20);  // lets the program settle in its message loop, as between two key presses
  }
  if (!CloseAndWait(child, found.main)) status = kFailed;
  PrintSummary(ms);
  return status;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 5) return Usage();
  const std::wstring mode = argv[1];
  long runs = 0, timeout = 0;
  if (!ParsePositive(argv[2], runs) || !ParsePositive(argv[3], timeout)) return Usage();
  const std::wstring exe = argv[4];
  const double timeoutMs = static_cast<double>(timeout);
  std::vector<std::wstring> arguments(argv + 5, argv + argc);
  const Clock clock;

  if (mode == L"refresh" || mode == L"notice")
    return arguments.empty() ? RunRefresh(clock, exe, runs, timeoutMs, mode == L"notice") : Usage();
  if (mode != L"start" && mode != L"exit") return Usage();

  std::vector<double> ms;
  int status = kDone;
  for (long run = 1; run <= runs; ++run) {
    double elapsed = 0;
    const bool ok =
        mode == L"start" ? TimeStart(clock, exe, arguments, timeoutMs, elapsed)
                         : TimeExit(clock, exe, arguments, timeoutMs, elapsed);
    if (!ok) {
      std::fprintf(stderr, "startbench: run %ld failed\n", run);
      status = kFailed;
      break;
    }
    ms.push_back(elapsed);
    std::printf("run %ld: %.3f ms\n", run, elapsed);
    std::fflush(stdout);
  }
  PrintSummary(ms);
  return status;
}
