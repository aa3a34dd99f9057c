#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/latin1.h"
#include "platform/text.h"
#include "platform/win32/win32_system.h"
#include "tests/win32/win32_test_support.h"

namespace vant {
namespace {

TEST(Win32System, DrivesAndShellFoldersOfThePrefix) {
  win32::System system;
  const std::uint32_t drives = system.LogicalDrives();
  EXPECT_TRUE(drives & (1u << ('C' - 'A')));
  EXPECT_EQ(system.GetDriveType("C:\\"), DriveType::Fixed);
  const char x = testing::DriveFromEnvironment("VANT_WIN_DRIVE");
  ASSERT_NE(x, 0) << "scripts/build-windows maps the test volume and names it in VANT_WIN_DRIVE";
  EXPECT_TRUE(drives & (1u << (x - 'A')));
  EXPECT_EQ(system.GetDriveType(std::string(1, x) + ":\\"), DriveType::Fixed);
  // A letter nobody mapped has no root directory.
  char unused = 'Q';
  while (drives & (1u << (unused - 'A'))) ++unused;
  EXPECT_EQ(system.GetDriveType(std::string(1, unused) + ":\\"), DriveType::NoRootDir);
  std::string name;
  EXPECT_FALSE(system.GetFileSystemName(std::string(1, unused) + ":\\", name));
  ASSERT_TRUE(system.GetFileSystemName("C:\\", name));
  EXPECT_FALSE(name.empty());

  EXPECT_GT(system.DriveTotalSize(3), 0);
  EXPECT_EQ(system.DriveTotalSize(unused - 'A' + 1), -1);
  EXPECT_EQ(system.DriveTotalSize(0), -1);

  std::string documents;
  ASSERT_TRUE(system.DocumentsPath(documents));
  ASSERT_GE(documents.size(), 3u);
  EXPECT_EQ(documents[1], ':');
  const DWORD attributes = GetFileAttributesA(documents.c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES) << documents;
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);

  // The shell's short size text fits the caller's buffer, zero included.
  const std::string size = system.FormatByteSize(80'000'000'000, 8);
  EXPECT_FALSE(size.empty());
  EXPECT_LT(size.size(), 8u);
  EXPECT_NE(system.FormatByteSize(1536, 64), system.FormatByteSize(80'000'000'000, 64));
  EXPECT_EQ(system.MaxPathLength(), static_cast<std::size_t>(MAX_PATH));
}

TEST(Win32System, ErrorTextsAndTextRules) {
  win32::System system;
  const std::string notFound = system.ErrorText(ERROR_FILE_NOT_FOUND);
  ASSERT_FALSE(notFound.empty());
  EXPECT_NE(notFound.back(), '\n');
  EXPECT_NE(notFound.back(), '\r');
  EXPECT_NE(notFound, system.ErrorText(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(system.ErrorText(0x2FFFFFFF).empty());  // no such message: a text all the same

  EXPECT_EQ(system.ToLower('A'), 'a');
  EXPECT_EQ(system.ToLower('z'), 'z');
  EXPECT_EQ(system.ToLower('7'), '7');
  EXPECT_EQ(system.ToLower(0xD1), 0xF1);  // Ñ
  EXPECT_EQ(system.ToLower(0xC9), 0xE9);  // É

  // The system's order: case and accents second, punctuation before digits
  // before letters; and the portable order of other platforms agrees.
  EXPECT_LT(system.CompareText("abc", "ABD"), 0);
  EXPECT_LT(system.CompareText("a", "B"), 0);
  EXPECT_LT(system.CompareText("9", "a"), 0);
  EXPECT_LT(system.CompareText("_x", "0"), 0);
  EXPECT_EQ(system.CompareText("Same", "Same"), 0);
  std::vector<std::string> names{"zeta", "Alfa", "alfa", "beta", "$MFT", "10", "9", "_tmp", "Ñu", "nu", "co-op", "coop"};
  for (std::string& n : names)
    if (n == "Ñu") n = std::string("Ñu"_l1);
  auto bySystem = names, byPortable = names;
  std::stable_sort(bySystem.begin(), bySystem.end(),
                   [&](const std::string& a, const std::string& b) { return system.CompareText(a, b) < 0; });
  std::stable_sort(byPortable.begin(), byPortable.end(),
                   [](const std::string& a, const std::string& b) { return text::CompareWordSort(a, b) < 0; });
  EXPECT_EQ(bySystem, byPortable);
}

TEST(Win32System, OutputFilesAndTheirDrives) {
  win32::System system;
  const std::string folder = testing::TempFolder("vant-output-test");
  const std::string path = folder + "\\out.bin";
  std::uint32_t error = 0;
  auto file = system.CreateOutputFile(path, error);
  ASSERT_NE(file, nullptr) << error;
  std::vector<char> bytes(70000);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + 1);
  bytes[10] = '\n';  // written as is, never as text
  EXPECT_EQ(file->Write(bytes.data(), bytes.size()), bytes.size());
  // The record's times, given before the data's end: the file has them once closed.
  const std::int64_t created = 126926378490000000, modified = 133541318490000000, accessed = 133541318495000000;
  file->KeepTimes({created, modified, accessed});
  EXPECT_TRUE(file->Close());
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  FILETIME times[3];
  ASSERT_TRUE(GetFileTime(handle, &times[0], &times[1], &times[2]));
  CloseHandle(handle);
  auto ticks = [](const FILETIME& t) { return std::int64_t((std::uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime); };
  // (Wine keeps files on a system without a settable creation time: not asked.)
  EXPECT_EQ(ticks(times[1]), accessed);
  EXPECT_EQ(ticks(times[2]), modified);
  FILE* back = std::fopen(path.c_str(), "rb");
  ASSERT_NE(back, nullptr);
  std::vector<char> read(bytes.size() + 10);
  EXPECT_EQ(std::fread(read.data(), 1, read.size(), back), bytes.size());
  std::fclose(back);
  read.resize(bytes.size());
  EXPECT_EQ(read, bytes);

  error = 0;
  EXPECT_EQ(system.CreateOutputFile(folder + "\\no such folder\\x.bin", error), nullptr);
  EXPECT_EQ(error, static_cast<std::uint32_t>(ERROR_PATH_NOT_FOUND));

  EXPECT_TRUE(system.PathIsOnDrive("C:\\a\\b.txt", 'C'));
  EXPECT_TRUE(system.PathIsOnDrive("c:\\a\\b.txt", 'C'));
  EXPECT_FALSE(system.PathIsOnDrive("D:\\a\\b.txt", 'C'));
  EXPECT_FALSE(system.PathIsOnDrive("\\\\server\\share\\b.txt", 'C'));
  char current[MAX_PATH] = {};
  GetCurrentDirectoryA(sizeof current, current);
  EXPECT_TRUE(system.PathIsOnDrive("relative.txt", current[0]));  // where the system resolves it
}

}  // namespace
}  // namespace vant
