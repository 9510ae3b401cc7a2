// Work in the background, and the wake that tells the waiting thread something has arrived:
// all the report's queries need of the thread they are asked from.
#pragma once

#include <functional>

namespace tarnvik {

class Workers {
 public:
  virtual ~Workers() = default;
  /// Runs `work` on a thread of its own and returns at once; false, with `work` dropped unrun,
  /// when no thread could be had. Nothing ever waits for that thread: work stuck in a system
  /// call is left behind when the program ends. An exception out of `work` is swallowed. `work`
  /// must touch nothing of the waiting thread except through Wake.
  virtual bool RunInBackground(std::function<void()> work) = 0;
  /// Safe from any thread: makes the waiting thread's current wait, or its next one, return.
  virtual void Wake() = 0;
};

}  // namespace tarnvik
