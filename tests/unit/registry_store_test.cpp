// Reading, writing and creating string values of the registry through the in-memory registry.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes/fake_registry_api.h"
#include "startup/registry_store.h"

namespace tarnvik {
namespace {

using namespace std::string_literals;
using testing::FakeRegistryApi;

const std::string kKey = "SOFTWARE\\QELM Soft\\Tarnvik";

std::vector<uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

struct ReadCase {
  const char* name;
  bool keyExists;
  uint32_t type;
  std::vector<uint8_t> stored;  ///< empty with keyExists: the value is missing
  bool valueExists;
  std::string expected;
  uint32_t claimedSize = 0;  ///< non-zero: the size a faulty adapter claims to have filled
};

TEST(RegGetStringTest, ReadsWhatIsStoredOrTheEmptyText) {
  const std::string s254(254, 'x');
  const std::string s255(255, 'y');
  const std::vector<ReadCase> cases = {
      {"key missing", false, kRegSz, {}, false, ""},
      {"value missing", true, kRegSz, {}, false, ""},
      {"ordinary text", true, kRegSz, Bytes("1.2.0.2016.0"s + '\0'), true, "1.2.0.2016.0"},
      {"empty text: only the NUL", true, kRegSz, Bytes("\0"s), true, ""},
      {"no data at all", true, kRegSz, {}, true, ""},
      {"one character", true, kRegSz, Bytes("A\0"s), true, "A"},
      {"254 characters read whole", true, kRegSz, Bytes(s254 + '\0'), true, s254},
      {"255 characters read as empty", true, kRegSz, Bytes(s255 + '\0'), true, ""},
      {"a number: its first three bytes", true, kRegDword, {'a', 'b', 'c', 0}, true, "abc"},
      {"a number with zero bytes", true, kRegDword, {7, 0, 0, 0}, true, "\x07\0\0"s},
      {"binary without a NUL loses its last byte", true, 3, Bytes("abc"), true, "ab"},
      {"blanks kept", true, kRegSz, Bytes("  x  \0"s), true, "  x  "},
      {"a size beyond the buffer reads the buffer", true, kRegSz, Bytes("ab\0"s), true, "ab\0"s + std::string(252, ' '), 999},
  };
  for (const ReadCase& c : cases) {
    FakeRegistryApi api;
    if (c.keyExists) api.keys["SOFTWARE\\QELM SOFT\\TARNVIK"];
    if (c.valueExists) api.SetRaw(kKey, "Version", c.type, c.stored);
    api.claimedSize = c.claimedSize;
    EXPECT_EQ(RegGetString(api, kHkeyLocalMachine, kKey, "Version"), c.expected) << c.name;
    EXPECT_EQ(api.openHandles(), 0u) << c.name;
  }
}

TEST(RegGetStringTest, QueriesWithABlankFilled255ByteBufferAndFullAccess) {
  FakeRegistryApi api;
  api.SetString(kKey, "Author", "Orvald, QELM Soft");
  EXPECT_EQ(RegGetString(api, kHkeyLocalMachine, kKey, "Author"), "Orvald, QELM Soft");
  EXPECT_EQ(api.queryCapacity, 255u);
  EXPECT_EQ(api.queryBufferIn, std::string(255, ' '));
  EXPECT_EQ(api.queryTypeIn, kRegSz);
  EXPECT_EQ(api.accessSeen, std::vector<uint32_t>{kKeyAllAccess});
  EXPECT_EQ(api.optionsSeen, std::vector<uint32_t>{0});
  EXPECT_EQ(api.calls, (std::vector<std::string>{"open " + kKey, "query Author", "close"}));
}

TEST(RegGetStringTest, AKeyThatCannotBeOpenedReadsEmptyAndClosesNothing) {
  FakeRegistryApi api;
  api.SetString(kKey, "Version", "1.2.0.2016.0");
  api.denyAll = true;  // a user who may not open the key with full access
  EXPECT_EQ(RegGetString(api, kHkeyLocalMachine, kKey, "Version"), "");
  EXPECT_EQ(api.calls, std::vector<std::string>{"open " + kKey});
}

TEST(RegSetStringTest, WritesTheTextAndItsNulAsRegSz) {
  const std::vector<std::string> texts = {"1.2.0.2016.0", "", std::string(254, 'z'), "Orvald, QELM Soft",
                                          "http://qelmsoft.example/tarnvik", "Тарнвик"};
  for (const std::string& text : texts) {
    FakeRegistryApi api;
    RegSetString(api, kHkeyLocalMachine, kKey, "Version", text);
    const FakeRegistryApi::Value* v = api.Find(kKey, "Version");
    ASSERT_NE(v, nullptr) << text;
    EXPECT_EQ(v->type, kRegSz);
    std::vector<uint8_t> expected = Bytes(text);
    expected.push_back(0);
    EXPECT_EQ(v->data, expected) << text;
    EXPECT_EQ(RegGetString(api, kHkeyLocalMachine, kKey, "Version"), text) << "round trip of " << text;
    EXPECT_EQ(api.openHandles(), 0u);
  }
}

TEST(RegSetStringTest, CreatesAMissingKeyInTheSameCall) {
  FakeRegistryApi api;
  RegSetString(api, kHkeyLocalMachine, kKey, "Author", "Orvald, QELM Soft");
  EXPECT_EQ(api.calls, (std::vector<std::string>{"create " + kKey, "set Author", "close"}));
  EXPECT_EQ(api.accessSeen, std::vector<uint32_t>{kKeyAllAccess});
  EXPECT_EQ(api.optionsSeen, std::vector<uint32_t>{kRegOptionNonVolatile});
  ASSERT_NE(api.Find(kKey, "Author"), nullptr);
}

TEST(RegSetStringTest, AFailedCreateWritesNothingAndClosesNothing) {
  FakeRegistryApi api;
  api.SetString(kKey, "Author", "old");
  api.denyWrites = true;
  RegSetString(api, kHkeyLocalMachine, kKey, "Author", "new");
  EXPECT_EQ(api.calls, std::vector<std::string>{"create " + kKey});
  EXPECT_EQ(api.Find(kKey, "Author")->data, Bytes("old"s + '\0'));
}

TEST(RegEnsureKeyTest, CreatesAMissingKeyAndLeavesAnExistingOneAlone) {
  FakeRegistryApi api;
  RegEnsureKey(api, kHkeyLocalMachine, kKey);
  EXPECT_EQ(api.keys.count("SOFTWARE\\QELM SOFT\\TARNVIK"), 1u);
  EXPECT_TRUE(api.keys["SOFTWARE\\QELM SOFT\\TARNVIK"].empty());
  EXPECT_EQ(api.openHandles(), 0u);

  api.SetString(kKey, "Version", "1.2.0.2016.0");
  api.SetString(kKey, "Author", "someone");
  const auto before = api.keys;
  api.calls.clear();
  RegEnsureKey(api, kHkeyLocalMachine, kKey);
  EXPECT_EQ(api.calls, (std::vector<std::string>{"create " + kKey, "close"}));
  ASSERT_EQ(api.keys.size(), before.size());
  const auto& values = api.keys["SOFTWARE\\QELM SOFT\\TARNVIK"];
  EXPECT_EQ(values.size(), 2u);
  EXPECT_EQ(values.at("Version").data, Bytes("1.2.0.2016.0"s + '\0'));
  EXPECT_EQ(values.at("Author").data, Bytes("someone"s + '\0'));
  EXPECT_EQ(api.openHandles(), 0u);
}

TEST(RegEnsureKeyTest, AFailedCreateIsSilentAndClosesNothing) {
  FakeRegistryApi api;
  api.denyWrites = true;
  RegEnsureKey(api, kHkeyLocalMachine, kKey);
  EXPECT_EQ(api.calls, std::vector<std::string>{"create " + kKey});
  EXPECT_TRUE(api.keys.empty());
}

}  // namespace
}  // namespace tarnvik
