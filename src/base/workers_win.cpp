// Background threads through CreateThread, one per piece of work, never waited for.
#include "base/workers_win.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "base/late_bound_win.h"
#include "base/lock.h"

// After <windows.h>, which it needs.
#include <objbase.h>

namespace tarnvik::win {
namespace {

// Workers that have not finished. Process-wide, so that a worker never needs its owner to say
// it is done.
std::atomic<int> g_runningWork{0};

// The workers' thread handles (with every right, THREAD_TERMINATE among them, as CreateThread
// gives them), kept so that the end can cancel a call a worker is stuck in. Finished threads are
// dropped whenever a new one starts.
Lock g_workersLock;
std::vector<ScopedKernelHandle>& WorkerThreads() {
  static std::vector<ScopedKernelHandle> workers;
  return workers;
}

DWORD WINAPI RunWork(void* parameter) {
  {
    const std::unique_ptr<std::function<void()>> work(static_cast<std::function<void()>*>(parameter));
    // Nothing may unwind into the system's thread start.
    try {
      (*work)();
    } catch (...) {
    }
    // The work, and whatever it holds, goes here, while the count still says it runs.
  }
  --g_runningWork;
  return 0;
}

}  // namespace

// Auto-reset: one Wake ends one wait, and a Wake with nobody waiting ends the next one.
ThreadWorkers::ThreadWorkers() : wake_(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

bool ThreadWorkers::RunInBackground(std::function<void()> work) { return Start(std::move(work)); }

bool ThreadWorkers::Start(std::function<void()>&& work) {
  auto owned = std::make_unique<std::function<void()>>(std::move(work));
  const std::lock_guard lock(g_workersLock);
  std::vector<ScopedKernelHandle>& workers = WorkerThreads();
  std::erase_if(workers, [](const ScopedKernelHandle& t) { return ::WaitForSingleObject(t.get(), 0) != WAIT_TIMEOUT; });
  workers.reserve(workers.size() + 1);  // so that keeping the handle below cannot fail
  ++g_runningWork;
  ScopedKernelHandle thread(::CreateThread(nullptr, 0, &RunWork, owned.get(), 0, nullptr));
  if (!thread) {
    --g_runningWork;
    return false;
  }
  owned.release();  // the thread owns it now
  workers.push_back(std::move(thread));
  return true;
}

void ThreadWorkers::Wake() {
  if (wake_) ::SetEvent(wake_.get());
}

void ThreadWorkers::WaitForWake() {
  HANDLE wake = wake_.get();
  if (wake == nullptr) return;
  // In a single-threaded apartment this is COM's modal loop, which a thread that owns an
  // apartment must run while it blocks; elsewhere a plain wait.
  DWORD index = 0;
  const HRESULT result = ::CoWaitForMultipleHandles(0, INFINITE, 1, &wake, &index);
  if (FAILED(result)) ::WaitForSingleObject(wake, INFINITE);
}

bool BackgroundWorkRunning() { return g_runningWork.load() > 0; }

void CancelBackgroundCalls() {
  // Vista and later: looked up at run time, so the program still starts on older Windows.
  const auto cancel = Kernel32().CancelSynchronousIo;
  if (cancel == nullptr) return;
  const std::lock_guard lock(g_workersLock);
  for (const ScopedKernelHandle& thread : WorkerThreads()) {
    if (::WaitForSingleObject(thread.get(), 0) == WAIT_TIMEOUT) cancel(thread.get());
  }
}

}  // namespace tarnvik::win
