#include "ui/toolkit/headless_toolkit.h"

#include <cstdio>
#include <cstdlib>

namespace tarnvik::toolkit {

void HeadlessTextBox::SetText(std::string_view text) {
  text_ = std::string(text);
  ++setTextCount_;
  if (onSetText) onSetText(text);
}

void HeadlessTextBox::AppendText(std::string_view text) {
  text_ += text;
  ++setTextCount_;
}

bool HeadlessTimer::Step() {
  if (!enabled_ || interval_ <= 0 || ++elapsed_ < interval_) return false;
  elapsed_ = 0;
  return true;
}

HeadlessMainWindow::HeadlessMainWindow(HeadlessToolkit& toolkit, MainWindowEvents& events)
    : toolkit_(toolkit),
      events_(events),
      closeButton_(PictureId::CloseNormal, {278, 4, 22, 17}),
      minimiseButton_(PictureId::MinimiseNormal, {256, 4, 22, 17}) {
  for (int i = 0; i < 4; ++i) storedPictures_.emplace_back(static_cast<PictureId>(i), HeadlessGeometry{0, 0, 22, 17});
  ++toolkit_.loadedForms;
  ++toolkit_.mainWindowsLoaded;
  toolkit_.mainWindow = this;
}

HeadlessMainWindow::~HeadlessMainWindow() {
  if (toolkit_.mainWindow == this) toolkit_.mainWindow = nullptr;
}

void HeadlessMainWindow::Show() {
  if (!loaded_) return;
  const bool first = width_ == 0;
  if (first) timerRanWhenShown_ = windowTimer_.Enabled();
  if (first) ++toolkit_.mainWindowsShown;
  visible_ = true;
  // The first showing sizes the window, which raises the layout pass.
  if (first) events_.OnResize();
}

void HeadlessMainWindow::SetWindowState(WindowState state) {
  if (!loaded_ || state_ == state) return;
  state_ = state;
  events_.OnResize();
}

void HeadlessMainWindow::SetSize(int width, int height) {
  // A minimised window keeps its size, as the platform refuses the change.
  if (!loaded_ || state_ == WindowState::Minimized) return;
  width_ = width;
  height_ = height;
}

int HeadlessMainWindow::LogPixelsX() { return toolkit_.logPixelsX; }

void HeadlessMainWindow::Unload() { UnloadFor(kUnloadFromCode); }

void HeadlessMainWindow::RequestClose() { UnloadFor(kUnloadFromWindows); }

void HeadlessMainWindow::UnloadFor(int16_t unloadMode) {
  if (!loaded_) return;
  int16_t cancel = 0;
  events_.OnQueryUnload(cancel, unloadMode);
  if (cancel != 0) return;
  events_.OnUnload(cancel);
  if (cancel != 0) return;
  loaded_ = false;
  visible_ = false;
  --toolkit_.loadedForms;
}

bool HeadlessMainWindow::Tick() {
  if (!loaded_ || !windowTimer_.Enabled() || windowTimer_.Interval() <= 0) return false;
  events_.OnWindowTimer();
  return true;
}

void HeadlessMainWindow::DeviceChange(const DeviceNotice& notice) {
  if (loaded_) events_.OnDeviceChange(notice);
}

void HeadlessMainWindow::Advance(int milliseconds) {
  for (int ms = 0; ms < milliseconds; ++ms) {
    ++toolkit_.nowMs;
    if (loaded_ && windowTimer_.Step()) events_.OnWindowTimer();
    if (loaded_ && noticeTimer_.Step()) events_.OnNoticeTimer();
  }
}

int16_t HeadlessMainWindow::PressKey(int16_t keyCode, int16_t shift) {
  if (loaded_) events_.OnReportBoxKeyDown(keyCode, shift);
  return keyCode;
}

int HeadlessMainWindow::PopupMenu(const std::vector<MenuItem>& items, int defaultItem) {
  if (!loaded_) return -1;
  toolkit_.popups.push_back({items, defaultItem});
  if (!toolkit_.onPopupMenu) return -1;
  return toolkit_.onPopupMenu(toolkit_.popups.back());
}

std::unique_ptr<MainWindow> HeadlessToolkit::LoadMainWindow(MainWindowEvents& events) {
  return std::make_unique<HeadlessMainWindow>(*this, events);
}

void HeadlessToolkit::DoEvents() {
  ++doEventsCount;
  if (onDoEvents) onDoEvents(doEventsCount);
}

void HeadlessToolkit::WaitEvents() {
  // A wait that nothing could end would hang the test run: stop loudly instead.
  constexpr int kLongestWait = 100000;
  const bool workRuns = !holdBackgroundWork && !backgroundWork.empty();
  if (++waitEventsCount > kLongestWait || (!workRuns && !onDoEvents)) {
    std::fputs("headless toolkit: the program waits for work that nothing will run\n", stderr);
    std::abort();
  }
  if (workRuns) RunBackgroundWork(0);
  DoEvents();
}

void HeadlessToolkit::RunBackgroundWork(std::size_t index) {
  if (index >= backgroundWork.size()) return;
  std::function<void()> work = std::move(backgroundWork[index]);
  backgroundWork.erase(backgroundWork.begin() + static_cast<std::ptrdiff_t>(index));
  try {
    work();
  } catch (...) {
  }
}

int HeadlessToolkit::MsgBox(std::string_view text, int style, std::string_view boxTitle) {
  messageBoxes.push_back({std::string(text), style, std::string(boxTitle)});
  if (onMsgBox) onMsgBox(messageBoxes.back());
  return 1;
}

bool HeadlessToolkit::Shell(std::string_view commandLine, int windowStyle) {
  shellCalls.emplace_back(std::string(commandLine), windowStyle);
  return shellSucceeds;
}

}  // namespace tarnvik::toolkit
