// The Win32 backend of the window toolkit: raw Unicode windows, no framework. Callers need no
// <windows.h>: the native state lives behind a pointer. The small text rules the backend
// applies at the Windows edge are declared here too, so they can be tested on their own.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/module_path_win.h"
#include "ui/toolkit/toolkit.h"

namespace tarnvik::win {

/// Whether a toolkit takes part in the single-instance check: a run that saves a report
/// without a window neither counts as an instance nor asks about one.
enum class InstanceCheck { Take, Skip };

class Win32Toolkit final : public toolkit::Toolkit {
 public:
  /// Registers the window classes and, unless told to skip it, takes the single-instance mutex
  /// of this executable.
  explicit Win32Toolkit(InstanceCheck check = InstanceCheck::Take);
  ~Win32Toolkit() override;
  Win32Toolkit(const Win32Toolkit&) = delete;
  Win32Toolkit& operator=(const Win32Toolkit&) = delete;

  std::unique_ptr<toolkit::MainWindow> LoadMainWindow(toolkit::MainWindowEvents& events) override;

  void DoEvents() override;
  void WaitEvents() override;
  void Wake() override;
  bool RunInBackground(std::function<void()> work) override;
  int MsgBox(std::string_view text, int style, std::string_view title) override;
  bool Shell(std::string_view commandLine, int windowStyle) override;

  void SetTitle(std::string_view title) override;
  std::string Path() const override;
  std::string ExeName() const override;
  bool PrevInstance() const override;

  /// The title last set.
  std::string Title() const;
  /// Runs the message loop until no form remains and returns the quit code; returns 0 at once
  /// when no form is loaded.
  int Run();
  /// Closes the single-instance mutex now rather than when the process's handles go: a process
  /// whose worker is stuck in I/O that cannot be cancelled lingers after it is ended, and would
  /// otherwise keep refusing a new start the whole time.
  void ReleaseInstance();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

/// The wake bits of the wait on Windows `major`.`minor`: every input, and touch and pen input
/// from Windows 8 on.
unsigned WakeMaskForVersion(unsigned major, unsigned minor);

/// Message boxes break lines at CR LF: every CR not already followed by LF gains one, so the
/// same lines appear. Other characters are kept as they are.
std::string LoneCrToCrLf(std::string_view text);

/// The file name of a module path without folder and extension.
std::wstring ExeNameOfModulePath(std::wstring_view path);

/// Name of the single-instance mutex for an (already upper-cased) executable path: "Local\"
/// and the path with its backslashes turned into slashes, which kernel object names accept.
/// A path too long for an object name is shortened to its tail and a hash of the whole.
std::wstring InstanceMutexName(std::wstring_view upperPath);

/// The program a command line names: its first blank-separated token, or the text between
/// the quotes when it begins with one.
std::wstring FirstCommandToken(std::wstring_view commandLine);

/// When the program of `commandLine` is a bare file name (no folder, no drive), the full path
/// of the first of `folders` that holds it (".exe" is added to a name without extension, as
/// process creation does); otherwise, or when no folder holds it, the empty text.
std::wstring ResolveInFolders(std::wstring_view commandLine, const std::vector<std::wstring>& folders,
                              const std::function<bool(const std::wstring&)>& fileExists);

/// ResolveInFolders with the system folder and then the Windows folder.
std::wstring ResolveInSystemFolders(std::wstring_view commandLine);

/// The ShowWindow command for a Shell window style (1: normal with the focus); unknown styles
/// start the window normally.
int ShowCommandForWindowStyle(int windowStyle);

}  // namespace tarnvik::win
