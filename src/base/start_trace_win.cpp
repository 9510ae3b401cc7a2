#include "base/start_trace_win.h"

#include "base/utf_win.h"

namespace tarnvik::win {

namespace {

int64_t Ticks(const FILETIME& time) {
  return static_cast<int64_t>((static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
}

}  // namespace

std::string WinTraceApi::GetEnvironmentVariableW(std::string_view name) {
  const std::wstring wideName = Utf8ToWide(name);
  wchar_t value[1024];
  const DWORD length = ::GetEnvironmentVariableW(wideName.c_str(), value, 1024);
  if (length == 0 || length >= 1024) return {};
  return WideToUtf8(std::wstring_view(value, length));
}

int64_t WinTraceApi::GetProcessCreationTime() {
  FILETIME created{}, exited{}, kernel{}, user{};
  if (!::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
  return Ticks(created);
}

int64_t WinTraceApi::GetSystemTimeAsFileTime() {
  FILETIME now{};
  ::GetSystemTimeAsFileTime(&now);
  return Ticks(now);
}

int64_t WinTraceApi::QueryPerformanceCounter() {
  LARGE_INTEGER count{};
  return ::QueryPerformanceCounter(&count) ? count.QuadPart : 0;
}

int64_t WinTraceApi::QueryPerformanceFrequency() {
  LARGE_INTEGER frequency{};
  return ::QueryPerformanceFrequency(&frequency) ? frequency.QuadPart : 0;
}

bool WinTraceApi::CreateFileW(const std::string& path) {
  file_.reset(::CreateFileW(Utf8ToWide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
  return static_cast<bool>(file_);
}

void WinTraceApi::WriteFile(std::string_view bytes) {
  DWORD written = 0;
  ::WriteFile(file_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void WinTraceApi::CloseFile() { file_.reset(); }

}  // namespace tarnvik::win
