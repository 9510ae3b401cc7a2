// The saving runs: what the switches mean, and a report written to a file or the standard
// output without a window. Nobody may be there to read a message box, so problems go to the
// standard error handle and the exit code, and nothing waits for a user.
#include "startup/command_line.h"

#include <memory>
#include <optional>
#include <utility>

#include "base/text.h"
#include "report/report_json.h"
#include "report/report_queries.h"
#include "report/report_text.h"
#include "startup/command_api.h"
#include "startup/main.h"
#include "startup/process_scan.h"
#include "startup/program.h"

namespace tarnvik {
namespace {

constexpr std::string_view kUsage =
    "Usage: tarnvik.exe [/save FILE | /json FILE]\r\n"
    "  /save FILE  writes the report text (UTF-8 with a byte-order mark) and exits\r\n"
    "  /json FILE  writes the report as JSON (UTF-8) and exits\r\n"
    "  FILE - is the standard output. Exit code 0 written, 1 not written, 2 wrong command line.\r\n";

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

CommandRequest Wrong(std::string problem) { return {CommandAction::Wrong, {}, std::move(problem)}; }

/// The switch an argument names, without its "/" or "-" and in lower case; empty for an
/// argument that is not a switch.
std::string SwitchName(std::string_view argument) {
  if (argument.size() < 2 || (argument[0] != '/' && argument[0] != '-')) return {};
  return LowerAscii(argument.substr(1));
}

void Complain(CommandApi& api, std::string_view message) {
  // With no standard error handle there is nobody to tell; the exit code still says it.
  api.WriteStdHandle(StdStream::Error, message);
}

std::string Reason(CommandApi& api, uint32_t error) {
  const std::string text = api.ErrorText(error);
  return text.empty() ? "system error " + std::to_string(error) : text + " (" + std::to_string(error) + ")";
}

/// Every drive letter present, asked on workers as the window asks them, in A-to-Z order.
std::vector<ReportedDrive> AskDrives(Program& program, uint32_t presentLetters) {
  LetterSet letters{};
  for (int index = 0; index < 26; ++index) letters[static_cast<std::size_t>(index)] = (presentLetters >> index) & 1u;
  const std::shared_ptr<ReportQueries> queries = ReportQueries::Start(
      program.tk, program.os.drive, program.os.wmi, letters, WantsPartitionStyles(program.FDFSM));
  std::vector<ReportedDrive> drives;
  for (int index = 0; index < 26; ++index) {
    if (!letters[static_cast<std::size_t>(index)]) continue;
    // A drive that hangs holds the file back exactly as it holds the window's report.
    std::optional<DriveReportFacts> facts;
    while (!(facts = queries->Take(index))) program.tk.WaitEvents();
    drives.push_back({index, std::move(*facts)});
  }
  return drives;
}

/// Writes `bytes` to `file` whole or not at all: into a temporary file beside it, which then
/// replaces it in one rename.
int WriteReport(CommandApi& api, uint32_t processId, const std::string& file, std::string_view bytes) {
  if (file == kStandardOutputFile) {
    const uint32_t error = api.WriteStdHandle(StdStream::Output, bytes);
    if (error == 0) return kExitWritten;
    Complain(api, "tarnvik: the report could not be written to the standard output: " + Reason(api, error) + "\r\n");
    return kExitNotWritten;
  }
  const std::string temporary = file + ".tarnvik-" + std::to_string(processId) + ".tmp";
  uint32_t error = api.WriteNewFile(temporary, bytes);
  if (error == 0) error = api.MoveFileExW(temporary, file);
  if (error == 0) return kExitWritten;
  api.DeleteFileW(temporary);
  Complain(api, "tarnvik: the report could not be written to \"" + file + "\": " + Reason(api, error) + "\r\n");
  return kExitNotWritten;
}

}  // namespace

CommandRequest ParseCommandLine(const std::vector<std::string>& arguments) {
  if (arguments.empty()) return {};
  const std::string name = SwitchName(arguments[0]);
  if (name == "?" || name == "help") {
    if (arguments.size() > 1) return Wrong("tarnvik: unexpected argument \"" + arguments[1] + "\"");
    return {CommandAction::Usage, {}, {}};
  }
  CommandAction action = CommandAction::Wrong;
  if (name == "save") action = CommandAction::SaveText;
  if (name == "json") action = CommandAction::SaveJson;
  if (action == CommandAction::Wrong) {
    if (name.empty()) return Wrong("tarnvik: unexpected argument \"" + arguments[0] + "\"");
    return Wrong("tarnvik: unknown switch \"" + arguments[0] + "\"");
  }
  if (arguments.size() < 2 || arguments[1].empty()) {
    return Wrong("tarnvik: " + arguments[0] + " needs a file name (- for the standard output)");
  }
  if (arguments.size() > 2) return Wrong("tarnvik: unexpected argument \"" + arguments[2] + "\"");
  return {action, arguments[1], {}};
}

int RunCommand(Program& program, CommandApi& api, const CommandRequest& request) {
  switch (request.action) {
    case CommandAction::Window:
      return kExitWritten;
    case CommandAction::Usage:
      if (api.WriteStdHandle(StdStream::Output, kUsage) != 0) Complain(api, kUsage);
      return kExitWritten;
    case CommandAction::Wrong:
      Complain(api, request.problem + "\r\n" + std::string(kUsage));
      return kExitWrongCommandLine;
    case CommandAction::SaveText:
    case CommandAction::SaveJson:
      break;
  }
  MarkSavingRun(program.os.process);
  if (!BeginRun(program)) {
    Complain(api, "tarnvik: this version of Windows is not supported; no report was written\r\n");
    return kExitNotWritten;
  }
  const std::vector<ReportedDrive> drives = AskDrives(program, api.GetLogicalDrives());
  // The text is made in either case: the JSON's counts are the ones it shows.
  const std::string text = ReportText(program.FDFSM, drives);
  const uint32_t processId = program.os.process.GetCurrentProcessId();
  if (request.action == CommandAction::SaveText) {
    return WriteReport(api, processId, request.file, std::string(kByteOrderMark) + text);
  }
  return WriteReport(api, processId, request.file, ReportJson(program.FDFSM, drives));
}

}  // namespace tarnvik
