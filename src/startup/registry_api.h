// The advapi32 calls of the registry string store, one method per call.
#pragma once

#include <cstdint>
#include <string>

namespace tarnvik {

/// An open key or a predefined root, as the platform's HKEY value.
using RegKey = std::uintptr_t;

inline constexpr RegKey kHkeyLocalMachine = 0x80000002u;
inline constexpr uint32_t kKeyAllAccess = 0xF003Fu;
inline constexpr uint32_t kRegOptionNonVolatile = 0;
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegDword = 4;
inline constexpr long kErrorSuccess = 0;

/// Mirrors RegOpenKeyExA, RegQueryValueExA, RegCreateKeyExA, RegSetValueExA and RegCloseKey.
/// Every method returns the platform's result code: 0 (ERROR_SUCCESS) or an error; outputs are
/// untouched on failure. Texts are single-byte strings of the system code page.
class RegistryApi {
 public:
  virtual ~RegistryApi() = default;
  virtual long RegOpenKeyExA(RegKey root, const std::string& subKey, uint32_t options, uint32_t samDesired,
                             RegKey* result) = 0;
  /// *dataSize is the buffer's capacity in, the stored size (NUL included) out.
  virtual long RegQueryValueExA(RegKey key, const std::string& valueName, uint32_t* type, uint8_t* data,
                                uint32_t* dataSize) = 0;
  virtual long RegCreateKeyExA(RegKey root, const std::string& subKey, uint32_t options, uint32_t samDesired,
                               RegKey* result, uint32_t* disposition) = 0;
  virtual long RegSetValueExA(RegKey key, const std::string& valueName, uint32_t type, const uint8_t* data,
                              uint32_t dataSize) = 0;
  virtual long RegCloseKey(RegKey key) = 0;
};

}  // namespace tarnvik
