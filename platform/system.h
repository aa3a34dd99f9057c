// What the host operating system provides besides the widgets: drives and
// shell services, the raw volume devices, ordinary output files, and the
// 8-bit text services whose answers differ between platforms.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/volume_device.h"

namespace vant {

enum class DriveType : std::uint8_t { Unknown = 0, NoRootDir = 1, Removable = 2, Fixed = 3, Remote = 4, CdRom = 5, RamDisk = 6 };

// A file being written by a recovery. Writes report the bytes written; a
// short count leaves the reason in LastError.
class OutputFile {
 public:
  // FILETIMEs (UTC); 0 leaves that time as the system sets it.
  struct Times {
    std::int64_t Creation = 0, Modification = 0, Access = 0;
  };

  virtual ~OutputFile() = default;
  virtual std::size_t Write(const void* data, std::size_t count) = 0;
  // Flushes and closes; false when the data could not be made durable.
  virtual bool Close() = 0;
  virtual std::uint32_t LastError() const = 0;
  // The times the file is given when it is closed (any earlier and the last
  // write would change them). A file that cannot take them keeps its data.
  void KeepTimes(const Times& times) { times_ = times; }

 protected:
  Times times_;
};

// A FILETIME as seconds and nanoseconds since 1970; false for 0 (unset).
inline bool FileTimeToUnix(std::int64_t filetime, std::int64_t& seconds, long& nanoseconds) {
  if (filetime == 0) return false;
  constexpr std::int64_t kTicksFrom1601To1970 = 116444736000000000;
  const std::int64_t ticks = filetime - kTicksFrom1601To1970;
  seconds = ticks / 10'000'000;
  std::int64_t rest = ticks % 10'000'000;
  if (rest < 0) {
    rest += 10'000'000;
    --seconds;
  }
  nanoseconds = static_cast<long>(rest * 100);
  return true;
}

class SystemServices {
 public:
  virtual ~SystemServices() = default;

  // --- drives and shell services ---
  // Bit n set when drive letter 'A'+n exists.
  virtual std::uint32_t LogicalDrives() = 0;
  virtual DriveType GetDriveType(std::string_view rootPath) = 0;
  // The volume's file-system name ("NTFS", "FAT32", ...); false when it
  // cannot be read.
  virtual bool GetFileSystemName(std::string_view rootPath, std::string& name) = 0;
  // Total size in bytes of drive number n (A = 1); -1 when unknown.
  virtual std::int64_t DriveTotalSize(int driveNumber) = 0;
  // The short byte-size text ("74,5 GB") written into a buffer of
  // `bufferChars` characters, terminating zero included.
  virtual std::string FormatByteSize(std::int64_t bytes, std::size_t bufferChars) = 0;
  // The user's documents folder; false when the platform cannot say.
  virtual bool DocumentsPath(std::string& path) = 0;

  // --- raw volumes (read-only) ---
  // "\\.\X:" and "\\.\X:\$MFT". Null with `error` set when they cannot be opened.
  virtual std::unique_ptr<VolumeDevice> OpenVolume(char letter, std::uint32_t& error) = 0;
  virtual std::unique_ptr<VolumeDevice> OpenMft(char letter, std::uint32_t& error) = 0;

  // --- output files ---
  // The longest destination path the platform accepts, in bytes.
  virtual std::size_t MaxPathLength() const = 0;
  // Creates (or truncates) a file for writing.
  virtual std::unique_ptr<OutputFile> CreateOutputFile(const std::string& path, std::uint32_t& error) = 0;
  // Removes a file this program wrote (a recovery stopped half-way); false
  // when it could not.
  virtual bool RemoveFile(const std::string& path) = 0;
  // Whether two paths lie on the same drive as the volume of `letter`.
  virtual bool PathIsOnDrive(const std::string& path, char letter) = 0;

  // --- 8-bit text ---
  // The operating system's message text for an error code.
  virtual std::string ErrorText(std::uint32_t code) = 0;
  // Locale-aware lower case of one 8-bit character.
  virtual unsigned char ToLower(unsigned char c) = 0;
  // The default comparison of 8-bit text (lstrcmpA's order).
  virtual int CompareText(std::string_view a, std::string_view b) = 0;
};

}  // namespace vant
