// Where the running program lies: its executable's path and folder.
#pragma once

#include <string>
#include <string_view>

namespace tarnvik::win {

/// GetModuleFileNameW of the executable, however long; empty when the call fails.
std::wstring ModulePath();

/// The executable's folder as FolderOfModulePath gives it, in UTF-8.
std::string ProgramFolder();

/// The folder of a module path, without a trailing backslash except for a drive root ("C:\").
std::wstring FolderOfModulePath(std::wstring_view path);

}  // namespace tarnvik::win
