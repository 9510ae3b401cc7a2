// The Win32 toolkit: the application object, the services the program asks of the platform
// (message pass, message box, starting a process) and the message loop.
#include "ui/toolkit/toolkit_win.h"

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "base/module_path_win.h"
#include "base/scoped_win.h"
#include "base/utf_win.h"
#include "base/workers_win.h"
#include "ui/toolkit/resource_ids.h"
#include "ui/toolkit/toolkit_forms_win.h"

namespace tarnvik::win {

// ---- Text rules at the Windows edge ----

std::string LoneCrToCrLf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (std::size_t i = 0; i < text.size(); ++i) {
    out.push_back(text[i]);
    if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')) out.push_back('\n');
  }
  return out;
}

std::wstring ExeNameOfModulePath(std::wstring_view path) {
  const std::size_t separator = path.find_last_of(L"\\/");
  std::wstring name(separator == std::wstring_view::npos ? path : path.substr(separator + 1));
  const std::size_t dot = name.rfind(L'.');
  if (dot != std::wstring::npos) name.resize(dot);
  return name;
}

std::wstring InstanceMutexName(std::wstring_view upperPath) {
  constexpr std::size_t kLongestName = 259;  // object names are limited to MAX_PATH characters
  const std::wstring prefix = L"Local\\";
  std::wstring body(upperPath);
  for (wchar_t& c : body) {
    if (c == L'\\') c = L'/';  // a backslash would name a namespace
  }
  if (prefix.size() + body.size() <= kLongestName) return prefix + body;

  // Too long: the tail of the path, made unique again by a hash of the whole path (FNV-1a).
  uint64_t hash = 14695981039346656037ull;
  for (wchar_t c : body) {
    hash ^= static_cast<uint16_t>(c);
    hash *= 1099511628211ull;
  }
  std::wstring hex(16, L'0');
  for (int i = 15; i >= 0; --i, hash >>= 4) hex[static_cast<std::size_t>(i)] = L"0123456789ABCDEF"[hash & 0xF];
  const std::wstring head = prefix + hex + L"/";
  return head + body.substr(body.size() - (kLongestName - head.size()));
}

std::wstring FirstCommandToken(std::wstring_view commandLine) {
  const std::size_t start = commandLine.find_first_not_of(L" \t");
  if (start == std::wstring_view::npos) return {};
  if (commandLine[start] == L'"') {
    const std::size_t close = commandLine.find(L'"', start + 1);
    const std::size_t end = close == std::wstring_view::npos ? commandLine.size() : close;
    return std::wstring(commandLine.substr(start + 1, end - start - 1));
  }
  const std::size_t end = commandLine.find_first_of(L" \t", start);
  return std::wstring(commandLine.substr(start, end == std::wstring_view::npos ? end : end - start));
}

std::wstring ResolveInFolders(std::wstring_view commandLine, const std::vector<std::wstring>& folders,
                              const std::function<bool(const std::wstring&)>& fileExists) {
  std::wstring program = FirstCommandToken(commandLine);
  // Only a bare name is searched for; a name with a folder or drive means what it says.
  if (program.empty() || program.find_first_of(L"\\/:") != std::wstring::npos) return {};
  if (program.find(L'.') == std::wstring::npos) program += L".exe";
  for (const std::wstring& folder : folders) {
    if (folder.empty()) continue;
    std::wstring candidate = folder;
    if (candidate.back() != L'\\' && candidate.back() != L'/') candidate.push_back(L'\\');
    candidate += program;
    if (fileExists(candidate)) return candidate;
  }
  return {};
}

std::wstring ResolveInSystemFolders(std::wstring_view commandLine) {
  std::vector<std::wstring> folders;
  std::array<wchar_t, MAX_PATH + 1> buffer{};
  UINT length = ::GetSystemDirectoryW(buffer.data(), static_cast<UINT>(buffer.size()));
  if (length > 0 && length < buffer.size()) folders.emplace_back(buffer.data(), length);
  length = ::GetWindowsDirectoryW(buffer.data(), static_cast<UINT>(buffer.size()));
  if (length > 0 && length < buffer.size()) folders.emplace_back(buffer.data(), length);
  return ResolveInFolders(commandLine, folders, [](const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  });
}

int ShowCommandForWindowStyle(int windowStyle) {
  switch (windowStyle) {
    case 0:
      return SW_HIDE;
    case 1:
      return SW_SHOWNORMAL;
    case 2:
      return SW_SHOWMINIMIZED;
    case 3:
      return SW_SHOWMAXIMIZED;
    case 4:
      return SW_SHOWNOACTIVATE;
    case 6:
      return SW_SHOWMINNOACTIVE;
    default:
      return SW_SHOWNORMAL;
  }
}

// ---- Shared state of the forms ----

namespace detail {

void ToolkitState::FormWindowGone(HWND& hwnd, bool& counted) {
  if (hwnd != nullptr) {
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    hwnd = nullptr;
  }
  if (!counted) return;
  counted = false;
  if (loadedForms_ > 0 && --loadedForms_ == 0) ::PostQuitMessage(0);
}

HWND ToolkitState::VisibleMainWindow() const {
  if (mainWindow_ == nullptr || !::IsWindow(mainWindow_) || !::IsWindowVisible(mainWindow_)) return nullptr;
  return mainWindow_;
}

}  // namespace detail

// ---- The toolkit ----

namespace {

// The classes live as long as the process; the icons are shared resources the system frees.
void RegisterClassesOnce(HINSTANCE instance) {
  static bool registered = false;
  if (registered) return;
  registered = true;

  const auto icon = [instance](int size) {
    return static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(IDI_TARNVIK), IMAGE_ICON, size, size, LR_SHARED));
  };
  const auto registerClass = [instance](const wchar_t* name, WNDPROC proc, const wchar_t* cursor,
                                        HBRUSH background = nullptr, HICON largeIcon = nullptr, HICON smallIcon = nullptr) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = proc;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorW(nullptr, cursor);
    windowClass.hbrBackground = background;
    windowClass.hIcon = largeIcon;
    windowClass.hIconSm = smallIcon;
    windowClass.lpszClassName = name;
    ::RegisterClassExW(&windowClass);
  };
  registerClass(detail::kMainWindowClass, &detail::Win32MainWindow::WindowProc, IDC_ARROW, nullptr,
                icon(::GetSystemMetrics(SM_CXICON)), icon(::GetSystemMetrics(SM_CXSMICON)));
  registerClass(detail::kPictureClass, &detail::Win32MainWindow::PictureProc, IDC_ARROW);
  registerClass(detail::kLabelClass, &detail::Win32MainWindow::LabelProc, IDC_HAND);  // the glyph is a thing to press
}

}  // namespace

unsigned WakeMaskForVersion(unsigned major, unsigned minor) {
  // Touch and pen input have wake bits of their own from Windows 8 on; older versions refuse
  // the whole wait when they see them.
  constexpr unsigned kTouch = 0x0800;    // QS_TOUCH
  constexpr unsigned kPointer = 0x1000;  // QS_POINTER
  const bool eightOrLater = major > 6 || (major == 6 && minor >= 2);
  return QS_ALLINPUT | (eightOrLater ? kTouch | kPointer : 0u);
}

struct Win32Toolkit::Impl {
  detail::ToolkitState state;
  ThreadWorkers workers;
  std::string title;
  std::wstring modulePath;
  ScopedKernelHandle instanceMutex;
  bool prevInstance = false;
  unsigned wakeMask = QS_ALLINPUT;
};

Win32Toolkit::Win32Toolkit(InstanceCheck check) : impl_(std::make_unique<Impl>()) {
  impl_->state.instance = ::GetModuleHandleW(nullptr);
  RegisterClassesOnce(impl_->state.instance);
  impl_->modulePath = ModulePath();
  const DWORD version = ::GetVersion();
  impl_->wakeMask = WakeMaskForVersion(LOBYTE(LOWORD(version)), HIBYTE(LOWORD(version)));

  // The previous-instance flag. A named mutex, taken now and held until the process ends, is
  // named after this executable's full path, so "an earlier instance of this same program"
  // means the same file, in this session (Local\). Finding the mutex already there
  // (ERROR_ALREADY_EXISTS, or ERROR_ACCESS_DENIED when another account made it) means such an
  // instance still runs. The system removes the mutex with the last process holding it, so a
  // crashed instance never blocks a new start. Without a module path there is no flag.
  if (check == InstanceCheck::Take && !impl_->modulePath.empty()) {
    std::wstring upper = impl_->modulePath;
    ::CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
    const std::wstring name = InstanceMutexName(upper);
    impl_->instanceMutex.reset(::CreateMutexW(nullptr, FALSE, name.c_str()));
    const DWORD error = ::GetLastError();
    impl_->prevInstance = impl_->instanceMutex ? error == ERROR_ALREADY_EXISTS : error == ERROR_ACCESS_DENIED;
  }
}

Win32Toolkit::~Win32Toolkit() = default;

void Win32Toolkit::ReleaseInstance() { impl_->instanceMutex.reset(); }

std::unique_ptr<toolkit::MainWindow> Win32Toolkit::LoadMainWindow(toolkit::MainWindowEvents& events) {
  return std::make_unique<detail::Win32MainWindow>(impl_->state, events);
}

void Win32Toolkit::DoEvents() {
  MSG message{};
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    // The quit belongs to the message loop further out: put it back and stop here.
    if (message.message == WM_QUIT) {
      ::PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

void Win32Toolkit::WaitEvents() {
  const HANDLE wake = impl_->workers.WakeEvent();
  // MWMO_INPUTAVAILABLE: messages already seen by an earlier peek still end the wait.
  ::MsgWaitForMultipleObjectsEx(wake != nullptr ? 1 : 0, &wake, INFINITE, impl_->wakeMask, MWMO_INPUTAVAILABLE);
  DoEvents();
}

void Win32Toolkit::Wake() { impl_->workers.Wake(); }

bool Win32Toolkit::RunInBackground(std::function<void()> work) { return impl_->workers.Start(std::move(work)); }

int Win32Toolkit::MsgBox(std::string_view text, int style, std::string_view title) {
  const std::wstring wideText = Utf8ToWide(LoneCrToCrLf(text));
  // Without a title of its own, a box carries the application's.
  const std::wstring wideTitle = Utf8ToWide(title.empty() ? std::string_view(impl_->title) : title);
  return ::MessageBoxW(impl_->state.VisibleMainWindow(), wideText.c_str(), wideTitle.c_str(), static_cast<UINT>(style));
}

bool Win32Toolkit::Shell(std::string_view commandLine, int windowStyle) {
  const std::wstring command = Utf8ToWide(commandLine);
  if (command.empty()) return false;
  // A bare program name would be looked for in the current folder first, where anybody may
  // have put a file of that name: take it from the system folders when it is there.
  const std::wstring application = ResolveInSystemFolders(command);
  std::wstring mutableCommand = command;  // CreateProcessW may write into its command line
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(ShowCommandForWindowStyle(windowStyle));
  PROCESS_INFORMATION process{};
  // The started program gets the system's error mode, not the one this program set for its
  // drive queries: Notepad should report a missing disk as any program would.
  if (!::CreateProcessW(application.empty() ? nullptr : application.c_str(), mutableCommand.data(), nullptr, nullptr,
                        FALSE, CREATE_DEFAULT_ERROR_MODE, nullptr, nullptr, &startup, &process))
    return false;
  // Not waited for: the handles are only closed.
  ScopedKernelHandle processHandle(process.hProcess);
  ScopedKernelHandle threadHandle(process.hThread);
  return true;
}

void Win32Toolkit::SetTitle(std::string_view title) { impl_->title = std::string(title); }

std::string Win32Toolkit::Title() const { return impl_->title; }

std::string Win32Toolkit::Path() const { return ProgramFolder(); }

std::string Win32Toolkit::ExeName() const { return WideToUtf8(ExeNameOfModulePath(impl_->modulePath)); }

bool Win32Toolkit::PrevInstance() const { return impl_->prevInstance; }

int Win32Toolkit::Run() {
  if (impl_->state.LoadedForms() == 0) return 0;
  MSG message{};
  for (;;) {
    const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) return static_cast<int>(message.wParam);
    if (got == -1) return 1;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

}  // namespace tarnvik::win
