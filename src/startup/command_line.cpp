// The saving runs: what the switches mean, and a report written to a file or the standard
// output without a window. Nobody may be there to read a message box, so problems go to the
// standard error handle and the exit code, and nothing waits for a user.
#include "startup/command_line.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <utility>

#include "base/text.h"
#include "report/report.h"
#include "report/machine_facts.h"
#include "report/report_csv.h"
#include "report/report_json.h"
#include "report/report_queries.h"
#include "report/report_text.h"
#include "startup/begin_run.h"
#include "startup/command_api.h"
#include "startup/environment.h"
#include "startup/process_api.h"
#include "startup/process_scan.h"

namespace tarnvik {
namespace {

constexpr std::string_view kUsage =
    "Usage: tarnvik [/save FILE | /json FILE | /csv FILE | /csv:semicolon FILE]\r\n"
    "  /save FILE  writes the report text (UTF-8 with a byte-order mark) and exits\r\n"
    "  /json FILE  writes the report as JSON (UTF-8) and exits\r\n"
    "  /csv FILE   writes one row per drive, comma-separated (UTF-8 with a byte-order mark),\r\n"
    "              and exits; /csv:semicolon separates with \";\" for such list separators\r\n"
    "  FILE - is the standard output (no byte-order mark); of the devices, only a pipe, NUL and\r\n"
    "  CON are written to. Exit code 0 written, 1 not written, 2 wrong command line or device.\r\n";

CommandRequest Wrong(std::string problem) { return {CommandAction::Wrong, {}, std::move(problem)}; }

bool IsSaving(CommandAction action) {
  return action == CommandAction::SaveText || action == CommandAction::SaveJson || action == CommandAction::SaveCsv;
}

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

/// Every drive letter present, asked on workers and collected as the window collects them; with
/// `disks`, the volumes no letter reaches after them.
Report AskDrives(const SavingRun& run, bool withStyles, uint32_t presentLetters, std::optional<DiskQuestions> disks) {
  LetterSet letters{};
  for (int index = 0; index < 26; ++index) letters[static_cast<std::size_t>(index)] = (presentLetters >> index) & 1u;
  const std::shared_ptr<ReportQueries> queries =
      ReportQueries::Start(run.workers, run.os.drive, run.os.wmi, letters, withStyles, disks);
  Report report{withStyles, {}};
  // A drive that hangs holds the file back exactly as it holds the window's report, and so
  // does a volume without a letter.
  const auto wait = [&] {
    run.waitForWake(run.workers);
    return true;
  };
  CollectDrives(*queries, report, wait, [](const Report&) { return true; });
  CollectVolumes(*queries, report, wait);
  return report;
}

/// Paths that name a device, or are already in the form that skips Windows' path rules.
bool DevicePath(std::string_view path) { return path.starts_with("\\\\.\\"); }
bool VerbatimPath(std::string_view path) { return path.starts_with("\\\\?\\"); }

/// "X:\..." or "\\server\share\..." with either separator: absolute whatever the current folder.
bool AbsolutePath(std::string_view path) {
  const auto separator = [&path](std::size_t at) { return at < path.size() && (path[at] == '\\' || path[at] == '/'); };
  const char letter = path.empty() ? '\0' : static_cast<char>(path[0] | 0x20);
  return (letter >= 'a' && letter <= 'z' && path.size() > 1 && path[1] == ':' && separator(2)) ||
         (separator(0) && separator(1));
}

/// An absolute path made full by Windows' own rules, for when GetFullPathNameW refuses it (a
/// path past MAX_PATH on a system without long-path support): "/" becomes "\", repeated
/// separators fold, "." goes, ".." takes the segment before it but never the drive or the
/// share, a segment loses one final period, and the last one its trailing periods and blanks.
std::string FullFromAbsolute(std::string_view path) {
  std::string text(path);
  std::replace(text.begin(), text.end(), '/', '\\');
  std::vector<std::string> segments;
  std::size_t at = 0;
  std::size_t rootSegments = 1;  // "X:"
  if (text.starts_with("\\\\")) at = 2, rootSegments = 2;  // server, share
  while (at <= text.size()) {
    const std::size_t end = std::min(text.find('\\', at), text.size());
    std::string segment = text.substr(at, end - at);
    at = end + 1;
    if (segment.empty() || segment == ".") continue;
    if (segment == ".." && segments.size() >= rootSegments) {
      if (segments.size() > rootSegments) segments.pop_back();
      continue;
    }
    if (segments.size() >= rootSegments && segment.size() > 1 && segment.back() == '.' &&
        segment[segment.size() - 2] != '.') {
      segment.pop_back();
    }
    segments.push_back(std::move(segment));
  }
  if (!text.ends_with('\\') && segments.size() > rootSegments) {
    std::string& last = segments.back();
    while (!last.empty() && (last.back() == '.' || last.back() == ' ')) last.pop_back();
    if (last.empty()) segments.pop_back();
  }
  std::string full = rootSegments == 2 ? "\\\\" : "";
  for (std::size_t i = 0; i < segments.size(); ++i) full += (i == 0 ? "" : "\\") + segments[i];
  if (segments.size() <= rootSegments) full += '\\';
  return full;
}

/// The form of an absolute path that every file call takes whatever its length: "\\?\C:\..."
/// or "\\?\UNC\server\share\...". A path already in a "\\?\" or "\\.\" form, or one not
/// absolute, stays as it is.
std::string LongPathForm(const std::string& full) {
  if (VerbatimPath(full) || DevicePath(full)) return full;
  if (full.starts_with("\\\\")) return "\\\\?\\UNC\\" + full.substr(2);
  const char letter = full.empty() ? '\0' : static_cast<char>(full[0] | 0x20);
  const bool drive = full.size() >= 3 && letter >= 'a' && letter <= 'z' && full[1] == ':' && full[2] == '\\';
  return drive ? "\\\\?\\" + full : full;
}

/// MoveFileExW over `to`, tried again for a short while when another process holds either
/// file: an indexer or a virus scanner opens a new file for a moment, and a rename over a file
/// that someone has open without delete sharing fails with a sharing violation or access
/// denied until they close it. The waits double from 50 ms and add up to 1.55 s: far longer
/// than such a scan of a file of this size takes, short enough that a script waiting for a
/// file that stays locked (or read-only) hears of it at once.
uint32_t MoveOver(CommandApi& api, const std::string& from, const std::string& to) {
  uint32_t error = api.MoveFileExW(from, to);
  for (uint32_t wait = 50; wait <= 800 && (error == kErrorSharingViolation || error == kErrorAccessDenied); wait *= 2) {
    api.Sleep(wait);
    error = api.MoveFileExW(from, to);
  }
  return error;
}

int NotWritten(CommandApi& api, const std::string& file, const std::string& reason) {
  Complain(api, "tarnvik: the report could not be written to \"" + file + "\": " + reason + "\r\n");
  return kExitNotWritten;
}

/// Where a saving run's report goes, settled before any drive is asked.
struct Destination {
  std::string path;     ///< what is opened: FILE made full in its long-path form, or the device
  bool device = false;  ///< a pipe, NUL or the console: written as it is, with no temporary
};

/// FILE made full by Windows' own rules, which turn "COM1" (and, on older systems, "C:\x\nul.txt")
/// into the device path CreateFileW would open, and resolve a "\\.\pipe\..\" that would
/// leave the pipes; a "\\?\" path reaches the system as it stands. 0, or the error of a FILE
/// that cannot be made full.
uint32_t FullPath(CommandApi& api, const std::string& file, std::string& full) {
  full = file;
  if (VerbatimPath(file)) return 0;
  const uint32_t error = api.GetFullPathNameW(file, full);
  if (error != 0 && !AbsolutePath(file)) return error;
  if (error != 0) full = FullFromAbsolute(file);
  return 0;
}

/// kExitWritten with `to` set, or the exit code of a FILE the report cannot go to. Of the
/// devices, only a pipe, NUL and the console take it: written over a disk, a volume or a port,
/// it would destroy what they hold. A folder is said at once: the rename over it can only fail.
int Decide(CommandApi& api, const std::string& file, Destination& to) {
  if (file == kStandardOutputFile) return kExitWritten;
  std::string full;
  if (const uint32_t error = FullPath(api, file, full); error != 0) return NotWritten(api, file, Reason(api, error));
  const std::string given = LowerAscii(file), name = LowerAscii(full);
  const auto named = [&](const char* device) { return given == device || name == "\\\\.\\" + std::string(device); };
  to.device = true;
  // The console's buffer by the name CreateFileW knows it, also where Windows makes a bare
  // "CONOUT$" a file of the current folder.
  if (named("con") || named("conout$")) return to.path = "CONOUT$", kExitWritten;
  if (named("nul")) return to.path = "\\\\.\\NUL", kExitWritten;
  if (name.starts_with("\\\\.\\pipe\\") && name.size() > 9) return to.path = full, kExitWritten;
  to.device = false;
  to.path = LongPathForm(full);
  // Any other device, or a "\\?\" path that is no plain file path ("\\?\X:\..." or "\\?\UNC\...").
  const std::string form = LowerAscii(to.path.substr(0, 8));
  const bool drive = form.size() > 6 && form[4] >= 'a' && form[4] <= 'z' && form[5] == ':' && form[6] == '\\';
  if (DevicePath(form) || (VerbatimPath(form) && !drive && form != "\\\\?\\unc\\")) {
    Complain(api, "tarnvik: \"" + file + "\" is a device; a report goes only to a file, a pipe (\\\\.\\pipe\\...), NUL "
                  "or CON, so nothing was written\r\n");
    return kExitWrongCommandLine;
  }
  const uint32_t attributes = api.GetFileAttributesW(to.path);
  if (attributes != kInvalidFileAttributes && (attributes & kFileAttributeDirectory) != 0) {
    return NotWritten(api, file, "it is a folder");
  }
  return kExitWritten;
}

/// Temporary names a run tries before it gives up: one of its names can be taken only by an
/// earlier run of this computer under the same process id that ended before its rename.
constexpr int kTemporaryNames = 16;

/// Writes `bytes` to FILE. A device directly. A file whole or not at all: into a temporary file
/// in FILE's folder, which then replaces it in one rename. The temporary is made new under a
/// name of this run's own (`run`: the computer and the process), with the next count while one
/// is taken, so that runs sharing a folder never write over, rename or delete each other's; its
/// short name fits wherever FILE's does.
int WriteReport(CommandApi& api, const std::string& file, const Destination& to, const std::string& run,
                std::string_view bytes) {
  if (file == kStandardOutputFile) {
    // A program that reads the output takes a mark for text: ConvertFrom-Csv would name the
    // first column with it.
    if (bytes.starts_with(kUtf8ByteOrderMark)) bytes.remove_prefix(kUtf8ByteOrderMark.size());
    const uint32_t error = api.WriteStdHandle(StdStream::Output, bytes);
    if (error == 0) return kExitWritten;
    Complain(api, "tarnvik: the report could not be written to the standard output: " + Reason(api, error) + "\r\n");
    return kExitNotWritten;
  }
  uint32_t error = 0;
  if (to.device) {
    error = api.WriteDevice(to.path, bytes);
  } else {
    const std::string stem = to.path.substr(0, to.path.find_last_of('\\') + 1) + "tarnvik-" + run + "-";
    std::string temporary;
    bool created = false;
    error = kErrorFileExists;
    for (int count = 1; count <= kTemporaryNames && error == kErrorFileExists; ++count) {
      temporary = stem + std::to_string(count) + ".tmp";
      error = api.WriteNewFile(temporary, bytes, created);
    }
    if (error == 0) error = MoveOver(api, temporary, to.path);
    if (error != 0 && created) api.DeleteFileW(temporary);
  }
  return error == 0 ? kExitWritten : NotWritten(api, file, Reason(api, error));
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
  CsvDelimiter delimiter = CsvDelimiter::kComma;
  if (name == "save") action = CommandAction::SaveText;
  if (name == "json") action = CommandAction::SaveJson;
  if (name == "csv" || name == "csv:comma") action = CommandAction::SaveCsv;
  if (name == "csv:semicolon") action = CommandAction::SaveCsv, delimiter = CsvDelimiter::kSemicolon;
  if (action == CommandAction::Wrong && name.starts_with("csv:")) {
    return Wrong("tarnvik: unknown separator in \"" + arguments[0] + "\" (/csv:comma or /csv:semicolon)");
  }
  if (action == CommandAction::Wrong) {
    if (name.empty()) return Wrong("tarnvik: unexpected argument \"" + arguments[0] + "\"");
    return Wrong("tarnvik: unknown switch \"" + arguments[0] + "\"");
  }
  if (arguments.size() < 2 || arguments[1].empty()) {
    return Wrong("tarnvik: " + arguments[0] + " needs a file name (- for the standard output)");
  }
  if (arguments.size() > 2) return Wrong("tarnvik: unexpected argument \"" + arguments[2] + "\"");
  return {action, arguments[1], {}, delimiter};
}

void MarkIfSaving(ProcessApi& process, const CommandRequest& request) {
  if (IsSaving(request.action)) MarkNotACopy(process);
}

int RunCommand(const SavingRun& run, CommandApi& api, const CommandRequest& request) {
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
    case CommandAction::SaveCsv:
      break;
  }
  Environment env;
  if (!BeginRun(run.programFolder, run.os.version, run.os.registry, env)) {
    Complain(api, "tarnvik: this version of Windows is not supported; no report was written\r\n");
    return kExitNotWritten;
  }
  Destination to;
  if (const int refused = Decide(api, request.file, to); refused != kExitWritten) return refused;
  // The text shows no disk and no volume: its run asks the drives exactly as the window does.
  // The documents ask the run's rights once, first: BitLocker is asked only with them, and
  // `elevated` says which.
  const bool text = request.action == CommandAction::SaveText;
  std::optional<DiskQuestions> disks;
  std::optional<bool> elevated;
  if (!text) {
    elevated = QueryElevation(run.os.machine);
    disks.emplace(DiskQuestions{run.os.disk, env.windows, kDiskDeadlineMs, &run.os.volume, elevated.value_or(false)});
  }
  const Report report = AskDrives(run, env.PartitionStylesShown(), api.GetLogicalDrives(), disks);
  // Taken once the drives are in: the time the document's facts hold for.
  const ReportOrigin origin{QueryMachine(run.os.machine, elevated), env.windows};
  const std::optional<std::string>& computer = origin.machine.computerName;
  const std::string name = (computer ? *computer + "-" : "") + std::to_string(run.os.process.GetCurrentProcessId());
  if (text) return WriteReport(api, request.file, to, name, std::string(kUtf8ByteOrderMark) + ReportText(report));
  return WriteReport(api, request.file, to, name,
                     request.action == CommandAction::SaveJson ? ReportJson(report, origin)
                                                               : ReportCsv(report, origin, request.delimiter));
}

}  // namespace tarnvik
