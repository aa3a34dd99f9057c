// libFuzzer target: the input is a small disk image, given sparsely so a
// volume of a megabyte fits in a few kilobytes of input:
//   u32 image size in 512-byte sectors (at most 8192), then any number of
//   { u16 sector number, 512 bytes } pieces written over a zero image.
// The image is opened by the image volume as the tool opens a file (through
// a memory file's path) and taken the whole way a user goes: analysis (scan
// and folder tree), every folder's listing, a search, then integrity and
// extraction of every entry into a sink that keeps nothing.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "catalogue/listing.h"
#include "cli/session.h"
#include "recovery/extraction.h"
#include "recovery/integrity.h"
#include "recovery/run_list.h"

namespace {

constexpr std::size_t kSector = 512;
constexpr std::uint32_t kMaxSectors = 8192;

class Sink : public vant::OutputFile {
 public:
  std::size_t Write(const void*, std::size_t count) override {
    written += count;
    return count;
  }
  bool Close() override { return true; }
  std::uint32_t LastError() const override { return 0; }
  std::uint64_t written = 0;
};

class Quiet : public vant::WorkObserver {};

// One memory file reused for every input, named by its /proc path.
int MemoryFile() {
  static const int fd = ::memfd_create("vant-volume-fuzz", 0);
  return fd;
}

bool WriteImage(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return false;
  std::uint32_t sectors = data[0] | data[1] << 8 | data[2] << 16 | std::uint32_t(data[3]) << 24;
  if (sectors == 0 || sectors > kMaxSectors) sectors = kMaxSectors;
  std::vector<std::uint8_t> image(std::size_t(sectors) * kSector, 0);
  for (std::size_t at = 4; at + 2 + kSector <= size; at += 2 + kSector) {
    const std::uint32_t sector = data[at] | data[at + 1] << 8;
    if (sector < sectors) std::copy(data + at + 2, data + at + 2 + kSector, image.begin() + std::size_t(sector) * kSector);
  }
  const int fd = MemoryFile();
  if (fd < 0 || ::ftruncate(fd, 0) != 0) return false;
  return ::pwrite(fd, image.data(), image.size(), 0) == static_cast<ssize_t>(image.size());
}

void ListEveryFolder(vant::cli::Session& s, vant::TreeView& tree, vant::TreeNode node, int depth) {
  // Deep trees are listed to a depth that keeps one input's work small.
  for (vant::TreeNode c = tree.FirstChild(node); c && depth < 8; c = tree.NextSibling(c)) {
    vant::headless::ClickNode(tree, c);
    ListEveryFolder(s, tree, c, depth + 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (!WriteImage(data, size)) return 0;
  const std::string path = "/proc/self/fd/" + std::to_string(MemoryFile());
  vant::cli::Session s({path});
  if (!s.Analyse('C')) return 0;
  auto& tree = s.Form->Get<vant::TreeView>("TreeView1");
  ListEveryFolder(s, tree, s.DriveNode('C'), 0);
  s.Form->Get<vant::CheckBox>("CheckBox1").SetChecked(true);  // deleted files only
  vant::headless::ClickNode(tree, s.DriveNode('C'));
  s.Form->Get<vant::EditBox>("Edit1").SetText("a");
  vant::headless::Click(s.Form->Get<vant::Button>("BitBtn5"));

  const vant::Catalogue& catalogue = s.Form->Entries();
  vant::VolumeDevice& volume = *s.Form->Context().VolumeHandle;
  const vant::RecoveryGeometry geometry = vant::ReadRecoveryGeometry(volume);
  const vant::RowContext rows{catalogue, tree, s.Form->LostItemsNode(), 'C'};
  Quiet quiet;
  for (std::size_t i = 0; i < catalogue.Count(); ++i) {
    const vant::FileEntry& e = catalogue.At(i);
    if (!e.IsBaseRecord) continue;
    vant::BuildFolderPath(rows, e);
    std::optional<vant::RunList> runs;
    if (!e.IsResident) runs = vant::LoadRunList(volume, e, geometry, 'C', &catalogue);
    vant::ComputeIntegrity(volume, e, runs ? &*runs : nullptr, geometry, quiet);
    Sink sink;
    if (e.IsResident) vant::ExtractResidentFile(volume, e, geometry, sink);
    else if (runs) vant::ExtractRunFile(volume, e.FileSize, *runs, geometry, sink, quiet);
  }
  return 0;
}
