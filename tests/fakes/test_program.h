// A whole program on the headless toolkit with every operating-system call faked.
#pragma once

#include <string>

#include "fakes/fake_cursor_api.h"
#include "fakes/fake_disk_api.h"
#include "fakes/fake_drive_api.h"
#include "fakes/fake_machine_api.h"
#include "fakes/fake_process_api.h"
#include "fakes/fake_registry_api.h"
#include "fakes/fake_version_api.h"
#include "fakes/fake_volume_api.h"
#include "fakes/fake_wmi_api.h"
#include "startup/command_line.h"
#include "startup/program.h"
#include "ui/toolkit/headless_toolkit.h"

namespace tarnvik::testing {

/// The toolkit comes after the fakes, so a toolkit whose workers are threads ends them first.
template <class Toolkit = toolkit::HeadlessToolkit>
struct BasicTestProgram {
  FakeDriveApi drive;
  FakeVersionApi version;
  FakeRegistryApi registry;
  FakeProcessApi process;
  FakeWmiApi wmi;
  FakeCursorApi cursor;
  FakeDiskApi disk;
  FakeMachineApi machine;
  FakeVolumeApi volume;
  Toolkit tk;
  Program program{tk, OsApis{drive, version, registry, process, wmi, cursor, disk, machine}};

  Controller& ui() { return program.ui; }
  /// The same program as a saving run sees it: the toolkit's workers and wait, the fakes.
  SavingRun Saving() {
    return {tk, [](Workers& w) { static_cast<Toolkit&>(w).WaitEvents(); },
            {drive, version, registry, process, wmi, disk, machine, volume}, tk.path};
  }
  /// The Windows version start-up would have read, and what the window takes from it.
  void SetOsVersion(const std::string& text) {
    program.env.osVersion = text;
    program.ui.withPartitionStyles = program.env.PartitionStylesShown();
  }
};
using TestProgram = BasicTestProgram<>;

}  // namespace tarnvik::testing
