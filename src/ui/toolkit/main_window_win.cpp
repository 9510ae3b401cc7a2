// The main window on raw Win32: a borderless, skinned popup holding the report box, the two
// caption-button pictures, the label over the menu glyph and the timer. Each message goes to
// one small handler that raises the program's event.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/late_bound_win.h"
#include "base/start_trace.h"
#include "base/utf_win.h"
#include "tarnvik_version.h"
#include "ui/toolkit/accessible_button_win.h"
#include "ui/toolkit/artwork.h"
#include "ui/toolkit/resource_ids.h"
#include "ui/toolkit/skin.h"
#include "ui/toolkit/toolkit_forms_win.h"

#include <commctrl.h>
#include <dbt.h>
#include <windowsx.h>

namespace tarnvik::win::detail {

using toolkit::PictureId;
using toolkit::WindowState;

namespace {

// The designed caption: the system lists the window by it, and test tools find it by it.
constexpr wchar_t kMainCaption[] = L"QELM Tarnvik " TARNVIK_DISPLAY_VERSION;

constexpr COLORREF kBackground = RGB(244, 238, 220);
constexpr COLORREF kTitleYellow = RGB(243, 241, 0);
constexpr COLORREF kTitleShadow = RGB(24, 40, 72);
constexpr int kTitlePixelHeight = 13;
constexpr int kTitleRight = 252;  // the caption buttons begin at 256
constexpr double kReportBoxDesignPoints = 9.75;

constexpr Geometry kReportBoxDesign{11, 35, 286, 346};
constexpr Geometry kMenuGlyphDesign{0, 0, 24, 24};
constexpr Geometry kCloseButtonDesign{278, 4, 22, 17};
constexpr Geometry kMinimiseButtonDesign{256, 4, 22, 17};
constexpr Geometry kStoreDesign{0, 0, 22, 17};

constexpr UINT_PTR kReportBoxSubclassId = 1;
enum : int { kReportBoxId = 1, kMenuGlyphId = 2, kCloseButtonId = 3, kMinimiseButtonId = 4 };

// Resource of each picture, in PictureId order.
constexpr std::array<int, 4> kPictureResources{IDB_CLOSE_NORMAL, IDB_MINIMISE_NORMAL, IDB_MINIMISE_HOT, IDB_CLOSE_HOT};

// Keys whose release alone opens the keyboard menu mode.
bool IsMenuKey(WPARAM key) { return key == VK_MENU || key == VK_LMENU || key == VK_RMENU || key == VK_F10; }

float MouseX(LPARAM lParam) { return static_cast<float>(GET_X_LPARAM(lParam)); }
float MouseY(LPARAM lParam) { return static_cast<float>(GET_Y_LPARAM(lParam)); }

HBITMAP PictureFor(const std::array<HBITMAP, 4>* table, PictureId picture) {
  const int index = static_cast<int>(picture);
  if (table == nullptr || index < 0 || index >= static_cast<int>(table->size())) return nullptr;
  return (*table)[static_cast<std::size_t>(index)];
}

void FillBackground(HDC dc, const RECT& area) {
  ScopedGdiObject brush(::CreateSolidBrush(kBackground));
  if (brush) ::FillRect(dc, &area, static_cast<HBRUSH>(brush.get()));
}

bool HighContrastOn() {
  HIGHCONTRASTW contrast{};
  contrast.cbSize = sizeof contrast;
  return ::SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0) &&
         (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

// A press by a screen reader (BM_CLICK) counts as the left button's.
int16_t ButtonOfPressOrClick(UINT message) {
  return message == BM_CLICK ? int16_t{toolkit::kLeftButton} : ButtonOfPress(message);
}

}  // namespace

int16_t ShiftStateNow() {
  int16_t shift = 0;
  if (::GetKeyState(VK_SHIFT) < 0) shift |= 1;
  if (::GetKeyState(VK_CONTROL) < 0) shift |= 2;
  if (::GetKeyState(VK_MENU) < 0) shift |= 4;
  return shift;
}

int16_t ButtonsFromMouseKeys(WPARAM keys) {
  int16_t buttons = 0;
  if ((keys & MK_LBUTTON) != 0) buttons |= toolkit::kLeftButton;
  if ((keys & MK_RBUTTON) != 0) buttons |= toolkit::kRightButton;
  if ((keys & MK_MBUTTON) != 0) buttons |= toolkit::kMiddleButton;
  return buttons;
}

int16_t ButtonOfPress(UINT message) {
  switch (message) {
    case WM_LBUTTONDOWN:
      return toolkit::kLeftButton;
    case WM_RBUTTONDOWN:
      return toolkit::kRightButton;
    case WM_MBUTTONDOWN:
      return toolkit::kMiddleButton;
    default:
      return 0;
  }
}

int16_t ShiftFromMouseKeys(WPARAM keys) {
  int16_t shift = 0;
  if ((keys & MK_SHIFT) != 0) shift |= 1;
  if ((keys & MK_CONTROL) != 0) shift |= 2;
  if (::GetKeyState(VK_MENU) < 0) shift |= 4;
  return shift;
}

HBITMAP CreateDibFromPixels(int width, int height, const uint32_t* pixels) {
  if (width <= 0 || height <= 0 || pixels == nullptr) return nullptr;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down rows, as the pixels are laid out
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap == nullptr || bits == nullptr) {
    if (bitmap != nullptr) ::DeleteObject(bitmap);
    return nullptr;
  }
  // 0xAARRGGBB in memory is B, G, R, A: the byte order of a 32-bit DIB.
  std::memcpy(bits, pixels, static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
  return bitmap;
}

// ---- The report box ----

std::string Win32TextBox::Text() const {
  if (hwnd == nullptr) return {};
  const int length = ::GetWindowTextLengthW(hwnd);
  if (length <= 0) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = ::GetWindowTextW(hwnd, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(std::max(copied, 0)));
  return WideToUtf8(text);
}

namespace {

/// Pins a movable local block while its bytes are read or written.
class ScopedLocalLock {
 public:
  explicit ScopedLocalLock(HLOCAL block) : block_(block), data_(static_cast<wchar_t*>(::LocalLock(block))) {}
  ~ScopedLocalLock() {
    if (data_ != nullptr) ::LocalUnlock(block_);
  }
  ScopedLocalLock(const ScopedLocalLock&) = delete;
  ScopedLocalLock& operator=(const ScopedLocalLock&) = delete;
  wchar_t* data() const { return data_; }

 private:
  HLOCAL block_;
  wchar_t* data_;
};

/// Gives the box a new text buffer (EM_SETHANDLE) holding its current text, when `keep`, followed
/// by `added`, and frees the old buffer. Every scroll of the box redraws both of its scroll bars,
/// and that is most of what a text change costs (under Wine each bar takes milliseconds to
/// draw, themed or not). A write through the selection scrolls to the end of the text and back, and a whole-text
/// write scrolls to its end and to its start: eight bar redraws for one write. The swap lays the
/// text out once and sets each bar once. Like a whole-text write, it leaves the caret at the start
/// and the view at the top. False, with the box untouched, when the box has no buffer handle to
/// give (Windows 9x keeps edit text in a 16-bit heap) or memory runs out.
bool SwapTextBuffer(HWND edit, bool keep, std::wstring_view added) {
  const std::size_t shown = keep ? static_cast<std::size_t>(std::max(::GetWindowTextLengthW(edit), 0)) : 0;
  const auto current = reinterpret_cast<HLOCAL>(::SendMessageW(edit, EM_GETHANDLE, 0, 0));
  if (current == nullptr) return false;
  // Never more than the old block holds, whatever the length message said.
  const std::size_t kept = std::min<std::size_t>(shown, ::LocalSize(current) / sizeof(wchar_t));
  ScopedLocalMemory fresh(::LocalAlloc(LMEM_MOVEABLE, (kept + added.size() + 1) * sizeof(wchar_t)));
  if (!fresh) return false;
  {
    const ScopedLocalLock target(fresh.get());
    if (target.data() == nullptr) return false;
    if (kept > 0) {
      const ScopedLocalLock source(current);
      if (source.data() == nullptr) return false;
      std::memcpy(target.data(), source.data(), kept * sizeof(wchar_t));
    }
    std::memcpy(target.data() + kept, added.data(), added.size() * sizeof(wchar_t));
    target.data()[kept + added.size()] = L'\0';
  }
  ::SendMessageW(edit, EM_SETHANDLE, reinterpret_cast<WPARAM>(fresh.take()), 0);
  // The box owns the new block now and no longer reads the old one.
  ::LocalFree(current);
  // A buffer swap tells no one; screen readers learn of the new text as after any other write.
  ::NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, edit, OBJID_CLIENT, CHILDID_SELF);
  return true;
}

/// Where no buffer can be swapped: the text change is made while the box does not draw, and the
/// result is drawn at once, so the passes in between (scrolling to the insertion and back, the
/// caret moving along) neither flicker nor leave marks. The repaint is immediate because where
/// the platform still moves the old pixels while scrolling, they would otherwise stand until the
/// next message pass, a whole drive later.
template <typename Change>
void ChangeUndrawn(HWND edit, Change change) {
  const bool caretHidden = ::HideCaret(edit) != FALSE;
  ::SendMessageW(edit, WM_SETREDRAW, FALSE, 0);
  change();
  ::SendMessageW(edit, WM_SETREDRAW, TRUE, 0);
  ::RedrawWindow(edit, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
  if (caretHidden) ::ShowCaret(edit);
}

}  // namespace

void Win32TextBox::SetText(std::string_view text) {
  if (hwnd == nullptr) return;
  const std::wstring wide = Utf8ToWide(text);
  if (SwapTextBuffer(hwnd, false, wide)) return;
  ChangeUndrawn(hwnd, [&] { ::SetWindowTextW(hwnd, wide.c_str()); });
}

void Win32TextBox::AppendText(std::string_view text) {
  if (hwnd == nullptr || text.empty()) return;
  // The selection and the view are put back afterwards, so a reader scrolled into the report is
  // not moved.
  DWORD selectionStart = 0;
  DWORD selectionEnd = 0;
  ::SendMessageW(hwnd, EM_GETSEL, reinterpret_cast<WPARAM>(&selectionStart), reinterpret_cast<LPARAM>(&selectionEnd));
  const LRESULT firstVisible = ::SendMessageW(hwnd, EM_GETFIRSTVISIBLELINE, 0, 0);
  const std::wstring wide = Utf8ToWide(text);
  const auto putBack = [&] {
    // Each message scrolls only when it has to: nothing is sent for a reader at the top.
    if (selectionStart != 0 || selectionEnd != 0)
      ::SendMessageW(hwnd, EM_SETSEL, selectionStart, static_cast<LPARAM>(selectionEnd));
    const LRESULT nowVisible = ::SendMessageW(hwnd, EM_GETFIRSTVISIBLELINE, 0, 0);
    if (nowVisible != firstVisible)
      ::SendMessageW(hwnd, EM_LINESCROLL, 0, static_cast<LPARAM>(firstVisible - nowVisible));
  };
  if (SwapTextBuffer(hwnd, true, wide)) {
    putBack();
    return;
  }
  ChangeUndrawn(hwnd, [&] {
    // Inserting at the end lays out only the new lines; a whole-text write would lay out all.
    const int length = ::GetWindowTextLengthW(hwnd);
    ::SendMessageW(hwnd, EM_SETSEL, static_cast<WPARAM>(length), static_cast<LPARAM>(length));
    ::SendMessageW(hwnd, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(wide.c_str()));
    ::SendMessageW(hwnd, EM_SETSEL, 0, 0);  // the caret back at the start, as after a swap
    putBack();
  });
}

void Win32TextBox::SetFontSize(double points) {
  if (hwnd == nullptr || !(points > 0) || !std::isfinite(points)) return;
  ScopedGetDc dc(hwnd);
  const int dpiY = dc.get() != nullptr ? ::GetDeviceCaps(dc.get(), LOGPIXELSY) : 96;
  // Fractional sizes (9.75 pt) give a fractional pixel height: round it.
  const int pixels = std::max(static_cast<int>(std::lround(points * dpiY / 72.0)), 1);
  // The layout pass asks for the size the box was made with (9.75 and 10 points are both 13
  // pixels at 96 DPI): the font it has is that font, and a new one would lay the text out again.
  if (font_ && pixels == pixels_) {
    points_ = points;
    return;
  }
  ScopedGdiObject font(::CreateFontW(-pixels, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, RUSSIAN_CHARSET,
                                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                     DEFAULT_PITCH | FF_DONTCARE, L"Tahoma"));
  if (!font) return;
  ::SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
  // The control now draws with the new font, so the old one can go.
  font_ = std::move(font);
  pixels_ = pixels;
  points_ = points;
}

void MoveChild(HWND hwnd, Geometry& at, const Geometry& to) {
  if (hwnd == nullptr || to == at) return;
  if (::MoveWindow(hwnd, to.left, to.top, to.width, to.height, TRUE)) at = to;
}

void Win32TextBox::Move(int left, int top, int width, int height) { MoveChild(hwnd, at, {left, top, width, height}); }

// ---- The menu glyph ----

void Win32Label::Move(int left, int top, int width, int height) { MoveChild(hwnd, at, {left, top, width, height}); }

// ---- Pictures ----

void Win32Picture::SetBitmapTable(const std::array<HBITMAP, 4>* table) {
  table_ = table;
  bitmap_ = PictureFor(table_, picture_);
}

void Win32Picture::SetPictureFrom(const PictureBox& source) {
  const PictureId picture = source.Picture();
  const auto* win32Source = dynamic_cast<const Win32Picture*>(&source);
  HBITMAP bitmap = win32Source != nullptr ? win32Source->bitmap_ : PictureFor(table_, picture);
  // The timer assigns the normal pictures eight times a second: repainting an unchanged
  // picture would make the buttons flicker.
  if (picture == picture_ && bitmap == bitmap_) return;
  picture_ = picture;
  bitmap_ = bitmap;
  if (hwnd != nullptr) ::InvalidateRect(hwnd, nullptr, FALSE);
}

void Win32Picture::SetTop(int top) { SetEdge(&Geometry::top, top); }
void Win32Picture::SetLeft(int left) { SetEdge(&Geometry::left, left); }
void Win32Picture::SetWidth(int width) { SetEdge(&Geometry::width, width); }
void Win32Picture::SetHeight(int height) { SetEdge(&Geometry::height, height); }

void Win32Picture::SetEdge(int Geometry::*edge, int value) {
  if (geometry_.*edge == value) return;
  geometry_.*edge = value;
  Place();
}

void Win32Picture::Place() {
  if (hwnd == nullptr) return;
  ::SetWindowPos(hwnd, nullptr, geometry_.left, geometry_.top, geometry_.width, geometry_.height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

// ---- Timers ----

void Win32Timer::SetInterval(int milliseconds) {
  if (milliseconds < 0) return;  // not a valid interval: the current one stays
  interval_ = milliseconds;
  Apply();
}

void Win32Timer::SetEnabled(bool enabled) {
  enabled_ = enabled;
  Apply();
}

void Win32Timer::Apply() {
  if (owner == nullptr) return;
  // An interval of 0 keeps the timer silent even while it is enabled.
  if (Active()) {
    ::SetTimer(owner, id_, static_cast<UINT>(interval_), nullptr);
  } else {
    ::KillTimer(owner, id_);
  }
}

// ---- The window ----

Win32MainWindow::Win32MainWindow(ToolkitState& state, toolkit::MainWindowEvents& events)
    : state_(state),
      events_(events),
      closeButton_(PictureId::CloseNormal, kCloseButtonDesign),
      minimiseButton_(PictureId::MinimiseNormal, kMinimiseButtonDesign),
      storedPictures_{
          {Win32Picture(PictureId::CloseNormal, kStoreDesign), Win32Picture(PictureId::MinimiseNormal, kStoreDesign),
           Win32Picture(PictureId::MinimiseHot, kStoreDesign), Win32Picture(PictureId::CloseHot, kStoreDesign)}} {
  // First what the window's making and its first paint load: the display (through the work area
  // it is centred on) and msimg32, which the themes load at their first blended draw. Any other
  // thread may hold the loader for long at a library's first load (the management service's
  // first question does, for tens of milliseconds under Wine); the window then waits for none.
  RECT work{};
  if (!::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0))
    work = {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
  LoadSystemLibrary(L"msimg32.dll");
  LoadPictures();
  PrepareSkin();
  // Borderless, but with a system menu and a minimise box so the task-bar button can
  // minimise and restore it; the app-window style gives it that button. Made where it first
  // shows, centred on the work area: its size never changes, and a move costs a round trip.
  const DWORD style = WS_POPUP | WS_MINIMIZEBOX | WS_SYSMENU | WS_CLIPCHILDREN;
  const int left = work.left + ((work.right - work.left) - kWindowWidth) / 2;
  const int top = work.top + ((work.bottom - work.top) - kWindowHeight) / 2;
  HWND hwnd = ::CreateWindowExW(WS_EX_APPWINDOW, kMainWindowClass, kMainCaption, style, left, top, kWindowWidth,
                                kWindowHeight, nullptr, nullptr, state_.instance, this);
  hwnd_ = hwnd;
  if (hwnd_ == nullptr) return;
  loaded_ = true;
  counted_ = true;
  state_.FormLoaded();
  state_.SetMainWindow(hwnd_);
  windowTimer_.owner = hwnd_;
  highContrast_ = HighContrastOn();
  noticeTimer_.owner = hwnd_;
  CreateControls();
}

Win32MainWindow::~Win32MainWindow() {
  // The program is going away: destroy the native window without raising its events.
  loaded_ = false;
  if (hwnd_ != nullptr) ::DestroyWindow(hwnd_);
}

void Win32MainWindow::LoadPictures() {
  for (std::size_t i = 0; i < kPictureResources.size(); ++i) {
    pictureBitmaps_[i].reset(
        ::LoadImageW(state_.instance, MAKEINTRESOURCEW(kPictureResources[i]), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    pictureTable_[i] = static_cast<HBITMAP>(pictureBitmaps_[i].get());
  }
  closeButton_.SetBitmapTable(&pictureTable_);
  minimiseButton_.SetBitmapTable(&pictureTable_);
  for (Win32Picture& picture : storedPictures_) picture.SetBitmapTable(&pictureTable_);
}

void Win32MainWindow::PrepareSkin() {
  const art::Bitmap skin = art::DrawSkin();
  if (skin.pixels.size() != static_cast<std::size_t>(skin.width) * static_cast<std::size_t>(skin.height)) return;
  skin_.reset(CreateDibFromPixels(skin.width, skin.height, skin.pixels.data()));
  if (!skin_) return;

  // The title goes onto the skin once, so painting is a single copy.
  ScopedMemoryDc dc(::CreateCompatibleDC(nullptr));
  if (!dc) return;
  ScopedSelectObject selectSkin(dc.get(), skin_.get());
  ScopedGdiObject font(::CreateFontW(-kTitlePixelHeight, 0, 0, 0, FW_BOLD, TRUE, FALSE, FALSE, DEFAULT_CHARSET,
                                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS,
                                     L"Tahoma"));
  ScopedSelectObject selectFont(dc.get(), font ? font.get() : ::GetStockObject(DEFAULT_GUI_FONT));
  ::SetBkMode(dc.get(), TRANSPARENT);
  constexpr UINT kFormat = DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS;
  RECT band{art::kTitleTextLeft + 1, 1, kTitleRight + 1, kTitleBandHeight + 1};
  ::SetTextColor(dc.get(), kTitleShadow);
  ::DrawTextW(dc.get(), kMainCaption, -1, &band, kFormat);
  ::OffsetRect(&band, -1, -1);
  ::SetTextColor(dc.get(), kTitleYellow);
  ::DrawTextW(dc.get(), kMainCaption, -1, &band, kFormat);
  ::GdiFlush();
}

void Win32MainWindow::CreateControls() {
  constexpr DWORD kReportBoxStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE |
                                    ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL;
  reportBox_.hwnd =
      ::CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"", kReportBoxStyle, kReportBoxDesign.left, kReportBoxDesign.top,
                        kReportBoxDesign.width, kReportBoxDesign.height, hwnd_,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kReportBoxId)), state_.instance, nullptr);
  if (reportBox_.hwnd != nullptr) {
    reportBox_.at = kReportBoxDesign;
    ::SendMessageW(reportBox_.hwnd, EM_SETLIMITTEXT, 0, 0);  // 0: as much text as the control can hold
    ::SetWindowSubclass(reportBox_.hwnd, &ReportBoxProc, kReportBoxSubclassId, reinterpret_cast<DWORD_PTR>(this));
    reportBox_.SetFontSize(kReportBoxDesignPoints);
  }
  // The controls' texts are never drawn: they are what a screen reader calls them.
  menuGlyph_.hwnd =
      ::CreateWindowExW(0, kLabelClass, Utf8ToWide(kMenuGlyphName).c_str(), WS_CHILD | WS_VISIBLE,
                        kMenuGlyphDesign.left, kMenuGlyphDesign.top, kMenuGlyphDesign.width, kMenuGlyphDesign.height,
                        hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kMenuGlyphId)), state_.instance, this);
  if (menuGlyph_.hwnd != nullptr) menuGlyph_.at = kMenuGlyphDesign;
  closeButton_.hwnd =
      ::CreateWindowExW(0, kPictureClass, Utf8ToWide(kCloseButtonName).c_str(), WS_CHILD | WS_VISIBLE,
                        closeButton_.Left(), closeButton_.Top(), closeButton_.Width(), closeButton_.Height(), hwnd_,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kCloseButtonId)), state_.instance, &closeButton_);
  minimiseButton_.hwnd = ::CreateWindowExW(
      0, kPictureClass, Utf8ToWide(kMinimiseButtonName).c_str(), WS_CHILD | WS_VISIBLE, minimiseButton_.Left(),
      minimiseButton_.Top(), minimiseButton_.Width(), minimiseButton_.Height(), hwnd_,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(kMinimiseButtonId)), state_.instance, &minimiseButton_);
}

toolkit::PictureBox& Win32MainWindow::StoredPicture(int index) {
  // The store has four entries; an index outside it falls on the nearest one rather than
  // failing inside an event handler.
  return storedPictures_[static_cast<std::size_t>(std::clamp(index, 0, static_cast<int>(storedPictures_.size()) - 1))];
}

void Win32MainWindow::Show() {
  if (!loaded_) return;
  if (shown_) {
    ::ShowWindow(hwnd_, SW_SHOW);
    return;
  }
  // The first showing lays the window out before it appears; size events reach the layout pass
  // only from now on.
  resizing_ = true;
  events_.OnResize();
  resizing_ = false;
  if (!loaded_) return;
  ::ShowWindow(hwnd_, SW_SHOW);
  TraceStart("main window on the screen");
  shown_ = true;
}

void Win32MainWindow::Hide() {
  if (loaded_) ::ShowWindow(hwnd_, SW_HIDE);
}

WindowState Win32MainWindow::GetWindowState() const {
  if (hwnd_ == nullptr) return WindowState::Normal;
  if (::IsIconic(hwnd_)) return WindowState::Minimized;
  if (::IsZoomed(hwnd_)) return WindowState::Maximized;
  return WindowState::Normal;
}

void Win32MainWindow::SetWindowState(WindowState state) {
  if (!loaded_ || state == GetWindowState()) return;
  switch (state) {
    case WindowState::Minimized:
      ::ShowWindow(hwnd_, SW_MINIMIZE);
      break;
    case WindowState::Maximized:
      ::ShowWindow(hwnd_, SW_MAXIMIZE);
      break;
    case WindowState::Normal:
      ::ShowWindow(hwnd_, SW_RESTORE);
      break;
  }
}

double Win32MainWindow::Left() const {
  RECT r{};
  return hwnd_ != nullptr && ::GetWindowRect(hwnd_, &r) ? r.left : 0.0;
}

double Win32MainWindow::Top() const {
  RECT r{};
  return hwnd_ != nullptr && ::GetWindowRect(hwnd_, &r) ? r.top : 0.0;
}

namespace {
// Window coordinates are ints; a far drag must not overflow the conversion.
int ToCoordinate(double value) { return static_cast<int>(std::lround(std::clamp(value, -1.0e9, 1.0e9))); }
}  // namespace

// Like the platform's forms, a minimised or maximised window is neither moved nor sized.
void Win32MainWindow::SetLeft(double left) {
  RECT r{};
  if (!loaded_ || GetWindowState() != WindowState::Normal || !::GetWindowRect(hwnd_, &r)) return;
  ::SetWindowPos(hwnd_, nullptr, ToCoordinate(left), r.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32MainWindow::SetTop(double top) {
  RECT r{};
  if (!loaded_ || GetWindowState() != WindowState::Normal || !::GetWindowRect(hwnd_, &r)) return;
  ::SetWindowPos(hwnd_, nullptr, r.left, ToCoordinate(top), 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32MainWindow::SetSize(int width, int height) {
  if (!loaded_ || GetWindowState() != WindowState::Normal) return;
  // The layout pass sets the size the window already has; an unchanged size still costs a
  // round of position messages.
  RECT now{};
  if (::GetWindowRect(hwnd_, &now) && now.right - now.left == width && now.bottom - now.top == height) return;
  // Borderless: the outer size is the client size.
  ::SetWindowPos(hwnd_, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int Win32MainWindow::LogPixelsX() {
  if (!loaded_) return 0;
  ScopedGetDc dc(hwnd_);
  return dc.get() != nullptr ? ::GetDeviceCaps(dc.get(), LOGPIXELSX) : 0;
}

void Win32MainWindow::Refresh() {
  if (loaded_) ::RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

int Win32MainWindow::PopupMenu(const std::vector<toolkit::MenuItem>& items, int defaultItem) {
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
  // The documented pop-up sequence: the owner must be in the foreground or the menu would not
  // close on a click elsewhere, and the posted message lets the menu's own loop end cleanly.
  ::SetForegroundWindow(hwnd_);
  const int chosen = static_cast<int>(
      ::TrackPopupMenu(menu.get(), TPM_LEFTALIGN | TPM_LEFTBUTTON | TPM_RETURNCMD, at.x, at.y, 0, hwnd_, nullptr));
  ::PostMessageW(hwnd_, WM_NULL, 0, 0);
  return chosen > 0 ? chosen - 1 : -1;
}

void Win32MainWindow::UnloadFor(int16_t mode) {
  // A second request while the handlers run (their message pass can deliver one) is ignored.
  if (!loaded_ || unloading_) return;
  unloading_ = true;
  int16_t cancel = 0;
  events_.OnQueryUnload(cancel, mode);
  if (cancel == 0) events_.OnUnload(cancel);
  unloading_ = false;
  if (cancel != 0 || !loaded_) return;
  // From here the object is inert; it stays valid because a handler may still be on the stack.
  loaded_ = false;
  ::DestroyWindow(hwnd_);
  if (counted_) OnNcDestroy();  // the window refused to go: forget it all the same
}

// ---- Painting ----

void Win32MainWindow::PaintSurface(HDC dc, const RECT& area, int originX, int originY) const {
  if (!skin_) {
    FillBackground(dc, area);
    return;
  }
  ScopedMemoryDc memory(::CreateCompatibleDC(dc));
  if (!memory) {
    FillBackground(dc, area);
    return;
  }
  ScopedSelectObject select(memory.get(), skin_.get());
  ::BitBlt(dc, area.left, area.top, area.right - area.left, area.bottom - area.top, memory.get(), area.left + originX,
           area.top + originY, SRCCOPY);
}

void Win32MainWindow::OnPaint() {
  PAINTSTRUCT paint{};
  HDC dc = ::BeginPaint(hwnd_, &paint);
  if (dc != nullptr) PaintSurface(dc, paint.rcPaint, 0, 0);
  ::EndPaint(hwnd_, &paint);
}

void Win32MainWindow::PaintPicture(const Win32Picture& picture, HWND hwnd) const {
  PAINTSTRUCT paint{};
  HDC dc = ::BeginPaint(hwnd, &paint);
  if (dc == nullptr) return;
  BITMAP info{};
  if (picture.Bitmap() != nullptr && ::GetObjectW(picture.Bitmap(), sizeof info, &info) != 0) {
    ScopedMemoryDc memory(::CreateCompatibleDC(dc));
    if (memory) {
      ScopedSelectObject select(memory.get(), picture.Bitmap());
      ::BitBlt(dc, 0, 0, info.bmWidth, info.bmHeight, memory.get(), 0, 0, SRCCOPY);
      ::ExcludeClipRect(dc, 0, 0, info.bmWidth, info.bmHeight);
    }
  }
  // Whatever the picture leaves uncovered shows the skin, as if the control were not there.
  PaintSurface(dc, paint.rcPaint, picture.Left(), picture.Top());
  ::EndPaint(hwnd, &paint);
}

// ---- Messages of the window ----

LRESULT CALLBACK Win32MainWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  StoreCreateParam(hwnd, message, lParam);
  auto* self = StoredObject<Win32MainWindow>(hwnd);
  if (self == nullptr) return ::DefWindowProcW(hwnd, message, wParam, lParam);
  if (message == WM_NCCREATE) self->hwnd_ = hwnd;
  return Guarded([&] { return self->HandleMessage(hwnd, message, wParam, lParam); },
                 [&] { return ::DefWindowProcW(hwnd, message, wParam, lParam); });
}

LRESULT Win32MainWindow::HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND:
      return 1;  // the paint covers everything
    case WM_PAINT:
      OnPaint();
      return 0;
    case WM_SIZE:
      OnSize();
      return 0;
    case WM_SETFOCUS:
      // The report box is the only control that takes the keyboard.
      if (reportBox_.hwnd != nullptr) ::SetFocus(reportBox_.hwnd);
      return 0;
    case WM_LBUTTONDOWN:
      OnMouseDown(toolkit::kLeftButton, wParam, lParam);
      return 0;
    case WM_RBUTTONDOWN:
      OnMouseDown(toolkit::kRightButton, wParam, lParam);
      return 0;
    case WM_MBUTTONDOWN:
      OnMouseDown(toolkit::kMiddleButton, wParam, lParam);
      return 0;
    case WM_MOUSEMOVE:
      OnMouseMove(wParam, lParam);
      return 0;
    case WM_LBUTTONUP:
      OnMouseUp(toolkit::kLeftButton, wParam, lParam);
      return 0;
    case WM_RBUTTONUP:
      OnMouseUp(toolkit::kRightButton, wParam, lParam);
      return 0;
    case WM_MBUTTONUP:
      OnMouseUp(toolkit::kMiddleButton, wParam, lParam);
      return 0;
    case WM_TIMER:
      OnTimer(wParam);
      return 0;
    case WM_CTLCOLORSTATIC:  // what a read-only edit asks
    case WM_CTLCOLOREDIT:
      return OnCtlColor(reinterpret_cast<HDC>(wParam));
    case WM_SETTINGCHANGE:
    case WM_SYSCOLORCHANGE:
      OnColoursChanged();
      break;
    case WM_DEVICECHANGE:
      OnDeviceChange(wParam, lParam);
      return TRUE;  // never BROADCAST_QUERY_DENY: the program stands in no removal's way
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

void Win32MainWindow::OnSize() {
  // The layout pass sets the size itself, which raises another size event: not re-entered.
  if (!loaded_ || !shown_ || resizing_) return;
  resizing_ = true;
  events_.OnResize();
  resizing_ = false;
}

void Win32MainWindow::OnMouseDown(int16_t button, WPARAM wParam, LPARAM lParam) {
  if (!loaded_) return;
  // While a button is held the window keeps receiving moves outside itself, so a drag
  // follows the mouse past the window's edge. Positions come from each message, never from
  // the cursor now: events can arrive faster than they are handled.
  ::SetCapture(hwnd_);
  events_.OnMouseDown(button, ShiftFromMouseKeys(wParam), MouseX(lParam), MouseY(lParam));
}

void Win32MainWindow::OnMouseMove(WPARAM wParam, LPARAM lParam) {
  if (!loaded_) return;
  events_.OnMouseMove(ButtonsFromMouseKeys(wParam), ShiftFromMouseKeys(wParam), MouseX(lParam), MouseY(lParam));
}

void Win32MainWindow::OnMouseUp(int16_t button, WPARAM wParam, LPARAM lParam) {
  if (!loaded_) return;
  events_.OnMouseUp(button, ShiftFromMouseKeys(wParam), MouseX(lParam), MouseY(lParam));
  const bool buttonsHeld = ButtonsFromMouseKeys(wParam) != 0;
  if (hwnd_ != nullptr && !buttonsHeld && ::GetCapture() == hwnd_) ::ReleaseCapture();
}

void Win32MainWindow::OnTimer(WPARAM id) {
  // A tick already queued when the timer was switched off is dropped.
  if (!loaded_) return;
  if (id == windowTimer_.Id() && windowTimer_.Active()) events_.OnWindowTimer();
  if (id == noticeTimer_.Id() && noticeTimer_.Active()) events_.OnNoticeTimer();
}

void Win32MainWindow::OnDeviceChange(WPARAM event, LPARAM data) {
  if (!loaded_) return;
  toolkit::DeviceNotice notice;
  notice.event = static_cast<uint32_t>(event);
  // Only the DBT_DEVICE* events carry a header; nothing past it is read unless the size it
  // states covers it.
  const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
  if (event >= DBT_DEVICEARRIVAL && event <= DBT_CUSTOMEVENT && header != nullptr &&
      header->dbch_size >= sizeof(DEV_BROADCAST_HDR)) {
    notice.deviceType = header->dbch_devicetype;
    if (header->dbch_devicetype == DBT_DEVTYP_VOLUME && header->dbch_size >= sizeof(DEV_BROADCAST_VOLUME)) {
      const auto* volume = reinterpret_cast<const DEV_BROADCAST_VOLUME*>(header);
      notice.unitMask = volume->dbcv_unitmask;
      notice.flags = volume->dbcv_flags;
    }
  }
  events_.OnDeviceChange(notice);
}

void Win32MainWindow::OnColoursChanged() {
  highContrast_ = HighContrastOn();
  if (reportBox_.hwnd != nullptr) ::InvalidateRect(reportBox_.hwnd, nullptr, TRUE);
}

LRESULT Win32MainWindow::OnCtlColor(HDC dc) {
  // High contrast gives the report the system's own window colours; the skin stays as it is.
  if (highContrast_) {
    ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
    ::SetBkColor(dc, ::GetSysColor(COLOR_WINDOW));
    return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_WINDOW));
  }
  ::SetTextColor(dc, RGB(0, 0, 0));
  ::SetBkColor(dc, RGB(255, 255, 255));
  return reinterpret_cast<LRESULT>(::GetStockObject(WHITE_BRUSH));
}

void Win32MainWindow::OnNcDestroy() {
  loaded_ = false;
  windowTimer_.owner = nullptr;  // the window's timers die with it
  noticeTimer_.owner = nullptr;
  reportBox_.hwnd = nullptr;
  menuGlyph_.hwnd = nullptr;
  closeButton_.hwnd = nullptr;
  minimiseButton_.hwnd = nullptr;
  if (hwnd_ != nullptr) state_.ForgetMainWindow(hwnd_);
  state_.FormWindowGone(hwnd_, counted_);
  // Nothing draws any more: the pictures go with the window, not with the program.
  skin_.reset();
  for (ScopedGdiObject& bitmap : pictureBitmaps_) bitmap.reset();
  pictureTable_ = {};
}

// ---- Messages of the controls ----

LRESULT CALLBACK Win32MainWindow::PictureProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  StoreCreateParam(hwnd, message, lParam);
  auto* picture = StoredObject<Win32Picture>(hwnd);
  auto* window = StoredObject<Win32MainWindow>(::GetParent(hwnd));
  if (picture == nullptr || window == nullptr) return ::DefWindowProcW(hwnd, message, wParam, lParam);
  return Guarded([&] { return window->HandlePictureMessage(*picture, hwnd, message, wParam, lParam); },
                 [&] { return ::DefWindowProcW(hwnd, message, wParam, lParam); });
}

LRESULT Win32MainWindow::HandlePictureMessage(const Win32Picture& picture, HWND hwnd, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
  const bool close = &picture == &closeButton_;
  const int16_t shift = ShiftFromMouseKeys(wParam);
  const int16_t pressed = ButtonOfPressOrClick(message);
  switch (message) {
    case WM_ERASEBKGND:
      return 1;
    case WM_GETOBJECT:
      if (const LRESULT answer = AnswerAsPushButton(hwnd, wParam, lParam); answer != 0) return answer;
      break;
    case WM_PAINT:
      PaintPicture(picture, hwnd);
      return 0;
    case WM_MOUSEMOVE:
      if (!loaded_) return 0;
      if (close) {
        events_.OnCloseButtonMouseMove(ButtonsFromMouseKeys(wParam), shift, MouseX(lParam), MouseY(lParam));
      } else {
        events_.OnMinimiseButtonMouseMove(ButtonsFromMouseKeys(wParam), shift, MouseX(lParam), MouseY(lParam));
      }
      return 0;
    case WM_NCDESTROY:
      ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      break;
    default:
      break;
  }
  if (pressed == 0) return ::DefWindowProcW(hwnd, message, wParam, lParam);
  if (!loaded_) return 0;
  if (close) {
    events_.OnCloseButtonMouseDown(pressed, shift, MouseX(lParam), MouseY(lParam));
  } else {
    events_.OnMinimiseButtonMouseDown(pressed, shift, MouseX(lParam), MouseY(lParam));
  }
  return 0;
}

LRESULT CALLBACK Win32MainWindow::LabelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  StoreCreateParam(hwnd, message, lParam);
  auto* window = StoredObject<Win32MainWindow>(hwnd);
  if (window == nullptr) return ::DefWindowProcW(hwnd, message, wParam, lParam);
  return Guarded([&] { return window->HandleLabelMessage(hwnd, message, wParam, lParam); },
                 [&] { return ::DefWindowProcW(hwnd, message, wParam, lParam); });
}

LRESULT Win32MainWindow::HandleLabelMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  const int16_t shift = ShiftFromMouseKeys(wParam);
  const int16_t pressed = ButtonOfPressOrClick(message);
  switch (message) {
    case WM_ERASEBKGND:
      return 1;
    case WM_GETOBJECT:
      if (const LRESULT answer = AnswerAsPushButton(hwnd, wParam, lParam); answer != 0) return answer;
      break;
    case WM_PAINT: {
      // A transparent label: it shows the window's own surface beneath it.
      PAINTSTRUCT paint{};
      HDC dc = ::BeginPaint(hwnd, &paint);
      POINT origin{0, 0};
      if (hwnd_ != nullptr) ::MapWindowPoints(hwnd, hwnd_, &origin, 1);
      if (dc != nullptr) PaintSurface(dc, paint.rcPaint, origin.x, origin.y);
      ::EndPaint(hwnd, &paint);
      return 0;
    }
    case WM_MOUSEMOVE:
      if (loaded_) events_.OnMenuGlyphMouseMove(ButtonsFromMouseKeys(wParam), shift, MouseX(lParam), MouseY(lParam));
      return 0;
    case WM_NCDESTROY:
      ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      break;
    default:
      break;
  }
  if (pressed == 0) return ::DefWindowProcW(hwnd, message, wParam, lParam);
  if (loaded_) events_.OnMenuGlyphMouseDown(pressed, shift, MouseX(lParam), MouseY(lParam));
  return 0;
}

LRESULT CALLBACK Win32MainWindow::ReportBoxProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                                DWORD_PTR refData) {
  auto* window = reinterpret_cast<Win32MainWindow*>(refData);
  return Guarded([&] { return window->HandleReportBoxMessage(hwnd, message, wParam, lParam); },
                 [&] { return ::DefSubclassProc(hwnd, message, wParam, lParam); });
}

LRESULT Win32MainWindow::HandleReportBoxMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {  // Alt+F5 arrives as a system key
      if (!loaded_) break;
      auto keyCode = static_cast<int16_t>(wParam);
      ++keyHandlerDepth_;
      events_.OnReportBoxKeyDown(keyCode, ShiftStateNow());
      --keyHandlerDepth_;
      // The handler may have closed the window, or swallowed the key by clearing it;
      // otherwise the box handles the key as the handler left it.
      if (reportBox_.hwnd != hwnd || keyCode == 0) return 0;
      return ::DefSubclassProc(hwnd, message, static_cast<WPARAM>(static_cast<uint16_t>(keyCode)), lParam);
    }
    case WM_KEYUP:
    case WM_SYSKEYUP:
      // A handler that lets messages through (a report build after Alt+F5) can see Alt come
      // up before the default handling has seen the key pressed with it. That handling would
      // take it for Alt pressed alone and enter the invisible menu mode, a modal loop that
      // holds the handler until the next key. Such a release is kept from it.
      if (keyHandlerDepth_ > 0 && IsMenuKey(wParam)) return 0;
      break;
    case WM_NCDESTROY:
      ::RemoveWindowSubclass(hwnd, &ReportBoxProc, kReportBoxSubclassId);
      break;
    default:
      break;
  }
  return ::DefSubclassProc(hwnd, message, wParam, lParam);
}

}  // namespace tarnvik::win::detail
