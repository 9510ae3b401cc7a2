// probe: a console helper for the end-to-end tests. It finds Tarnvik's main window by its title
// and reads or drives it from outside the program, the way another process on the desktop would.
//
//   probe text                            the report box's text, as UTF-8 bytes, nothing added
//   probe wait-text <substring> <ms>      waits until the report box's text contains the substring
//   probe wait-window <ms>                waits until the main window exists
//   probe geometry                        window, client and report-box geometry, font, line pitch,
//                                         shown state
//   probe close                           posts WM_CLOSE to the main window (a close from outside)
//   probe restore                         posts the system's restore command to the main window,
//                                         as a click on its task-bar button does
//   probe close-when <substring> <ms>     posts WM_CLOSE as soon as the report box contains the substring
//                                         and prints the text it had at that moment
//   probe wait-gone <ms>                  waits until the main window and its process are gone
//   probe wait-foreground <ms>            waits until the main window is the foreground window,
//                                         the one keys go to whatever window has the X focus;
//                                         otherwise prints the title of the one that is
//   probe msgbox <title> <ms> [ok]        prints a dialog's message text; "ok" then presses OK
//   probe count                           number of top-level windows with the main title
//   probe pid                             the Windows process id that owns the main window
//   probe hold <ms>                       keeps a hidden window open until closed or for <ms>, so
//                                         that Wine's desktop process stays up between programs
//   probe ping-until-text <substring> <ms>
//                                         waits for the main window, then sends it WM_NULL again
//                                         and again until the report box contains the substring; prints the
//                                         longest time the window took to answer (longest_ms) and
//                                         the number of pings
//   probe esc-gone <ms>                   presses Esc in the report box and prints the milliseconds until
//                                         the program's process has ended (gone_ms) and until
//                                         its main window had gone (window_gone_ms)
//   probe drive <letters> <unix-folder>|- [<ms>]
//                                         defines each letter as a fixed drive on the folder through
//                                         Wine's mount manager, as winecfg does, or ("-") removes
//                                         it; the mount manager sends no notice for this itself.
//                                         With <ms>, then watches the report box as notice does, timed from
//                                         the define, and prints rebuilds, begun_ms, rebuilt_ms and
//                                         letters
//   probe notice <event> <letters> <flag> <ms> [<unix-folder>|-]
//                                         broadcasts one WM_DEVICECHANGE per letter with its volume,
//                                         as the mount manager does for a plugged-in device (event
//                                         arrive, remove or query-remove; flag media, net or none),
//                                         then watches the report box for <ms>. Prints the smallest broadcast
//                                         result (answer; 0 means a window refused), the longest
//                                         broadcast (broadcast_ms), how often the report lost its
//                                         " Drives: " line (rebuilds) and when, from the first
//                                         broadcast, it first did (begun_ms) and the first rebuilt
//                                         report was whole (rebuilt_ms; -1 when none was; a begun
//                                         rebuild is watched to its end), and the letters of the
//                                         drive blocks the report holds at the end (letters). With
//                                         a folder (or "-"), the letters are first defined (or
//                                         removed) as drive does, the moment before their notices,
//                                         as a device's are
//
// Exit codes: 0 done, 1 the condition was not met in time, 2 usage, 3 no main window. The last
// line on stderr is always "probe: finished <code>": an exit without it was not the probe's own.

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <initializer_list>
#include <string>
#include <string_view>

#include "base/scoped_win.h"
#include "base/utf_win.h"
#include "base/win32_win.h"

#include <dbt.h>
#include <winioctl.h>
#include <vector>

namespace {

using tarnvik::win::ScopedKernelHandle;
using tarnvik::win::WideToUtf8;

constexpr wchar_t kMainTitle[] = L"QELM Tarnvik 1.2.0.2016.0";
// A window that does not answer a message within this time counts as hung.
constexpr UINT kSendTimeoutMs = 5000;
constexpr DWORD kPollMs = 40;
// A responsiveness probe waits longer before it gives up on one message, so that a freeze of a
// few seconds is measured rather than cut off.
constexpr UINT kPingTimeoutMs = 10000;

enum ExitCode : int { kDone = 0, kNotMet = 1, kUsage = 2, kNoWindow = 3 };

// Raw bytes to stdout: no CR LF translation, so the report's own line ends arrive unchanged.
void WriteOut(std::string_view bytes) {
  HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  while (!bytes.empty()) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(bytes.size() > 65536 ? 65536 : bytes.size());
    if (!::WriteFile(out, bytes.data(), chunk, &written, nullptr) || written == 0) return;
    bytes.remove_prefix(written);
  }
}

void WriteLine(std::string line) {
  line += '\n';
  WriteOut(line);
}

void WriteError(std::string_view message) {
  HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
  std::string line = "probe: " + std::string(message) + "\n";
  DWORD written = 0;
  ::WriteFile(err, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

// GetTickCount wraps after 49 days; the unsigned difference stays right across the wrap.
class Deadline {
 public:
  explicit Deadline(unsigned long long ms) : start_(::GetTickCount()), ms_(ms) {}
  bool Passed() const { return static_cast<DWORD>(::GetTickCount() - start_) >= ms_; }

 private:
  DWORD start_;
  unsigned long long ms_;
};

bool ParseMilliseconds(const wchar_t* text, unsigned long long& ms) {
  if (text == nullptr || *text == L'\0') return false;
  wchar_t* end = nullptr;
  ms = std::wcstoull(text, &end, 10);
  return end != nullptr && *end == L'\0';
}

HWND FindMainWindow() { return ::FindWindowW(nullptr, kMainTitle); }

// The main window for a command that needs it; null, and the failure written, when there is none.
HWND RequireMainWindow() {
  HWND main = FindMainWindow();
  if (main == nullptr) WriteError("no main window");
  return main;
}

std::wstring ClassNameOf(HWND hwnd) {
  wchar_t name[64] = {};
  const int n = ::GetClassNameW(hwnd, name, 64);
  return std::wstring(name, n > 0 ? static_cast<std::size_t>(n) : 0);
}

// Enumeration callbacks must be CALLBACK (stdcall on 32-bit), so they are named functions.
struct WindowSearch {
  const wchar_t* match;  // class name or title, depending on the callback
  HWND found;
};

BOOL CALLBACK MatchChildClass(HWND child, LPARAM param) {
  auto* search = reinterpret_cast<WindowSearch*>(param);
  if (::lstrcmpiW(ClassNameOf(child).c_str(), search->match) != 0) return TRUE;
  search->found = child;
  return FALSE;
}

// The first child of the given class (case-insensitive, as Windows compares class names).
HWND FindChildOfClass(HWND parent, const wchar_t* className) {
  WindowSearch search{className, nullptr};
  ::EnumChildWindows(parent, MatchChildClass, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND FindTextBox(HWND main) { return main != nullptr ? FindChildOfClass(main, L"Edit") : nullptr; }

// Reads a window's text through WM_GETTEXT, which Windows copies across process boundaries.
// The buffer is larger than the reported length so that a line appended in between is kept whole.
// `send` is SendMessageTimeoutW with the caller's flags: (hwnd, message, wParam, lParam, result).
template <typename Send>
bool ReadWindowTextWith(HWND hwnd, std::wstring& text, Send send) {
  DWORD_PTR length = 0;
  if (!send(hwnd, WM_GETTEXTLENGTH, 0, 0, length)) return false;
  std::wstring buffer(static_cast<std::size_t>(length) + 4096, L'\0');
  DWORD_PTR copied = 0;
  if (!send(hwnd, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()), copied)) return false;
  buffer.resize(static_cast<std::size_t>(copied) < buffer.size() ? static_cast<std::size_t>(copied) : 0);
  text = std::move(buffer);
  return true;
}

bool ReadWindowText(HWND hwnd, std::wstring& text) {
  return ReadWindowTextWith(hwnd, text, [](HWND to, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR& result) {
    return ::SendMessageTimeoutW(to, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result) != 0;
  });
}

bool ReadTextBox(std::string& utf8) {
  HWND box = FindTextBox(FindMainWindow());
  std::wstring text;
  if (box == nullptr || !ReadWindowText(box, text)) return false;
  utf8 = WideToUtf8(text);
  return true;
}

int CmdText() {
  std::string text;
  if (!ReadTextBox(text)) {
    WriteError("no main window or no report box");
    return kNoWindow;
  }
  WriteOut(text);
  return kDone;
}

// Polls the report box until it holds the substring; the text it held then is left in `text`.
bool WaitForText(const wchar_t* substring, unsigned long long ms, DWORD pollMs, std::string& text) {
  const std::string wanted = WideToUtf8(substring);
  const Deadline deadline(ms);
  for (;;) {
    if (ReadTextBox(text) && text.find(wanted) != std::string::npos) return true;
    if (deadline.Passed()) return false;
    ::Sleep(pollMs);
  }
}

int CmdWaitText(const wchar_t* substringArg, const wchar_t* msArg) {
  unsigned long long ms = 0;
  if (!ParseMilliseconds(msArg, ms)) return kUsage;
  std::string text;
  return WaitForText(substringArg, ms, kPollMs, text) ? kDone : kNotMet;
}

int CmdWaitWindow(const wchar_t* msArg) {
  unsigned long long ms = 0;
  if (!ParseMilliseconds(msArg, ms)) return kUsage;
  const Deadline deadline(ms);
  while (FindMainWindow() == nullptr) {
    if (deadline.Passed()) return kNotMet;
    ::Sleep(kPollMs);
  }
  return kDone;
}

std::string Join(std::initializer_list<long> values) {
  std::string out;
  for (long v : values) {
    if (!out.empty()) out += ',';
    out += std::to_string(v);
  }
  return out;
}

int CmdGeometry() {
  HWND main = RequireMainWindow();
  if (main == nullptr) return kNoWindow;
  RECT window{};
  RECT client{};
  ::GetWindowRect(main, &window);
  ::GetClientRect(main, &client);
  WriteLine("window=" + Join({window.left, window.top, window.right - window.left, window.bottom - window.top}));
  WriteLine("client=" + Join({client.right - client.left, client.bottom - client.top}));
  WriteLine("visible=" + std::to_string(::IsWindowVisible(main) ? 1 : 0));
  WriteLine("minimized=" + std::to_string(::IsIconic(main) ? 1 : 0));

  HWND box = FindTextBox(main);
  if (box == nullptr) {
    WriteLine("report_box=none");
    return kDone;
  }
  RECT r{};
  ::GetWindowRect(box, &r);
  // Screen to the main window's client coordinates: the window is borderless, so client and
  // window origins coincide, and this is the position the layout code sets.
  ::MapWindowPoints(HWND_DESKTOP, main, reinterpret_cast<POINT*>(&r), 2);
  WriteLine("report_box=" + Join({r.left, r.top, r.right - r.left, r.bottom - r.top}));

  // The line pitch shows the font's pixel size even where the font handle cannot be read from
  // another process (Wine keeps GDI handles per process).
  DWORD_PTR secondLine = 0;
  DWORD_PTR first = 0;
  DWORD_PTR second = 0;
  if (::SendMessageTimeoutW(box, EM_LINEINDEX, 1, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &secondLine) &&
      static_cast<LONG_PTR>(secondLine) > 0 &&
      ::SendMessageTimeoutW(box, EM_POSFROMCHAR, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &first) &&
      ::SendMessageTimeoutW(box, EM_POSFROMCHAR, secondLine, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &second)) {
    const int pitch = static_cast<short>(HIWORD(second)) - static_cast<short>(HIWORD(first));
    WriteLine("report_box_line_height=" + std::to_string(pitch));
  } else {
    WriteLine("report_box_line_height=?");
  }

  DWORD_PTR font = 0;
  LOGFONTW lf{};
  if (::SendMessageTimeoutW(box, WM_GETFONT, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &font) && font != 0 &&
      ::GetObjectW(reinterpret_cast<HGDIOBJ>(font), sizeof lf, &lf) == sizeof lf) {
    WriteLine("report_box_font_height=" + std::to_string(lf.lfHeight));
    WriteLine("report_box_font_face=" + WideToUtf8(lf.lfFaceName));
  } else {
    WriteLine("report_box_font_height=?");
  }
  return kDone;
}

int CmdClose() {
  HWND main = RequireMainWindow();
  if (main == nullptr) return kNoWindow;
  return ::PostMessageW(main, WM_CLOSE, 0, 0) ? kDone : kNotMet;
}

int CmdRestore() {
  HWND main = RequireMainWindow();
  if (main == nullptr) return kNoWindow;
  return ::PostMessageW(main, WM_SYSCOMMAND, SC_RESTORE, 0) ? kDone : kNotMet;
}

// Reading and closing in one process leaves no gap in which the report can grow much further
// before the close request is queued.
int CmdCloseWhen(const wchar_t* substringArg, const wchar_t* msArg) {
  unsigned long long ms = 0;
  if (!ParseMilliseconds(msArg, ms)) return kUsage;
  std::string text;
  if (!WaitForText(substringArg, ms, 5, text)) return kNotMet;
  if (!::PostMessageW(FindMainWindow(), WM_CLOSE, 0, 0)) return kNotMet;
  WriteOut(text);
  return kDone;
}

int CmdWaitForeground(const wchar_t* msArg) {
  unsigned long long ms = 0;
  if (!ParseMilliseconds(msArg, ms)) return kUsage;
  const Deadline deadline(ms);
  HWND main = nullptr;
  while ((main = FindMainWindow()) == nullptr || ::GetForegroundWindow() != main) {
    if (deadline.Passed()) {
      if (main == nullptr) return kNoWindow;
      wchar_t title[256] = {};
      if (HWND foreground = ::GetForegroundWindow()) ::GetWindowTextW(foreground, title, 256);
      WriteLine("foreground=" + WideToUtf8(title));
      return kNotMet;
    }
    ::Sleep(kPollMs);
  }
  return kDone;
}

int CmdWaitGone(const wchar_t* msArg) {
  unsigned long long ms = 0;
  if (!ParseMilliseconds(msArg, ms)) return kUsage;
  const Deadline deadline(ms);
  // Hold the owning process so its end can be awaited too, not only its window's.
  ScopedKernelHandle process;
  if (HWND main = FindMainWindow()) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(main, &pid);
    process.reset(::OpenProcess(SYNCHRONIZE, FALSE, pid));
  }
  while (FindMainWindow() != nullptr) {
    if (deadline.Passed()) return kNotMet;
    ::Sleep(kPollMs);
  }
  if (process) {
    for (;;) {
      if (::WaitForSingleObject(process.get(), kPollMs) == WAIT_OBJECT_0) break;
      if (deadline.Passed()) return kNotMet;
    }
  }
  return kDone;
}

BOOL CALLBACK MatchDialogTitle(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<WindowSearch*>(param);
  wchar_t text[512] = {};
  ::GetWindowTextW(hwnd, text, 512);
  if (ClassNameOf(hwnd) != L"#32770" || std::wcscmp(text, search->match) != 0) return TRUE;
  search->found = hwnd;
  return FALSE;
}

HWND FindDialog(const wchar_t* title) {
  WindowSearch search{title, nullptr};
  ::EnumWindows(MatchDialogTitle, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The message of a message box is its one static control that is not the icon.
BOOL CALLBACK TakeMessageText(HWND child, LPARAM param) {
  if (::lstrcmpiW(ClassNameOf(child).c_str(), L"Static") != 0) return TRUE;
  if ((::GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) return TRUE;
  std::wstring text;
  if (!ReadWindowText(child, text) || text.empty()) return TRUE;
  *reinterpret_cast<std::wstring*>(param) = std::move(text);
  return FALSE;
}

std::wstring DialogMessage(HWND dialog) {
  std::wstring text;
  ::EnumChildWindows(dialog, TakeMessageText, reinterpret_cast<LPARAM>(&text));
  return text;
}

int CmdMsgbox(const wchar_t* title, const wchar_t* msArg, const wchar_t* action) {
  unsigned long long ms = 0;
  if (!ParseMilliseconds(msArg, ms)) return kUsage;
  const bool pressOk = action != nullptr && std::wcscmp(action, L"ok") == 0;
  if (action != nullptr && !pressOk) return kUsage;
  const Deadline deadline(ms);
  HWND dialog = nullptr;
  while ((dialog = FindDialog(title)) == nullptr) {
    if (deadline.Passed()) return kNotMet;
    ::Sleep(kPollMs);
  }
  WriteOut(WideToUtf8(DialogMessage(dialog)));
  if (!pressOk) return kDone;
  ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(dialog, IDOK)));
  while (::IsWindow(dialog)) {
    if (deadline.Passed()) return kNotMet;
    ::Sleep(kPollMs);
  }
  return kDone;
}

BOOL CALLBACK CountMainTitle(HWND hwnd, LPARAM param) {
  wchar_t text[64] = {};
  ::GetWindowTextW(hwnd, text, 64);
  if (std::wcscmp(text, kMainTitle) == 0) ++*reinterpret_cast<int*>(param);
  return TRUE;
}

int CmdCount() {
  int count = 0;
  ::EnumWindows(CountMainTitle, reinterpret_cast<LPARAM>(&count));
  WriteLine(std::to_string(count));
  return kDone;
}

int CmdPid() {
  HWND main = RequireMainWindow();
  if (main == nullptr) return kNoWindow;
  DWORD pid = 0;
  ::GetWindowThreadProcessId(main, &pid);
  WriteLine(std::to_string(pid));
  return kDone;
}

// Wine's desktop process comes and goes with the windows on it, and starts inside the process
// group of whichever program opened the first one. A test session keeps this window open so
// the desktop stays up on its own, as a real desktop always has its shell running.
int CmdHold(const wchar_t* msArg) {
  unsigned long long ms = 0;
  if (!ParseMilliseconds(msArg, ms)) return kUsage;
  WNDCLASSW wc{};
  wc.lpfnWndProc = ::DefWindowProcW;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = L"TarnvikProbeHold";
  ::RegisterClassW(&wc);
  HWND window = ::CreateWindowExW(0, wc.lpszClassName, L"probe hold", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                  wc.hInstance, nullptr);
  if (window == nullptr) return kNotMet;
  const Deadline deadline(ms);
  MSG message{};
  while (::IsWindow(window) && !deadline.Passed()) {
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 200, QS_ALLINPUT);
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
  }
  if (::IsWindow(window)) ::DestroyWindow(window);
  return kDone;
}

// Milliseconds on the performance counter, for figures finer than the tick count.
class Stopwatch {
 public:
  Stopwatch() {
    ::QueryPerformanceFrequency(&frequency_);
    ::QueryPerformanceCounter(&start_);
  }
  double Ms() const {
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart - start_.QuadPart) * 1000.0 / static_cast<double>(frequency_.QuadPart);
  }

 private:
  LARGE_INTEGER frequency_;
  LARGE_INTEGER start_;
};

std::string Fixed1(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

// Every message sent to the program's thread counts: a freeze that falls on a text read must be
// measured as much as one that falls on a ping.
struct Responsiveness {
  Stopwatch sinceWindow;
  double longestMs = 0;
  double longestAtMs = 0;  // when the longest wait began, after the window was found
  long pings = 0;
  long reads = 0;
  long unanswered = 0;

  bool Send(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR& result) {
    const double at = sinceWindow.Ms();
    const Stopwatch watch;
    const bool answered =
        ::SendMessageTimeoutW(hwnd, message, wParam, lParam, SMTO_BLOCK, kPingTimeoutMs, &result) != 0;
    const double ms = watch.Ms();
    if (ms > longestMs) {
      longestMs = ms;
      longestAtMs = at;
    }
    if (!answered && ::IsWindow(hwnd)) ++unanswered;
    return answered;
  }

  bool ReadText(HWND box, std::string& utf8) {
    ++reads;
    std::wstring text;
    if (!ReadWindowTextWith(box, text, [this](HWND to, UINT message, WPARAM wParam, LPARAM lParam,
                                              DWORD_PTR& result) { return Send(to, message, wParam, lParam, result); }))
      return false;
    utf8 = WideToUtf8(text);
    return true;
  }
};

// Started before the program, it looks for the window every millisecond, so the pings begin with
// the window and cover the whole first report. window_at_start=1 says it started too late for that.
int CmdPingUntilText(const wchar_t* substringArg, const wchar_t* msArg) {
  unsigned long long ms = 0;
  if (!ParseMilliseconds(msArg, ms)) return kUsage;
  const std::string wanted = WideToUtf8(substringArg);
  const Deadline deadline(ms);
  const bool atStart = FindMainWindow() != nullptr;
  HWND main = nullptr;
  while ((main = FindMainWindow()) == nullptr) {
    if (deadline.Passed()) {
      WriteError("no main window");
      return kNoWindow;
    }
    ::Sleep(1);
  }
  Responsiveness r;
  bool seen = false;
  // Text reads cost the program more than a ping; one every few pings is enough to stop in time.
  double lastRead = -1000;
  while (!seen && !deadline.Passed() && ::IsWindow(main)) {
    DWORD_PTR ignored = 0;
    ++r.pings;
    r.Send(main, WM_NULL, 0, 0, ignored);
    if (r.sinceWindow.Ms() - lastRead >= 20) {
      lastRead = r.sinceWindow.Ms();
      std::string text;
      HWND box = FindTextBox(main);
      seen = box != nullptr && r.ReadText(box, text) && text.find(wanted) != std::string::npos;
    }
    if (!seen) ::Sleep(2);
  }
  WriteLine("longest_ms=" + Fixed1(r.longestMs));
  WriteLine("longest_at_ms=" + Fixed1(r.longestAtMs));
  WriteLine("total_ms=" + Fixed1(r.sinceWindow.Ms()));
  WriteLine("pings=" + std::to_string(r.pings));
  WriteLine("reads=" + std::to_string(r.reads));
  WriteLine("unanswered=" + std::to_string(r.unanswered));
  WriteLine("window_at_start=" + std::to_string(atStart ? 1 : 0));
  WriteLine("seen=" + std::to_string(seen ? 1 : 0));
  return seen ? kDone : kNotMet;
}

// Esc as the keyboard delivers it to the focused report box, then the time until the process is
// gone: what a user waits for after pressing the key.
int CmdEscGone(const wchar_t* msArg) {
  unsigned long long ms = 0;
  if (!ParseMilliseconds(msArg, ms)) return kUsage;
  HWND main = RequireMainWindow();
  HWND box = FindTextBox(main);
  if (box == nullptr) return kNoWindow;
  DWORD pid = 0;
  ::GetWindowThreadProcessId(main, &pid);
  ScopedKernelHandle process(::OpenProcess(SYNCHRONIZE, FALSE, pid));
  if (!process) return kNoWindow;
  const LPARAM down = 1 | (static_cast<LPARAM>(::MapVirtualKeyW(VK_ESCAPE, MAPVK_VK_TO_VSC)) << 16);
  const LPARAM up = down | (LPARAM{1} << 30) | (LPARAM{1} << 31);
  const Stopwatch watch;
  ::PostMessageW(box, WM_KEYDOWN, VK_ESCAPE, down);
  ::PostMessageW(box, WM_KEYUP, VK_ESCAPE, up);
  // The window can go well before the process does, when a thread of it is still held by a call.
  double windowGoneMs = -1;
  bool gone = false;
  while (!gone && watch.Ms() < static_cast<double>(ms)) {
    gone = ::WaitForSingleObject(process.get(), 1) == WAIT_OBJECT_0;
    if (windowGoneMs < 0 && !::IsWindow(main)) windowGoneMs = watch.Ms();
  }
  WriteLine("gone_ms=" + Fixed1(watch.Ms()));
  WriteLine("window_gone_ms=" + Fixed1(windowGoneMs));
  return gone ? kDone : kNotMet;
}

// Wine's own control of its mount manager (the one winecfg uses), as Wine's ddk/mountmgr.h has it.
constexpr DWORD kDefineUnixDrive = CTL_CODE('m', 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);
struct UnixDrive {
  ULONG size;
  ULONG type;
  ULONG fsType;
  DWORD serial;
  ULONGLONG unixDev;
  WCHAR letter;
  USHORT mountPointOffset;  // a NUL-terminated Unix path follows the structure; 0 for none
  USHORT deviceOffset;
  USHORT labelOffset;
};

int DefineDrive(wchar_t letter, const wchar_t* folderArg) {
  const bool remove = std::wcscmp(folderArg, L"-") == 0;
  const std::string folder = remove ? std::string() : WideToUtf8(folderArg);
  std::vector<char> buffer(sizeof(UnixDrive) + folder.size() + 1, '\0');
  UnixDrive drive{};
  drive.size = static_cast<ULONG>(buffer.size());
  drive.type = remove ? DRIVE_NO_ROOT_DIR : DRIVE_FIXED;
  drive.letter = static_cast<WCHAR>(::towlower(letter));
  drive.mountPointOffset = static_cast<USHORT>(remove ? 0 : sizeof(UnixDrive));
  std::memcpy(buffer.data(), &drive, sizeof drive);
  std::memcpy(buffer.data() + sizeof drive, folder.c_str(), folder.size() + 1);
  ScopedKernelHandle manager(::CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
  DWORD returned = 0;
  if (!manager || !::DeviceIoControl(manager.get(), kDefineUnixDrive, buffer.data(), static_cast<DWORD>(buffer.size()),
                                     nullptr, 0, &returned, nullptr)) {
    WriteError("mount manager: error " + std::to_string(::GetLastError()));
    return kNotMet;
  }
  return kDone;
}

int DefineDrives(const wchar_t* lettersArg, const wchar_t* folderArg) {
  int code = *lettersArg != L'\0' ? kDone : kUsage;
  for (const wchar_t* letter = lettersArg; *letter != L'\0' && code == kDone; ++letter)
    code = DefineDrive(*letter, folderArg);
  return code;
}

// The letters of the report's drive blocks, in the order they stand.
std::string BlockLetters(HWND box) {
  std::wstring text;
  std::string letters;
  if (box == nullptr || !ReadWindowText(box, text)) return letters;
  constexpr std::wstring_view kDriveLabel = L" Drive: \t  ";
  for (std::size_t at = text.find(kDriveLabel); at != std::wstring::npos; at = text.find(kDriveLabel, at + 1)) {
    if (at + kDriveLabel.size() < text.size()) letters += static_cast<char>(text[at + kDriveLabel.size()]);
  }
  return letters;
}

bool HasReport(HWND box) {
  std::wstring text;
  return box != nullptr && ReadWindowText(box, text) && text.find(L" Drives: ") != std::wstring::npos;
}

// Watches the report box until `ms` have passed on `watch`; prints how often the report was rebuilt, when
// the first rebuild began and when its report was whole, and the letters of its blocks at the end.
void WatchRebuilds(HWND box, bool hadReport, const Stopwatch& watch, unsigned long long ms) {
  int rebuilds = 0;
  double begunMs = -1, rebuiltMs = -1;
  // A rebuild begun in time is watched to its end, however slowly a busy machine answers the
  // drive queries, up to ten times the time given.
  const auto watching = [&] {
    const double now = watch.Ms(), limit = static_cast<double>(ms);
    return now < limit || (begunMs >= 0 && rebuiltMs < 0 && now < 10 * limit);
  };
  while (watching()) {
    const bool has = HasReport(box);
    if (hadReport && !has && ++rebuilds == 1) begunMs = watch.Ms();
    if (!hadReport && has && rebuilds > 0 && rebuiltMs < 0) rebuiltMs = watch.Ms();
    hadReport = has;
    ::Sleep(1);
  }
  WriteLine("rebuilds=" + std::to_string(rebuilds));
  WriteLine("begun_ms=" + Fixed1(begunMs));
  WriteLine("rebuilt_ms=" + Fixed1(rebuiltMs));
  WriteLine("letters=" + BlockLetters(box));
}

int CmdDrive(const wchar_t* lettersArg, const wchar_t* folderArg, const wchar_t* msArg) {
  unsigned long long ms = 0;
  if (msArg != nullptr && !ParseMilliseconds(msArg, ms)) return kUsage;
  HWND main = msArg != nullptr ? RequireMainWindow() : nullptr;
  if (msArg != nullptr && main == nullptr) return kNoWindow;
  HWND box = main != nullptr ? FindTextBox(main) : nullptr;
  const bool hadReport = HasReport(box);
  const Stopwatch watch;
  const int code = DefineDrives(lettersArg, folderArg);
  if (code == kDone && main != nullptr) WatchRebuilds(box, hadReport, watch, ms);
  return code;
}

int CmdNotice(const wchar_t* eventArg, const wchar_t* lettersArg, const wchar_t* flagArg, const wchar_t* msArg,
              const wchar_t* folderArg) {
  unsigned long long ms = 0;
  if (!ParseMilliseconds(msArg, ms)) return kUsage;
  const std::wstring_view event = eventArg;
  const std::wstring_view flag = flagArg;
  const WPARAM code = event == L"arrive"         ? DBT_DEVICEARRIVAL
                      : event == L"remove"       ? DBT_DEVICEREMOVECOMPLETE
                      : event == L"query-remove" ? DBT_DEVICEQUERYREMOVE
                                                 : 0;
  const WORD flags = flag == L"media" ? DBTF_MEDIA : flag == L"net" ? DBTF_NET : 0;
  if (code == 0 || (flags == 0 && flag != L"none")) return kUsage;
  HWND main = RequireMainWindow();
  if (main == nullptr) return kNoWindow;
  HWND box = FindTextBox(main);
  const bool hadReport = HasReport(box);
  if (folderArg != nullptr && DefineDrives(lettersArg, folderArg) != kDone) return kNotMet;
  const Stopwatch watch;
  long answer = LONG_MAX;
  double longest = 0;
  for (const wchar_t* letter = lettersArg; *letter != L'\0'; ++letter) {
    const int index = ::towupper(*letter) - L'A';
    if (index < 0 || index >= 26) return kUsage;
    DEV_BROADCAST_VOLUME volume{sizeof volume, DBT_DEVTYP_VOLUME, 0, 1ul << index, flags};
    const Stopwatch one;
    answer = std::min(answer, ::BroadcastSystemMessageW(BSF_FORCEIFHUNG | BSF_QUERY, nullptr, WM_DEVICECHANGE, code,
                                                        reinterpret_cast<LPARAM>(&volume)));
    longest = std::max(longest, one.Ms());
  }
  WriteLine("answer=" + std::to_string(answer));
  WriteLine("broadcast_ms=" + Fixed1(longest));
  WatchRebuilds(box, hadReport, watch, ms);
  return kDone;
}

int Usage() {
  WriteError(
      "usage: probe text | wait-text <substring> <ms> | wait-window <ms> | geometry | close | "
      "close-when <substring> <ms> | "
      "wait-gone <ms> | wait-foreground <ms> | msgbox <title> <ms> [ok] | count | pid | hold <ms> | "
      "ping-until-text <substring> <ms> | esc-gone <ms> | drive <letters> <unix-folder>|- [<ms>] | "
      "notice arrive|remove|query-remove <letters> media|net|none <ms> [<unix-folder>|-]");
  return kUsage;
}

int Run(int argc, wchar_t** argv) {
  if (argc < 2) return Usage();
  const std::wstring_view command = argv[1];
  const auto arg = [&](int i) -> const wchar_t* { return i < argc ? argv[i] : nullptr; };
  if (command == L"text" && argc == 2) return CmdText();
  if (command == L"wait-text" && argc == 4) return CmdWaitText(argv[2], argv[3]);
  if (command == L"wait-window" && argc == 3) return CmdWaitWindow(argv[2]);
  if (command == L"geometry" && argc == 2) return CmdGeometry();
  if (command == L"close" && argc == 2) return CmdClose();
  if (command == L"restore" && argc == 2) return CmdRestore();
  if (command == L"close-when" && argc == 4) return CmdCloseWhen(argv[2], argv[3]);
  if (command == L"wait-gone" && argc == 3) return CmdWaitGone(argv[2]);
  if (command == L"wait-foreground" && argc == 3) return CmdWaitForeground(argv[2]);
  if (command == L"msgbox" && (argc == 4 || argc == 5)) return CmdMsgbox(argv[2], argv[3], arg(4));
  if (command == L"count" && argc == 2) return CmdCount();
  if (command == L"pid" && argc == 2) return CmdPid();
  if (command == L"hold" && argc == 3) return CmdHold(argv[2]);
  if (command == L"ping-until-text" && argc == 4) return CmdPingUntilText(argv[2], argv[3]);
  if (command == L"esc-gone" && argc == 3) return CmdEscGone(argv[2]);
  if (command == L"drive" && (argc == 4 || argc == 5)) return CmdDrive(argv[2], argv[3], arg(4));
  if (command == L"notice" && (argc == 6 || argc == 7)) return CmdNotice(argv[2], argv[3], argv[4], argv[5], arg(6));
  return Usage();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const int code = Run(argc, argv);
  WriteError("finished " + std::to_string(code));
  return code;
}
