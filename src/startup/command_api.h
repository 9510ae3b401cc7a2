// What a run started with a command line reaches of the system: its arguments, the drive
// letters, the standard handles and the file calls of a report written to disk.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarnvik {

enum class StdStream { Output, Error };

/// Windows error codes the portable side names.
enum : uint32_t { kErrorInvalidHandle = 6, kErrorSharingViolation = 32, kErrorFileExists = 80 };

/// GetFileAttributesW's answer when it fails, and the bit of a folder.
enum : uint32_t { kInvalidFileAttributes = 0xFFFFFFFF, kFileAttributeDirectory = 0x10 };

/// Mirrors the kernel32 and shell32 calls. Texts and paths are UTF-8 (the Windows adapter calls
/// the wide functions). Every method that writes answers 0 on success and the system's error
/// code (GetLastError) on failure.
class CommandApi {
 public:
  virtual ~CommandApi() = default;

  /// GetCommandLineW split by CommandLineToArgvW, without the program's own name; empty when
  /// the split fails.
  virtual std::vector<std::string> Arguments() = 0;

  /// GetLogicalDrives: bit 0 is A.
  virtual uint32_t GetLogicalDrives() = 0;

  /// WriteFile of all of `bytes` to GetStdHandle of `stream`, or, where that handle is a
  /// console (GetConsoleMode), WriteConsoleW of them as UTF-16; kErrorInvalidHandle when the
  /// process was given no such handle.
  virtual uint32_t WriteStdHandle(StdStream stream, std::string_view bytes) = 0;

  /// GetFullPathNameW: `path` made absolute against the current directory and drive, its "."
  /// and ".." resolved and "/" turned into "\\"; 0 and `full`, or the error.
  virtual uint32_t GetFullPathNameW(const std::string& path, std::string& full) = 0;

  /// CreateFileW (write, not shared, CREATE_NEW: kErrorFileExists when the name is taken),
  /// WriteFile of all of `bytes`, FlushFileBuffers, CloseHandle. `created` says whether this
  /// call made the file: after a later failure it exists, partly written.
  virtual uint32_t WriteNewFile(const std::string& path, std::string_view bytes, bool& created) = 0;

  /// CreateFileW of a device (write, read and write shared as a console requires,
  /// OPEN_EXISTING), WriteFile of all of `bytes`, CloseHandle; never FlushFileBuffers.
  virtual uint32_t WriteDevice(const std::string& path, std::string_view bytes) = 0;

  /// GetFileAttributesW; kInvalidFileAttributes when it fails.
  virtual uint32_t GetFileAttributesW(const std::string& path) = 0;

  /// MoveFileExW with MOVEFILE_REPLACE_EXISTING and MOVEFILE_WRITE_THROUGH.
  virtual uint32_t MoveFileExW(const std::string& from, const std::string& to) = 0;

  virtual uint32_t DeleteFileW(const std::string& path) = 0;

  /// Sleep: the calling thread waits `milliseconds`.
  virtual void Sleep(uint32_t milliseconds) = 0;

  /// FormatMessageW of a system error code, without its line end; empty when there is none.
  virtual std::string ErrorText(uint32_t error) = 0;
};

}  // namespace tarnvik
