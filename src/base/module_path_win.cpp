#include "base/module_path_win.h"

#include "base/utf_win.h"
#include "base/win32_win.h"

namespace tarnvik::win {

std::wstring ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  // Paths can be longer than MAX_PATH: grow until the whole path fits.
  while (path.size() <= 32768) {
    const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
  return {};
}

std::string ProgramFolder() { return WideToUtf8(FolderOfModulePath(ModulePath())); }

std::wstring FolderOfModulePath(std::wstring_view path) {
  const std::size_t separator = path.find_last_of(L"\\/");
  if (separator == std::wstring_view::npos) return {};
  std::wstring folder(path.substr(0, separator));
  // A drive root keeps its backslash: "C:" alone would mean the drive's current folder.
  if (folder.empty() || folder.back() == L':') folder.push_back(L'\\');
  return folder;
}

}  // namespace tarnvik::win
