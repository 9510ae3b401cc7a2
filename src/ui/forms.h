// What the two forms share: the commands that end the program, the system's modal loops, the
// report's state, and the forms themselves, loaded on first use and released on unload.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "report/drive_api.h"
#include "report/wmi_api.h"
#include "ui/main_window/cursor_api.h"
#include "ui/toolkit/toolkit.h"

namespace tarnvik {

class CommandMenu;
class ReportQueries;
class ReportWindow;

/// The operating-system interfaces the forms call.
struct FormsApis {
  DriveApi& drive;
  WmiApi& wmi;
  CursorApi& cursor;
};

class Forms {
 public:
  Forms(toolkit::Toolkit& toolkit, const FormsApis& apis);
  ~Forms();
  Forms(const Forms&) = delete;
  Forms& operator=(const Forms&) = delete;

  toolkit::Toolkit& tk;
  FormsApis os;

  // Where the program runs, set once by start-up.
  std::string appFolder;             ///< the help file's folder, ending in "\"
  bool withPartitionStyles = false;  ///< the report shows the partition styles

  /// Quit was asked for: every handler returns at once, and the window timer ends the program.
  bool quitting = false;
  /// No report is being built: F5 and Refresh are taken, a rebuild may start.
  bool reportIdle = false;
  /// The About box or the pop-up menu is open (one may open from the other): rebuilds wait.
  int modalLoops = 0;
  /// The first report's queries, begun by start-up before the windows opened.
  std::shared_ptr<ReportQueries> startedQueries;

  /// The two forms. Using one that is not loaded loads a fresh, hidden instance.
  ReportWindow& Window();
  CommandMenu& Menu();
  bool WindowLoaded() const;
  bool MenuLoaded() const;

  /// Drop a form. Its object lives on, inert, until the program ends, because the handler that
  /// releases it may still be on the stack.
  void ReleaseWindow();
  void ReleaseMenu();

 private:
  std::unique_ptr<ReportWindow> reportWindow_;
  std::unique_ptr<CommandMenu> commandMenu_;
  std::vector<std::unique_ptr<ReportWindow>> releasedWindows_;
  std::vector<std::unique_ptr<CommandMenu>> releasedMenus_;
};

}  // namespace tarnvik
