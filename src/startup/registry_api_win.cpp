#include "startup/registry_api_win.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/win32_win.h"

namespace tarnvik::win {

namespace {

// The platform spells its predefined roots as sign-extended 32-bit values (HKEY_LOCAL_MACHINE
// is 0xFFFFFFFF80000002 on 64-bit builds); a caller's 0x80000002 means that same root.
HKEY ToHkey(RegKey key) {
  if (key >= 0x80000000u && key <= 0x800000FFu)
    return reinterpret_cast<HKEY>(static_cast<std::intptr_t>(static_cast<int32_t>(static_cast<uint32_t>(key))));
  return reinterpret_cast<HKEY>(key);
}

RegKey FromHkey(HKEY key) { return reinterpret_cast<RegKey>(key); }

}  // namespace

long WinRegistryApi::RegOpenKeyExA(RegKey root, const std::string& subKey, uint32_t options, uint32_t samDesired,
                                   RegKey* result) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;  // an opened key nobody could close
  HKEY opened = nullptr;
  const LONG rc = ::RegOpenKeyExA(ToHkey(root), subKey.c_str(), options, samDesired, &opened);
  if (rc == ERROR_SUCCESS) *result = FromHkey(opened);
  return rc;
}

long WinRegistryApi::RegQueryValueExA(RegKey key, const std::string& valueName, uint32_t* type, uint8_t* data,
                                      uint32_t* dataSize) {
  DWORD localType = type != nullptr ? *type : 0;
  DWORD localSize = dataSize != nullptr ? *dataSize : 0;
  // Read into a buffer of our own: on ERROR_MORE_DATA the platform may have written part of
  // the data, and the caller's buffer must keep what it held.
  // (At least one byte, so that a zero capacity stays a read that cannot fit, not a size query.)
  std::vector<BYTE> buffer(data != nullptr ? std::max<DWORD>(localSize, 1) : 0);
  const LONG rc = ::RegQueryValueExA(ToHkey(key), valueName.c_str(), nullptr, &localType,
                                     data != nullptr ? buffer.data() : nullptr, dataSize != nullptr ? &localSize : nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  if (data != nullptr && localSize > 0) std::memcpy(data, buffer.data(), std::min<std::size_t>(localSize, buffer.size()));
  if (type != nullptr) *type = localType;
  if (dataSize != nullptr) *dataSize = localSize;
  return rc;
}

long WinRegistryApi::RegCreateKeyExA(RegKey root, const std::string& subKey, uint32_t options,
                                     uint32_t samDesired, RegKey* result, uint32_t* disposition) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;  // a created key nobody could close
  HKEY created = nullptr;
  DWORD localDisposition = 0;
  const LONG rc = ::RegCreateKeyExA(ToHkey(root), subKey.c_str(), 0, nullptr, options, samDesired, nullptr, &created,
                                    &localDisposition);
  if (rc != ERROR_SUCCESS) return rc;
  *result = FromHkey(created);
  if (disposition != nullptr) *disposition = localDisposition;
  return rc;
}

long WinRegistryApi::RegSetValueExA(RegKey key, const std::string& valueName, uint32_t type, const uint8_t* data,
                                    uint32_t dataSize) {
  return ::RegSetValueExA(ToHkey(key), valueName.c_str(), 0, type, data, dataSize);
}

long WinRegistryApi::RegCloseKey(RegKey key) { return ::RegCloseKey(ToHkey(key)); }

}  // namespace tarnvik::win
