// oscalls: the drive report's operating-system work and nothing else. For every letter that
// GetLogicalDrives lists, A to Z, it makes the calls the report makes, in the report's order and
// through the program's own adapters: the volume query with both texts, the cluster query, the
// serial-only volume query, the space query, the drive type and, on version 5 or later when the
// volume named a file system, the partition-style query. No window, no text box, no registry,
// no process scan. Timing it beside the real program shows what the program adds to the calls.
//
//   oscalls          makes the calls silently and exits 0
//   oscalls -v       also prints one line per drive, so a run can be checked by eye
//   oscalls -window  the calls plus the least any window program must do: one window with the
//                    program's title and a read-only multi-line edit box, its text written
//                    once (ending in a " Drives: " line); runs until the window is closed. A
//                    floor for the program's start-up: what a window alone costs.

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <string>

#include "report/drive_api_win.h"
#include "report/partition_style.h"
#include "report/wmi_api_win.h"
#include "startup/environment.h"
#include "startup/fdfsm.h"
#include "startup/text.h"
#include "startup/version_api_win.h"
#include "ui/toolkit/utf_win.h"
#include "ui/toolkit/win32_win.h"

namespace {

constexpr uint32_t kNameBufferSize = 255;

struct DriveAnswer {
  std::string fileSystem;
  uint64_t totalBytes = 0;
  uint32_t driveType = 0;
  std::string style;  // empty when the query was not made
};

DriveAnswer AskDrive(tarnvik::DriveApi& drive, tarnvik::WmiApi& wmi, bool askStyle, int index) {
  const std::string lower(1, static_cast<char>('a' + index));
  const std::string upper(1, static_cast<char>('A' + index));
  const std::string root = lower + ":\\";
  DriveAnswer answer;

  std::string volumeName(kNameBufferSize, '\0');
  std::string fileSystemName(kNameBufferSize, '\0');
  uint32_t serial = 0, maxComponentLength = 0, fileSystemFlags = 0;
  drive.GetVolumeInformationA(root, volumeName.data(), kNameBufferSize, &serial, &maxComponentLength,
                              &fileSystemFlags, fileSystemName.data(), kNameBufferSize);
  answer.fileSystem = tarnvik::CleanPlatformText(tarnvik::UpToNul(fileSystemName));
  if (answer.fileSystem.empty()) answer.fileSystem = "?";

  uint32_t sectors = 0, bytes = 0, freeClusters = 0, totalClusters = 0;
  drive.GetDiskFreeSpaceA(root, &sectors, &bytes, &freeClusters, &totalClusters);

  uint32_t serialOnly = 0;
  drive.GetVolumeInformationA(root, nullptr, 0, &serialOnly, &maxComponentLength, &fileSystemFlags, nullptr, 0);

  uint64_t available = 0, total = 0, free = 0;
  drive.GetDiskFreeSpaceExA(root, &available, &total, &free);
  answer.totalBytes = total;

  answer.driveType = drive.GetDriveTypeA(upper + ":\\");

  if (askStyle && answer.fileSystem != "?") {
    tarnvik::Fdfsm m;
    tarnvik::QueryPartitionStyle(m, wmi, upper);
    answer.style = m.PartitionStyle;
  }
  return answer;
}

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
  ::ShowWindow(main, SW_SHOWNORMAL);
  ::SetWindowTextW(edit, tarnvik::win::Utf8ToWide(text).c_str());
  MSG message{};
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const bool verbose = argc > 1 && std::wcscmp(argv[1], L"-v") == 0;
  const bool window = argc > 1 && std::wcscmp(argv[1], L"-window") == 0;
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  // COM set up as the program's entry point sets it up, for the partition-style query.
  const tarnvik::win::ComApartment com;

  tarnvik::win::WinVersionApi version;
  tarnvik::win::WinDriveApi drive;
  tarnvik::win::WinWmiApi wmi;
  const bool askStyle = tarnvik::VersionNumber(tarnvik::GetOsVersionText(version, 1)) >= 5;

  const DWORD present = ::GetLogicalDrives();
  int count = 0;
  std::string lines;
  for (int index = 0; index < 26; ++index) {
    if ((present & (1u << index)) == 0) continue;
    const DriveAnswer answer = AskDrive(drive, wmi, askStyle, index);
    ++count;
    char line[160];
    std::snprintf(line, sizeof line, "%c: fs=%s total=%llu type=%u table=%s\r\n", 'A' + index,
                  answer.fileSystem.c_str(), static_cast<unsigned long long>(answer.totalBytes), answer.driveType,
                  answer.style.empty() ? "(not asked)" : answer.style.c_str());
    lines += line;
  }
  lines += " Drives: \t  " + std::to_string(count) + "\r\n";
  if (window) return RunFloorWindow(lines);
  if (verbose) {
    for (char& c : lines) {
      if (c == '\r' || c == '\t') c = ' ';
    }
    std::fputs(lines.c_str(), stdout);
  }
  return 0;
}
