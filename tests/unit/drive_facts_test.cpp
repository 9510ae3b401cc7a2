// The facts of one drive: space texts and the sized-drive count, type texts, serial texts.
#include "report/drive_facts.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "fakes/fake_drive_api.h"
#include "report/report.h"

namespace tarnvik {
namespace {

using testing::FakeDrive;
using testing::FakeDriveApi;

struct SpaceCase {
  const char* name;
  bool ok;
  uint64_t total, free;
  const char* size;
  const char* freeSize;
  const char* freeBytes;
  const char* usedSize;
  const char* usedBytes;
  bool counted;
};

class DriveSpace : public ::testing::TestWithParam<SpaceCase> {};

TEST_P(DriveSpace, SetsTheSizeTextsAndCountsSizedDrives) {
  const SpaceCase& c = GetParam();
  FakeDriveApi api;
  FakeDrive d;
  d.spaceOk = c.ok;
  d.totalBytes = c.total;
  d.freeBytes = c.free;
  api.drives['c'] = d;

  const DiskSpace space = QueryDriveSpace(api, "c");
  const DriveSpaceTexts texts = SpaceTexts(space);
  EXPECT_EQ(texts.totalSize, c.size);
  EXPECT_EQ(texts.totalBytes, std::to_string(c.ok ? c.total : 0));
  EXPECT_EQ(texts.freeSize, c.freeSize);
  EXPECT_EQ(texts.freeBytes, c.freeBytes);
  EXPECT_EQ(texts.usedSize, c.usedSize);
  EXPECT_EQ(texts.usedBytes, c.usedBytes);
  // A drive has a size where its " Size:" line does not begin with a zero, and only there.
  EXPECT_EQ(HasSize(space), c.counted);
  EXPECT_EQ(HasSize(space), texts.totalSize[0] != '0');
  ReportedDrive drive;
  drive.facts.answers.space = space;
  EXPECT_EQ((Report{false, {drive, drive}}.SizedDriveCount()), c.counted ? 2 : 0);
  EXPECT_EQ(api.calls, std::vector<std::string>{"space c:\\"});
}

constexpr uint64_t kMaxU64 = std::numeric_limits<uint64_t>::max();

INSTANTIATE_TEST_SUITE_P(
    Table, DriveSpace,
    ::testing::Values(
        SpaceCase{"SystemDisk", true, 499963170816, 312538734592, "465,627 GB", "291,074 GB", "312538734592",
                  "174,553 GB", "187424436224", true},
        SpaceCase{"NoMedium", false, 123, 45, "0 B", "0 B", "0", "0 B", "0", false},
        SpaceCase{"EmptyVolume", true, 0, 0, "0 B", "0 B", "0", "0 B", "0", false},
        SpaceCase{"Full", true, 1073741824, 0, "1 GB", "0 B", "0", "1 GB", "1073741824", true},
        SpaceCase{"OneByteShortOfAGigabyte", true, 1073741823, 1073741823, "1024 MB", "1024 MB", "1073741823",
                  "0 B", "0", true},
        SpaceCase{"TinyVolume", true, 1, 1, "1 B", "1 B", "1", "0 B", "0", true},
        // A volume that claims more free than total space: nothing used, never a wrapped count.
        SpaceCase{"FreeAboveTotal", true, 1024, 2048, "1 KB", "2 KB", "2048", "0 B", "0", true},
        // Counts beyond the fixed-point amount keep their true size and digits.
        SpaceCase{"Exbibyte", true, uint64_t{1} << 60, uint64_t{1} << 59, "1048576 TB", "524288 TB",
                  "576460752303423488", "524288 TB", "576460752303423488", true},
        SpaceCase{"LargestCount", true, kMaxU64, 0, "16777216 TB", "0 B", "0", "16777216 TB",
                  "18446744073709551615", true}),
    [](const ::testing::TestParamInfo<SpaceCase>& p) { return std::string(p.param.name); });

struct TypeCase {
  uint32_t code;
  const char* text;
};

class DriveTypeCodes : public ::testing::TestWithParam<TypeCase> {};

TEST_P(DriveTypeCodes, GiveTheirText) {
  FakeDriveApi api;
  FakeDrive d;
  d.type = GetParam().code;
  api.drives['c'] = d;
  EXPECT_EQ(GetDriveTypeText(api, "c"), GetParam().text);
  EXPECT_EQ(api.calls, std::vector<std::string>{"type C:\\"});
}

INSTANTIATE_TEST_SUITE_P(Table, DriveTypeCodes,
                         ::testing::Values(TypeCase{0, "?  (Unknown)"}, TypeCase{1, "?  (Unknown)"},
                                           TypeCase{2, "FDD/FLASH  (Removable)"}, TypeCase{3, "HDD/VHD  (Fixed)"},
                                           TypeCase{4, "NET/RDD  (Remote)"},
                                           TypeCase{5, "CD/DVD/Blue-Ray  (Optical)"},
                                           TypeCase{6, "RAM/VRD  (Virtual)"}, TypeCase{7, "?  (Unknown)"},
                                           TypeCase{0xFFFFFFFF, "?  (Unknown)"}));

struct LetterCase {
  const char* letter;
  const char* call;  ///< the type query expected, or nullptr for none
};

class DriveTypeLetters : public ::testing::TestWithParam<LetterCase> {};

TEST_P(DriveTypeLetters, AskOnlyForLettersAToZ) {
  FakeDriveApi api;
  FakeDrive d;
  d.type = kDriveRemote;
  api.drives['c'] = d;
  api.drives['z'] = d;
  const LetterCase& c = GetParam();
  const std::string text = GetDriveTypeText(api, c.letter);
  if (c.call == nullptr) {
    EXPECT_EQ(text, "?  (Unknown)");
    EXPECT_TRUE(api.calls.empty());
  } else {
    EXPECT_EQ(text, "NET/RDD  (Remote)");
    EXPECT_EQ(api.calls, std::vector<std::string>{c.call});
  }
}

INSTANTIATE_TEST_SUITE_P(Table, DriveTypeLetters,
                         ::testing::Values(LetterCase{"c", "type C:\\"}, LetterCase{"C", "type C:\\"},
                                           LetterCase{"  c ", "type C:\\"}, LetterCase{"cd", "type C:\\"},
                                           LetterCase{"z", "type Z:\\"}, LetterCase{"", nullptr},
                                           LetterCase{"   ", nullptr}, LetterCase{"1", nullptr},
                                           LetterCase{"@", nullptr}, LetterCase{"[", nullptr},
                                           LetterCase{"\xC3\xA9", nullptr}));

struct SerialCase {
  bool ok;
  uint32_t serial;
  const char* text;
};

class VolumeSerials : public ::testing::TestWithParam<SerialCase> {};

TEST_P(VolumeSerials, AreEightUpperCaseHexDigits) {
  FakeDriveApi api;
  FakeDrive d;
  d.volumeOk = GetParam().ok;
  d.serial = GetParam().serial;
  api.drives['d'] = d;
  EXPECT_EQ(GetVolumeSerialText(api, "d"), GetParam().text);
  EXPECT_EQ(api.calls, std::vector<std::string>{"vol d:\\"});
  // Only the serial is asked for: no name buffers.
  ASSERT_EQ(api.volumeBufferSizes.size(), 1u);
  EXPECT_EQ(api.volumeBufferSizes[0], std::make_pair(0u, 0u));
}

INSTANTIATE_TEST_SUITE_P(Table, VolumeSerials,
                         ::testing::Values(SerialCase{true, 0x1F, "0000001F"}, SerialCase{true, 0, "00000000"},
                                           SerialCase{true, 0x1234, "00001234"},
                                           SerialCase{true, 0x80000000, "80000000"},
                                           SerialCase{true, 0x5A3C9E11, "5A3C9E11"},
                                           SerialCase{true, 0xFFFFFFFF, "FFFFFFFF"},
                                           SerialCase{true, 0xABCDEF01, "ABCDEF01"},
                                           SerialCase{false, 0x1234, "00000000"}));

struct UnsignedCase {
  int32_t value;
  double expected;
};

class UnsignedReading : public ::testing::TestWithParam<UnsignedCase> {};

TEST_P(UnsignedReading, MapsOntoZeroTo2Pow32Minus1) {
  EXPECT_EQ(UnsignedToDouble(GetParam().value), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, UnsignedReading,
                         ::testing::Values(UnsignedCase{0, 0.0}, UnsignedCase{1, 1.0},
                                           UnsignedCase{2147483647, 2147483647.0}, UnsignedCase{-1, 4294967295.0},
                                           UnsignedCase{std::numeric_limits<int32_t>::min(), 2147483648.0},
                                           UnsignedCase{0x5A3C9E11, 1513922065.0},
                                           UnsignedCase{-2147483647, 2147483649.0}));

}  // namespace
}  // namespace tarnvik
