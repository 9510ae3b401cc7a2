// The partition-style query against the real management service (run under Wine or Windows).
// The runner names a cdrom letter and a letter whose folder is missing in TARNVIK_TEST_CDROM and
// TARNVIK_TEST_MISSING; the cases that need them are skipped when they are not set. Letter q is
// never mapped.
#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/scoped_win.h"
#include "base/utf_win.h"
#include "base/win32_win.h"
#include "report/partition_style.h"
#include "report/wmi_api_win.h"
#include "test_env_win.h"

#include <oleauto.h>
#include <wbemidl.h>

namespace tarnvik {
namespace {

using win::ComPtr;
using win::WinWmiApi;

bool UnderWine() {
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// COM as the program's entry point sets it up: an apartment on this thread and process-wide
// security that lets the service impersonate the caller.
class WmiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const HRESULT hr = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ASSERT_TRUE(SUCCEEDED(hr)) << std::hex << hr;
    comStarted_ = true;
    static const HRESULT security =
        ::CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT, RPC_C_IMP_LEVEL_IMPERSONATE,
                               nullptr, EOAC_NONE, nullptr);
    ASSERT_TRUE(SUCCEEDED(security) || security == RPC_E_TOO_LATE) << std::hex << security;
  }
  void TearDown() override {
    if (comStarted_) ::CoUninitialize();
  }

  std::string Style(const std::string& letter) { return QueryPartitionStyle(wmi_, letter); }

  WinWmiApi wmi_;

 private:
  bool comStarted_ = false;
};

// The partition types of a drive, asked with a plain synchronous query written here, apart
// from the adapter; nullopt when the service cannot answer.
std::optional<std::vector<std::wstring>> ServiceTypes(const std::string& letter) {
  ComPtr<IWbemLocator> locator;
  if (FAILED(::CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                locator.put_void())))
    return std::nullopt;
  BSTR ns = ::SysAllocString(L"root\\CIMV2");
  ComPtr<IWbemServices> services;
  const HRESULT connected = locator->ConnectServer(ns, nullptr, nullptr, nullptr, 0, nullptr, nullptr, services.put());
  ::SysFreeString(ns);
  if (FAILED(connected)) return std::nullopt;
  const std::wstring text = L"ASSOCIATORS OF {Win32_LogicalDisk.DeviceID='" + win::Utf8ToWide(letter) +
                            L":'} WHERE ResultClass = Win32_DiskPartition";
  BSTR wql = ::SysAllocString(L"WQL");
  BSTR query = ::SysAllocString(text.c_str());
  ComPtr<IEnumWbemClassObject> items;
  const HRESULT ran = services->ExecQuery(wql, query, 0, nullptr, items.put());
  ::SysFreeString(wql);
  ::SysFreeString(query);
  if (FAILED(ran)) return std::nullopt;
  std::vector<std::wstring> types;
  for (;;) {
    ComPtr<IWbemClassObject> item;
    ULONG returned = 0;
    const HRESULT hr = items->Next(-1 /* no limit */, 1, item.put(), &returned);
    if (hr != WBEM_S_NO_ERROR || returned == 0) break;
    VARIANT v;
    ::VariantInit(&v);
    if (SUCCEEDED(item->Get(L"Type", 0, &v, nullptr, nullptr)) && v.vt == VT_BSTR) types.emplace_back(v.bstrVal);
    ::VariantClear(&v);
  }
  return types;
}

TEST_F(WmiTest, DriveCAgreesWithTheService) {
  const std::string style = Style("c");
  const auto types = ServiceTypes("C");
  ASSERT_TRUE(types.has_value()) << "the service does not answer for C:";
  std::string expected = types->empty() ? "RAW" : "MBR";
  for (const std::wstring& t : *types) {
    const auto first = t.find_first_not_of(L' ');
    if (first != std::wstring::npos && t.size() - first >= 3 && ::_wcsnicmp(t.c_str() + first, L"GPT", 3) == 0) {
      expected = "GPT";
    }
  }
  EXPECT_EQ(style, expected);
  // Wine gives every fixed drive one partition typed with its file-system name.
  if (UnderWine()) {
    EXPECT_EQ(style, "MBR");
  }
}

struct DriveCase {
  const char* name;
  const wchar_t* letterEnv;  // nullptr: `letter` is used as it is
  const char* letter;
  const char* style;
};

class WmiDriveTest : public WmiTest, public ::testing::WithParamInterface<DriveCase> {};

TEST_P(WmiDriveTest, GivesTheStyle) {
  const DriveCase& c = GetParam();
  std::string letter = c.letter;
  if (c.letterEnv != nullptr) {
    const auto fromEnv = testing::EnvDriveLetter(c.letterEnv);
    if (!fromEnv) GTEST_SKIP() << "no drive letter in " << win::WideToUtf8(c.letterEnv);
    letter = std::string(1, *fromEnv);
  }
  EXPECT_EQ(Style(letter), c.style) << "drive " << letter;
}

INSTANTIATE_TEST_SUITE_P(
    Drives, WmiDriveTest,
    ::testing::Values(DriveCase{"CdromHasNoPartition", L"TARNVIK_TEST_CDROM", "", "RAW"},
                      DriveCase{"MissingFolderFailsGet", L"TARNVIK_TEST_MISSING", "", "Unknown"},
                      DriveCase{"NotALetter", nullptr, "1", "Unknown"},
                      DriveCase{"TwoLetters", nullptr, "cd", "Unknown"},
                      DriveCase{"UnmappedLetter", nullptr, "q", "Unknown"}),
    [](const auto& p) { return std::string(p.param.name); });

// Busy blocks on all of the process's heaps: the service's objects and ours both live there,
// so a query that leaves anything behind makes the count grow. (Handle counts and memory
// figures do not move under Wine; the heap walk does.)
std::size_t BusyHeapBlocks() {
  HANDLE heaps[64];
  const DWORD count = ::GetProcessHeaps(64, heaps);
  std::size_t blocks = 0;
  for (DWORD k = 0; k < count && k < 64; ++k) {
    if (!::HeapLock(heaps[k])) continue;
    PROCESS_HEAP_ENTRY entry{};
    while (::HeapWalk(heaps[k], &entry)) {
      if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0) ++blocks;
    }
    ::HeapUnlock(heaps[k]);
  }
  return blocks;
}

TEST_F(WmiTest, RepeatedQueriesGiveTheSameAnswerAndKeepNothing) {
  constexpr int kQueries = 50;
  const std::string first = Style("c");
  ASSERT_NE(first, "Unknown");
  for (int i = 0; i < 5; ++i) Style("q");  // the first failure may set up lasting state
  // Short texts: collecting the answers allocates nothing while the heap is watched.
  std::array<std::string, kQueries> answers;
  std::array<std::string, kQueries / 10> failures;
  const std::size_t blocksBefore = BusyHeapBlocks();
  for (int i = 0; i < kQueries; ++i) {
    answers[i] = Style("c");
    // A failing drive between good ones must not change the next answer.
    if (i % 10 == 0) failures[i / 10] = Style("q");
  }
  const std::size_t blocksAfter = BusyHeapBlocks();
  for (int i = 0; i < kQueries; ++i) EXPECT_EQ(answers[i], first) << "query " << i;
  for (const std::string& f : failures) EXPECT_EQ(f, "Unknown");
  // One object kept per query would add at least one block per query.
  EXPECT_LT(blocksAfter, blocksBefore + kQueries / 2) << "before " << blocksBefore << ", after " << blocksAfter;
}

TEST_F(WmiTest, QueryOnAThreadWithoutComGivesUnknown) {
  std::string style = "not run";
  std::string deviceId;
  std::thread worker([&] {
    WinWmiApi wmi;
    style = QueryPartitionStyle(wmi, "c");
    deviceId = DiskDeviceIdOf("c");
  });
  worker.join();
  // This test's thread holds a single-threaded apartment and nothing else in the process made
  // a multi-threaded one, so the worker has no COM at all.
  EXPECT_EQ(style, "Unknown");
  EXPECT_EQ(deviceId, "C:");
}

// Every letter, whatever is behind it (fixed, cdrom without a disc, floppy, network, a folder
// that is missing, unmapped), gets from the batch the answer the one-drive query gives, on this
// thread and on a worker that has no COM of its own.
TEST_F(WmiTest, TheBatchAgreesWithTheOneDriveQueryOnEveryLetter) {
  PartitionStyles onWorker;
  std::thread worker([&] {
    WinWmiApi wmi;
    onWorker = QueryPartitionStyles(wmi);
  });
  worker.join();
  const PartitionStyles here = QueryPartitionStyles(wmi_);
  for (int index = 0; index < 26; ++index) {
    const std::string letter(1, static_cast<char>('a' + index));
    const std::string one = Style(letter);
    EXPECT_EQ(here[static_cast<std::size_t>(index)], one) << "drive " << letter;
    EXPECT_EQ(onWorker[static_cast<std::size_t>(index)], one) << "drive " << letter << ", on a worker";
  }
  EXPECT_EQ(here[2], "MBR");
  // Asked for fixed drives alone, every letter is linked to a partition and none is asked about
  // alone: the answers stay the same.
  PartitionLetters fixedOnly{};
  fixedOnly[2] = true;
  if (const auto fixed = testing::EnvDriveLetter(L"TARNVIK_TEST_DRIVE")) fixedOnly[static_cast<std::size_t>(*fixed - 'a')] = true;
  const PartitionStyles linked = QueryPartitionStyles(wmi_, fixedOnly);
  for (std::size_t index = 0; index < linked.size(); ++index) {
    EXPECT_EQ(linked[index], fixedOnly[index] ? here[index] : "Unknown") << "drive " << static_cast<char>('a' + index);
  }
  // The kinds whose answers differ really were among the letters.
  const std::pair<const wchar_t*, const char*> kinds[] = {{L"TARNVIK_TEST_CDROM", "RAW"},
                                                          {L"TARNVIK_TEST_MISSING", "Unknown"}};
  for (const auto& [variable, style] : kinds) {
    if (const auto letter = testing::EnvDriveLetter(variable)) {
      EXPECT_EQ(here[static_cast<std::size_t>(*letter - 'a')], style) << win::WideToUtf8(variable);
    }
  }
}

// --- The adapter's own contract --------------------------------------------------------------

struct ConnectCase {
  const char* name;
  const char* server;
  const char* nameSpace;
  bool connects;
};

class WmiConnectTest : public WmiTest, public ::testing::WithParamInterface<ConnectCase> {};

TEST_P(WmiConnectTest, ReachesOnlyTheNamespacesThatExist) {
  const ConnectCase& c = GetParam();
  std::unique_ptr<WmiLocator> locator;
  ASSERT_GE(wmi_.CreateLocator(locator), 0);
  ASSERT_TRUE(locator);
  std::unique_ptr<WmiServices> services;
  const WmiResult r = locator->ConnectServer(c.server, c.nameSpace, services);
  EXPECT_EQ(r >= 0, c.connects) << std::hex << r;
  EXPECT_EQ(services != nullptr, c.connects);
}

INSTANTIATE_TEST_SUITE_P(Namespaces, WmiConnectTest,
                         ::testing::Values(ConnectCase{"LocalServer", ".", "root\\CIMV2", true},
                                           ConnectCase{"NoServer", "", "root\\CIMV2", true},
                                           ConnectCase{"MissingNamespace", ".", "root\\NoSuchSpace", false}),
                         [](const auto& p) { return std::string(p.param.name); });

struct PropertyCase {
  const char* name;
  const char* property;
  bool succeeds;
  std::optional<std::string> text;  // nullopt: read, but not text
};

// A connection made through the adapter, for the tests of its objects.
class WmiServicesTest : public WmiTest {
 protected:
  void SetUp() override {
    WmiTest::SetUp();
    std::unique_ptr<WmiLocator> locator;
    ASSERT_GE(wmi_.CreateLocator(locator), 0);
    ASSERT_GE(locator->ConnectServer(".", "root\\CIMV2", services_), 0);
  }
  void TearDown() override {
    services_.reset();  // before COM goes away
    WmiTest::TearDown();
  }
  std::unique_ptr<WmiServices> services_;
};

class WmiPropertyTest : public WmiServicesTest, public ::testing::WithParamInterface<PropertyCase> {};

TEST_P(WmiPropertyTest, ReadsTextOrSaysItIsNone) {
  const PropertyCase& c = GetParam();
  std::unique_ptr<WmiObject> disk;
  ASSERT_GE(services_->Get("Win32_LogicalDisk.DeviceID='C:'", disk), 0);
  ASSERT_TRUE(disk);
  std::optional<std::string> value = "preset";
  const WmiResult r = disk->GetText(c.property, value);
  EXPECT_EQ(r >= 0, c.succeeds) << std::hex << r;
  if (c.succeeds) {
    EXPECT_EQ(value, c.text);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Properties, WmiPropertyTest,
    ::testing::Values(PropertyCase{"DeviceIdIsText", "DeviceID", true, std::optional<std::string>("C:")},
                      PropertyCase{"DriveTypeIsANumber", "DriveType", true, std::nullopt},
                      PropertyCase{"UnknownProperty", "NoSuchProperty", false, std::nullopt}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(WmiServicesTest, GetOfAnAbsentDriveFails) {
  std::unique_ptr<WmiObject> disk;
  EXPECT_LT(services_->Get("Win32_LogicalDisk.DeviceID='Q:'", disk), 0);
  EXPECT_FALSE(disk);
}

TEST_F(WmiServicesTest, WalkEndsAndStaysEnded) {
  std::unique_ptr<WmiObjectWalk> walk;
  ASSERT_GE(services_->ExecQuery(
                "ASSOCIATORS OF {Win32_LogicalDisk.DeviceID='C:'} WHERE ResultClass = Win32_DiskPartition", walk),
            0);
  ASSERT_TRUE(walk);
  int items = 0;
  WmiResult r = kWmiOk;
  for (int guard = 0; guard < 100; ++guard) {
    std::unique_ptr<WmiObject> item;
    r = walk->Next(item);
    if (r != kWmiOk) break;
    ASSERT_TRUE(item);
    std::optional<std::string> type;
    EXPECT_GE(item->GetText("Type", type), 0);
    ++items;
  }
  EXPECT_EQ(r, kWmiFalse);
  EXPECT_GE(items, 1);  // C: is a fixed drive
  std::unique_ptr<WmiObject> after;
  EXPECT_EQ(walk->Next(after), kWmiFalse);
  EXPECT_FALSE(after);
}

}  // namespace
}  // namespace tarnvik
