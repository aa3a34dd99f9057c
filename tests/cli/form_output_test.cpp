// The form's destination files on the host: the same care as the tool's
// (no link followed, no FIFO, never the mapped image, a file replaced rather
// than written through), for the path the save dialog gave.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/headless/headless_system.h"

namespace vant {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(FormOutput, NeverThroughALinkAFifoOrOntoTheImage) {
  const fs::path root = fs::temp_directory_path() / ("vant-form-out-" + std::to_string(::getpid()));
  fs::remove_all(root);
  fs::create_directories(root / "elsewhere");
  std::ofstream(root / "volume.img") << "the volume";
  std::ofstream(root / "elsewhere" / "theirs.txt") << "theirs";
  headless::System system;
  headless::DriveMapping mapping;
  mapping.Image = (root / "volume.img").string();
  system.MapDrive('C', mapping);

  fs::create_symlink(root / "elsewhere" / "theirs.txt", root / "link.txt");
  fs::create_symlink(root / "elsewhere" / "missing.txt", root / "dangling.txt");
  fs::create_hard_link(root / "volume.img", root / "image-again.bin");
  ASSERT_EQ(::mkfifo((root / "fifo").c_str(), 0644), 0);
  for (const char* refused : {"link.txt", "dangling.txt", "image-again.bin", "volume.img", "fifo", "elsewhere"}) {
    std::uint32_t error = 0;
    EXPECT_EQ(system.CreateOutputFile((root / refused).string(), error), nullptr) << refused;
    EXPECT_EQ(error, error_code::AccessDenied) << refused;
  }
  EXPECT_EQ(Read(root / "elsewhere" / "theirs.txt"), "theirs");
  EXPECT_FALSE(fs::exists(root / "elsewhere" / "missing.txt"));
  EXPECT_EQ(Read(root / "volume.img"), "the volume");

  // A file there is replaced, once complete; its other name keeps the old bytes.
  std::ofstream(root / "old.txt") << "old";
  fs::create_hard_link(root / "old.txt", root / "elsewhere" / "old-link.txt");
  std::uint32_t error = 0;
  auto file = system.CreateOutputFile((root / "old.txt").string(), error);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->Write("new", 3), 3u);
  EXPECT_EQ(Read(root / "old.txt"), "old");
  EXPECT_TRUE(file->Close());
  EXPECT_EQ(Read(root / "old.txt"), "new");
  EXPECT_EQ(Read(root / "elsewhere" / "old-link.txt"), "old");
  // A new name and a character device are written as named.
  file = system.CreateOutputFile((root / "new.txt").string(), error);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->Write("x", 1), 1u);
  EXPECT_TRUE(file->Close());
  EXPECT_EQ(Read(root / "new.txt"), "x");
  EXPECT_NE(system.CreateOutputFile("/dev/null", error), nullptr);
  EXPECT_EQ(std::distance(fs::directory_iterator(root), fs::directory_iterator()), 8);  // no temporary files left
  fs::remove_all(root);
}

}  // namespace
}  // namespace vant
