// The state the program's forms and procedures share, for the life of the process. Main puts it
// into its starting values. A value one procedure alone uses lives in that procedure instead.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace tarnvik {

struct ProgramState {
  // Set by Main at start, in this order, before any check.
  int32_t ScreenDpi = 0;
  bool UnloadRequested = false;
  bool Quitting = false;
  bool ReportIdle = false;
  // Drives in the report with a size, and in all: the report's last line and the JSON counts.
  int32_t SizedDriveCount = 0;
  // The running processes, each name closed by a carriage return, and the name the scan
  // examined last.
  std::string ProcessList;
  std::string ProcessName;
  // CountNameMatches leaves its count and where its search stood here.
  int32_t MatchCount = 0;
  int32_t ScanIndex = 0;
  int32_t ScanStart = 0;
  int32_t DriveCount = 0;

  // Set on the way to opening the windows.
  std::array<bool, 26> DriveListed{};
  float DragStartX = 0, DragStartY = 0;
  bool DragActive = false;
  float DragLeft = 0, DragTop = 0;

  // Set by InitEnvironment.
  std::string AppFolder, OsFamily, OsVersion;

  // The root of the drive the report wrote last, as the cluster query is given it.
  std::string RootPath;

  // Written by the window timer; a failed cursor read keeps the last position.
  int32_t CursorX = 0, CursorY = 0;

  // A volume came or went and the report has not been rebuilt for it yet.
  bool DriveNoticePending = false;
  // The letter mask (GetLogicalDrives) read as the last report began, and the one the window
  // timer read last: a letter that comes or goes with no notice shows as a change.
  uint32_t ReportLetterMask = 0;
  uint32_t TimerLetterMask = 0;
  // The About box or the pop-up menu is open (one may open from the other): rebuilds wait.
  int32_t ModalLoops = 0;
};

}  // namespace tarnvik
