#include "report/volume_api_win.h"

#include <algorithm>
#include <cstddef>
#include <memory>
#include <string>

#include "base/utf_win.h"
#include "base/win32_win.h"
#include "report/volume_facts.h"

#include <winioctl.h>  // after <windows.h>, whose types they use
#include <winnetwk.h>

namespace tarnvik::win {

// The portable side writes the control code, the layout and the flags out by hand; the SDK's
// headers confirm them for this build's word size.
static_assert(ioctl::kDiskGetPartitionInfoEx == IOCTL_DISK_GET_PARTITION_INFO_EX);
static_assert(partition_layout::kStyleAt == offsetof(PARTITION_INFORMATION_EX, PartitionStyle) &&
              partition_layout::kOffsetAt == offsetof(PARTITION_INFORMATION_EX, StartingOffset) &&
              partition_layout::kLengthAt == offsetof(PARTITION_INFORMATION_EX, PartitionLength) &&
              partition_layout::kNumberAt == offsetof(PARTITION_INFORMATION_EX, PartitionNumber) &&
              partition_layout::kMbrTypeAt == offsetof(PARTITION_INFORMATION_EX, Mbr.PartitionType) &&
              partition_layout::kGptTypeAt == offsetof(PARTITION_INFORMATION_EX, Gpt.PartitionType) &&
              partition_layout::kSize == sizeof(PARTITION_INFORMATION_EX));
static_assert(partition_layout::kStyleMbr == PARTITION_STYLE_MBR && partition_layout::kStyleGpt == PARTITION_STYLE_GPT);
static_assert(sizeof(GUID) == 16 && offsetof(GUID, Data2) == 4 && offsetof(GUID, Data3) == 6 &&
              offsetof(GUID, Data4) == 8);
static_assert(kFileReadOnlyVolume == FILE_READ_ONLY_VOLUME && kFileVolumeIsCompressed == FILE_VOLUME_IS_COMPRESSED);

namespace {

// A volume GUID path takes 50 characters with its NUL; MAX_PATH + 1 leaves room to spare.
constexpr DWORD kNameChars = MAX_PATH + 1;

void Put(uint32_t* out, DWORD value) {
  if (out != nullptr) *out = value;
}

// The text of a NUL-terminated buffer into `out`, where given; the last character is a NUL
// whatever the call wrote.
void PutName(std::string* out, wchar_t (&name)[kNameChars]) {
  name[kNameChars - 1] = L'\0';
  if (out != nullptr) *out = WideToUtf8(name);
}

}  // namespace

int WinVolumeApi::GetVolumeNameForVolumeMountPointW(const std::string& mountPoint, std::string* volumeName,
                                                    uint32_t* lastError) {
  const std::wstring path = Utf8ToWide(mountPoint);
  wchar_t name[kNameChars] = {};
  const BOOL ok = ::GetVolumeNameForVolumeMountPointW(path.c_str(), name, kNameChars);
  Put(lastError, ok ? 0 : ::GetLastError());
  if (!ok) return 0;
  PutName(volumeName, name);
  return 1;
}

int WinVolumeApi::GetVolumePathNamesForVolumeNameW(const std::string& volumeName, uint32_t bufferLength,
                                                   std::string* list, uint32_t* returnLength, uint32_t* lastError) {
  const std::wstring name = Utf8ToWide(volumeName);
  const std::unique_ptr<wchar_t[]> buffer(new wchar_t[bufferLength]());
  DWORD length = 0;
  const BOOL ok = ::GetVolumePathNamesForVolumeNameW(name.c_str(), buffer.get(), bufferLength, &length);
  Put(lastError, ok ? 0 : ::GetLastError());
  Put(returnLength, length);
  if (!ok) return 0;
  // Only what the call says it wrote: the NULs the buffer was preset with are no list's end.
  if (list != nullptr) *list = WideToUtf8(std::wstring_view(buffer.get(), std::min<DWORD>(length, bufferLength)));
  return 1;
}

VolumeSearch WinVolumeApi::FindFirstVolumeW(std::string* volumeName, uint32_t* lastError) {
  wchar_t name[kNameChars] = {};
  const HANDLE search = ::FindFirstVolumeW(name, kNameChars);
  if (search == INVALID_HANDLE_VALUE || search == nullptr) {
    Put(lastError, ::GetLastError());
    return kNoVolumeSearch;
  }
  Put(lastError, 0);
  PutName(volumeName, name);
  return reinterpret_cast<VolumeSearch>(search);
}

int WinVolumeApi::FindNextVolumeW(VolumeSearch search, std::string* volumeName, uint32_t* lastError) {
  wchar_t name[kNameChars] = {};
  const BOOL ok = ::FindNextVolumeW(reinterpret_cast<HANDLE>(search), name, kNameChars);
  Put(lastError, ok ? 0 : ::GetLastError());
  if (!ok) return 0;
  PutName(volumeName, name);
  return 1;
}

int WinVolumeApi::FindVolumeClose(VolumeSearch search) {
  return ::FindVolumeClose(reinterpret_cast<HANDLE>(search)) ? 1 : 0;
}

uint32_t WinVolumeApi::WNetGetConnectionW(const std::string& localName, std::string* remoteName) {
  const std::wstring local = Utf8ToWide(localName);
  DWORD size = kNameChars, length = size;
  std::unique_ptr<wchar_t[]> remote(new wchar_t[size]());
  DWORD result = ::WNetGetConnectionW(local.c_str(), remote.get(), &length);
  // A longer share name is asked for once more, at the length the call names.
  if (result == ERROR_MORE_DATA && length > size) {
    remote.reset(new wchar_t[size = length]());
    result = ::WNetGetConnectionW(local.c_str(), remote.get(), &length);
  }
  remote[size - 1] = L'\0';  // the text ends within the buffer whatever the call wrote
  if ((result == NO_ERROR || result == ERROR_CONNECTION_UNAVAIL) && remoteName != nullptr)
    *remoteName = WideToUtf8(remote.get());
  return result;
}

}  // namespace tarnvik::win
