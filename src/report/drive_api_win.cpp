#include "report/drive_api_win.h"

#include <array>
#include <string>

#include "base/utf8_copy.h"
#include "base/utf_win.h"
#include "base/win32_win.h"

namespace tarnvik::win {

namespace {

// A volume label is at most 32 characters and a file-system name far less; MAX_PATH + 1 is
// the size the platform documents for both.
constexpr DWORD kVolumeTextChars = MAX_PATH + 1;

void CopyWideOut(const std::array<wchar_t, kVolumeTextChars>& text, char* buffer, uint32_t capacity) {
  std::wstring_view wide(text.data(), text.size());
  wide = wide.substr(0, wide.find(L'\0'));
  CopyUtf8Truncated(WideToUtf8(wide), buffer, capacity);
}

template <typename Out, typename In>
void Put(Out* out, In value) {
  if (out != nullptr) *out = static_cast<Out>(value);
}

}  // namespace

uint32_t WinDriveApi::GetLogicalDrives() { return ::GetLogicalDrives(); }

int WinDriveApi::GetVolumeInformationA(const std::string& rootPath, char* volumeName, uint32_t volumeNameSize,
                                       uint32_t* serialNumber, uint32_t* maxComponentLength,
                                       uint32_t* fileSystemFlags, char* fileSystemName,
                                       uint32_t fileSystemNameSize) {
  const bool wantLabel = volumeName != nullptr && volumeNameSize > 0;
  const bool wantFileSystem = fileSystemName != nullptr && fileSystemNameSize > 0;
  std::array<wchar_t, kVolumeTextChars> label{};
  std::array<wchar_t, kVolumeTextChars> fileSystem{};
  DWORD serial = 0, maxComponent = 0, flags = 0;
  const std::wstring root = Utf8ToWide(rootPath);
  if (!::GetVolumeInformationW(root.c_str(), wantLabel ? label.data() : nullptr, wantLabel ? kVolumeTextChars : 0,
                               &serial, &maxComponent, &flags, wantFileSystem ? fileSystem.data() : nullptr,
                               wantFileSystem ? kVolumeTextChars : 0))
    return 0;
  if (wantLabel) CopyWideOut(label, volumeName, volumeNameSize);
  if (wantFileSystem) CopyWideOut(fileSystem, fileSystemName, fileSystemNameSize);
  Put(serialNumber, serial);
  Put(maxComponentLength, maxComponent);
  Put(fileSystemFlags, flags);
  return 1;
}

int WinDriveApi::GetDiskFreeSpaceA(const std::string& rootPath, uint32_t* sectorsPerCluster,
                                   uint32_t* bytesPerSector, uint32_t* numberOfFreeClusters,
                                   uint32_t* totalNumberOfClusters) {
  DWORD sectors = 0, bytes = 0, freeClusters = 0, totalClusters = 0;
  const std::wstring root = Utf8ToWide(rootPath);
  if (!::GetDiskFreeSpaceW(root.c_str(), &sectors, &bytes, &freeClusters, &totalClusters)) return 0;
  Put(sectorsPerCluster, sectors);
  Put(bytesPerSector, bytes);
  Put(numberOfFreeClusters, freeClusters);
  Put(totalNumberOfClusters, totalClusters);
  return 1;
}

int WinDriveApi::GetDiskFreeSpaceExA(const std::string& directoryName, uint64_t* freeBytesAvailableToCaller,
                                     uint64_t* totalNumberOfBytes, uint64_t* totalNumberOfFreeBytes) {
  ULARGE_INTEGER available{}, total{}, totalFree{};
  const std::wstring directory = Utf8ToWide(directoryName);
  if (!::GetDiskFreeSpaceExW(directory.c_str(), &available, &total, &totalFree)) return 0;
  Put(freeBytesAvailableToCaller, available.QuadPart);
  Put(totalNumberOfBytes, total.QuadPart);
  Put(totalNumberOfFreeBytes, totalFree.QuadPart);
  return 1;
}

uint32_t WinDriveApi::GetDriveTypeA(const std::string& rootPath) {
  const std::wstring root = Utf8ToWide(rootPath);
  return ::GetDriveTypeW(root.c_str());
}

}  // namespace tarnvik::win
