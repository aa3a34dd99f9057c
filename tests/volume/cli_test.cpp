// The vant tool as a user runs it on an ntfs-3g image.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "tests/support/peers.h"

namespace vant {
namespace {

using namespace vant::testing;
namespace fs = std::filesystem;

std::string Vant(const std::string& args) {
  auto out = RunCommand(std::string(VANT_CLI) + " " + args + " 2>/dev/null");
  return out.value_or("(failed)");
}

TEST(Cli, ScanListsTheDeletedFilesOfTheVolume) {
  const std::string image = FixturePath("c4k.img");
  const auto manifest = LoadManifest(FixturePath("c4k.tsv"));
  std::istringstream out(Vant("scan " + Quote(image) + " --deleted"));
  std::string line;
  std::getline(out, line);
  EXPECT_EQ(line, "record\tstate\tkind\tparent\tsize\tcreated\tmodified\taccessed\tname\toriginal\trecycled");
  std::set<std::uint64_t> listed;
  while (std::getline(out, line)) {
    std::istringstream fields(line);
    std::string record, state;
    std::getline(fields, record, '\t');
    std::getline(fields, state, '\t');
    EXPECT_EQ(state, "deleted") << line;
    listed.insert(std::stoull(record));
  }
  for (const auto& m : manifest) EXPECT_EQ(listed.count(m.Record) == 1, m.Deleted) << m.Path;

  // The bodyfile form: MD5|name|inode|mode|uid|gid|size|atime|mtime|ctime|crtime.
  std::istringstream body(Vant("scan " + Quote(image) + " --format body"));
  int lines = 0;
  while (std::getline(body, line)) {
    EXPECT_EQ(std::count(line.begin(), line.end(), '|'), 10) << line;
    ++lines;
  }
  EXPECT_GT(lines, 50);

  // A whole disk: its first NTFS partition by default, or the one named.
  const std::string disk = FixturePath("mbr.img");
  EXPECT_EQ(Vant("scan " + Quote(disk) + " --partition 0"), Vant("scan " + Quote(disk)));
  EXPECT_GT(Vant("scan " + Quote(disk)).size(), 1000u);
  EXPECT_EQ(Vant("scan " + Quote(disk) + " --partition 3"), "(failed)");
}

TEST(Cli, TreeAndListingShowDeletedFoldersWhereTheyWere) {
  const std::string image = FixturePath("c4k.img");
  const std::string tree = Vant("tree " + Quote(image));
  EXPECT_NE(tree.find("  Borrada [2]\n    sub [2]\n"), std::string::npos) << tree;
  EXPECT_NE(tree.find("  Elementos perdidos [10]\n"), std::string::npos);
  const std::string rows = Vant("ls " + Quote(image) + " Borrada --deleted");
  EXPECT_NE(rows.find("2\tuno.txt\t200\t"), std::string::npos) << rows;
  EXPECT_NE(rows.find("2\tdos.bin\t20000\t"), std::string::npos) << rows;
  EXPECT_EQ(Vant("ls " + Quote(image) + " No/Existe"), "(failed)");
}

TEST(Cli, RecoverAllDeletedBringsEveryIntactFileBackExactly) {
  const std::string image = FixturePath("c64k.img");
  const auto manifest = LoadManifest(FixturePath("c64k.tsv"));
  const fs::path out = fs::temp_directory_path() / ("vant-cli-" + std::to_string(::getpid()));
  fs::remove_all(out);
  Vant("recover " + Quote(image) + " --all-deleted -o " + Quote(out.string()));
  int checked = 0;
  for (const auto& m : manifest) {
    if (!m.Deleted || m.Directory || m.Reused || m.Path.rfind("perdida/", 0) == 0) continue;
    const fs::path file = out / fs::path(m.Path);
    ASSERT_TRUE(fs::exists(file)) << file;
    EXPECT_EQ(Sha256OfFile(file.string()), m.Sha256) << m.Path;
    ++checked;
  }
  EXPECT_GE(checked, 5);
  // The lost file comes back below its group, as the tree shows it.
  EXPECT_FALSE(fs::is_empty(out / "Elementos perdidos"));

  // Existing files are kept unless the user says --force.
  const ManifestRow* one = FindByPath(manifest, "plain/borrado.bin");
  ASSERT_NE(one, nullptr);
  const fs::path single = out / "borrado.bin";
  std::ofstream(single) << "mine";
  Vant("recover " + Quote(image) + " " + std::to_string(one->Record) + " -o " + Quote(out.string()));
  EXPECT_EQ(fs::file_size(single), 4u);
  Vant("recover " + Quote(image) + " " + std::to_string(one->Record) + " -o " + Quote(out.string()) + " --force");
  EXPECT_EQ(Sha256OfFile(single.string()), one->Sha256);
  fs::remove_all(out);
}

TEST(Cli, ReadsABlockDeviceAsItReadsItsImage) {
  const std::string image = FixturePath("gpt.img");
  auto device = RunCommand("losetup -f --show -r -P " + Quote(image) + " 2>/dev/null");
  if (!device || device->empty()) GTEST_SKIP() << "no loop devices here (needs root and the loop driver)";
  const std::string disk = device->substr(0, device->find('\n'));
  const std::string fromImage = Vant("scan " + Quote(image));
  const std::string fromDevice = Vant("scan " + Quote(disk));
  RunCommand("losetup -d " + Quote(disk));
  EXPECT_GT(fromImage.size(), 1000u);
  EXPECT_EQ(fromDevice, fromImage);
}

}  // namespace
}  // namespace vant
