#include "ui/menu_form/fdfsf.h"

#include "report/report_builder.h"
#include "startup/program.h"
#include "ui/main_window/fdfsg.h"
#include "ui/menu_form/about.h"

namespace tarnvik {

namespace {

// Marks a modal loop of the system (the About box, the pop-up menu) while it runs. Its loop
// delivers the timers' ticks, so the window holds back rebuilds and resumes them at the end.
class ModalLoop {
 public:
  explicit ModalLoop(Program& program) : program_(program) { ++program_.FDFSM.ModalLoops; }
  ~ModalLoop() {
    if (--program_.FDFSM.ModalLoops == 0 && program_.FdfsgLoaded()) program_.FDFSG().ModalLoopEnded();
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

Fdfsf::Fdfsf(Program& program) : program_(program), window_(program.tk.LoadMenuForm(*this)) {}

void Fdfsf::PopupMenu() {
  const int chosen = [this] {
    const ModalLoop loop(program_);
    return window_->PopupMenu(MenuItems(), kDefaultMenuItem);
  }();
  if (chosen >= 0 && chosen < static_cast<int>(MenuItems().size())) Click(static_cast<MenuItemId>(chosen));
}

void Fdfsf::Click(MenuItemId item) {
  switch (item) {
    case MenuItemId::mnuWAA:
      mnuWAA_Click();
      break;
    case MenuItemId::mnuFH:
      mnuFH_Click();
      break;
    case MenuItemId::mnuWR:
      mnuWR_Click();
      break;
    case MenuItemId::mnuWQ:
      mnuWQ_Click();
      break;
    case MenuItemId::mnuWC:
      mnuWC_Click();
      break;
    default:  // separators
      break;
  }
}

void Fdfsf::mnuWAA_Click() {
  if (program_.FDFSM.Quitting) return;
  RunAboutCommand(program_);
}

void Fdfsf::mnuFH_Click() {
  if (program_.FDFSM.Quitting) return;
  RunHelpFileCommand(program_);
}

void Fdfsf::mnuWR_Click() {
  // A refresh asked for while a report is being built is dropped, not queued.
  if (program_.FDFSM.Quitting || !program_.FDFSM.ReportIdle) return;
  RefreshDriveReport(program_);
}

void Fdfsf::mnuWQ_Click() { RunQuitCommand(program_); }

void Fdfsf::mnuWC_Click() {}

void Fdfsf::Form_QueryUnload(int16_t&, int16_t) { window_->Hide(); }

void Fdfsf::Form_Unload(int16_t&) {
  program_.ReleaseFdfsf();
  program_.tk.DoEvents();
}

std::string HelpFileCommandLine(const std::string& appFolder) {
  // Quoted: a folder with blanks must still be one file name, however the program parses it.
  return "notepad.exe \"" + appFolder + "ReadMe.txt\"";
}

void RunHelpFileCommand(Program& program) {
  // Whether Notepad starts, and whether the file is there, is Notepad's business.
  program.tk.Shell(HelpFileCommandLine(program.FDFSM.AppFolder), toolkit::kNormalFocus);
}

void RunAboutCommand(Program& program) {
  const ModalLoop loop(program);
  ShowAbout(program.tk);
}

void RunQuitCommand(Program& program) {
  // Only forms that still exist are hidden: the references would otherwise load new ones.
  if (program.FdfsfLoaded()) program.FDFSF().Window().Hide();
  if (program.FdfsgLoaded()) program.FDFSG().Window().Hide();
  program.FDFSM.Quitting = true;
}

}  // namespace tarnvik
