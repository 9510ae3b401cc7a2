// The command line through shell32's splitter, the files through the wide kernel32 calls, so a
// path outside the ANSI code page works.
#include "startup/command_api_win.h"

#include "base/scoped_win.h"
#include "base/utf_win.h"
#include "startup/console_text.h"

// After <windows.h>, which it needs.
#include <shellapi.h>

namespace tarnvik::win {

static_assert(kErrorFileExists == ERROR_FILE_EXISTS && kInvalidFileAttributes == INVALID_FILE_ATTRIBUTES &&
              kFileAttributeDirectory == FILE_ATTRIBUTE_DIRECTORY);

namespace {

/// WriteFile until every byte is out: a pipe may take less than asked in one call.
DWORD WriteAll(HANDLE handle, std::string_view bytes) {
  while (!bytes.empty()) {
    const DWORD chunk = bytes.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    if (!::WriteFile(handle, bytes.data(), chunk, &written, nullptr)) return ::GetLastError();
    if (written == 0) return ERROR_WRITE_FAULT;
    bytes.remove_prefix(written);
  }
  return ERROR_SUCCESS;
}

/// A console shows text, not bytes: given as UTF-16, labels outside ASCII read right whatever
/// the console's code page.
DWORD WriteConsoleText(HANDLE console, std::string_view bytes) {
  const std::wstring text = Utf8ToWide(bytes);
  std::wstring_view rest(text);
  while (!rest.empty()) {
    DWORD written = 0;
    if (!::WriteConsoleW(console, rest.data(), static_cast<DWORD>(ConsolePieceLength(rest)), &written, nullptr))
      return ::GetLastError();
    if (written == 0) return ERROR_WRITE_FAULT;
    rest.remove_prefix(written);
  }
  return ERROR_SUCCESS;
}

DWORD LastErrorOr(BOOL ok) { return ok ? ERROR_SUCCESS : ::GetLastError(); }

}  // namespace

std::vector<std::string> WinCommandApi::Arguments() {
  int count = 0;
  const ScopedLocalMemory list(::CommandLineToArgvW(::GetCommandLineW(), &count));
  std::vector<std::string> arguments;
  if (!list) return arguments;
  const auto* const* argv = static_cast<const wchar_t* const*>(list.get());
  for (int i = 1; i < count; ++i) arguments.push_back(WideToUtf8(argv[i]));
  return arguments;
}

uint32_t WinCommandApi::GetLogicalDrives() { return ::GetLogicalDrives(); }


uint32_t WinCommandApi::WriteStdHandle(StdStream stream, std::string_view bytes) {
  const HANDLE handle = ::GetStdHandle(stream == StdStream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return ERROR_INVALID_HANDLE;
  // Only a console answers GetConsoleMode; a pipe or a file gets the bytes.
  DWORD mode = 0;
  if (::GetConsoleMode(handle, &mode)) return WriteConsoleText(handle, bytes);
  return WriteAll(handle, bytes);
}

uint32_t WinCommandApi::GetFullPathNameW(const std::string& path, std::string& full) {
  const std::wstring wide = Utf8ToWide(path);
  // The wide call has no MAX_PATH limit; the length it asks for includes the final NUL. The
  // current directory may change between the two calls, so a second shortfall is asked again.
  std::wstring buffer(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 3; ++attempt) {
    const DWORD length = ::GetFullPathNameW(wide.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (length == 0) return ::GetLastError();
    if (length < buffer.size()) {
      buffer.resize(length);
      full = WideToUtf8(buffer);
      return ERROR_SUCCESS;
    }
    buffer.assign(length, L'\0');
  }
  return ERROR_FILENAME_EXCED_RANGE;
}

uint32_t WinCommandApi::WriteNewFile(const std::string& path, std::string_view bytes, bool& created) {
  const ScopedKernelHandle file(::CreateFileW(Utf8ToWide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
  created = static_cast<bool>(file);
  if (!file) return ::GetLastError();
  DWORD error = WriteAll(file.get(), bytes);
  // The data must be on the disk before the rename makes it the report.
  if (error == ERROR_SUCCESS) error = LastErrorOr(::FlushFileBuffers(file.get()));
  return error;
}

uint32_t WinCommandApi::WriteDevice(const std::string& path, std::string_view bytes) {
  // No flush: a console refuses it, and a pipe's flush waits until the reader has read it all.
  const ScopedKernelHandle device(::CreateFileW(Utf8ToWide(path).c_str(), GENERIC_WRITE,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
  return device ? WriteAll(device.get(), bytes) : ::GetLastError();
}

uint32_t WinCommandApi::GetFileAttributesW(const std::string& path) {
  return ::GetFileAttributesW(Utf8ToWide(path).c_str());
}

uint32_t WinCommandApi::MoveFileExW(const std::string& from, const std::string& to) {
  return LastErrorOr(::MoveFileExW(Utf8ToWide(from).c_str(), Utf8ToWide(to).c_str(),
                                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
}

uint32_t WinCommandApi::DeleteFileW(const std::string& path) {
  return LastErrorOr(::DeleteFileW(Utf8ToWide(path).c_str()));
}

void WinCommandApi::Sleep(uint32_t milliseconds) { ::Sleep(milliseconds); }

std::string WinCommandApi::ErrorText(uint32_t error) {
  wchar_t* buffer = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
      reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  const ScopedLocalMemory owned(buffer);
  std::wstring text(buffer != nullptr ? buffer : L"", length);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) text.pop_back();
  return WideToUtf8(text);
}

}  // namespace tarnvik::win
