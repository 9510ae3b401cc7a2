// The Windows functions the program calls only where the system has them: newer than the oldest
// Windows it runs on, or in a library it does not import. One rule for all of them: a library's
// functions are looked up together, once, at the first call that needs one of them, from any
// thread; a function this Windows lacks is null, and its caller falls back.
#pragma once

#include "base/win32_win.h"

struct IUnknown;

namespace tarnvik::win {

/// kernel32's.
struct Kernel32Functions {
  BOOL(WINAPI* ProcessIdToSessionId)(DWORD, DWORD*);       ///< Windows 2000; 9x and NT 4 lack it
  BOOL(WINAPI* CancelSynchronousIo)(HANDLE);                ///< Vista
  BOOL(WINAPI* IsWow64Process2)(HANDLE, USHORT*, USHORT*);  ///< Windows 10 1709
};

/// oleacc's. The library is loaded from the system folder by the first call, so a start pays
/// nothing for it until a screen reader asks; it is never freed, since the objects it makes
/// live on in the screen reader.
struct OleaccFunctions {
  HRESULT(WINAPI* CreateStdAccessibleObject)(HWND, LONG, REFIID, void**);
  LRESULT(WINAPI* LresultFromObject)(REFIID, WPARAM, IUnknown*);
};

const Kernel32Functions& Kernel32();
const OleaccFunctions& Oleacc();

/// Loads a library from the system folder alone (never from the current or the program's
/// folder); null when it cannot. It stays loaded for the process's life.
HMODULE LoadSystemLibrary(const wchar_t* name);

}  // namespace tarnvik::win
