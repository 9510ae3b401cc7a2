// The command menu: the hidden form that owns the drive list and opens the pop-up menu, and the commands
// shared by the menu, the keys and the close button.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ui/toolkit/toolkit.h"

namespace tarnvik {

class Forms;

/// The items of the command menu, in menu order.
enum class MenuItemId : int {
  TopSeparator,
  About,
  HelpFile,
  SeparatorBeforeRefresh,
  Refresh,
  SeparatorBeforeQuit,
  Quit,
  SeparatorBeforeCancel,
  Cancel,
  BottomSeparator
};

/// The command menu: captions, shortcut labels, default item.
const std::vector<toolkit::MenuItem>& MenuItems();
inline constexpr int kDefaultMenuItem = static_cast<int>(MenuItemId::Refresh);

class CommandMenu final : public toolkit::MenuFormEvents {
 public:
  /// Loads the form, hidden.
  explicit CommandMenu(Forms& forms);

  toolkit::MenuForm& Form() { return *window_; }
  toolkit::DriveList& Drives() { return window_->Drives(); }

  /// Opens the command menu at the cursor with Refresh as the default item and runs the chosen item.
  void PopupMenu();
  void Click(MenuItemId item);

  void OnAboutClick();
  void OnHelpFileClick();
  void OnRefreshClick();
  void OnQuitClick();
  void OnCancelClick();

  void OnQueryUnload(int16_t& cancel, int16_t unloadMode) override;
  void OnUnload(int16_t& cancel) override;

 private:
  Forms& forms_;
  std::unique_ptr<toolkit::MenuForm> window_;
};

/// "notepad.exe \"" + appFolder + "ReadMe.txt\"": the path quoted, so blanks in it stay in the name.
std::string HelpFileCommandLine(const std::string& appFolder);
/// Starts Notepad on the help file without waiting.
void RunHelpFileCommand(Forms& forms);
/// Shows the About box; a rebuild that falls due while it is open waits for it to close.
void RunAboutCommand(Forms& forms);
/// Hides both forms and sets quitting; the window timer finishes the quit.
void RunQuitCommand(Forms& forms);

}  // namespace tarnvik
