#include "startup/program.h"

#include "ui/main_window/report_window.h"
#include "ui/menu_form/command_menu.h"

namespace tarnvik {

Program::Program(toolkit::Toolkit& toolkit, const OsApis& apis) : tk(toolkit), os(apis) {}

Program::~Program() = default;

ReportWindow& Program::Window() {
  if (!reportWindow_) reportWindow_ = std::make_unique<ReportWindow>(*this);
  return *reportWindow_;
}

CommandMenu& Program::Menu() {
  if (!commandMenu_) commandMenu_ = std::make_unique<CommandMenu>(*this);
  return *commandMenu_;
}

bool Program::WindowLoaded() const { return reportWindow_ != nullptr; }
bool Program::MenuLoaded() const { return commandMenu_ != nullptr; }

void Program::ReleaseWindow() {
  if (reportWindow_) releasedWindows_.push_back(std::move(reportWindow_));
}

void Program::ReleaseMenu() {
  if (commandMenu_) releasedMenus_.push_back(std::move(commandMenu_));
}

}  // namespace tarnvik
