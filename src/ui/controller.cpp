#include "ui/controller.h"

#include <utility>

#include "report/report_queries.h"
#include "ui/main_window/report_window.h"

namespace tarnvik {

Controller::Controller(toolkit::Toolkit& toolkit, const UiApis& apis) : tk(toolkit), os(apis) {}

Controller::~Controller() = default;

ReportWindow& Controller::OpenWindow() {
  if (!window_) window_ = std::make_unique<ReportWindow>(*this);
  return *window_;
}

bool Controller::BeginBuild() {
  if (!Open() || report_ == State::Building) return false;
  report_ = State::Building;
  return true;
}

void Controller::EndBuild() { report_ = State::Idle; }

void Controller::Quit() {
  if (window_) window_->Form().Hide();
  going_ = State::Quitting;
}

void Controller::WindowClosing() {
  if (going_ != State::Quitting) going_ = State::Closing;
}

Controller::ModalLoop::ModalLoop(Controller& ui) : ui_(ui) { ++ui_.modalLoops_; }

Controller::ModalLoop::~ModalLoop() {
  if (--ui_.modalLoops_ == 0 && ui_.window_) ui_.window_->ModalLoopEnded();
}

void Controller::SetStartedQueries(std::shared_ptr<ReportQueries> queries) { startedQueries_ = std::move(queries); }

std::shared_ptr<ReportQueries> Controller::TakeStartedQueries() { return std::exchange(startedQueries_, nullptr); }

}  // namespace tarnvik
