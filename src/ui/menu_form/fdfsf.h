// FDFSF: the hidden form that owns the drive list and the command menu, and the commands
// shared by the menu, the keys and the close button.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ui/toolkit/toolkit.h"

namespace tarnvik {

class Program;

/// The items of mnuWND, in menu order.
enum class MenuItemId : int { mnuWDa, mnuWAA, mnuFH, mnuWD, mnuWR, mnuWA, mnuWQ, mnuWB, mnuWC, mnuWDb };

/// The menu mnuWND: captions, shortcut labels, default item.
const std::vector<toolkit::MenuItem>& MenuItems();
inline constexpr int kDefaultMenuItem = static_cast<int>(MenuItemId::mnuWR);

class Fdfsf final : public toolkit::MenuFormEvents {
 public:
  /// Loads the form, hidden.
  explicit Fdfsf(Program& program);

  toolkit::MenuForm& Window() { return *window_; }
  toolkit::DriveList& Drive1() { return window_->Drive1(); }

  /// Opens mnuWND at the cursor with Refresh as the default item and runs the chosen item.
  void PopupMenu();
  void Click(MenuItemId item);

  void mnuWAA_Click();
  void mnuFH_Click();
  void mnuWR_Click();
  void mnuWQ_Click();
  void mnuWC_Click();

  void Form_QueryUnload(int16_t& cancel, int16_t unloadMode) override;
  void Form_Unload(int16_t& cancel) override;

 private:
  Program& program_;
  std::unique_ptr<toolkit::MenuForm> window_;
};

/// "notepad.exe \"" + AppFolder + "ReadMe.txt\"": the path quoted, so blanks in it stay in the name.
std::string HelpFileCommandLine(const std::string& appFolder);
/// Starts Notepad on the help file without waiting.
void RunHelpFileCommand(Program& program);
/// Shows the About box; a rebuild that falls due while it is open waits for it to close.
void RunAboutCommand(Program& program);
/// Hides both forms and sets Quitting; the window timer finishes the quit.
void RunQuitCommand(Program& program);

}  // namespace tarnvik
