// The hidden menu form on raw Win32: a top-level window that is never shown, the drive list
// and the command menu it opens as a pop-up.
#include "base/utf_win.h"
#include "ui/toolkit/toolkit_forms_win.h"

namespace tarnvik::win::detail {

namespace {
constexpr wchar_t kMenuFormCaption[] = L"CommandMenu";
}  // namespace

// ---- The drive list ----

void Win32DriveList::Refresh() {
  entries_.clear();
  const DWORD present = ::GetLogicalDrives();
  for (int letter = 0; letter < 26; ++letter) {
    if ((present & (1u << letter)) != 0) entries_.push_back(std::string{static_cast<char>('a' + letter), ':'});
  }
}

std::string Win32DriveList::List(int index) const {
  if (index < 0 || index >= ListCount()) return {};
  return entries_[static_cast<std::size_t>(index)];
}

// ---- The form ----

Win32MenuForm::Win32MenuForm(ToolkitState& state, toolkit::MenuFormEvents& events) : state_(state), events_(events) {
  // A tool window: never listed in the task bar or the task switcher, even if it were shown.
  HWND hwnd = ::CreateWindowExW(WS_EX_TOOLWINDOW, kMenuFormClass, kMenuFormCaption, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                CW_USEDEFAULT, 240, 120, nullptr, nullptr, state_.instance, this);
  hwnd_ = hwnd;
  if (hwnd_ == nullptr) return;
  loaded_ = true;
  counted_ = true;
  state_.FormLoaded();
}

Win32MenuForm::~Win32MenuForm() {
  loaded_ = false;
  if (hwnd_ != nullptr) ::DestroyWindow(hwnd_);
}

void Win32MenuForm::Show() {
  if (loaded_) ::ShowWindow(hwnd_, SW_SHOW);
}

void Win32MenuForm::Hide() {
  if (loaded_) ::ShowWindow(hwnd_, SW_HIDE);
}

int Win32MenuForm::PopupMenu(const std::vector<toolkit::MenuItem>& items, int defaultItem) {
  if (!loaded_ || items.empty()) return -1;
  ScopedMenu menu(::CreatePopupMenu());
  if (!menu) return -1;
  for (std::size_t i = 0; i < items.size(); ++i) {
    const toolkit::MenuItem& item = items[i];
    const UINT_PTR id = i + 1;  // TrackPopupMenu answers 0 for "nothing chosen"
    if (item.caption == "-") {
      ::AppendMenuW(menu.get(), MF_SEPARATOR, id, nullptr);
      continue;
    }
    // Wide text, so the Cyrillic half shows on every code page.
    std::string text = item.caption;
    if (!item.shortcut.empty()) text += "\t" + item.shortcut;
    ::AppendMenuW(menu.get(), MF_STRING, id, Utf8ToWide(text).c_str());
  }
  if (defaultItem >= 0 && static_cast<std::size_t>(defaultItem) < items.size())
    ::SetMenuDefaultItem(menu.get(), static_cast<UINT>(defaultItem), TRUE);

  POINT at{};
  ::GetCursorPos(&at);
  HWND owner = state_.VisibleMainWindow();
  if (owner == nullptr) owner = hwnd_;
  // The documented pop-up sequence: the owner must be in the foreground or the menu would not
  // close on a click elsewhere, and the posted message lets the menu's own loop end cleanly.
  ::SetForegroundWindow(owner);
  const int chosen = static_cast<int>(
      ::TrackPopupMenu(menu.get(), TPM_LEFTALIGN | TPM_LEFTBUTTON | TPM_RETURNCMD, at.x, at.y, 0, owner, nullptr));
  ::PostMessageW(owner, WM_NULL, 0, 0);
  return chosen > 0 ? chosen - 1 : -1;
}

void Win32MenuForm::UnloadFor(int16_t mode) {
  if (!loaded_ || unloading_) return;
  unloading_ = true;
  int16_t cancel = 0;
  events_.OnQueryUnload(cancel, mode);
  if (cancel == 0) events_.OnUnload(cancel);
  unloading_ = false;
  if (cancel != 0 || !loaded_) return;
  loaded_ = false;
  ::DestroyWindow(hwnd_);
  if (counted_) OnNcDestroy();
}

void Win32MenuForm::OnNcDestroy() {
  loaded_ = false;
  state_.FormWindowGone(hwnd_, counted_);
}

LRESULT CALLBACK Win32MenuForm::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  StoreCreateParam(hwnd, message, lParam);
  auto* self = StoredObject<Win32MenuForm>(hwnd);
  if (self == nullptr) return ::DefWindowProcW(hwnd, message, wParam, lParam);
  if (message == WM_NCCREATE) self->hwnd_ = hwnd;
  return Guarded([&] { return self->HandleMessage(hwnd, message, wParam, lParam); },
                 [&] { return ::DefWindowProcW(hwnd, message, wParam, lParam); });
}

LRESULT Win32MenuForm::HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:
      UnloadFor(toolkit::kUnloadFromControlMenu);
      return 0;
    case WM_ENDSESSION:
      if (wParam != 0) UnloadFor(toolkit::kUnloadFromWindows);
      return 0;
    case WM_NCDESTROY:
      OnNcDestroy();
      break;
    default:
      break;
  }
  return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace tarnvik::win::detail
