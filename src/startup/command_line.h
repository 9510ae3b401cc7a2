// The command line: none opens the window; /save FILE, /json FILE and /csv FILE write the report
// and end.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/workers.h"
#include "report/csv.h"

namespace tarnvik {

class CommandApi;
class DiskApi;
class DriveApi;
class MachineApi;
class ProcessApi;
class RegistryApi;
class VersionApi;
class VolumeApi;
class WmiApi;

enum class CommandAction {
  Window,    ///< no arguments: the program as it has always run
  SaveText,  ///< /save FILE: the report text
  SaveJson,  ///< /json FILE: the report as JSON
  SaveCsv,   ///< /csv FILE or /csv:semicolon FILE: the report as a sheet
  Usage,     ///< /? : the usage text, nothing else
  Wrong,     ///< a command line the program does not understand
};

/// Exit codes a script can rely on.
enum : int { kExitWritten = 0, kExitNotWritten = 1, kExitWrongCommandLine = 2 };

/// The FILE that means the standard output handle.
inline constexpr std::string_view kStandardOutputFile = "-";

struct CommandRequest {
  CommandAction action = CommandAction::Window;
  std::string file;     ///< SaveText, SaveJson, SaveCsv: where to write
  std::string problem;  ///< Wrong: one line saying what is wrong
  CsvDelimiter delimiter = CsvDelimiter::kComma;  ///< SaveCsv: between the fields
  bool operator==(const CommandRequest&) const = default;
};

/// Reads the arguments after the program's name. Switches begin with "/" or "-" and are
/// matched without regard to case; FILE is the next argument, taken as it stands.
CommandRequest ParseCommandLine(const std::vector<std::string>& arguments);

/// Marks a request that writes a file as no running copy (MarkNotACopy), so that a window
/// started at any moment of the run does not count it as a second copy. Called first of all, before
/// COM and the toolkit are set up.
void MarkIfSaving(ProcessApi& process, const CommandRequest& request);

/// The operating-system interfaces a saving run calls.
struct SavingApis {
  DriveApi& drive;
  VersionApi& version;
  RegistryApi& registry;
  ProcessApi& process;
  WmiApi& wmi;
  DiskApi& disk;
  MachineApi& machine;
  VolumeApi& volume;
};

/// What a saving run needs of the program it runs in; no window toolkit.
struct SavingRun {
  Workers& workers;  ///< the threads the drives are asked on
  /// Returns once one of `workers` has called Wake, or at once after a Wake nobody waited for.
  void (*waitForWake)(Workers& workers);
  SavingApis os;
  std::string programFolder;  ///< the running executable's folder
};

/// Carries out a request other than Window and returns the process's exit code. A saving run
/// opens no window and shows no message box: it stamps the registry as every run does, but
/// takes no part in the single-instance checks; it settles where the report goes (a FILE that
/// is a folder or a device other than a pipe, NUL or the console is refused at once), asks the
/// drives on workers, waits for their wake, writes FILE through a temporary file of its own
/// beside it, and says what went wrong, if anything, on the standard error handle.
int RunCommand(const SavingRun& run, CommandApi& api, const CommandRequest& request);

}  // namespace tarnvik
