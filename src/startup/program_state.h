// state: the program's module state. Everything the forms and procedures share lives here,
// for the life of the process; Main puts it into its starting values.
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
  int32_t SizedDriveCount = 0;
  std::string FreeSizeText, UsedSizeText, TotalBytesText, FreeBytesText, UsedBytesText;
  std::string ProcessList;
  std::string ProcessName;
  std::string PartitionStyle, DiskDeviceId;
  std::string ListedLetter;
  std::string WorkText;
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

  // Working values of the report builder.
  std::string RootPath;
  uint32_t BytesPerSector = 0, SectorsPerCluster = 0;

  // Written by the window timer.
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
