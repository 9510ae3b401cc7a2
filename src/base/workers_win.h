// Workers on threads of their own, for every program of the process: the work itself, the count
// of work not yet finished, and the cancel of a call a worker is stuck in at the end.
#pragma once

#include <functional>

#include "base/scoped_win.h"
#include "base/workers.h"

namespace tarnvik::win {

class ThreadWorkers final : public Workers {
 public:
  ThreadWorkers();
  ThreadWorkers(const ThreadWorkers&) = delete;
  ThreadWorkers& operator=(const ThreadWorkers&) = delete;

  bool RunInBackground(std::function<void()> work) override;
  void Wake() override;

  /// RunInBackground for an owner that passes on work it was given, without moving it again.
  bool Start(std::function<void()>&& work);

  /// The auto-reset event Wake sets, for a thread that waits on more than it (the toolkit's
  /// message wait); null when it could not be made.
  HANDLE WakeEvent() const { return wake_.get(); }
  /// Sleeps until Wake, or returns at once after a Wake nobody waited for. A thread in a
  /// single-threaded apartment keeps COM's messages flowing meanwhile.
  void WaitForWake();

 private:
  ScopedKernelHandle wake_;
};

/// True while work started by any ThreadWorkers of the process has not finished, for instance a
/// drive call stuck in the system.
bool BackgroundWorkRunning();

/// Cancels the synchronous I/O of every worker still running (Vista and later; nothing on
/// older Windows), so that a call stuck in the system lets the process end.
void CancelBackgroundCalls();

}  // namespace tarnvik::win
