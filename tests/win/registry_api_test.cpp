// The registry string store over the real advapi32 calls, in a scratch key that each test
// creates and deletes again.
#include "startup/registry_api_win.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "base/scoped_win.h"
#include "base/win32_win.h"
#include "startup/registry_store.h"

namespace tarnvik {
namespace {

using win::ScopedRegKey;

constexpr RegKey kHkeyCurrentUser = 0x80000001u;

// The platform's own spelling of a portable root (sign-extended on 64-bit builds).
HKEY PlatformRoot(RegKey root) {
  return root == kHkeyLocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

// Deletes a key and everything below it; RegDeleteTree is not on every system we run on.
void DeleteKeyTree(HKEY parent, const std::string& path) {
  {
    ScopedRegKey key;
    if (::RegOpenKeyExA(parent, path.c_str(), 0, KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS) return;
    std::vector<std::string> children;
    std::array<char, 256> name{};
    for (DWORD i = 0;; ++i) {
      DWORD length = static_cast<DWORD>(name.size());
      if (::RegEnumKeyExA(key.get(), i, name.data(), &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        break;
      children.emplace_back(name.data(), length);
    }
    for (const std::string& child : children) DeleteKeyTree(key.get(), child);
  }
  ::RegDeleteKeyA(parent, path.c_str());
}

class WinRegistryStore : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = "SOFTWARE\\Tarnvik Tests " + std::to_string(::GetCurrentProcessId());
    // HKLM is where the program writes; fall back to HKCU where HKLM is not writable.
    for (RegKey candidate : {kHkeyLocalMachine, kHkeyCurrentUser}) {
      ScopedRegKey key;
      if (::RegCreateKeyExA(PlatformRoot(candidate), base_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, key.put(), nullptr) == ERROR_SUCCESS) {
        root_ = candidate;
        return;
      }
    }
    GTEST_SKIP() << "neither HKLM nor HKCU is writable";
  }
  void TearDown() override {
    if (root_ != 0) DeleteKeyTree(PlatformRoot(root_), base_);
  }

  // Reads a value straight from the platform, bypassing the store and the adapter.
  bool ReadRaw(const std::string& path, const std::string& value, DWORD& type, std::vector<BYTE>& data) {
    ScopedRegKey key;
    if (::RegOpenKeyExA(PlatformRoot(root_), path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return false;
    DWORD size = 0;
    if (::RegQueryValueExA(key.get(), value.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
    data.resize(size);
    return ::RegQueryValueExA(key.get(), value.c_str(), nullptr, &type, data.data(), &size) == ERROR_SUCCESS;
  }

  void WriteRaw(const std::string& path, const std::string& value, DWORD type, const void* data, DWORD size) {
    ScopedRegKey key;
    ASSERT_EQ(::RegCreateKeyExA(PlatformRoot(root_), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(::RegSetValueExA(key.get(), value.c_str(), 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
  }

  bool KeyExists(const std::string& path) {
    ScopedRegKey key;
    return ::RegOpenKeyExA(PlatformRoot(root_), path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
  }

  win::WinRegistryApi api_;
  RegKey root_ = 0;
  std::string base_;
};

TEST_F(WinRegistryStore, MissingKeyAndMissingValueReadEmpty) {
  EXPECT_EQ(RegGetString(api_, root_, base_ + "\\Absent", "Version"), "");
  EXPECT_FALSE(KeyExists(base_ + "\\Absent")) << "a read must not create the key";
  EXPECT_EQ(RegGetString(api_, root_, base_, "Absent"), "");
}

TEST_F(WinRegistryStore, WriteOnAMissingKeyCreatesItAndStoresRegSz) {
  const std::string path = base_ + "\\QELM Soft\\Tarnvik";
  ASSERT_FALSE(KeyExists(path));
  RegSetString(api_, root_, path, "Version", "1.2.0.2016.0");

  EXPECT_EQ(RegGetString(api_, root_, path, "Version"), "1.2.0.2016.0");
  DWORD type = 0;
  std::vector<BYTE> data;
  ASSERT_TRUE(ReadRaw(path, "Version", type, data));
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(std::string(data.begin(), data.end()), std::string("1.2.0.2016.0") + '\0');
}

struct RoundTrip {
  std::size_t length;
  bool readsBack;
};

class WinRegistryStoreLengths : public WinRegistryStore, public ::testing::WithParamInterface<RoundTrip> {};

TEST_P(WinRegistryStoreLengths, TextsUpTo254CharactersReadBackWhole) {
  std::string text;
  for (std::size_t i = 0; i < GetParam().length; ++i) text += static_cast<char>('a' + i % 26);
  RegSetString(api_, root_, base_, "Text", text);
  EXPECT_EQ(RegGetString(api_, root_, base_, "Text"), GetParam().readsBack ? text : "");
}

INSTANTIATE_TEST_SUITE_P(Lengths, WinRegistryStoreLengths,
                         ::testing::Values(RoundTrip{0, true}, RoundTrip{1, true}, RoundTrip{253, true},
                                           RoundTrip{254, true}, RoundTrip{255, false}, RoundTrip{300, false}),
                         [](const ::testing::TestParamInfo<RoundTrip>& p) {
                           return "Length" + std::to_string(p.param.length);
                         });

TEST_F(WinRegistryStore, EnsureKeyLeavesAnExistingKeyAndItsValuesAlone) {
  RegSetString(api_, root_, base_, "Author", "QELM");
  RegEnsureKey(api_, root_, base_);
  EXPECT_EQ(RegGetString(api_, root_, base_, "Author"), "QELM");

  RegEnsureKey(api_, root_, base_ + "\\Fresh");
  EXPECT_TRUE(KeyExists(base_ + "\\Fresh"));
}

TEST_F(WinRegistryStore, NumberValueReadsAsTheTextOfItsBytesLessOne) {
  const DWORD number = 0x44434241;  // bytes 'A' 'B' 'C' 'D' in memory order
  WriteRaw(base_, "Number", REG_DWORD, &number, sizeof(number));
  EXPECT_EQ(RegGetString(api_, root_, base_, "Number"), "ABC");
}

TEST_F(WinRegistryStore, PortableRootConstantNamesTheSameKeyAsThePlatformOne) {
  const std::string text = "written by the platform";
  WriteRaw(base_, "Raw", REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
  // root_ is the 32-bit value 0x8000000x, whatever the build's pointer size.
  EXPECT_EQ(RegGetString(api_, root_, base_, "Raw"), text);
}

TEST_F(WinRegistryStore, FailedQueryLeavesBufferSizeAndTypeUntouched) {
  RegSetString(api_, root_, base_, "Long", "hello, registry");
  RegKey key = 0;
  ASSERT_EQ(api_.RegOpenKeyExA(root_, base_, 0, kKeyAllAccess, &key), kErrorSuccess);
  std::array<uint8_t, 4> buffer{'#', '#', '#', '#'};
  uint32_t size = static_cast<uint32_t>(buffer.size());
  uint32_t type = 0x55;
  EXPECT_EQ(api_.RegQueryValueExA(key, "Long", &type, buffer.data(), &size), static_cast<long>(ERROR_MORE_DATA));
  EXPECT_EQ(buffer, (std::array<uint8_t, 4>{'#', '#', '#', '#'}));
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(type, 0x55u);

  // The same call with room enough reports the stored size, terminator included.
  std::array<uint8_t, 64> room{};
  size = static_cast<uint32_t>(room.size());
  EXPECT_EQ(api_.RegQueryValueExA(key, "Long", &type, room.data(), &size), kErrorSuccess);
  EXPECT_EQ(size, 16u);
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(api_.RegCloseKey(key), kErrorSuccess);
}

TEST_F(WinRegistryStore, FailedOpenLeavesTheResultUntouched) {
  RegKey key = 0x1234;
  EXPECT_EQ(api_.RegOpenKeyExA(root_, base_ + "\\Absent", 0, kKeyAllAccess, &key),
            static_cast<long>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(key, 0x1234u);
}

}  // namespace
}  // namespace tarnvik
