#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "ntfs/layout.h"
#include "platform/image/image_volume.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/win32_volume.h"
#include "tests/win32/win32_test_support.h"

namespace vant {
namespace {

struct Answer {
  IoResult Result;
  std::vector<std::uint8_t> Bytes;
  bool operator==(const Answer& o) const {
    return Result.Error == o.Result.Error && Result.BytesReturned == o.Result.BytesReturned && Bytes == o.Bytes;
  }
};

Answer Ask(VolumeDevice& device, std::uint32_t code, std::int64_t start, std::size_t size) {
  std::uint8_t in[8];
  std::memcpy(in, &start, sizeof in);
  Answer a{{}, std::vector<std::uint8_t>(size, 0xCC)};
  a.Result = device.Control(code, in, sizeof in, a.Bytes.data(), a.Bytes.size());
  a.Bytes.resize(a.Result.BytesReturned);
  return a;
}

class Win32VolumeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    letter_ = testing::DriveFromEnvironment("VANT_WIN_DRIVE");
    image_ = testing::Environment("VANT_WIN_IMAGE");
    ASSERT_NE(letter_, 0) << "scripts/build-windows names the NTFS test drive in VANT_WIN_DRIVE";
    ASSERT_FALSE(image_.empty()) << "and its image file in VANT_WIN_IMAGE";
  }
  char letter_ = 0;
  std::string image_;
  win32::System system_;
};

TEST_F(Win32VolumeTest, AnswersAsTheImageOfTheSameVolume) {
  std::uint32_t error = 0;
  auto volume = system_.OpenVolume(letter_, error);
  ASSERT_NE(volume, nullptr) << error;
  auto reference = image::OpenVolume(image_, -1, error);
  ASSERT_NE(reference, nullptr) << error;

  std::vector<std::uint8_t> boot(4096), expected(4096);
  ASSERT_TRUE(volume->Seek(0));
  ASSERT_EQ(volume->Read(boot.data(), boot.size()), boot.size());
  ASSERT_EQ(reference->Read(expected.data(), expected.size()), expected.size());
  EXPECT_EQ(std::memcmp(boot.data() + 3, "NTFS    ", 8), 0);
  EXPECT_EQ(boot, expected);

  const Answer geometry = Ask(*volume, ioctl::GetDriveGeometry, 0, ioctl::DiskGeometrySize);
  ASSERT_TRUE(geometry.Result.Ok()) << geometry.Result.Error;
  EXPECT_EQ(ntfs::GetU32(geometry.Bytes.data() + ioctl::DiskGeometryBytesPerSector), 512u);
  EXPECT_EQ(geometry, Ask(*reference, ioctl::GetDriveGeometry, 0, ioctl::DiskGeometrySize));

  const Answer data = Ask(*volume, ioctl::GetNtfsVolumeData, 0, ioctl::NtfsVolumeDataSize);
  ASSERT_TRUE(data.Result.Ok()) << data.Result.Error;
  EXPECT_EQ(ntfs::GetU32(data.Bytes.data() + ioctl::NtfsBytesPerCluster), 4096u);
  EXPECT_EQ(ntfs::GetU64(data.Bytes.data() + ioctl::NtfsTotalClusters), 64u * 1024 * 1024 / 4096 - 1);
  EXPECT_GT(ntfs::GetU64(data.Bytes.data() + ioctl::NtfsFreeClusters), 0u);
  EXPECT_EQ(data, Ask(*reference, ioctl::GetNtfsVolumeData, 0, ioctl::NtfsVolumeDataSize));

  // The bitmap from its start, whole (MoreData never: 16383 clusters fit),
  // and from a cluster inside a byte, which the answer rounds down.
  const Answer bitmap = Ask(*volume, ioctl::GetVolumeBitmap, 0, ioctl::VolumeBitmapSize);
  ASSERT_TRUE(bitmap.Result.Ok()) << bitmap.Result.Error;
  EXPECT_EQ(bitmap.Bytes[ioctl::BitmapBytes] & 1, 1);  // the boot sector's cluster is in use
  EXPECT_EQ(bitmap, Ask(*reference, ioctl::GetVolumeBitmap, 0, ioctl::VolumeBitmapSize));
  const Answer inside = Ask(*volume, ioctl::GetVolumeBitmap, 8195, ioctl::VolumeBitmapSize);
  EXPECT_EQ(ntfs::GetI64(inside.Bytes.data() + ioctl::BitmapStartingLcn), 8192);
  EXPECT_EQ(inside, Ask(*reference, ioctl::GetVolumeBitmap, 8195, ioctl::VolumeBitmapSize));

  // A volume handle is not asked about files, as the image's is not.
  const Answer wrong = Ask(*volume, ioctl::GetRetrievalPointers, 0, ioctl::RetrievalPointersSize);
  EXPECT_EQ(wrong.Result.Error, error_code::InvalidParameter);
  EXPECT_EQ(wrong.Result.Error, Ask(*reference, ioctl::GetRetrievalPointers, 0, ioctl::RetrievalPointersSize).Result.Error);
  EXPECT_EQ(volume->LastError(), error_code::InvalidParameter);
}

TEST_F(Win32VolumeTest, TheMftHandleTellsWhereTheMftLies) {
  std::uint32_t error = 0;
  auto mft = system_.OpenMft(letter_, error);
  ASSERT_NE(mft, nullptr) << error;
  auto reference = image::OpenMft(image_, -1, error);
  ASSERT_NE(reference, nullptr) << error;
  std::int64_t vcn = 0;
  int extents = 0;
  for (;;) {
    const Answer a = Ask(*mft, ioctl::GetRetrievalPointers, vcn, ioctl::RetrievalPointersSize);
    ASSERT_TRUE(a.Result.Ok() || a.Result.MoreData()) << a.Result.Error;
    EXPECT_EQ(a, Ask(*reference, ioctl::GetRetrievalPointers, vcn, ioctl::RetrievalPointersSize));
    EXPECT_EQ(ntfs::GetU32(a.Bytes.data() + ioctl::RetrievalExtentCount), 1u);
    EXPECT_GT(ntfs::GetI64(a.Bytes.data() + ioctl::RetrievalFirstLcn), 0);
    ++extents;
    vcn = ntfs::GetI64(a.Bytes.data() + ioctl::RetrievalFirstNextVcn);
    if (a.Result.Ok()) break;
    ASSERT_LT(extents, 100);
  }
  // Past the $MFT's end, and a request the $MFT does not serve.
  EXPECT_EQ(Ask(*mft, ioctl::GetRetrievalPointers, vcn + 1000, 32).Result.Error, error_code::HandleEof);
  EXPECT_EQ(Ask(*mft, ioctl::GetNtfsVolumeData, 0, ioctl::NtfsVolumeDataSize).Result.Error,
            Ask(*reference, ioctl::GetNtfsVolumeData, 0, ioctl::NtfsVolumeDataSize).Result.Error);
}

TEST_F(Win32VolumeTest, AnsweringKeepsTheReadPosition) {
  std::uint32_t error = 0;
  auto volume = system_.OpenVolume(letter_, error);
  ASSERT_NE(volume, nullptr);
  std::vector<std::uint8_t> direct(512), after(512);
  ASSERT_TRUE(volume->Seek(8192));
  ASSERT_EQ(volume->Read(direct.data(), direct.size()), direct.size());
  ASSERT_TRUE(volume->Seek(8192));
  Ask(*volume, ioctl::GetNtfsVolumeData, 0, ioctl::NtfsVolumeDataSize);
  Ask(*volume, ioctl::GetVolumeBitmap, 0, ioctl::VolumeBitmapSize);
  EXPECT_EQ(volume->Position(), 8192u);
  ASSERT_EQ(volume->Read(after.data(), after.size()), after.size());
  EXPECT_EQ(after, direct);
  EXPECT_EQ(volume->Position(), 8704u);
  // Reading past the end is short, with the end-of-file error.
  ASSERT_TRUE(volume->Seek(64ull * 1024 * 1024 - 512));
  std::vector<std::uint8_t> tail(4096);
  EXPECT_EQ(volume->Read(tail.data(), tail.size()), 512u);
  EXPECT_EQ(volume->LastError(), error_code::HandleEof);
}

TEST_F(Win32VolumeTest, ADriverThatAnswersIsBelievedAndOneThatFailsIsHeard) {
  // A driver that answers: its bytes pass unchanged.
  auto answering = [](HANDLE, DWORD code, const void*, DWORD, void* out, DWORD size, DWORD* returned) -> BOOL {
    if (code != ioctl::GetDriveGeometry || size < ioctl::DiskGeometrySize) return FALSE;
    std::memset(out, 0, ioctl::DiskGeometrySize);
    static_cast<std::uint8_t*>(out)[ioctl::DiskGeometryBytesPerSector + 1] = 0x10;  // 4096
    *returned = ioctl::DiskGeometrySize;
    return TRUE;
  };
  std::uint32_t error = 0;
  auto volume = win32::OpenVolumeDevice(letter_, error, answering);
  ASSERT_NE(volume, nullptr);
  Answer a = Ask(*volume, ioctl::GetDriveGeometry, 0, ioctl::DiskGeometrySize);
  ASSERT_TRUE(a.Result.Ok());
  EXPECT_EQ(ntfs::GetU32(a.Bytes.data() + ioctl::DiskGeometryBytesPerSector), 4096u);

  // A driver that fails for another reason than refusal: the failure stands.
  auto failing = [](HANDLE, DWORD, const void*, DWORD, void*, DWORD, DWORD*) -> BOOL {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  };
  volume = win32::OpenVolumeDevice(letter_, error, failing);
  ASSERT_NE(volume, nullptr);
  EXPECT_EQ(Ask(*volume, ioctl::GetNtfsVolumeData, 0, ioctl::NtfsVolumeDataSize).Result.Error,
            static_cast<std::uint32_t>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(volume->LastError(), static_cast<std::uint32_t>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(win32::DriverRefused(ERROR_NOT_SUPPORTED));
  EXPECT_FALSE(win32::DriverRefused(ERROR_ACCESS_DENIED));
}

TEST_F(Win32VolumeTest, AFatVolumeFailsTheNtfsRequestsAsAnImageDoes) {
  const char fat = testing::DriveFromEnvironment("VANT_WIN_FAT_DRIVE");
  ASSERT_NE(fat, 0) << "scripts/build-windows names the FAT test drive in VANT_WIN_FAT_DRIVE";
  std::uint32_t error = 0;
  auto volume = system_.OpenVolume(fat, error);
  ASSERT_NE(volume, nullptr) << error;
  std::vector<std::uint8_t> boot(512);
  ASSERT_EQ(volume->Read(boot.data(), boot.size()), boot.size());
  EXPECT_EQ(image::FileSystemOfBootSector(boot.data()), "FAT");
  EXPECT_EQ(Ask(*volume, ioctl::GetNtfsVolumeData, 0, ioctl::NtfsVolumeDataSize).Result.Error,
            error_code::InvalidParameter);
  EXPECT_EQ(Ask(*volume, ioctl::GetVolumeBitmap, 0, ioctl::VolumeBitmapSize).Result.Error,
            error_code::InvalidParameter);
  EXPECT_TRUE(Ask(*volume, ioctl::GetDriveGeometry, 0, ioctl::DiskGeometrySize).Result.Ok());
  error = 0;
  EXPECT_EQ(system_.OpenMft(fat, error), nullptr);
  EXPECT_EQ(error, error_code::FileNotFound);
  // A drive with no device at all.
  error = 0;
  EXPECT_EQ(system_.OpenVolume('Q', error), nullptr);
  EXPECT_NE(error, 0u);
}

}  // namespace
}  // namespace vant
