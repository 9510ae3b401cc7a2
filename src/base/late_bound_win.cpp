#include "base/late_bound_win.h"

#include <cstddef>
#include <cstring>
#include <cwchar>

namespace tarnvik::win {

namespace {

// A table is its functions' pointers in the order of `names`; a missing module or name leaves
// its entry null.
template <class Table, std::size_t N>
Table LookUp(HMODULE module, const char* const (&names)[N]) {
  static_assert(sizeof(Table) == N * sizeof(FARPROC), "one name for every entry of the table");
  FARPROC found[N] = {};
  for (std::size_t i = 0; i < N && module != nullptr; ++i) found[i] = ::GetProcAddress(module, names[i]);
  Table table;
  std::memcpy(&table, found, sizeof table);
  return table;
}

}  // namespace

HMODULE LoadSystemLibrary(const wchar_t* name) {
  wchar_t path[MAX_PATH + 16] = {};  // room for the name after the longest folder
  const UINT length = ::GetSystemDirectoryW(path, MAX_PATH);
  const std::size_t nameLength = std::wcslen(name);
  if (length == 0 || length >= MAX_PATH || nameLength + 2 > 16) return nullptr;
  path[length] = L'\\';
  std::memcpy(path + length + 1, name, (nameLength + 1) * sizeof(wchar_t));
  return ::LoadLibraryW(path);
}

const Kernel32Functions& Kernel32() {
  static const auto table = LookUp<Kernel32Functions>(
      ::GetModuleHandleW(L"kernel32.dll"), {"ProcessIdToSessionId", "CancelSynchronousIo", "IsWow64Process2"});
  return table;
}

const OleaccFunctions& Oleacc() {
  static const auto table = LookUp<OleaccFunctions>(LoadSystemLibrary(L"oleacc.dll"),
                                                    {"CreateStdAccessibleObject", "LresultFromObject"});
  return table;
}

}  // namespace tarnvik::win
