// The operating system's services through the real (ANSI) Win32 calls:
// drives and shell folders, raw volumes opened read-only, output files, and
// the system's own 8-bit text rules and messages.
#pragma once

#include "platform/system.h"

namespace vant::win32 {

class System : public SystemServices {
 public:
  std::uint32_t LogicalDrives() override;
  DriveType GetDriveType(std::string_view rootPath) override;
  bool GetFileSystemName(std::string_view rootPath, std::string& name) override;
  std::int64_t DriveTotalSize(int driveNumber) override;
  std::string FormatByteSize(std::int64_t bytes, std::size_t bufferChars) override;
  bool DocumentsPath(std::string& path) override;
  std::unique_ptr<VolumeDevice> OpenVolume(char letter, std::uint32_t& error) override;
  std::unique_ptr<VolumeDevice> OpenMft(char letter, std::uint32_t& error) override;
  std::size_t MaxPathLength() const override;
  std::unique_ptr<OutputFile> CreateOutputFile(const std::string& path, std::uint32_t& error) override;
  bool RemoveFile(const std::string& path) override;
  bool PathIsOnDrive(const std::string& path, char letter) override;
  std::string ErrorText(std::uint32_t code) override;
  unsigned char ToLower(unsigned char c) override;
  int CompareText(std::string_view a, std::string_view b) override;
};

}  // namespace vant::win32
