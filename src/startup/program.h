// The running program: the toolkit, the operating-system interfaces it calls, where it runs,
// and its user interface.
#pragma once

#include "report/disk_api.h"
#include "report/drive_api.h"
#include "report/machine_api.h"
#include "report/wmi_api.h"
#include "startup/environment.h"
#include "startup/process_api.h"
#include "startup/registry_api.h"
#include "startup/version_api.h"
#include "ui/controller.h"
#include "ui/main_window/cursor_api.h"
#include "ui/toolkit/toolkit.h"

namespace tarnvik {

struct OsApis {
  DriveApi& drive;
  VersionApi& version;
  RegistryApi& registry;
  ProcessApi& process;
  WmiApi& wmi;
  CursorApi& cursor;
  DiskApi& disk;
  MachineApi& machine;
};

class Program {
 public:
  Program(toolkit::Toolkit& toolkit, const OsApis& apis)
      : tk(toolkit), os(apis), ui(toolkit, UiApis{apis.drive, apis.wmi, apis.cursor}) {}
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  toolkit::Toolkit& tk;
  OsApis os;
  /// Read by BeginRun, before any check.
  Environment env;
  Controller ui;
};

}  // namespace tarnvik
