// The user's commands, in one table that the pop-up menu, the keys of the report box and the
// caption buttons all read: a new command is one row.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "ui/toolkit/toolkit.h"

namespace tarnvik {

class Controller;

/// A row's id is its place in the table, which is also the menu's order.
enum class CommandId : uint8_t {
  TopSeparator,
  About,
  HelpFile,
  SeparatorBeforeRefresh,
  Refresh,
  SeparatorBeforeQuit,
  Quit,
  SeparatorBeforeCancel,
  Cancel,
  BottomSeparator,
  Minimise,
};

struct Command {
  CommandId id;
  /// Russian first, English second, as the menu shows it; "-" is a separator; null: the
  /// command is not in the menu.
  const char* caption;
  /// Its key in the report box (a virtual-key code), 0 for none. The menu shows an F key
  /// beside the caption.
  int16_t key;
  /// Whether it may run now; null: always.
  bool (*allowed)(const Controller& ui);
  /// What it does; null: nothing (Cancel, a separator).
  void (*action)(Controller& ui);
};

std::span<const Command> Commands();
const Command& CommandOf(CommandId id);
/// The command of a key in the report box, or null. Shift, Ctrl and Alt are not looked at.
const Command* CommandForKey(int16_t keyCode);
/// Runs the command when it may run now.
void RunCommand(Controller& ui, const Command& command);

/// The menu: every row with a caption, in table order, its F key beside it.
const std::vector<toolkit::MenuItem>& MenuItems();
inline constexpr int kDefaultMenuItem = static_cast<int>(CommandId::Refresh);
/// Runs the command of menu item `item` (an index into MenuItems); a dismissed menu (-1) runs nothing.
void RunMenuItem(Controller& ui, int item);

/// "notepad.exe \"" + appFolder + "ReadMe.txt\"": the path quoted, so blanks in it stay in the name.
std::string HelpFileCommandLine(const std::string& appFolder);

}  // namespace tarnvik
