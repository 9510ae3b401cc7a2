#include "ui/commands/commands.h"

#include <cstddef>
#include <string>

#include "ui/commands/about.h"
#include "ui/controller.h"
#include "ui/main_window/report_view.h"
#include "ui/main_window/report_window.h"

namespace tarnvik {

namespace {

// Virtual-key codes.
constexpr int16_t kKeyEscape = 27;
constexpr int16_t kKeyF1 = 112;
constexpr int16_t kKeyF12 = 123;
constexpr int16_t kKeyF2 = 113;
constexpr int16_t kKeyF5 = 116;

bool WindowOpen(const Controller& ui) { return ui.Open(); }
// A refresh asked for while a report is being built is dropped, not queued.
bool RefreshTaken(const Controller& ui) { return ui.state() == Controller::State::Idle; }

void ShowAboutBox(Controller& ui) {
  const Controller::ModalLoop loop(ui);
  ShowAbout(ui.tk);
}

// Whether Notepad starts, and whether the file is there, is Notepad's business.
void OpenHelpFile(Controller& ui) { ui.tk.Shell(HelpFileCommandLine(ui.appFolder), toolkit::kNormalFocus); }

void RefreshReport(Controller& ui) { RefreshDriveReport(ui); }

void QuitProgram(Controller& ui) { ui.Quit(); }

void MinimiseWindow(Controller& ui) {
  if (ReportWindow* window = ui.Window()) window->Minimise();
}

using enum CommandId;
// The blanks before "[Esc]" are part of the caption: Esc is the key, the caption only says so.
constexpr Command kCommands[] = {
    {TopSeparator, "-", 0, nullptr, nullptr},
    {About, "О программе / About...", kKeyF1, WindowOpen, ShowAboutBox},
    {HelpFile, "Файл помощи / Help file...", kKeyF2, WindowOpen, OpenHelpFile},
    {SeparatorBeforeRefresh, "-", 0, nullptr, nullptr},
    {Refresh, "Обновить / Refresh...", kKeyF5, RefreshTaken, RefreshReport},
    {SeparatorBeforeQuit, "-", 0, nullptr, nullptr},
    // Quit from the menu runs even once quitting; its key and the close button act only while
    // the window is open, as every input of the window does.
    {Quit, "Выход / Quit...    [Esc]", kKeyEscape, nullptr, QuitProgram},
    {SeparatorBeforeCancel, "-", 0, nullptr, nullptr},
    {Cancel, "Отмена / Cancel", 0, nullptr, nullptr},
    {BottomSeparator, "-", 0, nullptr, nullptr},
    {Minimise, nullptr, 0, WindowOpen, MinimiseWindow},
};

constexpr bool RowsInPlace() {
  bool menuRows = true;  // the rows of the menu come first, so an item's index is its row's
  for (std::size_t row = 0; row < std::size(kCommands); ++row) {
    if (static_cast<std::size_t>(kCommands[row].id) != row) return false;
    if (kCommands[row].caption != nullptr && !menuRows) return false;
    menuRows = menuRows && kCommands[row].caption != nullptr;
  }
  return true;
}
static_assert(RowsInPlace(), "each row's id is its place, and the menu's rows come first");

}  // namespace

std::span<const Command> Commands() { return kCommands; }

const Command& CommandOf(CommandId id) { return kCommands[static_cast<std::size_t>(id)]; }

const Command* CommandForKey(int16_t keyCode) {
  for (const Command& command : kCommands) {
    if (command.key != 0 && command.key == keyCode) return &command;
  }
  return nullptr;
}

void RunCommand(Controller& ui, const Command& command) {
  if (command.action != nullptr && (command.allowed == nullptr || command.allowed(ui))) command.action(ui);
}

const std::vector<toolkit::MenuItem>& MenuItems() {
  static const std::vector<toolkit::MenuItem> items = [] {
    std::vector<toolkit::MenuItem> menu;
    for (const Command& command : kCommands) {
      if (command.caption == nullptr) break;
      const bool fKey = command.key >= kKeyF1 && command.key <= kKeyF12;
      menu.push_back({command.caption, fKey ? "F" + std::to_string(command.key - kKeyF1 + 1) : std::string()});
    }
    return menu;
  }();
  return items;
}

void RunMenuItem(Controller& ui, int item) {
  if (item >= 0 && item < static_cast<int>(MenuItems().size())) RunCommand(ui, kCommands[item]);
}

std::string HelpFileCommandLine(const std::string& appFolder) {
  // Quoted: a folder with blanks must still be one file name, however the program parses it.
  return "notepad.exe \"" + appFolder + "ReadMe.txt\"";
}

}  // namespace tarnvik
