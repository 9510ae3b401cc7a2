// The registry store: string values of the registry, read and written through the advapi32 calls.
#include "startup/registry_store.h"

#include <array>
#include <cstdint>
#include <vector>

namespace tarnvik {

namespace {

// Texts of up to 254 characters fit, with their terminating NUL; a longer value makes the
// query fail and reads as the empty text.
constexpr uint32_t kReadBufferSize = 255;

/// Owns a key opened or created by one operation, so that none survives the call.
class ScopedKey {
 public:
  explicit ScopedKey(RegistryApi& api) : api_(api) {}
  ~ScopedKey() {
    if (open_) api_.RegCloseKey(key_);
  }
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;

  long Open(RegKey root, const std::string& keyPath) {
    return Take(api_.RegOpenKeyExA(root, keyPath, 0, kKeyAllAccess, &key_));
  }
  long Create(RegKey root, const std::string& keyPath) {
    uint32_t disposition = 0;
    return Take(api_.RegCreateKeyExA(root, keyPath, kRegOptionNonVolatile, kKeyAllAccess, &key_, &disposition));
  }
  RegKey get() const { return key_; }

 private:
  long Take(long result) {
    open_ = result == kErrorSuccess;
    return result;
  }
  RegistryApi& api_;
  RegKey key_ = 0;
  bool open_ = false;
};

}  // namespace

std::string RegGetString(RegistryApi& api, RegKey root, const std::string& keyPath, const std::string& valueName) {
  std::string result;
  ScopedKey key(api);
  if (key.Open(root, keyPath) != kErrorSuccess) return result;

  std::array<uint8_t, kReadBufferSize> buffer;
  buffer.fill(' ');
  uint32_t size = kReadBufferSize;
  uint32_t type = kRegSz;  // whatever type comes back, the bytes are taken as text
  if (api.RegQueryValueExA(key.get(), valueName, &type, buffer.data(), &size) == kErrorSuccess && size > 1) {
    // The stored size counts the terminating NUL. An adapter never reports more than the
    // buffer holds; should one do so, the buffer is all there is to read.
    const uint32_t length = (size > kReadBufferSize ? kReadBufferSize + 1 : size) - 1;
    result.assign(reinterpret_cast<const char*>(buffer.data()), length);
  }
  return result;
}

void RegSetString(RegistryApi& api, RegKey root, const std::string& keyPath, const std::string& valueName,
                  const std::string& text) {
  ScopedKey key(api);
  if (key.Create(root, keyPath) != kErrorSuccess) return;
  std::vector<uint8_t> data(text.begin(), text.end());
  data.push_back(0);
  api.RegSetValueExA(key.get(), valueName, kRegSz, data.data(), static_cast<uint32_t>(data.size()));
}

void RegEnsureKey(RegistryApi& api, RegKey root, const std::string& keyPath) {
  ScopedKey key(api);
  key.Create(root, keyPath);
}

}  // namespace tarnvik
