#include "platform/image/image_volume.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>
#ifdef __linux__
#include <linux/fs.h>
#include <sys/ioctl.h>
#endif
#ifdef _WIN32
#include <io.h>
#endif

#include "ntfs/layout.h"
#include "platform/image/ntfs_answers.h"

namespace vant::image {
namespace {

using ntfs::GetU16;
using ntfs::GetU32;
using ntfs::GetU64;

std::uint32_t ErrorOf(int e) {
  switch (e) {
    case ENOENT: return error_code::FileNotFound;
    case EACCES: case EPERM: return error_code::AccessDenied;
    case EIO: return error_code::ReadFault;
    default: return error_code::InvalidParameter;
  }
}

// The image file, shared by the volume's handles. Opened read-only: nothing
// in this system ever writes to the medium under analysis.
class ImageFile {
 public:
  static std::shared_ptr<ImageFile> Open(const std::string& path, std::uint32_t& error) {
#ifdef _WIN32
    const int fd = ::_open(path.c_str(), _O_RDONLY | _O_BINARY);
#else
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
#endif
    if (fd < 0) {
      error = ErrorOf(errno);
      return nullptr;
    }
    auto file = std::shared_ptr<ImageFile>(new ImageFile(fd));
    return file;
  }
  ~ImageFile() { ::close(fd_); }
  std::uint64_t Size() const { return size_; }
  // The count read; `error` set when the medium failed.
  std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count, std::uint32_t& error) {
    std::size_t done = 0;
    while (done < count) {
#ifdef _WIN32
      if (::_lseeki64(fd_, static_cast<__int64>(offset + done), SEEK_SET) < 0) break;
      const int n = ::_read(fd_, static_cast<char*>(buffer) + done, static_cast<unsigned>(std::min<std::size_t>(count - done, 1 << 30)));
#else
      const ssize_t n = ::pread(fd_, static_cast<char*>(buffer) + done, count - done, static_cast<off_t>(offset + done));
#endif
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        error = ErrorOf(errno);
        break;
      }
      if (n == 0) break;
      done += static_cast<std::size_t>(n);
    }
    return done;
  }

 private:
  explicit ImageFile(int fd) : fd_(fd) {
    struct stat st{};
    if (::fstat(fd, &st) == 0) size_ = static_cast<std::uint64_t>(st.st_size);
#ifdef __linux__
    std::uint64_t bytes = 0;
    if (S_ISBLK(st.st_mode) && ::ioctl(fd, BLKGETSIZE64, &bytes) == 0) size_ = bytes;
#endif
  }
  int fd_;
  std::uint64_t size_ = 0;
};

class Region : public ByteSource {
 public:
  Region(std::shared_ptr<ImageFile> file, PartitionInfo part) : file_(std::move(file)), part_(std::move(part)) {}
  std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override {
    if (offset >= part_.Length) return 0;
    count = static_cast<std::size_t>(std::min<std::uint64_t>(count, part_.Length - offset));
    return file_->ReadAt(part_.Offset + offset, buffer, count, error_);
  }
  std::uint64_t Size() const override { return part_.Length; }
  std::uint32_t TakeError() { return std::exchange(error_, 0); }

 private:
  std::shared_ptr<ImageFile> file_;
  PartitionInfo part_;
  std::uint32_t error_ = 0;
};

class ImageVolume : public VolumeDevice {
 public:
  ImageVolume(std::shared_ptr<Region> region, bool mftOnly) : region_(std::move(region)), answers_(*region_), mftOnly_(mftOnly) {}
  bool Seek(std::uint64_t offset) override {
    if (mftOnly_) return Fail(error_code::InvalidHandle);
    position_ = offset;
    return true;
  }
  std::uint64_t Position() const override { return position_; }
  std::size_t Read(void* buffer, std::size_t count) override {
    if (mftOnly_) return Fail(error_code::AccessDenied), 0;  // opened for queries only
    const std::size_t n = region_->ReadAt(position_, buffer, count);
    position_ += n;
    if (std::uint32_t e = region_->TakeError()) lastError_ = e;
    else if (n < count) lastError_ = error_code::HandleEof;
    return n;
  }
  IoResult Control(std::uint32_t code, const void* in, std::size_t inSize, void* out, std::size_t outSize) override {
    // The $MFT handle answers only about the $MFT; the volume not about it.
    if (mftOnly_ != (code == ioctl::GetRetrievalPointers)) return {error_code::InvalidParameter, 0};
    const IoResult r = answers_.Answer(code, in, inSize, out, outSize);
    if (!r.Ok()) lastError_ = r.Error;
    return r;
  }
  std::uint32_t LastError() const override { return lastError_; }
  bool IsNtfs() { return answers_.IsNtfs(); }

 private:
  bool Fail(std::uint32_t e) {
    lastError_ = e;
    return false;
  }
  std::shared_ptr<Region> region_;
  NtfsAnswers answers_;
  bool mftOnly_;
  std::uint64_t position_ = 0;
  std::uint32_t lastError_ = 0;
};

bool IsBareVolume(const std::uint8_t* sector) { return !FileSystemOfBootSector(sector).empty(); }

std::string ReadFileSystem(const std::shared_ptr<ImageFile>& file, std::uint64_t offset) {
  std::uint8_t sector[512] = {};
  std::uint32_t error = 0;
  if (file->ReadAt(offset, sector, sizeof sector, error) != sizeof sector) return {};
  return FileSystemOfBootSector(sector);
}

std::vector<PartitionInfo> Partitions(const std::shared_ptr<ImageFile>& file) {
  std::vector<PartitionInfo> parts;
  std::uint8_t mbr[512] = {};
  std::uint32_t error = 0;
  if (file->ReadAt(0, mbr, sizeof mbr, error) != sizeof mbr) return parts;
  if (IsBareVolume(mbr)) {
    parts.push_back({0, file->Size(), FileSystemOfBootSector(mbr)});
    return parts;
  }
  if (mbr[510] != 0x55 || mbr[511] != 0xAA) return parts;
  bool gpt = false;
  for (int i = 0; i < 4; ++i) {
    const std::uint8_t* e = mbr + 446 + 16 * i;
    if (e[4] == 0xEE) gpt = true;
  }
  if (gpt) {
    std::uint8_t header[512] = {};
    if (file->ReadAt(512, header, sizeof header, error) != sizeof header || std::memcmp(header, "EFI PART", 8) != 0)
      return parts;
    const std::uint64_t entriesLba = GetU64(header + 72);
    const std::uint32_t count = std::min<std::uint32_t>(GetU32(header + 80), 1024);
    const std::uint32_t size = GetU32(header + 84);
    if (size < 128 || size > 4096) return parts;
    std::vector<std::uint8_t> entry(size);
    for (std::uint32_t i = 0; i < count; ++i) {
      if (file->ReadAt(entriesLba * 512 + std::uint64_t(i) * size, entry.data(), size, error) != size) break;
      bool used = false;
      for (int k = 0; k < 16; ++k) used = used || entry[k] != 0;
      if (!used) continue;
      const std::uint64_t first = GetU64(entry.data() + 32), last = GetU64(entry.data() + 40);
      if (last < first) continue;
      PartitionInfo p{first * 512, (last - first + 1) * 512, {}};
      p.FileSystem = ReadFileSystem(file, p.Offset);
      parts.push_back(p);
    }
    return parts;
  }
  for (int i = 0; i < 4; ++i) {
    const std::uint8_t* e = mbr + 446 + 16 * i;
    const std::uint32_t start = GetU32(e + 8), sectors = GetU32(e + 12);
    if (e[4] == 0 || sectors == 0) continue;
    PartitionInfo p{std::uint64_t(start) * 512, std::uint64_t(sectors) * 512, {}};
    p.FileSystem = ReadFileSystem(file, p.Offset);
    parts.push_back(p);
  }
  return parts;
}

std::shared_ptr<Region> OpenRegion(const std::string& path, int partition, std::uint32_t& error) {
  auto file = ImageFile::Open(path, error);
  if (!file) return nullptr;
  auto parts = Partitions(file);
  const PartitionInfo* chosen = nullptr;
  if (partition >= 0) {
    if (static_cast<std::size_t>(partition) < parts.size()) chosen = &parts[partition];
  } else {
    for (const auto& p : parts)
      if (!chosen && p.FileSystem == "NTFS") chosen = &p;
    if (!chosen && !parts.empty()) chosen = &parts[0];
  }
  if (!chosen) {
    // Not a volume we know: the whole image stands for it, and the NTFS
    // requests fail as on any volume without NTFS.
    return std::make_shared<Region>(file, PartitionInfo{0, file->Size(), {}});
  }
  return std::make_shared<Region>(file, *chosen);
}

}  // namespace

std::string FileSystemOfBootSector(const std::uint8_t* sector) {
  if (std::memcmp(sector + 3, "NTFS    ", 8) == 0) return "NTFS";
  if (std::memcmp(sector + 3, "EXFAT   ", 8) == 0) return "exFAT";
  const std::uint32_t bps = GetU16(sector + 11);
  if (bps < 512 || bps > 4096 || (bps & (bps - 1)) || sector[510] != 0x55 || sector[511] != 0xAA) return {};
  if (std::memcmp(sector + 82, "FAT32", 5) == 0) return "FAT32";
  if (std::memcmp(sector + 54, "FAT", 3) == 0) return "FAT";
  return {};
}

std::vector<PartitionInfo> ListPartitions(const std::string& path, std::uint32_t& error) {
  auto file = ImageFile::Open(path, error);
  return file ? Partitions(file) : std::vector<PartitionInfo>{};
}

std::unique_ptr<VolumeDevice> OpenVolume(const std::string& path, int partition, std::uint32_t& error) {
  auto region = OpenRegion(path, partition, error);
  if (!region) return nullptr;
  return std::make_unique<ImageVolume>(region, false);
}

std::unique_ptr<VolumeDevice> OpenMft(const std::string& path, int partition, std::uint32_t& error) {
  auto region = OpenRegion(path, partition, error);
  if (!region) return nullptr;
  auto mft = std::make_unique<ImageVolume>(region, true);
  if (!mft->IsNtfs()) {
    error = error_code::FileNotFound;
    return nullptr;
  }
  return mft;
}

std::string FileSystemName(const std::string& path, int partition) {
  std::uint32_t error = 0;
  auto region = OpenRegion(path, partition, error);
  if (!region) return {};
  std::uint8_t sector[512] = {};
  if (region->ReadAt(0, sector, sizeof sector) != sizeof sector) return {};
  return FileSystemOfBootSector(sector);
}

std::int64_t VolumeSize(const std::string& path, int partition) {
  std::uint32_t error = 0;
  auto region = OpenRegion(path, partition, error);
  return region ? static_cast<std::int64_t>(region->Size()) : -1;
}

}  // namespace vant::image
