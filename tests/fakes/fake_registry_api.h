// An in-memory registry: keys by path (case-insensitive, as Windows), values as typed bytes.
#pragma once

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/text.h"
#include "startup/registry_api.h"

namespace tarnvik::testing {

class FakeRegistryApi : public RegistryApi {
 public:
  struct Value {
    uint32_t type = kRegSz;
    std::vector<uint8_t> data;
  };
  std::map<std::string, std::map<std::string, Value>> keys;  ///< by upper-cased full path
  bool denyAll = false;       ///< every call fails (access denied)
  bool denyWrites = false;    ///< create and set fail
  std::vector<std::string> calls;
  // What the calls were given.
  std::vector<uint32_t> accessSeen;   ///< samDesired of every open and create
  std::vector<uint32_t> optionsSeen;  ///< options of every open and create
  uint32_t queryTypeIn = 0;           ///< *type as the last query received it
  uint32_t queryCapacity = 0;         ///< *dataSize as the last query received it
  uint32_t claimedSize = 0;           ///< non-zero: the size a successful query claims to have filled
  std::string queryBufferIn;          ///< the last query's buffer as it arrived

  void SetString(const std::string& path, const std::string& name, const std::string& text) {
    Value v;
    v.data.assign(text.begin(), text.end());
    v.data.push_back(0);
    keys[UpperCase(path)][name] = v;
  }
  void SetRaw(const std::string& path, const std::string& name, uint32_t type, std::vector<uint8_t> data) {
    keys[UpperCase(path)][name] = Value{type, std::move(data)};
  }
  const Value* Find(const std::string& path, const std::string& name) const {
    const auto k = keys.find(UpperCase(path));
    if (k == keys.end()) return nullptr;
    const auto v = k->second.find(name);
    return v == k->second.end() ? nullptr : &v->second;
  }
  std::size_t openHandles() const { return open_.size(); }

  long RegOpenKeyExA(RegKey root, const std::string& subKey, uint32_t options, uint32_t sam,
                     RegKey* result) override {
    calls.push_back("open " + subKey);
    accessSeen.push_back(sam);
    optionsSeen.push_back(options);
    if (denyAll || root != kHkeyLocalMachine) return 5;
    if (keys.find(UpperCase(subKey)) == keys.end()) return 2;
    *result = NewHandle(subKey);
    return 0;
  }
  long RegQueryValueExA(RegKey key, const std::string& valueName, uint32_t* type, uint8_t* data,
                        uint32_t* dataSize) override {
    calls.push_back("query " + valueName);
    queryTypeIn = type != nullptr ? *type : 0xFFFFFFFFu;
    queryCapacity = *dataSize;
    queryBufferIn.assign(reinterpret_cast<const char*>(data), *dataSize);
    const auto h = open_.find(key);
    if (denyAll || h == open_.end()) return 6;
    const Value* v = Find(h->second, valueName);
    if (v == nullptr) return 2;
    if (v->data.size() > *dataSize) {
      *dataSize = static_cast<uint32_t>(v->data.size());
      return 234;  // ERROR_MORE_DATA
    }
    if (type != nullptr) *type = v->type;
    if (!v->data.empty()) std::memcpy(data, v->data.data(), v->data.size());
    *dataSize = claimedSize != 0 ? claimedSize : static_cast<uint32_t>(v->data.size());
    return 0;
  }
  long RegCreateKeyExA(RegKey root, const std::string& subKey, uint32_t options, uint32_t sam, RegKey* result,
                       uint32_t* disposition) override {
    calls.push_back("create " + subKey);
    accessSeen.push_back(sam);
    optionsSeen.push_back(options);
    if (denyAll || denyWrites || root != kHkeyLocalMachine) return 5;
    const bool existed = keys.count(UpperCase(subKey)) != 0;
    keys[UpperCase(subKey)];
    if (disposition != nullptr) *disposition = existed ? 2 : 1;
    *result = NewHandle(subKey);
    return 0;
  }
  long RegSetValueExA(RegKey key, const std::string& valueName, uint32_t type, const uint8_t* data,
                      uint32_t dataSize) override {
    calls.push_back("set " + valueName);
    const auto h = open_.find(key);
    if (denyAll || denyWrites || h == open_.end()) return 5;
    Value v;
    v.type = type;
    v.data.assign(data, data + dataSize);
    keys[UpperCase(h->second)][valueName] = v;
    return 0;
  }
  long RegCloseKey(RegKey key) override {
    calls.push_back("close");
    return open_.erase(key) == 1 ? 0 : 6;
  }

 private:
  RegKey NewHandle(const std::string& path) {
    const RegKey h = next_++;
    open_[h] = path;
    return h;
  }
  std::map<RegKey, std::string> open_;
  RegKey next_ = 0x100;
};

}  // namespace tarnvik::testing
