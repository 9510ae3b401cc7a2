// The volume adapter against drive letters that the runner prepared in the Wine prefix.
// Each test names the variables it needs and is skipped when the runner did not set them.
#include "report/drive_api_win.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <optional>
#include <string>

#include "test_env_win.h"

namespace tarnvik {
namespace {

using testing::EnvDriveLetter;
using testing::EnvUtf8;
using testing::HexBytes;

constexpr uint32_t kBufferSize = 255;
constexpr char kSentinel = '#';
constexpr uint32_t kSentinelNumber = 0xDEADBEEFu;
constexpr uint64_t kSentinelBytes = 0x0123456789ABCDEFull;

std::string Root(char letter) { return std::string(1, letter) + ":\\"; }

char Upper(char letter) { return static_cast<char>(letter - 'a' + 'A'); }

struct VolumeAnswer {
  int rc = 0;
  std::array<char, kBufferSize> label{};
  std::array<char, kBufferSize> fileSystem{};
  uint32_t serial = 0, maxComponent = 0, flags = 0;
  std::string Label() const { return label.data(); }
  std::string FileSystem() const { return fileSystem.data(); }
};

// Presets as the report builder makes them: buffers of NULs, numbers 0.
VolumeAnswer AskVolume(const std::string& root) {
  VolumeAnswer a;
  win::WinDriveApi api;
  a.rc = api.GetVolumeInformationA(root, a.label.data(), kBufferSize, &a.serial, &a.maxComponent, &a.flags,
                                   a.fileSystem.data(), kBufferSize);
  return a;
}

#define REQUIRE_LETTER(var, name)                                  \
  const auto var = EnvDriveLetter(name);                           \
  if (!var) GTEST_SKIP() << "the runner did not set " << #name

TEST(WinDriveApi, PreparedDriveAnswersLabelSerialAndFileSystem) {
  REQUIRE_LETTER(letter, L"TARNVIK_TEST_DRIVE");
  const auto label = EnvUtf8(L"TARNVIK_TEST_LABEL");
  const auto serial = EnvUtf8(L"TARNVIK_TEST_SERIAL");
  ASSERT_TRUE(label && serial) << "TARNVIK_TEST_LABEL and TARNVIK_TEST_SERIAL go with TARNVIK_TEST_DRIVE";

  const VolumeAnswer a = AskVolume(Root(*letter));
  ASSERT_NE(a.rc, 0);
  EXPECT_EQ(a.Label(), *label);
  EXPECT_EQ(a.serial, static_cast<uint32_t>(std::strtoul(serial->c_str(), nullptr, 16)));
  EXPECT_EQ(a.FileSystem(), "NTFS");
  EXPECT_GT(a.maxComponent, 0u);
}

TEST(WinDriveApi, SerialAloneNeedsNoTextBuffers) {
  REQUIRE_LETTER(letter, L"TARNVIK_TEST_DRIVE");
  const auto serial = EnvUtf8(L"TARNVIK_TEST_SERIAL");
  ASSERT_TRUE(serial);
  win::WinDriveApi api;
  uint32_t got = 0, maxComponent = 0, flags = 0;
  ASSERT_NE(api.GetVolumeInformationA(Root(*letter), nullptr, 0, &got, &maxComponent, &flags, nullptr, 0), 0);
  EXPECT_EQ(got, static_cast<uint32_t>(std::strtoul(serial->c_str(), nullptr, 16)));
}

TEST(WinDriveApi, ClusterQueryGives512BytesBy8Sectors) {
  REQUIRE_LETTER(letter, L"TARNVIK_TEST_DRIVE");
  win::WinDriveApi api;
  uint32_t sectors = 0, bytes = 0, freeClusters = 0, totalClusters = 0;
  ASSERT_NE(api.GetDiskFreeSpaceA(Root(*letter), &sectors, &bytes, &freeClusters, &totalClusters), 0);
  EXPECT_EQ(bytes, 512u);
  EXPECT_EQ(sectors, 8u);
  EXPECT_LE(freeClusters, totalClusters);
  EXPECT_GT(totalClusters, 0u);
}

TEST(WinDriveApi, SpaceQueryGivesTheExactSizeOfTheFolderBehindTheDrive) {
  REQUIRE_LETTER(letter, L"TARNVIK_TEST_DRIVE");
  const auto size = EnvUtf8(L"TARNVIK_TEST_SIZE");
  if (!size) GTEST_SKIP() << "no tmpfs of known size behind the drive (TARNVIK_TEST_SIZE unset)";
  win::WinDriveApi api;
  uint64_t available = 0, total = 0, totalFree = 0;
  ASSERT_NE(api.GetDiskFreeSpaceExA(Root(*letter), &available, &total, &totalFree), 0);
  EXPECT_EQ(total, std::strtoull(size->c_str(), nullptr, 10));
  EXPECT_GT(totalFree, 0u);  // the label and serial files take a page or two, no more
  EXPECT_LT(totalFree, total);
  EXPECT_LE(available, totalFree);

  // Both space queries describe the same volume.
  uint32_t sectors = 0, bytes = 0, freeClusters = 0, totalClusters = 0;
  ASSERT_NE(api.GetDiskFreeSpaceA(Root(*letter), &sectors, &bytes, &freeClusters, &totalClusters), 0);
  EXPECT_EQ(uint64_t{totalClusters} * sectors * bytes, total);
}

struct TypeCase {
  const char* name;
  const wchar_t* variable;
  uint32_t expected;
};

class WinDriveApiTypes : public ::testing::TestWithParam<TypeCase> {};

TEST_P(WinDriveApiTypes, PreparedLetterAnswersItsTypeInEitherCase) {
  const auto letter = EnvDriveLetter(GetParam().variable);
  if (!letter) GTEST_SKIP() << "the runner did not prepare this letter";
  win::WinDriveApi api;
  EXPECT_EQ(api.GetDriveTypeA(Root(*letter)), GetParam().expected);
  EXPECT_EQ(api.GetDriveTypeA(Root(Upper(*letter))), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Letters, WinDriveApiTypes,
                         ::testing::Values(TypeCase{"Fixed", L"TARNVIK_TEST_DRIVE", kDriveFixed},
                                           TypeCase{"Floppy", L"TARNVIK_TEST_FLOPPY", kDriveRemovable},
                                           TypeCase{"Network", L"TARNVIK_TEST_NETWORK", kDriveRemote},
                                           TypeCase{"Cdrom", L"TARNVIK_TEST_CDROM", kDriveCdrom},
                                           TypeCase{"FolderMissing", L"TARNVIK_TEST_MISSING", kDriveNoRootDir},
                                           TypeCase{"Unmapped", L"TARNVIK_TEST_UNMAPPED", kDriveNoRootDir}),
                         [](const ::testing::TestParamInfo<TypeCase>& p) { return std::string(p.param.name); });

TEST(WinDriveApi, FailedCallsOnAnUnmappedLetterLeaveEveryPresetOutput) {
  REQUIRE_LETTER(letter, L"TARNVIK_TEST_UNMAPPED");
  win::WinDriveApi api;
  std::array<char, kBufferSize> label, fileSystem;
  label.fill(kSentinel);
  fileSystem.fill(kSentinel);
  uint32_t serial = kSentinelNumber, maxComponent = kSentinelNumber, flags = kSentinelNumber;
  EXPECT_EQ(api.GetVolumeInformationA(Root(*letter), label.data(), kBufferSize, &serial, &maxComponent, &flags,
                                      fileSystem.data(), kBufferSize),
            0);
  EXPECT_EQ(std::string(label.data(), label.size()), std::string(kBufferSize, kSentinel));
  EXPECT_EQ(std::string(fileSystem.data(), fileSystem.size()), std::string(kBufferSize, kSentinel));
  EXPECT_EQ(serial, kSentinelNumber);
  EXPECT_EQ(maxComponent, kSentinelNumber);
  EXPECT_EQ(flags, kSentinelNumber);

  uint32_t sectors = kSentinelNumber, bytes = kSentinelNumber, freeClusters = kSentinelNumber,
           totalClusters = kSentinelNumber;
  EXPECT_EQ(api.GetDiskFreeSpaceA(Root(*letter), &sectors, &bytes, &freeClusters, &totalClusters), 0);
  EXPECT_EQ(sectors, kSentinelNumber);
  EXPECT_EQ(bytes, kSentinelNumber);
  EXPECT_EQ(freeClusters, kSentinelNumber);
  EXPECT_EQ(totalClusters, kSentinelNumber);

  uint64_t available = kSentinelBytes, total = kSentinelBytes, totalFree = kSentinelBytes;
  EXPECT_EQ(api.GetDiskFreeSpaceExA(Root(*letter), &available, &total, &totalFree), 0);
  EXPECT_EQ(available, kSentinelBytes);
  EXPECT_EQ(total, kSentinelBytes);
  EXPECT_EQ(totalFree, kSentinelBytes);
}

// Wine's stand-in for an optical drive without a disc: the volume answers, the space does not.
TEST(WinDriveApi, EmptyOpticalDriveAnswersCdfsAndKeepsSpacePresets) {
  REQUIRE_LETTER(letter, L"TARNVIK_TEST_CDROM");
  const VolumeAnswer a = AskVolume(Root(*letter));
  ASSERT_NE(a.rc, 0);
  EXPECT_EQ(a.FileSystem(), "CDFS");

  win::WinDriveApi api;
  uint32_t sectors = 0, bytes = 0, freeClusters = 0, totalClusters = 0;
  EXPECT_EQ(api.GetDiskFreeSpaceA(Root(*letter), &sectors, &bytes, &freeClusters, &totalClusters), 0);
  EXPECT_EQ(sectors, 0u);
  EXPECT_EQ(bytes, 0u);
  uint64_t available = 0, total = 0, totalFree = 0;
  EXPECT_EQ(api.GetDiskFreeSpaceExA(Root(*letter), &available, &total, &totalFree), 0);
  EXPECT_EQ(total, 0u);
  EXPECT_EQ(totalFree, 0u);
}

// The runner passes the label's UTF-8 bytes in hexadecimal, so the expectation does not
// depend on how the environment itself is decoded.
std::optional<std::string> ExpectedNonAsciiLabel() {
  const auto hex = EnvUtf8(L"TARNVIK_TEST_UTF8_LABEL_HEX");
  return hex ? HexBytes(*hex) : std::nullopt;
}

TEST(WinDriveApi, NonAsciiLabelComesBackAsUtf8) {
  REQUIRE_LETTER(letter, L"TARNVIK_TEST_UTF8_DRIVE");
  const auto expected = ExpectedNonAsciiLabel();
  ASSERT_TRUE(expected) << "TARNVIK_TEST_UTF8_LABEL_HEX goes with TARNVIK_TEST_UTF8_DRIVE";
  ASSERT_TRUE(std::any_of(expected->begin(), expected->end(),
                          [](char c) { return static_cast<unsigned char>(c) >= 0x80; }))
      << "the prepared label should hold multi-byte characters";

  const VolumeAnswer a = AskVolume(Root(*letter));
  ASSERT_NE(a.rc, 0);
  EXPECT_EQ(a.Label(), *expected);
}

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0u) == 0x80u; }

TEST(WinDriveApi, NonAsciiLabelIsCutOnACharacterBoundaryToFitTheBuffer) {
  REQUIRE_LETTER(letter, L"TARNVIK_TEST_UTF8_DRIVE");
  const auto expected = ExpectedNonAsciiLabel();
  ASSERT_TRUE(expected);
  win::WinDriveApi api;
  for (uint32_t capacity = 1; capacity <= expected->size() + 1; ++capacity) {
    std::array<char, kBufferSize> label;
    label.fill(kSentinel);
    uint32_t serial = 0;
    ASSERT_NE(api.GetVolumeInformationA(Root(*letter), label.data(), capacity, &serial, nullptr, nullptr, nullptr, 0),
              0);
    const std::string got(label.data());  // stops at the NUL the adapter must have written
    SCOPED_TRACE(::testing::Message() << "capacity " << capacity);
    ASSERT_LT(got.size(), capacity);
    EXPECT_EQ(expected->substr(0, got.size()), got);
    // The cut falls between characters, and the next whole character would not have fitted.
    if (got.size() < expected->size()) {
      EXPECT_FALSE(IsContinuationByte((*expected)[got.size()]));
      std::size_t next = got.size() + 1;
      while (next < expected->size() && IsContinuationByte((*expected)[next])) ++next;
      EXPECT_GT(next, capacity - 1);
    }
    EXPECT_EQ(label[capacity], kSentinel) << "wrote past the stated capacity";
  }
}

}  // namespace
}  // namespace tarnvik
