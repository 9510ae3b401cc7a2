// The running program: its module state, the operating-system interfaces it calls, the
// toolkit, and the program-wide references to its two forms.
#pragma once

#include <memory>
#include <vector>

#include "report/drive_api.h"
#include "report/wmi_api.h"
#include "startup/fdfsm.h"
#include "startup/process_api.h"
#include "startup/registry_api.h"
#include "startup/version_api.h"
#include "ui/toolkit/toolkit.h"

namespace tarnvik {

class Fdfsg;
class Fdfsf;
class ReportQueries;

/// The cursor query of the window timer, shaped like user32's GetCursorPos.
class CursorApi {
 public:
  virtual ~CursorApi() = default;
  /// Non-zero on success; x and y untouched on failure.
  virtual int GetCursorPos(int32_t& x, int32_t& y) = 0;
};

struct OsApis {
  DriveApi& drive;
  VersionApi& version;
  RegistryApi& registry;
  ProcessApi& process;
  WmiApi& wmi;
  CursorApi& cursor;
};

class Program {
 public:
  Program(toolkit::Toolkit& toolkit, const OsApis& os);
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  Fdfsm FDFSM;
  toolkit::Toolkit& tk;
  OsApis os;
  /// The first report's queries, begun by start-up before the windows opened.
  std::shared_ptr<ReportQueries> startedQueries;

  /// The program-wide references. Using an empty one loads a fresh, hidden instance.
  Fdfsg& FDFSG();
  Fdfsf& FDFSF();
  bool FdfsgLoaded() const;
  bool FdfsfLoaded() const;

  /// Clear a reference. The form object lives on, inert, until the program ends, because the
  /// handler that releases it may still be on the stack.
  void ReleaseFdfsg();
  void ReleaseFdfsf();

 private:
  std::unique_ptr<Fdfsg> fdfsg_;
  std::unique_ptr<Fdfsf> fdfsf_;
  std::vector<std::unique_ptr<Fdfsg>> releasedFdfsg_;
  std::vector<std::unique_ptr<Fdfsf>> releasedFdfsf_;
};

}  // namespace tarnvik
