// libFuzzer target: the input is the start of a whole disk (an MBR, or a
// protective MBR with a GPT header and its entries), opened by the image
// volume through a memory file's path as the tool opens an image. Every
// partition it finds is opened and asked what it holds.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/image/image_volume.h"

namespace {

int MemoryFile() {
  static const int fd = ::memfd_create("vant-partition-fuzz", 0);
  return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const int fd = MemoryFile();
  if (fd < 0 || ::ftruncate(fd, 0) != 0) return 0;
  if (size > 0 && ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) return 0;
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  std::uint32_t error = 0;
  const auto parts = vant::image::ListPartitions(path, error);
  for (int i = 0; i <= static_cast<int>(parts.size()) && i < 8; ++i) {
    vant::image::FileSystemName(path, i);
    vant::image::VolumeSize(path, i);
    if (auto volume = vant::image::OpenVolume(path, i, error)) {
      std::uint8_t sector[512];
      volume->Seek(0);
      volume->Read(sector, sizeof sector);
    }
    vant::image::OpenMft(path, i, error);
  }
  return 0;
}
