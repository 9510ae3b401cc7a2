#include "ui/menu_form/command_menu.h"

#include "ui/forms.h"
#include "ui/main_window/report_view.h"
#include "ui/main_window/report_window.h"
#include "ui/menu_form/about.h"

namespace tarnvik {

namespace {

// Marks a modal loop of the system (the About box, the pop-up menu) while it runs. Its loop
// delivers the timers' ticks, so the window holds back rebuilds and resumes them at the end.
class ModalLoop {
 public:
  explicit ModalLoop(Forms& forms) : forms_(forms) { ++forms_.modalLoops; }
  ~ModalLoop() {
    if (--forms_.modalLoops == 0 && forms_.WindowLoaded()) forms_.Window().ModalLoopEnded();
  }
  ModalLoop(const ModalLoop&) = delete;
  ModalLoop& operator=(const ModalLoop&) = delete;

 private:
  Forms& forms_;
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

CommandMenu::CommandMenu(Forms& forms) : forms_(forms), window_(forms.tk.LoadMenuForm(*this)) {}

void CommandMenu::PopupMenu() {
  const int chosen = [this] {
    const ModalLoop loop(forms_);
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
  if (forms_.quitting) return;
  RunAboutCommand(forms_);
}

void CommandMenu::OnHelpFileClick() {
  if (forms_.quitting) return;
  RunHelpFileCommand(forms_);
}

void CommandMenu::OnRefreshClick() {
  // A refresh asked for while a report is being built is dropped, not queued.
  if (forms_.quitting || !forms_.reportIdle) return;
  RefreshDriveReport(forms_);
}

void CommandMenu::OnQuitClick() { RunQuitCommand(forms_); }

void CommandMenu::OnCancelClick() {}

void CommandMenu::OnQueryUnload(int16_t&, int16_t) { window_->Hide(); }

void CommandMenu::OnUnload(int16_t&) {
  forms_.ReleaseMenu();
  forms_.tk.DoEvents();
}

std::string HelpFileCommandLine(const std::string& appFolder) {
  // Quoted: a folder with blanks must still be one file name, however the program parses it.
  return "notepad.exe \"" + appFolder + "ReadMe.txt\"";
}

void RunHelpFileCommand(Forms& forms) {
  // Whether Notepad starts, and whether the file is there, is Notepad's business.
  forms.tk.Shell(HelpFileCommandLine(forms.appFolder), toolkit::kNormalFocus);
}

void RunAboutCommand(Forms& forms) {
  const ModalLoop loop(forms);
  ShowAbout(forms.tk);
}

void RunQuitCommand(Forms& forms) {
  // Only forms that still exist are hidden: the references would otherwise load new ones.
  if (forms.MenuLoaded()) forms.Menu().Form().Hide();
  if (forms.WindowLoaded()) forms.Window().Form().Hide();
  forms.quitting = true;
}

}  // namespace tarnvik
