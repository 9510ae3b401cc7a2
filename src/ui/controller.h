// The user interface's one owner: the report window, the state the program is in, and what
// start-up hands over. The menu, the keys and the caption buttons ask it whether they may act
// and move it on; no handler keeps a flag of its own about the program's state.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "report/drive_api.h"
#include "report/wmi_api.h"
#include "ui/main_window/cursor_api.h"
#include "ui/toolkit/toolkit.h"

namespace tarnvik {

class ReportQueries;
class ReportWindow;

/// The operating-system interfaces the window calls.
struct UiApis {
  DriveApi& drive;
  WmiApi& wmi;
  CursorApi& cursor;
};

class Controller {
 public:
  /// What the program is doing, as the user's commands see it.
  enum class State : uint8_t {
    Starting,  ///< no report has been built yet: Refresh is not taken
    Idle,      ///< Refresh is taken
    Building,  ///< a report is being built: Refresh is dropped, a drive notice waits for the end
    Quitting,  ///< Quit was chosen: the window is hidden, the next tick unloads it; only Quit acts
    Closing,   ///< the window is being unloaded without a quit (a close from outside): nothing acts
  };

  Controller(toolkit::Toolkit& toolkit, const UiApis& apis);
  ~Controller();
  Controller(const Controller&) = delete;
  Controller& operator=(const Controller&) = delete;

  toolkit::Toolkit& tk;
  UiApis os;
  // Where the program runs, set once by start-up.
  std::string appFolder;             ///< the help file's folder, ending in "\"
  bool withPartitionStyles = false;  ///< the report shows the partition styles

  /// Quitting or Closing once the window is going, otherwise what the report does. A build that
  /// a quit or a close stops is still on the stack until its next yield returns: the report's
  /// part of the state is kept apart, so that it reads Building until then.
  State state() const { return going_ != State::Idle ? going_ : report_; }
  /// The window takes the user's commands: neither quitting nor closing.
  bool Open() const { return going_ == State::Idle; }
  bool Quitting() const { return going_ == State::Quitting; }
  /// A report has been built, or stopped, and none is being built now.
  bool ReportIdle() const { return report_ == State::Idle; }
  /// The About box or the pop-up menu is open. They run the system's loops, which can nest in any state.
  bool InModalLoop() const { return modalLoops_ > 0; }

  /// Makes the report window, hidden. Start-up calls it once; nothing makes a second.
  ReportWindow& OpenWindow();
  /// The window, or null before OpenWindow. An unload destroys its native window; the object
  /// goes with the controller, as a handler of it may still be on the stack at the unload.
  ReportWindow* Window() { return window_.get(); }

  /// A report build begins: false, and nothing changes, unless the window is open and not building.
  bool BeginBuild();
  /// The build has ended, however.
  void EndBuild();
  /// The quit command: hides the window; its timer finishes the quit at the next tick.
  void Quit();
  /// The window's unload has begun: a quit stays a quit, anything else becomes a close.
  void WindowClosing();

  /// Marks a modal loop of the system while it runs. Its loop delivers the timers' ticks, so
  /// the window holds back rebuilds meanwhile and resumes them when the last one ends.
  class ModalLoop {
   public:
    explicit ModalLoop(Controller& ui);
    ~ModalLoop();
    ModalLoop(const ModalLoop&) = delete;
    ModalLoop& operator=(const ModalLoop&) = delete;

   private:
    Controller& ui_;
  };

  /// The first report's queries, begun before the window showed; the first build takes them.
  void SetStartedQueries(std::shared_ptr<ReportQueries> queries);
  std::shared_ptr<ReportQueries> TakeStartedQueries();

 private:
  State report_ = State::Starting;  // Starting, Idle or Building
  State going_ = State::Idle;       // Quitting or Closing once the window is going; Idle before
  int modalLoops_ = 0;
  std::unique_ptr<ReportWindow> window_;
  std::shared_ptr<ReportQueries> startedQueries_;
};

}  // namespace tarnvik
