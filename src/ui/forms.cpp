#include "ui/forms.h"

#include "report/report_queries.h"
#include "ui/main_window/report_window.h"
#include "ui/menu_form/command_menu.h"

namespace tarnvik {

Forms::Forms(toolkit::Toolkit& toolkit, const FormsApis& apis) : tk(toolkit), os(apis) {}

Forms::~Forms() = default;

ReportWindow& Forms::Window() {
  if (!reportWindow_) reportWindow_ = std::make_unique<ReportWindow>(*this);
  return *reportWindow_;
}

CommandMenu& Forms::Menu() {
  if (!commandMenu_) commandMenu_ = std::make_unique<CommandMenu>(*this);
  return *commandMenu_;
}

bool Forms::WindowLoaded() const { return reportWindow_ != nullptr; }
bool Forms::MenuLoaded() const { return commandMenu_ != nullptr; }

void Forms::ReleaseWindow() {
  if (reportWindow_) releasedWindows_.push_back(std::move(reportWindow_));
}

void Forms::ReleaseMenu() {
  if (commandMenu_) releasedMenus_.push_back(std::move(commandMenu_));
}

}  // namespace tarnvik
