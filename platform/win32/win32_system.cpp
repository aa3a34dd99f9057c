#include "platform/win32/win32_system.h"

#include "platform/win32/win32_api.h"

#include <shlobj.h>
#include <shlwapi.h>

#undef GetDriveType

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/win32/win32_volume.h"

namespace vant::win32 {
namespace {

class File : public OutputFile {
 public:
  explicit File(HANDLE handle) : handle_(handle) {}
  ~File() override {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  std::size_t Write(const void* data, std::size_t count) override {
    std::size_t done = 0;
    while (done < count) {
      const auto want = static_cast<DWORD>(std::min<std::size_t>(count - done, 1u << 30));
      DWORD written = 0;
      if (!WriteFile(handle_, static_cast<const char*>(data) + done, want, &written, nullptr)) {
        error_ = GetLastError();
        break;
      }
      done += written;
      if (written < want) {  // a short write without an error is a full disk
        error_ = ERROR_DISK_FULL;
        break;
      }
    }
    return done;
  }
  bool Close() override {
    ApplyTimes();
    bool ok = FlushFileBuffers(handle_) != FALSE;
    if (!ok) error_ = GetLastError();
    if (!CloseHandle(handle_) && ok) {
      ok = false;
      error_ = GetLastError();
    }
    handle_ = INVALID_HANDLE_VALUE;
    return ok;
  }
  std::uint32_t LastError() const override { return error_; }

 private:
  // The record's times; one the system refuses leaves the data as written.
  void ApplyTimes() {
    auto filetime = [](std::int64_t t) {
      FILETIME ft;
      ft.dwLowDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(t));
      ft.dwHighDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(t) >> 32);
      return ft;
    };
    const FILETIME creation = filetime(times_.Creation), access = filetime(times_.Access),
                   modification = filetime(times_.Modification);
    // A null pointer keeps that time; only positive FILETIMEs are real ones.
    SetFileTime(handle_, times_.Creation > 0 ? &creation : nullptr, times_.Access > 0 ? &access : nullptr,
                times_.Modification > 0 ? &modification : nullptr);
  }

  HANDLE handle_;
  std::uint32_t error_ = ERROR_SUCCESS;
};

std::string Terminated(std::string_view text) { return std::string(text); }

}  // namespace

std::uint32_t System::LogicalDrives() { return GetLogicalDrives(); }

DriveType System::GetDriveType(std::string_view rootPath) {
  const UINT type = GetDriveTypeA(Terminated(rootPath).c_str());
  return type <= DRIVE_RAMDISK ? static_cast<DriveType>(type) : DriveType::Unknown;
}

bool System::GetFileSystemName(std::string_view rootPath, std::string& name) {
  char buffer[MAX_PATH + 1] = {};
  if (!GetVolumeInformationA(Terminated(rootPath).c_str(), nullptr, 0, nullptr, nullptr, nullptr, buffer,
                             sizeof buffer))
    return false;
  name = buffer;
  return true;
}

std::int64_t System::DriveTotalSize(int driveNumber) {
  if (driveNumber < 1 || driveNumber > 26) return -1;
  const char root[] = {static_cast<char>('A' + driveNumber - 1), ':', '\\', 0};
  ULARGE_INTEGER total{};
  if (!GetDiskFreeSpaceExA(root, nullptr, &total, nullptr)) return -1;
  return static_cast<std::int64_t>(total.QuadPart);
}

std::string System::FormatByteSize(std::int64_t bytes, std::size_t bufferChars) {
  if (bufferChars == 0) return {};
  std::vector<char> buffer(bufferChars, 0);
  if (!StrFormatByteSize64A(bytes, buffer.data(), static_cast<UINT>(bufferChars))) return {};
  return buffer.data();
}

bool System::DocumentsPath(std::string& path) {
  char buffer[MAX_PATH] = {};
  if (!SHGetSpecialFolderPathA(nullptr, buffer, CSIDL_PERSONAL, FALSE)) return false;
  path = buffer;
  return true;
}

std::unique_ptr<VolumeDevice> System::OpenVolume(char letter, std::uint32_t& error) {
  return OpenVolumeDevice(letter, error);
}

std::unique_ptr<VolumeDevice> System::OpenMft(char letter, std::uint32_t& error) { return OpenMftDevice(letter, error); }

std::size_t System::MaxPathLength() const { return MAX_PATH; }

std::unique_ptr<OutputFile> System::CreateOutputFile(const std::string& path, std::uint32_t& error) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = GetLastError();
    return nullptr;
  }
  return std::make_unique<File>(file);
}

bool System::RemoveFile(const std::string& path) { return DeleteFileA(path.c_str()) != FALSE; }

bool System::PathIsOnDrive(const std::string& path, char letter) {
  // Relative paths and "X:name" land where the system resolves them.
  char full[MAX_PATH * 2] = {};
  const DWORD n = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
  const std::string resolved = n > 0 && n < sizeof full ? std::string(full, n) : path;
  if (resolved.size() < 2 || resolved[1] != ':') return false;
  return (resolved[0] & ~0x20) == (letter & ~0x20);
}

std::string System::ErrorText(std::uint32_t code) {
  char* message = nullptr;
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, 0, reinterpret_cast<char*>(&message), 0, nullptr);
  std::string text = n && message ? std::string(message, n) : std::string();
  if (message) LocalFree(message);
  // The system's messages end in a line break the boxes do not want.
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) text.pop_back();
  if (text.empty()) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "Error %lu del sistema.", static_cast<unsigned long>(code));
    text = buffer;
  }
  return text;
}

unsigned char System::ToLower(unsigned char c) {
  char buffer[1] = {static_cast<char>(c)};
  CharLowerBuffA(buffer, 1);
  return static_cast<unsigned char>(buffer[0]);
}

int System::CompareText(std::string_view a, std::string_view b) {
  return lstrcmpA(Terminated(a).c_str(), Terminated(b).c_str());
}

}  // namespace vant::win32
