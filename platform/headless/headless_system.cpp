#include "platform/headless/headless_system.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef _WIN32  // the unit tests also run in the Windows build
#include <io.h>
#define fsync _commit
#endif
#ifndef O_CLOEXEC
#define O_CLOEXEC 0
#endif
#ifndef O_BINARY
#define O_BINARY 0
#endif

#include "platform/headless/file_times.h"
#include "platform/image/image_volume.h"
#include "platform/latin1.h"
#include "platform/text.h"

namespace vant::headless {
namespace {

// A device that counts itself, so tests can see which handles are open.
class CountedDevice : public VolumeDevice {
 public:
  CountedDevice(std::unique_ptr<VolumeDevice> inner, std::shared_ptr<int> counter)
      : inner_(std::move(inner)), counter_(std::move(counter)) {
    ++*counter_;
  }
  ~CountedDevice() override { --*counter_; }
  bool Seek(std::uint64_t offset) override { return inner_->Seek(offset); }
  std::uint64_t Position() const override { return inner_->Position(); }
  std::size_t Read(void* buffer, std::size_t count) override { return inner_->Read(buffer, count); }
  IoResult Control(std::uint32_t code, const void* in, std::size_t inSize, void* out, std::size_t outSize) override {
    return inner_->Control(code, in, inSize, out, outSize);
  }
  std::uint32_t LastError() const override { return inner_->LastError(); }

 private:
  std::unique_ptr<VolumeDevice> inner_;
  std::shared_ptr<int> counter_;
};

std::uint32_t FromErrno(int e) {
  switch (e) {
    case ENOENT: return error_code::FileNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
#ifdef ELOOP
    case ELOOP:  // a link where the file was to be: not followed
#endif
      return error_code::AccessDenied;
#ifdef EDQUOT
    case EDQUOT:
#endif
    case ENOSPC: return error_code::DiskFull;
    case ENAMETOOLONG: return error_code::FilenameTooLong;
    case EIO: return error_code::ReadFault;
    default: return error_code::InvalidParameter;
  }
}

class HostFile : public OutputFile {
 public:
  // With `temporary`, the data goes to that new file, which takes `path`'s
  // place once it is complete.
  explicit HostFile(int fd, std::string temporary = {}, std::string path = {})
      : fd_(fd), temporary_(std::move(temporary)), path_(std::move(path)) {}
  ~HostFile() override {
    if (fd_ >= 0) ::close(fd_);
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
  }
  std::size_t Write(const void* data, std::size_t count) override {
    std::size_t done = 0;
    while (done < count) {
      const ssize_t n = ::write(fd_, static_cast<const char*>(data) + done, count - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        error_ = n < 0 ? FromErrno(errno) : error_code::DiskFull;
        break;
      }
      done += static_cast<std::size_t>(n);
    }
    return done;
  }
  bool Close() override {
    ApplyTimes(fd_, times_);
    bool ok = ::fsync(fd_) == 0 || errno == EINVAL;
    if (!ok) error_ = FromErrno(errno);
    if (::close(fd_) != 0 && ok) {
      ok = false;
      error_ = FromErrno(errno);
    }
    fd_ = -1;
    // A replacement that failed anywhere leaves the old file as it was.
    if (ok && error_ == error_code::Success && !temporary_.empty()) {
      if (std::rename(temporary_.c_str(), path_.c_str()) != 0) {
        ok = false;
        error_ = FromErrno(errno);
      } else {
        temporary_.clear();
      }
    }
    return ok && error_ == error_code::Success;
  }
  std::uint32_t LastError() const override { return error_; }

 private:
  int fd_;
  std::string temporary_, path_;
  std::uint32_t error_ = error_code::Success;
};

char DriveOf(std::string_view rootPath) {
  if (rootPath.size() < 2 || rootPath[1] != ':') return 0;
  const char c = static_cast<char>(rootPath[0] & ~0x20);
  return c >= 'A' && c <= 'Z' ? c : 0;
}

}  // namespace

System::System() : openDevices_(std::make_shared<int>(0)) {}

void System::MapDrive(char letter, DriveMapping mapping) { drives_[static_cast<char>(letter & ~0x20)] = std::move(mapping); }
void System::UnmapDrive(char letter) { drives_.erase(static_cast<char>(letter & ~0x20)); }

std::uint32_t System::LogicalDrives() {
  std::uint32_t mask = 0;
  for (const auto& [letter, mapping] : drives_) mask |= 1u << (letter - 'A');
  return mask;
}

DriveType System::GetDriveType(std::string_view rootPath) {
  auto it = drives_.find(DriveOf(rootPath));
  return it == drives_.end() ? DriveType::NoRootDir : it->second.Type;
}

bool System::GetFileSystemName(std::string_view rootPath, std::string& name) {
  auto it = drives_.find(DriveOf(rootPath));
  if (it == drives_.end()) return false;
  if (it->second.FileSystem) {
    name = *it->second.FileSystem;
    return true;
  }
  if (it->second.Image.empty()) return false;
  name = image::FileSystemName(it->second.Image, it->second.Partition);
  return !name.empty();
}

std::int64_t System::DriveTotalSize(int driveNumber) {
  auto it = drives_.find(static_cast<char>('A' + driveNumber - 1));
  if (it == drives_.end()) return -1;
  if (it->second.TotalSize) return *it->second.TotalSize;
  if (it->second.Image.empty()) return -1;
  return image::VolumeSize(it->second.Image, it->second.Partition);
}

std::string System::FormatByteSize(std::int64_t bytes, std::size_t bufferChars) {
  return text::FormatByteSizeEs(bytes, bufferChars);
}

bool System::DocumentsPath(std::string& path) {
  if (!Documents) return false;
  path = *Documents;
  return true;
}

std::unique_ptr<VolumeDevice> System::Counted(std::unique_ptr<VolumeDevice> device) {
  if (!device) return nullptr;
  return std::make_unique<CountedDevice>(std::move(device), openDevices_);
}

std::unique_ptr<VolumeDevice> System::OpenVolume(char letter, std::uint32_t& error) {
  auto it = drives_.find(static_cast<char>(letter & ~0x20));
  if (it == drives_.end() || it->second.Image.empty()) {
    error = error_code::FileNotFound;
    return nullptr;
  }
  if (!it->second.Openable) {
    error = error_code::AccessDenied;
    return nullptr;
  }
  return Counted(image::OpenVolume(it->second.Image, it->second.Partition, error));
}

std::unique_ptr<VolumeDevice> System::OpenMft(char letter, std::uint32_t& error) {
  auto it = drives_.find(static_cast<char>(letter & ~0x20));
  if (it == drives_.end() || it->second.Image.empty() || !it->second.Openable) {
    error = error_code::FileNotFound;
    return nullptr;
  }
  return Counted(image::OpenMft(it->second.Image, it->second.Partition, error));
}

std::string System::HostPath(const std::string& path) const {
  const char letter = DriveOf(path);
  if (letter == 0) return path;
  auto it = DriveRoots.find(letter);
  std::string rest = path.substr(2);
  for (char& c : rest)
    if (c == '\\') c = '/';
  const std::string root = it == DriveRoots.end() ? std::string("/") : it->second;
  return root + (rest.empty() || rest[0] != '/' ? "/" : "") + rest;
}

bool System::RemoveFile(const std::string& path) { return std::remove(HostPath(path).c_str()) == 0; }

std::unique_ptr<OutputFile> System::CreateOutputFile(const std::string& path, std::uint32_t& error) {
  if (path.size() > MaxPath) {
    error = error_code::FilenameTooLong;
    return nullptr;
  }
  const std::string host = HostPath(path);
#ifndef _WIN32
  // The destination is never reached through a link, never a FIFO, folder
  // or block device, never one of the mapped images under any name; a
  // regular file there is replaced by a new one, not written through (its
  // other hard links keep their bytes). Character devices (/dev/null) are
  // written as named.
  struct stat st;
  if (::lstat(host.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode) && !S_ISCHR(st.st_mode)) {
      error = error_code::AccessDenied;
      return nullptr;
    }
    for (const auto& [letter, mapping] : drives_) {
      struct stat image;
      if (!mapping.Image.empty() && ::stat(mapping.Image.c_str(), &image) == 0 &&
          (S_ISREG(st.st_mode) ? st.st_dev == image.st_dev && st.st_ino == image.st_ino
                               : S_ISCHR(image.st_mode) && st.st_rdev == image.st_rdev)) {
        error = error_code::AccessDenied;
        return nullptr;
      }
    }
    if (S_ISREG(st.st_mode)) {
      for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string temporary = host + ".vant-" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0) return std::make_unique<HostFile>(fd, temporary, host);
        if (errno != EEXIST) break;
      }
      error = FromErrno(errno);
      return nullptr;
    }
  }
  const bool device = ::lstat(host.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
  const int fd = ::open(host.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC | (device ? 0 : O_CREAT | O_EXCL), 0644);
#else
  const int fd = ::open(host.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_BINARY, 0644);
#endif
  if (fd < 0) {
    error = FromErrno(errno);
    return nullptr;
  }
  return std::make_unique<HostFile>(fd);
}

bool System::PathIsOnDrive(const std::string& path, char letter) {
  return DriveOf(path) == static_cast<char>(letter & ~0x20);
}

std::string System::ErrorText(std::uint32_t code) {
  // The texts a Spanish Windows gives for the codes this system meets.
  switch (code) {
    case error_code::Success: return std::string("La operación se completó correctamente."_l1);
    case error_code::FileNotFound: return std::string("El sistema no puede encontrar el archivo especificado."_l1);
    case error_code::AccessDenied: return std::string("Acceso denegado."_l1);
    case error_code::InvalidHandle: return std::string("Controlador no válido."_l1);
    case error_code::Crc: return std::string("Error de datos (comprobación de redundancia cíclica)."_l1);
    case error_code::ReadFault: return std::string("El sistema no puede leer desde el dispositivo especificado."_l1);
    case error_code::HandleEof: return std::string("Se ha alcanzado el final del archivo."_l1);
    case error_code::NotSupported: return std::string("No se admite la solicitud."_l1);
    case error_code::InvalidParameter: return std::string("El parámetro no es correcto."_l1);
    case error_code::DiskFull: return std::string("No hay espacio suficiente en el disco."_l1);
    case error_code::FilenameTooLong: return std::string("El nombre del archivo o la extensión es demasiado largo."_l1);
    case error_code::MoreData: return std::string("Hay más datos disponibles."_l1);
    case error_code::UnrecognizedVolume: return std::string("El volumen no contiene un sistema de archivos reconocido."_l1);
    default: {
      char buffer[64];
      std::snprintf(buffer, sizeof buffer, "Error %u del sistema.", code);
      return buffer;
    }
  }
}

unsigned char System::ToLower(unsigned char c) { return text::Latin1Lower(c); }
int System::CompareText(std::string_view a, std::string_view b) { return text::CompareWordSort(a, b); }

}  // namespace vant::headless
