// The critical section behind tarnvik::Lock on Windows.
#include "base/lock.h"

#include "base/win32_win.h"

namespace tarnvik {

static_assert(sizeof(CRITICAL_SECTION) <= sizeof(Lock) && alignof(CRITICAL_SECTION) <= alignof(Lock),
              "Lock's storage must hold a CRITICAL_SECTION");

namespace {
CRITICAL_SECTION* Section(unsigned char* storage) { return reinterpret_cast<CRITICAL_SECTION*>(storage); }
}  // namespace

Lock::Lock() noexcept { ::InitializeCriticalSection(Section(section_)); }

Lock::~Lock() { ::DeleteCriticalSection(Section(section_)); }

void Lock::lock() noexcept { ::EnterCriticalSection(Section(section_)); }

void Lock::unlock() noexcept { ::LeaveCriticalSection(Section(section_)); }

}  // namespace tarnvik
