// The kernel32 and mpr calls that name a volume and the paths it is reached by, one method per
// call.
#pragma once

#include <cstdint>
#include <string>

namespace tarnvik {

/// A volume search as FindFirstVolumeW hands it out; kNoVolumeSearch when none was opened.
using VolumeSearch = uintptr_t;
inline constexpr VolumeSearch kNoVolumeSearch = 0;

/// Mirrors GetVolumeNameForVolumeMountPointW, GetVolumePathNamesForVolumeNameW, the volume
/// search and WNetGetConnectionW. Texts are UTF-8; the last error comes back through an output,
/// so each worker reads its own. On failure the text outputs keep what the caller preset, but
/// where a method says otherwise.
class VolumeApi {
 public:
  virtual ~VolumeApi() = default;

  /// Non-zero on success, with *volumeName the volume's GUID path ("\\?\Volume{...}\") of the
  /// mount point (a root "C:\" or a folder, with its trailing backslash).
  virtual int GetVolumeNameForVolumeMountPointW(const std::string& mountPoint, std::string* volumeName,
                                                uint32_t* lastError) = 0;

  /// Asked with room for `bufferLength` UTF-16 characters. Non-zero on success, with *list the
  /// buffer's first *returnLength characters as UTF-8, NULs kept (each path ends in one, the
  /// list in a second). On failure *returnLength is the length Windows asks for when
  /// *lastError is ERROR_MORE_DATA.
  virtual int GetVolumePathNamesForVolumeNameW(const std::string& volumeName, uint32_t bufferLength,
                                               std::string* list, uint32_t* returnLength, uint32_t* lastError) = 0;

  /// The first volume's GUID path, or kNoVolumeSearch with *lastError set.
  virtual VolumeSearch FindFirstVolumeW(std::string* volumeName, uint32_t* lastError) = 0;

  /// Non-zero with the next volume's GUID path; 0 at the end (ERROR_NO_MORE_FILES) or on failure.
  virtual int FindNextVolumeW(VolumeSearch search, std::string* volumeName, uint32_t* lastError) = 0;

  /// Non-zero on success.
  virtual int FindVolumeClose(VolumeSearch search) = 0;

  /// The share a network letter ("Z:", no backslash) is mapped to, in *remoteName. Returns the
  /// call's own result: NO_ERROR (0) on success, else its error code (ERROR_NOT_CONNECTED, ...).
  /// As Windows does, a remembered mapping that is not connected also names its share, with
  /// ERROR_CONNECTION_UNAVAIL.
  virtual uint32_t WNetGetConnectionW(const std::string& localName, std::string* remoteName) = 0;
};

/// Owns one volume search of a VolumeApi and closes it when it goes.
class ScopedVolumeSearch {
 public:
  ScopedVolumeSearch(VolumeApi& api, VolumeSearch search) : api_(&api), search_(search) {}
  ~ScopedVolumeSearch() {
    if (search_ != kNoVolumeSearch) api_->FindVolumeClose(search_);
  }
  ScopedVolumeSearch(const ScopedVolumeSearch&) = delete;
  ScopedVolumeSearch& operator=(const ScopedVolumeSearch&) = delete;

  VolumeSearch get() const { return search_; }
  explicit operator bool() const { return search_ != kNoVolumeSearch; }

 private:
  VolumeApi* api_;
  VolumeSearch search_;
};

}  // namespace tarnvik
