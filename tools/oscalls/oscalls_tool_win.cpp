// oscalls: the drive report's operating-system work and nothing else. For every letter that
// GetLogicalDrives lists, A to Z, it asks what the report asks, the way the report asks it and
// through the program's own code: a worker per drive for the volume, cluster, serial, space and
// type queries, and on version 5 or later one batch of partition-style queries, the main thread
// waiting until every drive's answers are in. No window, no text box, no registry, no process
// scan. Timing it beside the real program shows what the program adds to the calls.
//
//   oscalls          makes the calls silently and exits 0
//   oscalls -v       also prints one line per drive, so a run can be checked by eye
//   oscalls -window  the calls plus the least any window program must do: one window with the
//                    program's title and a read-only multi-line edit box, its text written
//                    once (ending in a " Drives: " line); runs until the window is closed. A
//                    floor for the program's start-up: what a window alone costs.
//                    With TARNVIK_TRACE_START set, it traces its phases as the program does.
//   oscalls -letters N  the window timer's check for letters that come without a notice,
//                    N times in a row through the program's drive adapter; prints the
//                    microseconds one check (one tick's added work) costs
//   oscalls -disks N  the disk behind each letter the documents ask it for (not network, RAM
//                    disk, optical or rootless), N times per letter through the program's own
//                    questions, as Windows 10 asks them whatever this Windows is (the health
//                    questions included); a letter on no disk (each under Wine) has disk 0
//                    asked all the same, so every letter counts the whole set. Prints the
//                    microseconds one letter's disk questions cost, the letters asked and how
//                    many of them have a disk

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <optional>
#include <string>

#include "base/start_trace_win.h"
#include "base/utf_win.h"
#include "base/win32_win.h"
#include "report/disk_api_win.h"
#include "report/disk_facts.h"
#include "report/drive_api_win.h"
#include "report/report_queries.h"
#include "report/wmi_api_win.h"
#include "startup/environment.h"
#include "startup/version_api_win.h"
#include "ui/toolkit/toolkit_win.h"

namespace {

constexpr wchar_t kFloorClass[] = L"OsCallsFloorWindow";
constexpr wchar_t kMainTitle[] = L"QELM Tarnvik 1.2.0.2016.0";

LRESULT CALLBACK FloorProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    ::PostQuitMessage(0);
    return 0;
  }
  return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

// The window floor: a window and its edit box, the text written once, then the message loop.
int RunFloorWindow(const std::string& text) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = FloorProc;
  windowClass.hInstance = ::GetModuleHandleW(nullptr);
  windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  windowClass.lpszClassName = kFloorClass;
  if (::RegisterClassW(&windowClass) == 0) return 1;
  HWND main = ::CreateWindowExW(0, kFloorClass, kMainTitle, WS_POPUP, 0, 0, 308, 392, nullptr, nullptr,
                                windowClass.hInstance, nullptr);
  if (main == nullptr) return 1;
  HWND edit = ::CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                                WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_READONLY, 11, 35,
                                286, 346, main, nullptr, windowClass.hInstance, nullptr);
  if (edit == nullptr) return 1;
  tarnvik::TraceStart("window and box made");
  ::ShowWindow(main, SW_SHOWNORMAL);
  tarnvik::TraceStart("window shown");
  ::SetWindowTextW(edit, tarnvik::win::Utf8ToWide(text).c_str());
  tarnvik::FinishStartTrace("text written");
  MSG message{};
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  return 0;
}

int TimeLetterChecks(long count) {
  if (count <= 0) return 2;
  tarnvik::win::WinDriveApi drive;
  LARGE_INTEGER frequency{}, begin{}, end{};
  ::QueryPerformanceFrequency(&frequency);
  uint32_t seen = 0;  // used, so the calls are not left out
  ::QueryPerformanceCounter(&begin);
  for (long i = 0; i < count; ++i) seen |= drive.GetLogicalDrives();
  ::QueryPerformanceCounter(&end);
  const double micros = static_cast<double>(end.QuadPart - begin.QuadPart) * 1e6 /
                        static_cast<double>(frequency.QuadPart) / static_cast<double>(count);
  std::printf("%.3f\n", micros);
  return seen != 0 ? 0 : 1;
}

int TimeDiskQueries(long count) {
  if (count <= 0) return 2;
  tarnvik::win::WinVersionApi versionApi;
  tarnvik::WindowsVersion windows = tarnvik::ReadEnvironment({}, versionApi).windows;
  if (!windows.AtLeast(10, 0)) windows.major = 10, windows.minor = 0;
  tarnvik::win::WinDriveApi drive;
  tarnvik::win::WinDiskApi disk;
  const uint32_t present = drive.GetLogicalDrives();
  LARGE_INTEGER frequency{}, begin{}, end{};
  ::QueryPerformanceFrequency(&frequency);
  double micros = 0;
  int asked = 0, withDisk = 0;
  for (int index = 0; index < 26; ++index) {
    if ((present & (1u << index)) == 0) continue;
    const std::string root = std::string(1, static_cast<char>('A' + index)) + ":\\";
    const uint32_t type = drive.GetDriveTypeA(root);
    if (type == tarnvik::kDriveRemote || type == tarnvik::kDriveRamdisk || type == tarnvik::kDriveNoRootDir ||
        type == tarnvik::kDriveCdrom)
      continue;
    bool found = false;
    ::QueryPerformanceCounter(&begin);
    for (long i = 0; i < count; ++i) {
      const auto numbers = tarnvik::QueryDiskNumbers(disk, static_cast<char>('A' + index));
      found = numbers.has_value();
      tarnvik::QueryDiskDevice(disk, numbers ? numbers->front() : 0, windows);
    }
    ::QueryPerformanceCounter(&end);
    micros += static_cast<double>(end.QuadPart - begin.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart) /
              static_cast<double>(count);
    ++asked;
    withDisk += found ? 1 : 0;
  }
  if (asked == 0) return 1;
  std::printf("%.3f %d %d\n", micros / asked, asked, withDisk);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc > 2 && std::wcscmp(argv[1], L"-letters") == 0) return TimeLetterChecks(std::wcstol(argv[2], nullptr, 10));
  if (argc > 2 && std::wcscmp(argv[1], L"-disks") == 0) return TimeDiskQueries(std::wcstol(argv[2], nullptr, 10));
  const bool verbose = argc > 1 && std::wcscmp(argv[1], L"-v") == 0;
  const bool window = argc > 1 && std::wcscmp(argv[1], L"-window") == 0;
  tarnvik::win::WinTraceApi traceApi;
  tarnvik::StartTrace trace(traceApi);
  if (window && trace.On()) tarnvik::SetStartTrace(&trace);
  tarnvik::TraceStart("entry point");
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  // COM set up as the program's entry point sets it up, for the partition-style query.
  const tarnvik::win::ComApartment com;

  tarnvik::win::WinVersionApi version;
  tarnvik::win::WinDriveApi drive;
  tarnvik::win::WinWmiApi wmi;
  tarnvik::win::Win32Toolkit toolkit;
  const bool askStyle = tarnvik::VersionNumber(tarnvik::GetOsVersionText(version, 1)) >= 5;

  const DWORD present = ::GetLogicalDrives();
  tarnvik::LetterSet letters{};
  for (int index = 0; index < 26; ++index) letters[static_cast<std::size_t>(index)] = (present & (1u << index)) != 0;
  const auto queries = tarnvik::ReportQueries::Start(toolkit, drive, wmi, letters, askStyle);
  tarnvik::TraceStart("queries started");

  int count = 0;
  std::string lines;
  for (int index = 0; index < 26; ++index) {
    if (!letters[static_cast<std::size_t>(index)]) continue;
    std::optional<tarnvik::DriveReportFacts> facts;
    while (!(facts = queries->Take(index))) toolkit.WaitEvents();
    ++count;
    char line[200];
    std::snprintf(line, sizeof line, "%c: fs=%s total=%llu type=%s table=%s\r\n", 'A' + index,
                  facts->answers.fileSystem.c_str(), static_cast<unsigned long long>(facts->answers.space.totalBytes),
                  facts->answers.typeText.c_str(), askStyle ? facts->partitionStyle.c_str() : "(not asked)");
    lines += line;
  }
  lines += " Drives: \t  " + std::to_string(count) + "\r\n";
  tarnvik::TraceStart("answers in");
  if (window) return RunFloorWindow(lines);
  if (verbose) {
    for (char& c : lines) {
      if (c == '\r' || c == '\t') c = ' ';
    }
    std::fputs(lines.c_str(), stdout);
  }
  return 0;
}
