// Operating-system services for tests and the command line: drive letters
// mapped to disk images (or to nothing at all, for drives that only need to
// appear in the tree), a documents folder, and output files on the host's
// file system.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>

#include "platform/system.h"

namespace vant::headless {

struct DriveMapping {
  DriveType Type = DriveType::Fixed;
  std::string Image;                      // a disk image or block device; empty: no volume
  int Partition = -1;                     // -1: the first NTFS partition (or the bare volume)
  std::optional<std::string> FileSystem;  // default: read from the image's boot sector
  std::optional<std::int64_t> TotalSize;  // default: the volume's size; -1 = unknown
  bool Openable = true;                   // false: opening the volume fails (no rights)
};

class System : public SystemServices {
 public:
  System();
  void MapDrive(char letter, DriveMapping mapping);
  void UnmapDrive(char letter);
  std::optional<std::string> Documents;  // none: the platform cannot say
  // Where relative recovery paths and drive paths ("X:\...") land on the host;
  // by default "X:\a\b" maps to "<root of X>/a/b" when `DriveRoots` has X.
  std::map<char, std::string> DriveRoots;

  std::uint32_t LogicalDrives() override;
  DriveType GetDriveType(std::string_view rootPath) override;
  bool GetFileSystemName(std::string_view rootPath, std::string& name) override;
  std::int64_t DriveTotalSize(int driveNumber) override;
  std::string FormatByteSize(std::int64_t bytes, std::size_t bufferChars) override;
  bool DocumentsPath(std::string& path) override;
  std::unique_ptr<VolumeDevice> OpenVolume(char letter, std::uint32_t& error) override;
  std::unique_ptr<VolumeDevice> OpenMft(char letter, std::uint32_t& error) override;
  std::size_t MaxPathLength() const override { return MaxPath; }
  std::unique_ptr<OutputFile> CreateOutputFile(const std::string& path, std::uint32_t& error) override;
  bool RemoveFile(const std::string& path) override;
  bool PathIsOnDrive(const std::string& path, char letter) override;
  std::string ErrorText(std::uint32_t code) override;
  unsigned char ToLower(unsigned char c) override;
  int CompareText(std::string_view a, std::string_view b) override;

  std::size_t MaxPath = 4096;
  // Devices handed out and not yet destroyed.
  int OpenDevices() const { return *openDevices_; }
  // The host path a drive path stands for.
  std::string HostPath(const std::string& path) const;

 private:
  std::map<char, DriveMapping> drives_;
  std::shared_ptr<int> openDevices_;
  std::unique_ptr<VolumeDevice> Counted(std::unique_ptr<VolumeDevice> device);
};

}  // namespace vant::headless
