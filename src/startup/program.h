// The running program: the state its forms share, the operating-system interfaces it calls, the
// toolkit, and the program-wide references to its two forms.
#pragma once

#include <memory>
#include <vector>

#include "report/drive_api.h"
#include "report/wmi_api.h"
#include "startup/process_api.h"
#include "startup/program_state.h"
#include "startup/registry_api.h"
#include "startup/version_api.h"
#include "ui/toolkit/toolkit.h"

namespace tarnvik {

class ReportWindow;
class CommandMenu;
class ReportQueries;

/// The cursor query of the window timer, shaped like user32's GetCursorPos.
class CursorApi {
 public:
  virtual ~CursorApi() = default;
  /// Non-zero on success; x and y untouched on failure.
  virtual int GetCursorPos(int32_t& x, int32_t& y) = 0;
};

struct OsApis {
  DriveApi& drive;
  VersionApi& version;
  RegistryApi& registry;
  ProcessApi& process;
  WmiApi& wmi;
  CursorApi& cursor;
};

class Program {
 public:
  Program(toolkit::Toolkit& toolkit, const OsApis& os);
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  ProgramState state;
  toolkit::Toolkit& tk;
  OsApis os;
  /// The first report's queries, begun by start-up before the windows opened.
  std::shared_ptr<ReportQueries> startedQueries;

  /// The program-wide references. Using an empty one loads a fresh, hidden instance.
  ReportWindow& Window();
  CommandMenu& Menu();
  bool WindowLoaded() const;
  bool MenuLoaded() const;

  /// Clear a reference. The form object lives on, inert, until the program ends, because the
  /// handler that releases it may still be on the stack.
  void ReleaseWindow();
  void ReleaseMenu();

 private:
  std::unique_ptr<ReportWindow> reportWindow_;
  std::unique_ptr<CommandMenu> commandMenu_;
  std::vector<std::unique_ptr<ReportWindow>> releasedWindows_;
  std::vector<std::unique_ptr<CommandMenu>> releasedMenus_;
};

}  // namespace tarnvik
