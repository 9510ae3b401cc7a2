// The Win32 toolkit: its text rules at the Windows edge, the application object, starting a
// process, and the real windows driven by messages as the system would send them. Window tests
// need a display (Xvfb under Wine) and are skipped, saying so, when there is none.
#include "ui/toolkit/toolkit_win.h"

#include <gtest/gtest.h>

#include <atomic>

#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "base/lock.h"
#include "base/scoped_win.h"
#include "base/utf_win.h"
#include "base/workers_win.h"
#include "test_env_win.h"
#include "ui/toolkit/artwork.h"
#include "ui/toolkit/resource_ids.h"
#include "ui/toolkit/toolkit_forms_win.h"

#include <commctrl.h>
#include <oleacc.h>
#include <psapi.h>

namespace tarnvik::win {
namespace {

using toolkit::PictureId;
using toolkit::WindowState;

// ---- Text rules ----

struct CrCase {
  std::string in, out;
};

class LoneCrToCrLfTest : public ::testing::TestWithParam<CrCase> {};

TEST_P(LoneCrToCrLfTest, GivesEveryLineBreakItsLineFeed) { EXPECT_EQ(LoneCrToCrLf(GetParam().in), GetParam().out); }

INSTANTIATE_TEST_SUITE_P(Table, LoneCrToCrLfTest,
                         ::testing::Values(CrCase{"", ""}, CrCase{"abc", "abc"}, CrCase{"a\r", "a\r\n"},
                                           CrCase{"a\rb\r\r", "a\r\nb\r\n\r\n"}, CrCase{"a\r\nb", "a\r\nb"},
                                           CrCase{"\r\r\n", "\r\n\r\n"}, CrCase{"\n", "\n"},
                                           CrCase{"WEB: \thttp://x\r", "WEB: \thttp://x\r\n"},
                                           CrCase{"Выход\rQuit", "Выход\r\nQuit"}));

struct PathCase {
  std::wstring path, folder, exeName;
};

class ModulePathTest : public ::testing::TestWithParam<PathCase> {};

TEST_P(ModulePathTest, SplitsFolderAndExeName) {
  EXPECT_EQ(FolderOfModulePath(GetParam().path), GetParam().folder);
  EXPECT_EQ(ExeNameOfModulePath(GetParam().path), GetParam().exeName);
}

INSTANTIATE_TEST_SUITE_P(Table, ModulePathTest,
                         ::testing::Values(PathCase{L"C:\\Tools\\tarnvik.exe", L"C:\\Tools", L"tarnvik"},
                                           PathCase{L"C:\\tarnvik.exe", L"C:\\", L"tarnvik"},
                                           PathCase{L"Z:\\tmp\\a b\\my.tool.exe", L"Z:\\tmp\\a b", L"my.tool"},
                                           PathCase{L"\\\\server\\share\\t.exe", L"\\\\server\\share", L"t"},
                                           PathCase{L"\\\\?\\C:\\t.exe", L"\\\\?\\C:\\", L"t"},
                                           PathCase{L"C:\\dir.d\\noext", L"C:\\dir.d", L"noext"},
                                           PathCase{L"C:\\Программы\\Тарнвик.exe", L"C:\\Программы", L"Тарнвик"},
                                           PathCase{L"tarnvik.exe", L"", L"tarnvik"}, PathCase{L"", L"", L""}));

TEST(InstanceMutexNameTest, NamesTheSessionMutexAfterThePath) {
  EXPECT_EQ(InstanceMutexName(L"C:\\TOOLS\\TARNVIK.EXE"), L"Local\\C:/TOOLS/TARNVIK.EXE");
  EXPECT_NE(InstanceMutexName(L"C:\\A\\TARNVIK.EXE"), InstanceMutexName(L"D:\\A\\TARNVIK.EXE"));
}

TEST(InstanceMutexNameTest, LongPathsFitAnObjectNameAndStayDistinct) {
  const std::wstring deep(400, L'X');
  const std::wstring a = L"C:\\A" + deep + L"\\TARNVIK.EXE";
  const std::wstring b = L"C:\\B" + deep + L"\\TARNVIK.EXE";  // same tail, other start
  const std::wstring nameA = InstanceMutexName(a);
  EXPECT_LE(nameA.size(), 259u);
  EXPECT_EQ(nameA.rfind(L"Local\\", 0), 0u);
  EXPECT_EQ(nameA.find(L'\\', 6), std::wstring::npos);
  EXPECT_NE(nameA, InstanceMutexName(b));
  EXPECT_EQ(nameA, InstanceMutexName(a));
}

struct TokenCase {
  std::wstring commandLine, token;
};

class FirstCommandTokenTest : public ::testing::TestWithParam<TokenCase> {};

TEST_P(FirstCommandTokenTest, FindsTheProgram) {
  EXPECT_EQ(FirstCommandToken(GetParam().commandLine), GetParam().token);
}

INSTANTIATE_TEST_SUITE_P(Table, FirstCommandTokenTest,
                         ::testing::Values(TokenCase{L"notepad.exe C:\\a b\\ReadMe.txt", L"notepad.exe"},
                                           TokenCase{L"  notepad.exe", L"notepad.exe"},
                                           TokenCase{L"\"C:\\Program Files\\x.exe\" -a", L"C:\\Program Files\\x.exe"},
                                           TokenCase{L"\"unclosed name", L"unclosed name"},
                                           TokenCase{L"notepad\tfile", L"notepad"}, TokenCase{L"", L""},
                                           TokenCase{L"   ", L""}));

struct ResolveCase {
  std::wstring commandLine;
  std::set<std::wstring> existing;
  std::wstring resolved;
};

class ResolveInFoldersTest : public ::testing::TestWithParam<ResolveCase> {};

TEST_P(ResolveInFoldersTest, TakesBareNamesFromTheSystemFoldersOnly) {
  const std::vector<std::wstring> folders{L"C:\\windows\\system32", L"C:\\windows\\"};
  const auto& existing = GetParam().existing;
  std::vector<std::wstring> asked;
  const auto exists = [&](const std::wstring& path) {
    asked.push_back(path);
    return existing.count(path) != 0;
  };
  EXPECT_EQ(ResolveInFolders(GetParam().commandLine, folders, exists), GetParam().resolved);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ResolveInFoldersTest,
    ::testing::Values(
        ResolveCase{L"notepad.exe C:\\x\\ReadMe.txt",
                    {L"C:\\windows\\system32\\notepad.exe", L"C:\\windows\\notepad.exe"},
                    L"C:\\windows\\system32\\notepad.exe"},
        ResolveCase{L"notepad.exe C:\\x\\ReadMe.txt", {L"C:\\windows\\notepad.exe"}, L"C:\\windows\\notepad.exe"},
        ResolveCase{L"notepad.exe a", {}, L""},
        ResolveCase{L"notepad a", {L"C:\\windows\\system32\\notepad.exe"}, L"C:\\windows\\system32\\notepad.exe"},
        ResolveCase{
            L"\"notepad.exe\" a", {L"C:\\windows\\system32\\notepad.exe"}, L"C:\\windows\\system32\\notepad.exe"},
        ResolveCase{L".\\notepad.exe a", {L"C:\\windows\\system32\\notepad.exe"}, L""},
        ResolveCase{L"D:\\tools\\notepad.exe a", {L"C:\\windows\\system32\\notepad.exe"}, L""},
        ResolveCase{L"C:notepad.exe", {L"C:\\windows\\system32\\notepad.exe"}, L""}, ResolveCase{L"", {}, L""}));

TEST(ResolveInFoldersTest, SkipsEmptyFoldersAndAddsTheSeparator) {
  const auto exists = [](const std::wstring& path) { return path == L"C:\\cmd.exe"; };
  EXPECT_EQ(ResolveInFolders(L"cmd.exe /c", {L"", L"C:\\"}, exists), L"C:\\cmd.exe");
}

struct StyleCase {
  int style, showCommand;
};

class ShowCommandTest : public ::testing::TestWithParam<StyleCase> {};

TEST_P(ShowCommandTest, MapsShellWindowStyles) {
  EXPECT_EQ(ShowCommandForWindowStyle(GetParam().style), GetParam().showCommand);
}

INSTANTIATE_TEST_SUITE_P(Table, ShowCommandTest,
                         ::testing::Values(StyleCase{0, SW_HIDE}, StyleCase{1, SW_SHOWNORMAL},
                                           StyleCase{2, SW_SHOWMINIMIZED}, StyleCase{3, SW_SHOWMAXIMIZED},
                                           StyleCase{4, SW_SHOWNOACTIVATE}, StyleCase{6, SW_SHOWMINNOACTIVE},
                                           StyleCase{5, SW_SHOWNORMAL}, StyleCase{-1, SW_SHOWNORMAL}));

struct WakeCase {
  unsigned major, minor, mask;
};

class WakeMaskTest : public ::testing::TestWithParam<WakeCase> {};

// Touch and pen input only where the system knows the bits; the wait takes this system's mask.
TEST_P(WakeMaskTest, AddsTouchAndPenFromWindowsEight) {
  EXPECT_EQ(WakeMaskForVersion(GetParam().major, GetParam().minor), GetParam().mask);
  const DWORD version = ::GetVersion();
  const DWORD mask = WakeMaskForVersion(LOBYTE(LOWORD(version)), HIBYTE(LOWORD(version)));
  EXPECT_NE(::MsgWaitForMultipleObjectsEx(0, nullptr, 0, mask, MWMO_INPUTAVAILABLE), WAIT_FAILED);
}

INSTANTIATE_TEST_SUITE_P(Table, WakeMaskTest,
                         ::testing::Values(WakeCase{5, 1, QS_ALLINPUT}, WakeCase{6, 1, QS_ALLINPUT},
                                           WakeCase{6, 2, QS_ALLINPUT | 0x1800}, WakeCase{10, 0, QS_ALLINPUT | 0x1800}));

// ---- The application object and the system folders ----

std::wstring SystemFolder() {
  wchar_t buffer[MAX_PATH + 1] = {};
  const UINT n = ::GetSystemDirectoryW(buffer, MAX_PATH + 1);
  return std::wstring(buffer, n);
}

TEST(ApplicationObjectTest, PathAndExeNameComeFromTheRunningExecutable) {
  Win32Toolkit tk;
  const std::wstring own = testing::OwnExePathWide();
  const std::size_t slash = own.find_last_of(L'\\');
  ASSERT_NE(slash, std::wstring::npos);
  std::wstring folder = own.substr(0, slash);
  if (folder.size() == 2) folder += L'\\';
  EXPECT_EQ(tk.Path(), WideToUtf8(folder));
  EXPECT_EQ(tk.ExeName(), "tarnvik_win_tests");
  tk.SetTitle("QELM Tarnvik 1.2.0.2016.0");
  EXPECT_EQ(tk.Title(), "QELM Tarnvik 1.2.0.2016.0");
}

TEST(ApplicationObjectTest, PrevInstanceSeesOnlyAnEarlierLiveInstance) {
  auto first = std::make_unique<Win32Toolkit>();
  ASSERT_FALSE(first->PrevInstance()) << "another tarnvik_win_tests from this folder seems to run";
  {
    Win32Toolkit second;
    EXPECT_TRUE(second.PrevInstance());
  }
  EXPECT_FALSE(first->PrevInstance());
  first.reset();
  // The earlier instance has ended: its mutex went with it.
  Win32Toolkit third;
  EXPECT_FALSE(third.PrevInstance());
}

TEST(ShellTest, BareSystemProgramIsTakenFromTheSystemFolderNotTheCurrentOne) {
  const std::wstring system = SystemFolder();
  const std::wstring real = system + L"\\cmd.exe";
  ASSERT_NE(::GetFileAttributesW(real.c_str()), INVALID_FILE_ATTRIBUTES);

  // A decoy of the same name in the current folder.
  wchar_t temp[MAX_PATH + 1] = {};
  ASSERT_GT(::GetTempPathW(MAX_PATH + 1, temp), 0u);
  const std::wstring folder = std::wstring(temp) + L"tarnvik_decoy_" + std::to_wstring(::GetCurrentProcessId());
  ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
  const std::wstring decoy = folder + L"\\cmd.exe";
  HANDLE file = ::CreateFileW(decoy.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  ::CloseHandle(file);
  wchar_t previous[MAX_PATH + 1] = {};
  ::GetCurrentDirectoryW(MAX_PATH + 1, previous);
  ASSERT_TRUE(::SetCurrentDirectoryW(folder.c_str()));

  const std::wstring resolved = ResolveInSystemFolders(L"cmd.exe /c exit 0");

  ::SetCurrentDirectoryW(previous);
  ::DeleteFileW(decoy.c_str());
  ::RemoveDirectoryW(folder.c_str());
  EXPECT_EQ(_wcsicmp(resolved.c_str(), real.c_str()), 0) << WideToUtf8(resolved);
}

TEST(ShellTest, StartsAProcessWithoutWaitingAndKeepsItsCommandLine) {
  Win32Toolkit tk;
  wchar_t temp[MAX_PATH + 1] = {};
  ASSERT_GT(::GetTempPathW(MAX_PATH + 1, temp), 0u);
  const std::wstring marker =
      std::wstring(temp) + L"tarnvik_shell_" + std::to_wstring(::GetCurrentProcessId()) + L".txt";
  ::DeleteFileW(marker.c_str());

  // The text after the program name arrives unchanged: cmd writes the marker it names.
  ASSERT_TRUE(tk.Shell("cmd.exe /c echo started>" + WideToUtf8(marker), 0));

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  bool found = false;
  while (!found && std::chrono::steady_clock::now() < deadline) {
    found = ::GetFileAttributesW(marker.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (!found) ::Sleep(50);
  }
  EXPECT_TRUE(found);
  ::Sleep(200);  // let cmd close the file
  ::DeleteFileW(marker.c_str());
}

TEST(ShellTest, FailsQuietlyForAMissingProgram) {
  Win32Toolkit tk;
  EXPECT_FALSE(tk.Shell("tarnvik_no_such_program_4711.exe x", 1));
  EXPECT_FALSE(tk.Shell("", 1));
}

// ---- The built program's resources, read from its file as data ----

std::string ResourceOf(HMODULE module, const wchar_t* name, const wchar_t* type) {
  HRSRC found = ::FindResourceW(module, name, type);
  const void* bytes = found != nullptr ? ::LockResource(::LoadResource(module, found)) : nullptr;
  return bytes != nullptr ? std::string(static_cast<const char*>(bytes), ::SizeofResource(module, found)) : "";
}

TEST(ProgramResourcesTest, ManifestAsksForGdiScalingAndTheIconHasEverySize) {
  const std::wstring own = testing::OwnExePathWide();
  const std::unique_ptr<std::remove_pointer_t<HMODULE>, decltype(&::FreeLibrary)> program(
      ::LoadLibraryExW((own.substr(0, own.find_last_of(L"\\/") + 1) + L"tarnvik.exe").c_str(), nullptr,
                       LOAD_LIBRARY_AS_DATAFILE),
      &::FreeLibrary);
  ASSERT_NE(program, nullptr);
  const HMODULE module = program.get();
  const std::string manifest = ResourceOf(module, MAKEINTRESOURCEW(1), RT_MANIFEST);
  for (const char* setting : {"<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">false<",
                              "<dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">unaware<",
                              "<gdiScaling xmlns=\"http://schemas.microsoft.com/SMI/2017/WindowsSettings\">true<"})
    EXPECT_NE(manifest.find(setting), std::string::npos) << setting;

  // Each 14-byte group entry: width (0 for 256), height, colours, reserved, planes, bits, bytes, id.
  std::string group = ResourceOf(module, MAKEINTRESOURCEW(IDI_TARNVIK), RT_GROUP_ICON);
  std::set<int> trueColour;
  for (std::size_t at = 6; at + 14 <= group.size(); at += 14)
    if (group[at + 6] == 32) trueColour.insert(group[at] == 0 ? 256 : static_cast<uint8_t>(group[at]));
  EXPECT_EQ(trueColour, (std::set<int>{16, 20, 24, 32, 40, 48, 64, 256}));

  // The 256-pixel image (a PNG) opens as the system opens it, with the pixels that were drawn.
  const int id = ::LookupIconIdFromDirectoryEx(reinterpret_cast<BYTE*>(group.data()), TRUE, 256, 256, 0);
  std::string png = ResourceOf(module, MAKEINTRESOURCEW(id), RT_ICON);
  const win::ScopedIcon icon(::CreateIconFromResourceEx(reinterpret_cast<BYTE*>(png.data()),
                                                       static_cast<DWORD>(png.size()), TRUE, 0x00030000, 256, 256, 0));
  ICONINFO info{};
  ASSERT_TRUE(icon && ::GetIconInfo(icon.get(), &info));
  const win::ScopedGdiObject colour(info.hbmColor), mask(info.hbmMask);
  BITMAPINFO format{{sizeof(BITMAPINFOHEADER), 256, -256, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
  std::vector<uint32_t> pixels(256 * 256);
  const win::ScopedGetDc screen(nullptr);
  EXPECT_EQ(::GetDIBits(screen.get(), info.hbmColor, 0, 256, pixels.data(), &format, DIB_RGB_COLORS), 256);
  const art::Bitmap drawn = art::DrawIcon(256);
  int differ = 0;
  for (std::size_t i = 0; i < pixels.size(); ++i)
    differ += drawn.pixels[i] >> 24 == 255 && pixels[i] != drawn.pixels[i];  // opaque pixels exactly
  EXPECT_EQ(differ, 0);
}

// ---- Windows ----

// What the main window's events saw, one line per event.
class MainRecorder final : public toolkit::MainWindowEvents {
 public:
  std::vector<std::string> log;
  int resizes = 0;
  int ticks = 0;
  int16_t cancelOnQuery = 0;
  std::function<void()> onResize;
  std::function<void()> onUnload;
  std::function<void(int16_t&)> onKey;

  void OnResize() override {
    ++resizes;
    if (onResize) onResize();
  }
  void OnMouseDown(int16_t b, int16_t s, float x, float y) override { Mouse("OnMouseDown", b, s, x, y); }
  void OnMouseMove(int16_t b, int16_t s, float x, float y) override { Mouse("OnMouseMove", b, s, x, y); }
  void OnMouseUp(int16_t b, int16_t s, float x, float y) override { Mouse("OnMouseUp", b, s, x, y); }
  void OnQueryUnload(int16_t& cancel, int16_t mode) override {
    log.push_back("OnQueryUnload(" + std::to_string(mode) + ")");
    cancel = cancelOnQuery;
  }
  void OnUnload(int16_t&) override {
    log.push_back("OnUnload");
    if (onUnload) onUnload();
  }
  void OnWindowTimer() override { ++ticks; }
  void OnNoticeTimer() override {}
  void OnDeviceChange(const toolkit::DeviceNotice&) override {}
  void OnReportBoxKeyDown(int16_t& key, int16_t shift) override {
    log.push_back("OnReportBoxKeyDown(" + std::to_string(key) + "," + std::to_string(shift) + ")");
    if (onKey) onKey(key);
  }
  void OnCloseButtonMouseMove(int16_t b, int16_t s, float x, float y) override {
    Mouse("OnCloseButtonMouseMove", b, s, x, y);
  }
  void OnCloseButtonMouseDown(int16_t b, int16_t s, float x, float y) override {
    Mouse("OnCloseButtonMouseDown", b, s, x, y);
  }
  void OnMinimiseButtonMouseMove(int16_t b, int16_t s, float x, float y) override {
    Mouse("OnMinimiseButtonMouseMove", b, s, x, y);
  }
  void OnMinimiseButtonMouseDown(int16_t b, int16_t s, float x, float y) override {
    Mouse("OnMinimiseButtonMouseDown", b, s, x, y);
  }
  void OnMenuGlyphMouseMove(int16_t b, int16_t s, float x, float y) override {
    Mouse("OnMenuGlyphMouseMove", b, s, x, y);
  }
  void OnMenuGlyphMouseDown(int16_t b, int16_t s, float x, float y) override {
    Mouse("OnMenuGlyphMouseDown", b, s, x, y);
  }

 private:
  void Mouse(const char* name, int16_t b, int16_t s, float x, float y) {
    log.push_back(std::string(name) + "(" + std::to_string(b) + "," + std::to_string(s) + "," +
                  std::to_string(static_cast<int>(x)) + "," + std::to_string(static_cast<int>(y)) + ")");
  }
};

bool DisplayAvailable() {
  HWND probe = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  if (probe == nullptr) return false;
  ::DestroyWindow(probe);
  return true;
}

// Throws away whatever an earlier test left in this thread's queue (a quit, a stray message).
void DrainQueue() {
  MSG message{};
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
  }
}

bool QuitPosted(int* code = nullptr) {
  MSG message{};
  if (!::PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) return false;
  if (code != nullptr) *code = static_cast<int>(message.wParam);
  return true;
}

struct WindowSearch {
  const wchar_t* className;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<WindowSearch*>(param);
  wchar_t name[64] = {};
  ::GetClassNameW(hwnd, name, 64);
  if (_wcsicmp(name, search->className) == 0) search->found.push_back(hwnd);
  return TRUE;
}

// This thread's top-level windows of a class, hidden ones included.
std::vector<HWND> ThreadWindows(const wchar_t* className) {
  WindowSearch search{className, {}};
  ::EnumThreadWindows(::GetCurrentThreadId(), &CollectWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The role a screen reader reads for a window, asked as it asks (0: no answer).
long AccessibleRole(HWND hwnd) {
  ComPtr<IAccessible> object;
  VARIANT self{}, role{};
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  if (FAILED(::AccessibleObjectFromWindow(hwnd, OBJID_CLIENT, __uuidof(IAccessible), object.put_void())) ||
      FAILED(object->get_accRole(self, &role)) || role.vt != VT_I4)
    return 0;
  return role.lVal;
}

RECT ChildRect(HWND parent, HWND child) {
  RECT r{};
  ::GetWindowRect(child, &r);
  ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

class ToolkitWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!DisplayAvailable()) GTEST_SKIP() << "no display: windows cannot be created here";
    DrainQueue();
    tk = std::make_unique<Win32Toolkit>();
  }
  void TearDown() override {
    window.reset();
    tk.reset();
    DrainQueue();
  }

  void LoadMain() {
    window = tk->LoadMainWindow(events);
    ASSERT_TRUE(window->Loaded());
    const auto found = ThreadWindows(detail::kMainWindowClass);
    ASSERT_EQ(found.size(), 1u);
    main = found[0];
    reportBox = ::FindWindowExW(main, nullptr, L"Edit", nullptr);
    menuGlyph = ::ChildWindowFromPointEx(main, POINT{5, 5}, CWP_ALL);
    closeButton = ::ChildWindowFromPointEx(main, POINT{289, 12}, CWP_ALL);
    minimiseButton = ::ChildWindowFromPointEx(main, POINT{266, 12}, CWP_ALL);
    ASSERT_NE(reportBox, nullptr);
  }

  // Pumps messages until `done` or the time is up.
  bool PumpUntil(const std::function<bool()>& done, int milliseconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < deadline) {
      tk->DoEvents();
      if (done()) return true;
      ::Sleep(5);
    }
    return done();
  }

  std::unique_ptr<Win32Toolkit> tk;
  MainRecorder events;
  std::unique_ptr<toolkit::MainWindow> window;
  HWND main = nullptr, reportBox = nullptr, menuGlyph = nullptr, closeButton = nullptr, minimiseButton = nullptr;
};

TEST_F(ToolkitWindowTest, MainWindowIsAHiddenBorderlessAppWindowWithItsControls) {
  LoadMain();
  EXPECT_FALSE(::IsWindowVisible(main));
  wchar_t caption[64] = {};
  ::GetWindowTextW(main, caption, 64);
  EXPECT_STREQ(caption, L"QELM Tarnvik 1.2.0.2016.0");
  const LONG_PTR style = ::GetWindowLongPtrW(main, GWL_STYLE);
  EXPECT_EQ(style & (WS_POPUP | WS_MINIMIZEBOX | WS_SYSMENU), WS_POPUP | WS_MINIMIZEBOX | WS_SYSMENU);
  EXPECT_EQ(style & (WS_CAPTION | WS_THICKFRAME), 0);
  EXPECT_NE(::GetWindowLongPtrW(main, GWL_EXSTYLE) & WS_EX_APPWINDOW, 0);
  RECT outer{}, client{};
  ::GetWindowRect(main, &outer);
  ::GetClientRect(main, &client);
  EXPECT_EQ(outer.right - outer.left, 308);
  EXPECT_EQ(outer.bottom - outer.top, 392);
  EXPECT_EQ(client.right, 308);
  EXPECT_EQ(client.bottom, 392);

  struct Expected {
    HWND hwnd;
    RECT rect;
    const wchar_t* name;  ///< the window text a screen reader reads
    long role;            ///< and the role it reads
  };
  ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  for (const Expected& e :
       {Expected{reportBox, {11, 35, 297, 381}, L"", ROLE_SYSTEM_TEXT},
        Expected{menuGlyph, {0, 0, 24, 24}, L"Меню / Menu", ROLE_SYSTEM_PUSHBUTTON},
        Expected{closeButton, {278, 4, 300, 21}, L"Выход / Quit    [Esc]", ROLE_SYSTEM_PUSHBUTTON},
        Expected{minimiseButton, {256, 4, 278, 21}, L"Свернуть / Minimise", ROLE_SYSTEM_PUSHBUTTON}}) {
    ASSERT_NE(e.hwnd, main);
    wchar_t name[64] = {};
    ::GetWindowTextW(e.hwnd, name, 64);
    EXPECT_STREQ(name, e.name);
    EXPECT_EQ(AccessibleRole(e.hwnd), e.role) << e.name;
    const RECT r = ChildRect(main, e.hwnd);
    EXPECT_EQ(r.left, e.rect.left);
    EXPECT_EQ(r.top, e.rect.top);
    EXPECT_EQ(r.right, e.rect.right);
    EXPECT_EQ(r.bottom, e.rect.bottom);
  }
  const LONG_PTR editStyle = ::GetWindowLongPtrW(reportBox, GWL_STYLE);
  for (LONG_PTR bit : {LONG_PTR{ES_MULTILINE}, LONG_PTR{ES_READONLY}, LONG_PTR{ES_AUTOVSCROLL},
                       LONG_PTR{ES_AUTOHSCROLL}, LONG_PTR{WS_VSCROLL}, LONG_PTR{WS_HSCROLL}, LONG_PTR{WS_TABSTOP}})
    EXPECT_NE(editStyle & bit, 0) << std::hex << bit;
  EXPECT_GT(static_cast<DWORD>(::SendMessageW(reportBox, EM_GETLIMITTEXT, 0, 0)), 0x7FFFu);  // the limit was lifted
  EXPECT_EQ(events.resizes, 0);                                                          // nothing happens on load
  ::CoUninitialize();
}

TEST_F(ToolkitWindowTest, FirstShowingLaysOutOnceAndCentresOnTheWorkArea) {
  LoadMain();
  window->Show();
  EXPECT_TRUE(::IsWindowVisible(main));
  EXPECT_EQ(events.resizes, 1);
  RECT work{}, outer{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  ::GetWindowRect(main, &outer);
  EXPECT_EQ(outer.left, work.left + ((work.right - work.left) - 308) / 2);
  EXPECT_EQ(outer.top, work.top + ((work.bottom - work.top) - 392) / 2);
  EXPECT_EQ(window->Left(), outer.left);
  EXPECT_EQ(window->Top(), outer.top);
  EXPECT_EQ(::GetFocus(), reportBox);  // the report box holds the keyboard

  window->Hide();
  EXPECT_FALSE(::IsWindowVisible(main));
  window->Show();
  EXPECT_EQ(events.resizes, 1);  // showing again is no size change
}

TEST_F(ToolkitWindowTest, LayoutPassIsNotReenteredByTheSizeItSets) {
  LoadMain();
  window->Show();
  // Each pass changes the size, which raises a size event inside the pass. Re-entered, the
  // chain would run on (bounded here at ten passes).
  events.onResize = [&] {
    if (events.resizes < 10) window->SetSize(308 + events.resizes, 392);
  };
  window->SetWindowState(WindowState::Minimized);
  window->SetWindowState(WindowState::Normal);
  EXPECT_EQ(events.resizes, 3);  // first showing, minimise, restore
  RECT outer{};
  ::GetWindowRect(main, &outer);
  EXPECT_EQ(outer.right - outer.left, 311);
}

TEST_F(ToolkitWindowTest, MinimiseAndRestoreRunTheLayoutPassAndFreezeThePosition) {
  LoadMain();
  window->Show();
  window->SetLeft(40);
  window->SetTop(50.4);
  EXPECT_EQ(window->Left(), 40);
  EXPECT_EQ(window->Top(), 50);

  window->SetWindowState(WindowState::Minimized);
  EXPECT_EQ(window->GetWindowState(), WindowState::Minimized);
  EXPECT_EQ(events.resizes, 2);
  window->SetLeft(400);  // a minimised window is not moved
  window->SetSize(10, 10);

  window->SetWindowState(WindowState::Normal);
  EXPECT_EQ(window->GetWindowState(), WindowState::Normal);
  EXPECT_EQ(events.resizes, 3);
  RECT outer{};
  ::GetWindowRect(main, &outer);
  EXPECT_EQ(outer.left, 40);
  EXPECT_EQ(outer.right - outer.left, 308);
}

struct MessageCase {
  const char* target;  // "main", "closeButton", "minimiseButton", "menuGlyph"
  UINT message;
  WPARAM wParam;
  int x, y;
  const char* expected;
};

class ToolkitMouseTest : public ToolkitWindowTest, public ::testing::WithParamInterface<MessageCase> {};

TEST_P(ToolkitMouseTest, MouseMessagesBecomeTheControlsEvents) {
  LoadMain();
  window->Show();
  const MessageCase& c = GetParam();
  const std::string target = c.target;
  HWND hwnd = target == "main"             ? main
              : target == "closeButton"    ? closeButton
              : target == "minimiseButton" ? minimiseButton
                                           : menuGlyph;
  ::SendMessageW(hwnd, c.message, c.wParam, MAKELPARAM(c.x, c.y));
  ASSERT_FALSE(events.log.empty());
  EXPECT_EQ(events.log.back(), c.expected);
  ::ReleaseCapture();
}

INSTANTIATE_TEST_SUITE_P(
    Table, ToolkitMouseTest,
    ::testing::Values(
        MessageCase{"main", WM_LBUTTONDOWN, MK_LBUTTON, 150, 20, "OnMouseDown(1,0,150,20)"},
        MessageCase{"main", WM_RBUTTONDOWN, MK_RBUTTON | MK_SHIFT, 27, 27, "OnMouseDown(2,1,27,27)"},
        MessageCase{"main", WM_MBUTTONDOWN, MK_MBUTTON | MK_CONTROL, 5, 300, "OnMouseDown(4,2,5,300)"},
        MessageCase{"main", WM_MOUSEMOVE, MK_LBUTTON | MK_RBUTTON, -5, 30, "OnMouseMove(3,0,-5,30)"},
        MessageCase{"main", WM_MOUSEMOVE, MK_MBUTTON, 320, -2, "OnMouseMove(4,0,320,-2)"},
        MessageCase{"main", WM_MOUSEMOVE, 0, 100, 100, "OnMouseMove(0,0,100,100)"},
        MessageCase{"main", WM_LBUTTONUP, 0, 130, 25, "OnMouseUp(1,0,130,25)"},
        MessageCase{"main", WM_RBUTTONUP, MK_LBUTTON, 1, 2, "OnMouseUp(2,0,1,2)"},
        MessageCase{"closeButton", WM_MOUSEMOVE, 0, 3, 4, "OnCloseButtonMouseMove(0,0,3,4)"},
        MessageCase{"closeButton", WM_LBUTTONDOWN, MK_LBUTTON, 3, 4, "OnCloseButtonMouseDown(1,0,3,4)"},
        MessageCase{"closeButton", WM_RBUTTONDOWN, MK_RBUTTON, 3, 4, "OnCloseButtonMouseDown(2,0,3,4)"},
        MessageCase{"minimiseButton", WM_MOUSEMOVE, MK_LBUTTON, 21, 16, "OnMinimiseButtonMouseMove(1,0,21,16)"},
        MessageCase{"minimiseButton", WM_MBUTTONDOWN, MK_MBUTTON, 0, 0, "OnMinimiseButtonMouseDown(4,0,0,0)"},
        MessageCase{"minimiseButton", BM_CLICK, 0, 0, 0,
                    "OnMinimiseButtonMouseDown(1,0,0,0)"},  // a screen reader's press
        MessageCase{"menuGlyph", BM_CLICK, 0, 0, 0, "OnMenuGlyphMouseDown(1,0,0,0)"},
        MessageCase{"menuGlyph", WM_MOUSEMOVE, 0, 12, 12, "OnMenuGlyphMouseMove(0,0,12,12)"},
        MessageCase{"menuGlyph", WM_LBUTTONDOWN, MK_LBUTTON, 12, 12, "OnMenuGlyphMouseDown(1,0,12,12)"},
        MessageCase{"menuGlyph", WM_RBUTTONDOWN, MK_RBUTTON, 2, 3, "OnMenuGlyphMouseDown(2,0,2,3)"}));

TEST_F(ToolkitWindowTest, MouseIsCapturedWhileAButtonPressedOnTheSurfaceIsHeld) {
  LoadMain();
  window->Show();
  ::SendMessageW(main, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(150, 10));
  EXPECT_EQ(::GetCapture(), main);
  ::SendMessageW(main, WM_RBUTTONDOWN, MK_LBUTTON | MK_RBUTTON, MAKELPARAM(150, 10));
  ::SendMessageW(main, WM_LBUTTONUP, MK_RBUTTON, MAKELPARAM(150, 10));
  EXPECT_EQ(::GetCapture(), main);  // the right button is still down
  ::SendMessageW(main, WM_RBUTTONUP, 0, MAKELPARAM(150, 10));
  EXPECT_EQ(::GetCapture(), nullptr);
}

struct KeyCase {
  UINT message;
  WPARAM key;
  std::vector<int> held;  // virtual keys down while the key arrives
  const char* expected;
};

class ToolkitKeyTest : public ToolkitWindowTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(ToolkitKeyTest, KeysInTheReportBoxCarryTheShiftState) {
  LoadMain();
  BYTE saved[256] = {};
  ::GetKeyboardState(saved);
  BYTE state[256] = {};
  for (int key : GetParam().held) state[key] = 0x80;
  ::SetKeyboardState(state);
  ::SendMessageW(reportBox, GetParam().message, GetParam().key, 1);
  ::SetKeyboardState(saved);
  ASSERT_FALSE(events.log.empty());
  EXPECT_EQ(events.log.back(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ToolkitKeyTest,
    ::testing::Values(KeyCase{WM_KEYDOWN, VK_F5, {}, "OnReportBoxKeyDown(116,0)"},
                      KeyCase{WM_KEYDOWN, VK_F5, {VK_SHIFT}, "OnReportBoxKeyDown(116,1)"},
                      KeyCase{WM_KEYDOWN, VK_F1, {VK_CONTROL}, "OnReportBoxKeyDown(112,2)"},
                      KeyCase{WM_SYSKEYDOWN, VK_F5, {VK_MENU}, "OnReportBoxKeyDown(116,4)"},
                      KeyCase{WM_KEYDOWN, VK_ESCAPE, {VK_SHIFT, VK_CONTROL}, "OnReportBoxKeyDown(27,3)"}));

TEST_F(ToolkitWindowTest, ReportBoxHandlesTheKeyAsTheHandlerLeftIt) {
  LoadMain();
  window->ReportBox().SetText("abcdef");
  const auto caretAfter = [&](WPARAM key) {
    ::SendMessageW(reportBox, EM_SETSEL, 0, 0);
    ::SendMessageW(reportBox, WM_KEYDOWN, key, 1);
    DWORD start = 0;
    ::SendMessageW(reportBox, EM_GETSEL, reinterpret_cast<WPARAM>(&start), 0);
    return start;
  };
  EXPECT_EQ(caretAfter(VK_END), 6u);  // unchanged key: the box's own handling
  events.onKey = [](int16_t& key) { key = 0; };
  EXPECT_EQ(caretAfter(VK_END), 0u);  // cleared: swallowed
  events.onKey = [](int16_t& key) { key = VK_RIGHT; };
  EXPECT_EQ(caretAfter(VK_END), 1u);  // changed: the new key is handled
}

// Counts the window's requests for the keyboard menu mode and drops them, so a test that
// provokes one cannot end up in the menu's modal loop.
LRESULT CALLBACK CountKeyMenu(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR count) {
  if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_KEYMENU) {
    ++*reinterpret_cast<int*>(count);
    return 0;
  }
  return ::DefSubclassProc(hwnd, message, wParam, lParam);
}

TEST_F(ToolkitWindowTest, AltReleasedInsideAKeyHandlersMessagePassDoesNotEnterTheMenuMode) {
  LoadMain();
  window->Show();
  int keyMenus = 0;
  ASSERT_TRUE(::SetWindowSubclass(main, &CountKeyMenu, 1, reinterpret_cast<DWORD_PTR>(&keyMenus)));
  constexpr LPARAM kAltHeld = 0x20000001;  // context bit: Alt is down
  constexpr LPARAM kAltReleased = static_cast<LPARAM>(0xC0000001u);

  // Alt+F5 whose handler lets messages through (as a report build does) while Alt comes up:
  // the default handling has not seen F5 yet and would take it for Alt pressed alone.
  events.onKey = [&](int16_t& key) {
    if (key != VK_F5) return;
    ::PostMessageW(reportBox, WM_SYSKEYUP, VK_MENU, kAltReleased);
    tk->DoEvents();
  };
  ::SendMessageW(reportBox, WM_SYSKEYDOWN, VK_MENU, kAltHeld);
  ::SendMessageW(reportBox, WM_SYSKEYDOWN, VK_F5, kAltHeld);
  EXPECT_EQ(keyMenus, 0);

  // Alt pressed and released on its own still reaches the default handling.
  events.onKey = nullptr;
  ::SendMessageW(reportBox, WM_SYSKEYDOWN, VK_MENU, kAltHeld);
  ::SendMessageW(reportBox, WM_SYSKEYUP, VK_MENU, kAltReleased);
  EXPECT_EQ(keyMenus, 1);
  ::RemoveWindowSubclass(main, &CountKeyMenu, 1);
}

TEST_F(ToolkitWindowTest, ReportBoxTextRoundTripsAsUtf8) {
  LoadMain();
  const std::string text = "Метка:\tДиск\r\n C:\\ 465,627 GB\r\n";
  window->ReportBox().SetText(text);
  EXPECT_EQ(window->ReportBox().Text(), text);
  wchar_t wide[64] = {};
  ::GetWindowTextW(reportBox, wide, 64);
  EXPECT_EQ(std::wstring(wide), Utf8ToWide(text));
}

TEST_F(ToolkitWindowTest, AppendedTextEndsTheBoxAndLeavesTheViewAndSelectionAlone) {
  LoadMain();
  window->Show();
  std::string expected = "\r\n---\r\n";
  window->ReportBox().SetText(expected);
  for (int i = 0; i < 60; ++i) {
    const std::string line = " Drive: \t  " + std::to_string(i) + " Метка\r\n";
    window->ReportBox().AppendText(line);
    expected += line;
  }
  window->ReportBox().AppendText("");
  EXPECT_EQ(window->ReportBox().Text(), expected);
  EXPECT_EQ(::SendMessageW(reportBox, EM_GETFIRSTVISIBLELINE, 0, 0), 0) << "the view stays at the top";
  DWORD start = 1, end = 1;
  ::SendMessageW(reportBox, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, 0u);
  EXPECT_EQ(end, 0u);

  // A reader who scrolled into the report stays where they are while it grows.
  ::SendMessageW(reportBox, EM_LINESCROLL, 0, 10);
  const LRESULT scrolled = ::SendMessageW(reportBox, EM_GETFIRSTVISIBLELINE, 0, 0);
  ASSERT_GT(scrolled, 0);
  window->ReportBox().AppendText("one more line\r\n");
  EXPECT_EQ(::SendMessageW(reportBox, EM_GETFIRSTVISIBLELINE, 0, 0), scrolled);
}

// Where the reader left the box before a block is appended: the selection, and how many lines
// they scrolled down.
struct ReaderCase {
  const char* name;
  DWORD selectionStart, selectionEnd;
  int scrolledLines;
};

class ReportBoxReaderTest : public ToolkitWindowTest, public ::testing::WithParamInterface<ReaderCase> {};

TEST_P(ReportBoxReaderTest, AppendingKeepsTheSelectionAndTheViewWhereTheReaderLeftThem) {
  const ReaderCase& c = GetParam();
  LoadMain();
  window->Show();
  std::string expected;
  for (int i = 0; i < 50; ++i) expected += " Label: \t  drive " + std::to_string(i) + "\r\n";
  window->ReportBox().SetText(expected);
  ::SendMessageW(reportBox, EM_LINESCROLL, 0, c.scrolledLines);
  ::SendMessageW(reportBox, EM_SETSEL, c.selectionStart, static_cast<LPARAM>(c.selectionEnd));
  ::SendMessageW(reportBox, EM_LINESCROLL, 0,
                 c.scrolledLines - ::SendMessageW(reportBox, EM_GETFIRSTVISIBLELINE, 0, 0));
  const LRESULT firstVisible = ::SendMessageW(reportBox, EM_GETFIRSTVISIBLELINE, 0, 0);
  ASSERT_EQ(firstVisible, c.scrolledLines);

  const std::string block = "\r\n-----\r\n Drives: 50\r\n";
  window->ReportBox().AppendText(block);
  expected += block;

  EXPECT_EQ(window->ReportBox().Text(), expected);
  DWORD start = 99, end = 99;
  ::SendMessageW(reportBox, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, c.selectionStart);
  EXPECT_EQ(end, c.selectionEnd);
  EXPECT_EQ(::SendMessageW(reportBox, EM_GETFIRSTVISIBLELINE, 0, 0), firstVisible);
}

INSTANTIATE_TEST_SUITE_P(Table, ReportBoxReaderTest,
                         ::testing::Values(ReaderCase{"AtTheTop", 0, 0, 0}, ReaderCase{"CaretOnLineTwo", 40, 40, 0},
                                           ReaderCase{"SelectionInView", 20, 75, 0},
                                           ReaderCase{"ScrolledWithTheCaretInView", 500, 500, 12},
                                           ReaderCase{"ScrolledAwayFromTheCaret", 0, 0, 20},
                                           ReaderCase{"SelectionReachingTheEnd", 100, 1000, 25}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(ToolkitWindowTest, ReportBoxTakesAReportBeyondSixtyFourThousandCharacters) {
  LoadMain();
  std::string expected(70000, 'x');
  window->ReportBox().SetText(expected);
  const std::string tail = "\r\n Drives: 26\r\n" + std::string(40000, 'y');
  window->ReportBox().AppendText(tail);
  expected += tail;
  EXPECT_EQ(window->ReportBox().Text().size(), expected.size());
  EXPECT_EQ(window->ReportBox().Text(), expected);
}

TEST_F(ToolkitWindowTest, ReportBoxWritesGiveBackTheTextTheyReplace) {
  LoadMain();
  // Every write hands the box a new text buffer; the old one must be freed, or the 128 KiB
  // report left behind by each of these 80 writes would add 10 MiB.
  std::string big;
  for (int line = 0; line < 1024; ++line) big += std::string(62, 'r') + "\r\n";
  const auto pagefileBytes = [] {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
    return static_cast<double>(counters.PagefileUsage);
  };
  window->ReportBox().SetText(big);
  window->ReportBox().AppendText("warm-up\r\n");
  const double before = pagefileBytes();
  ASSERT_GT(before, 0) << "the process memory counters are not available";
  for (int i = 0; i < 40; ++i) {
    window->ReportBox().SetText(big);
    window->ReportBox().AppendText(" Drives: 1\r\n");
  }
  const double grownMiB = (pagefileBytes() - before) / (1024.0 * 1024.0);
  EXPECT_LT(grownMiB, 4.0);
  EXPECT_EQ(window->ReportBox().Text(), big + " Drives: 1\r\n");
}

// Records value changes of one window, as a screen reader would hear them.
struct ValueChanges {
  static inline HWND watched = nullptr;
  static inline int count = 0;
  static void CALLBACK Hook(HWINEVENTHOOK, DWORD event, HWND hwnd, LONG object, LONG child, DWORD, DWORD) {
    if (event == EVENT_OBJECT_VALUECHANGE && hwnd == watched && object == OBJID_CLIENT && child == CHILDID_SELF) ++count;
  }
};

TEST_F(ToolkitWindowTest, ReportBoxWritesAreAnnouncedToScreenReaders) {
  LoadMain();
  ValueChanges::watched = reportBox;
  ValueChanges::count = 0;
  const HWINEVENTHOOK hook = ::SetWinEventHook(EVENT_OBJECT_VALUECHANGE, EVENT_OBJECT_VALUECHANGE, nullptr,
                                               &ValueChanges::Hook, ::GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
  ASSERT_NE(hook, nullptr);
  window->ReportBox().SetText(" Please wait...");
  EXPECT_TRUE(PumpUntil([] { return ValueChanges::count >= 1; }, 2000));
  window->ReportBox().AppendText(" Drives: 0\r\n");
  EXPECT_TRUE(PumpUntil([] { return ValueChanges::count >= 2; }, 2000));
  ::UnhookWinEvent(hook);
}

class ToolkitFontTest : public ToolkitWindowTest, public ::testing::WithParamInterface<double> {};

TEST_P(ToolkitFontTest, ReportBoxFontIsTahomaCyrillicAtTheRoundedPixelHeight) {
  LoadMain();
  const double points = GetParam();
  window->ReportBox().SetFontSize(points);
  EXPECT_EQ(window->ReportBox().FontSize(), points);
  HDC dc = ::GetDC(reportBox);
  const int dpiY = ::GetDeviceCaps(dc, LOGPIXELSY);
  ::ReleaseDC(reportBox, dc);
  auto font = reinterpret_cast<HFONT>(::SendMessageW(reportBox, WM_GETFONT, 0, 0));
  ASSERT_NE(font, nullptr);
  LOGFONTW logFont{};
  ASSERT_NE(::GetObjectW(font, sizeof logFont, &logFont), 0);
  EXPECT_EQ(logFont.lfHeight, -static_cast<LONG>(std::lround(points * dpiY / 72.0)));
  EXPECT_EQ(logFont.lfCharSet, RUSSIAN_CHARSET);
  EXPECT_EQ(logFont.lfWeight, FW_NORMAL);
  EXPECT_STREQ(logFont.lfFaceName, L"Tahoma");
}

INSTANTIATE_TEST_SUITE_P(Table, ToolkitFontTest, ::testing::Values(9.75, 10.0, 8.0, 7.0, 5.0, 13.0));

TEST_F(ToolkitWindowTest, FontSizeOfZeroKeepsTheCurrentFont) {
  LoadMain();
  const double before = window->ReportBox().FontSize();
  const auto font = ::SendMessageW(reportBox, WM_GETFONT, 0, 0);
  window->ReportBox().SetFontSize(0);
  EXPECT_EQ(window->ReportBox().FontSize(), before);
  EXPECT_EQ(::SendMessageW(reportBox, WM_GETFONT, 0, 0), font);
}

TEST_F(ToolkitWindowTest, PicturesCopyFromTheStoreAndRepaintOnlyOnChange) {
  LoadMain();
  window->Show();
  EXPECT_EQ(window->CloseButton().Picture(), PictureId::CloseNormal);
  EXPECT_EQ(window->MinimiseButton().Picture(), PictureId::MinimiseNormal);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(window->StoredPicture(i).Picture(), static_cast<PictureId>(i));

  ::UpdateWindow(main);  // nothing left to paint
  window->CloseButton().SetPictureFrom(window->StoredPicture(0));
  EXPECT_FALSE(::GetUpdateRect(closeButton, nullptr, FALSE));
  window->CloseButton().SetPictureFrom(window->StoredPicture(3));
  EXPECT_EQ(window->CloseButton().Picture(), PictureId::CloseHot);
  EXPECT_TRUE(::GetUpdateRect(closeButton, nullptr, FALSE));
  EXPECT_FALSE(::GetUpdateRect(minimiseButton, nullptr, FALSE));
}

TEST_F(ToolkitWindowTest, PictureGeometryMovesTheControl) {
  LoadMain();
  window->MinimiseButton().SetLeft(200);
  window->MinimiseButton().SetTop(6);
  window->MinimiseButton().SetWidth(30);
  window->MinimiseButton().SetHeight(20);
  EXPECT_EQ(window->MinimiseButton().Left(), 200);
  EXPECT_EQ(window->MinimiseButton().Height(), 20);
  const RECT r = ChildRect(main, minimiseButton);
  EXPECT_EQ(r.left, 200);
  EXPECT_EQ(r.top, 6);
  EXPECT_EQ(r.right, 230);
  EXPECT_EQ(r.bottom, 26);
}

TEST_F(ToolkitWindowTest, TimerTicksOnlyWhileEnabledWithAnInterval) {
  LoadMain();
  toolkit::Timer& timer = window->WindowTimer();
  EXPECT_EQ(timer.Interval(), 420);
  EXPECT_FALSE(timer.Enabled());
  timer.SetInterval(20);
  timer.SetEnabled(true);
  EXPECT_TRUE(PumpUntil([&] { return events.ticks >= 3; }, 3000));

  timer.SetEnabled(false);
  tk->DoEvents();
  const int stopped = events.ticks;
  PumpUntil([] { return false; }, 150);
  EXPECT_EQ(events.ticks, stopped);

  timer.SetInterval(0);
  timer.SetEnabled(true);  // enabled, but an interval of 0 keeps it silent
  PumpUntil([] { return false; }, 150);
  EXPECT_EQ(events.ticks, stopped);
}

// A wait sleeps with the window's messages flowing (here, timer ticks) until a worker wakes it,
// and a Wake that came first ends the next wait at once.
TEST_F(ToolkitWindowTest, WaitEventsHandlesMessagesUntilAWorkerWakesIt) {
  LoadMain();
  std::atomic<bool> done{false};
  tk->RunInBackground([&] {
    ::Sleep(400);
    done = true;
    tk->Wake();
  });
  EXPECT_TRUE(BackgroundWorkRunning());
  window->WindowTimer().SetInterval(20);
  window->WindowTimer().SetEnabled(true);
  int waits = 0;
  const auto start = std::chrono::steady_clock::now();
  while (!done && waits < 1000) {
    tk->WaitEvents();
    ++waits;
  }
  const auto waited = std::chrono::steady_clock::now() - start;
  window->WindowTimer().SetEnabled(false);
  EXPECT_TRUE(done);
  EXPECT_GE(events.ticks, 5) << "the timer was not handled while waiting";
  EXPECT_LT(waits, 200) << "the wait spins instead of sleeping";
  EXPECT_LT(waited, std::chrono::seconds(5));
  EXPECT_TRUE(PumpUntil([] { return !BackgroundWorkRunning(); }, 3000));

  tk->DoEvents();
  tk->Wake();
  const auto before = std::chrono::steady_clock::now();
  tk->WaitEvents();
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(2));
}

// The work, and all it holds, is gone while the worker still counts as running; a worker stuck
// in a synchronous read is freed at quit.
TEST_F(ToolkitWindowTest, WorkersEndCleanlyAndCanBeCancelled) {
  struct Probe {
    std::atomic<int>& seen;
    ~Probe() { seen = BackgroundWorkRunning() ? 1 : 2; }
  };
  std::atomic<int> seen{0};
  ASSERT_TRUE(tk->RunInBackground([probe = std::make_shared<Probe>(seen)] {}));
  EXPECT_TRUE(PumpUntil([&] { return seen != 0; }, 3000));
  EXPECT_EQ(seen, 1);

  win::ScopedKernelHandle readEnd, writeEnd;
  ASSERT_TRUE(::CreatePipe(readEnd.put(), writeEnd.put(), nullptr, 0));
  std::atomic<DWORD> error{0};
  ASSERT_TRUE(tk->RunInBackground([&] {
    char byte = 0;
    DWORD read = 0;
    error = ::ReadFile(readEnd.get(), &byte, 1, &read, nullptr) ? ERROR_SUCCESS : ::GetLastError();
  }));
  ::Sleep(200);  // the worker is inside its read by now
  CancelBackgroundCalls();
  const bool cancelled = PumpUntil([] { return !BackgroundWorkRunning(); }, 3000);
  if (!cancelled) writeEnd.reset();  // frees the worker, whatever the system did
  EXPECT_TRUE(PumpUntil([] { return !BackgroundWorkRunning(); }, 3000));
  EXPECT_TRUE(cancelled) << "the read was not cancelled";
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_OPERATION_ABORTED));
}

// The workers' lock on Windows, a critical section: a read, a yield to the other thread and a
// write under it lose no update, as they would without it.
TEST(LockTest, KeepsTheOtherThreadOutUntilUnlocked) {
  Lock lock;
  int counter = 0;
  const auto add = [&] {
    for (int i = 0; i < 2000; ++i) {
      const std::lock_guard held(lock);
      const int seen = counter;
      ::SwitchToThread();
      counter = seen + 1;
    }
  };
  std::thread first(add), second(add);
  first.join();
  second.join();
  EXPECT_EQ(counter, 4000);
}

struct UnloadCase {
  const char* how;
  const char* queryUnload;
};

class ToolkitUnloadTest : public ToolkitWindowTest, public ::testing::WithParamInterface<UnloadCase> {};

TEST_P(ToolkitUnloadTest, UnloadRaisesBothEventsThenLeavesAnInertObject) {
  LoadMain();
  window->Show();
  const std::string how = GetParam().how;
  if (how == "code") window->Unload();
  if (how == "close") ::SendMessageW(main, WM_CLOSE, 0, 0);
  if (how == "endsession") ::SendMessageW(main, WM_ENDSESSION, TRUE, 0);
  EXPECT_EQ(events.log, (std::vector<std::string>{GetParam().queryUnload, "OnUnload"}));
  EXPECT_FALSE(window->Loaded());
  EXPECT_FALSE(::IsWindow(main));
  EXPECT_TRUE(QuitPosted());  // it was the last form

  // Every method is now a no-op.
  window->Show();
  window->ReportBox().SetText("x");
  EXPECT_EQ(window->ReportBox().Text(), "");
  EXPECT_EQ(window->LogPixelsX(), 0);
  window->SetLeft(10);
  window->WindowTimer().SetEnabled(true);
  window->Unload();
  EXPECT_EQ(events.log.size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Table, ToolkitUnloadTest,
                         ::testing::Values(UnloadCase{"code", "OnQueryUnload(1)"},
                                           UnloadCase{"close", "OnQueryUnload(0)"},
                                           UnloadCase{"endsession", "OnQueryUnload(2)"}));

TEST_F(ToolkitWindowTest, CancelledUnloadKeepsTheWindow) {
  LoadMain();
  events.cancelOnQuery = 1;
  window->Unload();
  EXPECT_EQ(events.log, (std::vector<std::string>{"OnQueryUnload(1)"}));
  EXPECT_TRUE(window->Loaded());
  EXPECT_TRUE(::IsWindow(main));
}

TEST_F(ToolkitWindowTest, CloseArrivingDuringTheUnloadIsIgnored) {
  LoadMain();
  events.onUnload = [&] {
    ::PostMessageW(main, WM_CLOSE, 0, 0);
    tk->DoEvents();  // as the program's own unload handler does
  };
  window->Unload();
  EXPECT_EQ(events.log, (std::vector<std::string>{"OnQueryUnload(1)", "OnUnload"}));
  EXPECT_FALSE(window->Loaded());
}

TEST_F(ToolkitWindowTest, QuitIsPostedWhenTheLastFormGoesNotBefore) {
  LoadMain();
  window->Show();
  window->Hide();
  EXPECT_FALSE(QuitPosted());
  window->Unload();
  int code = -1;
  EXPECT_TRUE(QuitPosted(&code));
  EXPECT_EQ(code, 0);
}

TEST_F(ToolkitWindowTest, RunReturnsAtOnceWithoutForms) { EXPECT_EQ(tk->Run(), 0); }

void CALLBACK PostGuardQuit(HWND, UINT, UINT_PTR, DWORD) { ::PostQuitMessage(99); }

TEST_F(ToolkitWindowTest, RunEndsWhenTheLastFormIsClosed) {
  LoadMain();
  window->Show();
  ::PostMessageW(main, WM_CLOSE, 0, 0);
  // A guard: if the loop did not end by itself, this ends it with another code.
  const UINT_PTR guard = ::SetTimer(nullptr, 0, 10000, &PostGuardQuit);
  const int code = tk->Run();
  ::KillTimer(nullptr, guard);
  EXPECT_EQ(code, 0);
  EXPECT_FALSE(window->Loaded());
}

TEST_F(ToolkitWindowTest, DoEventsDispatchesPendingMessagesAndPutsAQuitBack) {
  LoadMain();
  ::PostMessageW(main, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 11));
  ::PostQuitMessage(7);
  ::PostMessageW(main, WM_MOUSEMOVE, 0, MAKELPARAM(12, 13));
  tk->DoEvents();
  ::ReleaseCapture();
  ASSERT_FALSE(events.log.empty());
  EXPECT_EQ(events.log.front(), "OnMouseDown(1,0,10,11)");
  int code = 0;
  EXPECT_TRUE(QuitPosted(&code));
  EXPECT_EQ(code, 7);
}

// While a modal loop runs (menu, message box), a thread timer looks at what it shows and
// answers it. It gives up after a few seconds, so a test can fail but never hang.
struct ModalProbe {
  std::function<bool()> step;  // true when done
  int attempts = 0;
  static ModalProbe* current;
  static void CALLBACK OnTimer(HWND, UINT, UINT_PTR id, DWORD) {
    if (current == nullptr) return;
    if (current->step() || ++current->attempts > 60) {
      ::KillTimer(nullptr, id);
      if (current->attempts > 60) ::EndMenu();
      current = nullptr;
    }
  }
};
ModalProbe* ModalProbe::current = nullptr;

TEST_F(ToolkitWindowTest, PopupMenuShowsTheItemsAndReturnsTheChosenIndex) {
  LoadMain();
  window->Show();
  const std::vector<toolkit::MenuItem> items{{"-", ""},
                                             {"О программе / About...", "F1"},
                                             {"-", ""},
                                             {"Обновить / Refresh...", "F5"},
                                             {"Выход / Quit...    [Esc]", ""}};
  std::vector<std::wstring> seen;
  std::vector<bool> separators;
  UINT defaultItem = 0;
  ModalProbe probe;
  probe.step = [&] {
    const auto menus = ThreadWindows(L"#32768");
    if (menus.empty()) return false;
    auto hmenu = reinterpret_cast<HMENU>(::SendMessageW(menus[0], MN_GETHMENU, 0, 0));
    if (hmenu == nullptr) return false;
    for (int i = 0; i < ::GetMenuItemCount(hmenu); ++i) {
      wchar_t text[128] = {};
      ::GetMenuStringW(hmenu, static_cast<UINT>(i), text, 128, MF_BYPOSITION);
      seen.emplace_back(text);
      separators.push_back((::GetMenuState(hmenu, static_cast<UINT>(i), MF_BYPOSITION) & MF_SEPARATOR) != 0);
    }
    defaultItem = ::GetMenuDefaultItem(hmenu, TRUE, 0);
    // Down selects the first item that can be chosen; Return chooses it.
    ::PostMessageW(menus[0], WM_KEYDOWN, VK_DOWN, 0);
    ::PostMessageW(menus[0], WM_KEYDOWN, VK_RETURN, 0);
    return true;
  };
  ModalProbe::current = &probe;
  ::SetTimer(nullptr, 0, 50, &ModalProbe::OnTimer);
  const int chosen = window->PopupMenu(items, 3);
  ModalProbe::current = nullptr;

  ASSERT_EQ(seen.size(), items.size());
  EXPECT_EQ(seen[1], L"О программе / About...\tF1");
  EXPECT_EQ(seen[4], L"Выход / Quit...    [Esc]");
  EXPECT_EQ(separators, (std::vector<bool>{true, false, true, false, false}));
  EXPECT_EQ(defaultItem, 3u);
  EXPECT_EQ(chosen, 1);
}

TEST_F(ToolkitWindowTest, DismissedPopupMenuReturnsMinusOne) {
  LoadMain();
  window->Show();
  ModalProbe probe;
  probe.step = [&] {
    if (ThreadWindows(L"#32768").empty()) return false;
    ::EndMenu();
    return true;
  };
  ModalProbe::current = &probe;
  ::SetTimer(nullptr, 0, 50, &ModalProbe::OnTimer);
  EXPECT_EQ(window->PopupMenu({{"Отмена / Cancel", ""}}, 0), -1);
  ModalProbe::current = nullptr;
}

struct BoxSeen {
  std::wstring text, title;
  HWND owner = nullptr;
};

// Shows a message box and reads it while it is open, then presses OK.
BoxSeen ShowAndReadBox(Win32Toolkit& tk, const std::string& text, const std::string& title, int* result) {
  BoxSeen seen;
  ModalProbe probe;
  probe.step = [&] {
    const auto boxes = ThreadWindows(L"#32770");
    if (boxes.empty()) return false;
    wchar_t buffer[512] = {};
    ::GetDlgItemTextW(boxes[0], 0xFFFF, buffer, 512);
    seen.text = buffer;
    ::GetWindowTextW(boxes[0], buffer, 512);
    seen.title = buffer;
    seen.owner = ::GetWindow(boxes[0], GW_OWNER);
    ::PostMessageW(boxes[0], WM_COMMAND, IDOK, 0);
    return true;
  };
  ModalProbe::current = &probe;
  ::SetTimer(nullptr, 0, 50, &ModalProbe::OnTimer);
  *result = tk.MsgBox(text, toolkit::kMbIconQuestion | toolkit::kMbOk, title);
  ModalProbe::current = nullptr;
  return seen;
}

TEST_F(ToolkitWindowTest, MessageBoxShowsTheLinesOwnedByTheVisibleMainWindow) {
  LoadMain();
  window->Show();
  int result = 0;
  const BoxSeen seen =
      ShowAndReadBox(*tk, "***  Tarnvik  ***\r\rОС:\tWindows\r", " QELM Tarnvik  About / Info...", &result);
  EXPECT_EQ(seen.text, L"***  Tarnvik  ***\r\n\r\nОС:\tWindows\r\n");
  EXPECT_EQ(seen.title, L" QELM Tarnvik  About / Info...");
  EXPECT_EQ(seen.owner, main);
  EXPECT_EQ(result, IDOK);
}

TEST_F(ToolkitWindowTest, MessageBoxHasNoOwnerWhileTheMainWindowIsHidden) {
  LoadMain();
  tk->SetTitle("QELM Tarnvik 1.2.0.2016.0");
  int result = 0;
  const BoxSeen seen = ShowAndReadBox(*tk, "x", "", &result);
  EXPECT_EQ(seen.owner, nullptr);
  EXPECT_EQ(seen.title, L"QELM Tarnvik 1.2.0.2016.0");  // no title: the application's
  EXPECT_EQ(result, IDOK);
}

}  // namespace
}  // namespace tarnvik::win
