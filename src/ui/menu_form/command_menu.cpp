#include "ui/menu_form/command_menu.h"

#include "report/report_builder.h"
#include "startup/program.h"
#include "ui/main_window/report_window.h"
#include "ui/menu_form/about.h"

namespace tarnvik {

namespace {

// Marks a modal loop of the system (the About box, the pop-up menu) while it runs. Its loop
// delivers the timers' ticks, so the window holds back rebuilds and resumes them at the end.
class ModalLoop {
 public:
  explicit ModalLoop(Program& program) : program_(program) { ++program_.state.ModalLoops; }
  ~ModalLoop() {
    if (--program_.state.ModalLoops == 0 && program_.WindowLoaded()) program_.Window().ModalLoopEnded();
  }
  ModalLoop(const ModalLoop&) = delete;
  ModalLoop& operator=(const ModalLoop&) = delete;

 private:
  Program& program_;
};

}  // namespace

const std::vector<toolkit::MenuItem>& MenuItems() {
  // Russian first, English second; the blanks before "[Esc]" are part of the caption.
  static const std::vector<toolkit::MenuItem> items{
      {"-", ""},
      {"О программе / About...", "F1"},
      {"Файл помощи / Help file...", "F2"},
      {"-", ""},
      {"Обновить / Refresh...", "F5"},
      {"-", ""},
      {"Выход / Quit...    [Esc]", ""},
      {"-", ""},
      {"Отмена / Cancel", ""},
      {"-", ""},
  };
  return items;
}

CommandMenu::CommandMenu(Program& program) : program_(program), window_(program.tk.LoadMenuForm(*this)) {}

void CommandMenu::PopupMenu() {
  const int chosen = [this] {
    const ModalLoop loop(program_);
    return window_->PopupMenu(MenuItems(), kDefaultMenuItem);
  }();
  if (chosen >= 0 && chosen < static_cast<int>(MenuItems().size())) Click(static_cast<MenuItemId>(chosen));
}

void CommandMenu::Click(MenuItemId item) {
  switch (item) {
    case MenuItemId::About:
      OnAboutClick();
      break;
    case MenuItemId::HelpFile:
      OnHelpFileClick();
      break;
    case MenuItemId::Refresh:
      OnRefreshClick();
      break;
    case MenuItemId::Quit:
      OnQuitClick();
      break;
    case MenuItemId::Cancel:
      OnCancelClick();
      break;
    default:  // separators
      break;
  }
}

void CommandMenu::OnAboutClick() {
  if (program_.state.Quitting) return;
  RunAboutCommand(program_);
}

void CommandMenu::OnHelpFileClick() {
  if (program_.state.Quitting) return;
  RunHelpFileCommand(program_);
}

void CommandMenu::OnRefreshClick() {
  // A refresh asked for while a report is being built is dropped, not queued.
  if (program_.state.Quitting || !program_.state.ReportIdle) return;
  RefreshDriveReport(program_);
}

void CommandMenu::OnQuitClick() { RunQuitCommand(program_); }

void CommandMenu::OnCancelClick() {}

void CommandMenu::OnQueryUnload(int16_t&, int16_t) { window_->Hide(); }

void CommandMenu::OnUnload(int16_t&) {
  program_.ReleaseMenu();
  program_.tk.DoEvents();
}

std::string HelpFileCommandLine(const std::string& appFolder) {
  // Quoted: a folder with blanks must still be one file name, however the program parses it.
  return "notepad.exe \"" + appFolder + "ReadMe.txt\"";
}

void RunHelpFileCommand(Program& program) {
  // Whether Notepad starts, and whether the file is there, is Notepad's business.
  program.tk.Shell(HelpFileCommandLine(program.state.AppFolder), toolkit::kNormalFocus);
}

void RunAboutCommand(Program& program) {
  const ModalLoop loop(program);
  ShowAbout(program.tk);
}

void RunQuitCommand(Program& program) {
  // Only forms that still exist are hidden: the references would otherwise load new ones.
  if (program.MenuLoaded()) program.Menu().Form().Hide();
  if (program.WindowLoaded()) program.Window().Form().Hide();
  program.state.Quitting = true;
}

}  // namespace tarnvik
