// The registry calls of the string store, answered by advapi32's ANSI functions.
#pragma once

#include "startup/registry_api.h"

namespace tarnvik::win {

/// The real RegOpenKeyExA ... RegCloseKey. A RegKey holds the HKEY value; the 32-bit
/// predefined roots (0x80000000 to 0x800000FF) are widened as the platform's own constants
/// are, so HKEY_LOCAL_MACHINE is the same key on 32- and 64-bit builds. Outputs are filled
/// from locals and copied out only on success.
class WinRegistryApi final : public RegistryApi {
 public:
  long RegOpenKeyExA(RegKey root, const std::string& subKey, uint32_t options, uint32_t samDesired,
                     RegKey* result) override;
  long RegQueryValueExA(RegKey key, const std::string& valueName, uint32_t* type, uint8_t* data,
                        uint32_t* dataSize) override;
  long RegCreateKeyExA(RegKey root, const std::string& subKey, uint32_t options, uint32_t samDesired,
                       RegKey* result, uint32_t* disposition) override;
  long RegSetValueExA(RegKey key, const std::string& valueName, uint32_t type, const uint8_t* data,
                      uint32_t dataSize) override;
  long RegCloseKey(RegKey key) override;
};

}  // namespace tarnvik::win
