// The output folder of a recovery, as a hostile tree would meet it: links,
// FIFOs, devices, folders and hard links where files are to go.
#include "cli/output_tree.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace vant::cli {
namespace {

namespace fs = std::filesystem;
using Outcome = OutputTree::Outcome;

std::string Read(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void Write(const fs::path& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; }

struct Scratch {
  fs::path Root = fs::temp_directory_path() / ("vant-tree-" + std::to_string(::getpid()));
  fs::path Out = Root / "out";
  fs::path Elsewhere = Root / "elsewhere";
  Scratch() {
    fs::remove_all(Root);
    fs::create_directories(Out);
    fs::create_directories(Elsewhere);
  }
  ~Scratch() { fs::remove_all(Root); }
};

bool Put(OutputTree& tree, const std::vector<std::string>& folders, const std::string& name, bool force,
         const std::string& text, Outcome expected, std::string* why = nullptr) {
  OutputTree::Result r = tree.Create(folders, name, force);
  if (why) *why = r.Text;
  if (r.What != expected) return false;
  if (r.What != Outcome::Created) return r.File == nullptr;
  return r.File->Write(text.data(), text.size()) == text.size() && r.File->Close();
}

TEST(OutputTree, NeverFollowsALinkInTheTreeWithOrWithoutForce) {
  Scratch s;
  std::string error;
  auto tree = OutputTree::Open(s.Out.string(), error);
  ASSERT_TRUE(tree) << error;
  Write(s.Elsewhere / "target.txt", "theirs");
  fs::create_symlink(s.Elsewhere / "missing.txt", s.Out / "dangling.txt");
  fs::create_symlink(s.Elsewhere / "target.txt", s.Out / "tofile.txt");
  fs::create_directory_symlink(s.Elsewhere, s.Out / "todir");
  ASSERT_EQ(::mkfifo((s.Out / "fifo.txt").c_str(), 0644), 0);

  for (bool force : {false, true}) {
    const Outcome kept = force ? Outcome::Refused : Outcome::Exists;
    std::string why;
    for (const char* name : {"dangling.txt", "tofile.txt", "fifo.txt", "todir"}) {
      EXPECT_TRUE(Put(*tree, {}, name, force, "recovered", kept, &why)) << name << " force " << force << ": " << why;
      if (force) {
        EXPECT_NE(why.find("not replaced"), std::string::npos) << why;
      }
    }
    // A link standing for a folder on the way is not followed either.
    EXPECT_TRUE(Put(*tree, {"todir"}, "inside.txt", force, "recovered", Outcome::Refused, &why)) << why;
    EXPECT_NE(why.find("symbolic link"), std::string::npos) << why;
    EXPECT_TRUE(Put(*tree, {"fifo.txt", "sub"}, "inside.txt", force, "recovered", Outcome::Refused, &why)) << why;
  }
  EXPECT_FALSE(fs::exists(s.Elsewhere / "missing.txt"));
  EXPECT_FALSE(fs::exists(s.Elsewhere / "inside.txt"));
  EXPECT_EQ(Read(s.Elsewhere / "target.txt"), "theirs");
  EXPECT_TRUE(fs::is_symlink(s.Out / "dangling.txt"));
  EXPECT_TRUE(fs::is_fifo(s.Out / "fifo.txt"));

  // Names that climb are refused outright, whoever made them.
  for (const char* bad : {"..", ".", "a/b", ""}) {
    EXPECT_TRUE(Put(*tree, {}, bad, true, "x", Outcome::Refused)) << bad;
    EXPECT_TRUE(Put(*tree, {bad}, "x", true, "x", Outcome::Refused)) << bad;
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(s.Root), fs::directory_iterator()), 2);
}

TEST(OutputTree, ForceReplacesARegularFileAndNeverTheProtectedOne) {
  Scratch s;
  std::string error;
  auto tree = OutputTree::Open((s.Out / "new" / "deeper").string(), error);  // made when missing
  ASSERT_TRUE(tree) << error;
  const fs::path out = s.Out / "new" / "deeper";

  EXPECT_TRUE(Put(*tree, {"a", "b"}, "f.txt", false, "first", Outcome::Created));
  EXPECT_EQ(Read(out / "a" / "b" / "f.txt"), "first");
  EXPECT_TRUE(Put(*tree, {"a", "b"}, "f.txt", false, "second", Outcome::Exists));
  EXPECT_EQ(Read(out / "a" / "b" / "f.txt"), "first");

  // A hard link elsewhere keeps its bytes: the name gets a new file.
  fs::create_hard_link(out / "a" / "b" / "f.txt", s.Elsewhere / "link.txt");
  EXPECT_TRUE(Put(*tree, {"a", "b"}, "f.txt", true, "third", Outcome::Created));
  EXPECT_EQ(Read(out / "a" / "b" / "f.txt"), "third");
  EXPECT_EQ(Read(s.Elsewhere / "link.txt"), "first");

  // The protected file is refused under any of its names.
  Write(out / "image.img", "the volume");
  fs::create_hard_link(out / "image.img", out / "a" / "hardlink.img");
  struct stat st;
  ASSERT_EQ(::stat((out / "image.img").c_str(), &st), 0);
  tree->Protect(st.st_dev, st.st_ino);
  std::string why;
  EXPECT_TRUE(Put(*tree, {}, "image.img", true, "recovered", Outcome::Refused, &why));
  EXPECT_NE(why.find("image under analysis"), std::string::npos) << why;
  EXPECT_TRUE(Put(*tree, {"a"}, "hardlink.img", true, "recovered", Outcome::Refused));
  EXPECT_EQ(Read(out / "image.img"), "the volume");

  // A replacement abandoned before Close leaves the old file and no litter.
  {
    OutputTree::Result r = tree->Create({"a", "b"}, "f.txt", true);
    ASSERT_EQ(r.What, Outcome::Created);
    r.File->Write("partial", 7);
  }
  EXPECT_EQ(Read(out / "a" / "b" / "f.txt"), "third");
  EXPECT_EQ(std::distance(fs::directory_iterator(out / "a" / "b"), fs::directory_iterator()), 1);
}

TEST(OutputTree, TellsWhatFailedInTheHostsOwnWords) {
  Scratch s;
  std::string error;
  Write(s.Root / "plain-file", "x");
  EXPECT_FALSE(OutputTree::Open((s.Root / "plain-file").string(), error));
  EXPECT_NE(error.find(std::strerror(ENOTDIR)), std::string::npos) << error;
  EXPECT_FALSE(OutputTree::Open((s.Root / "plain-file" / "below").string(), error));
  EXPECT_NE(error.find(std::strerror(ENOTDIR)), std::string::npos) << error;

  auto tree = OutputTree::Open(s.Out.string(), error);
  ASSERT_TRUE(tree);
  if (::geteuid() != 0) {  // root writes anywhere
    fs::permissions(s.Out, fs::perms::owner_read | fs::perms::owner_exec);
    std::string why;
    EXPECT_TRUE(Put(*tree, {}, "f.txt", false, "x", Outcome::Failed, &why));
    EXPECT_NE(why.find(std::strerror(EACCES)), std::string::npos) << why;
    fs::permissions(s.Out, fs::perms::owner_all);
  }
  // A device is never written to, whatever it is called.
  auto full = OutputTree::Open("/dev", error);
  ASSERT_TRUE(full);
  OutputTree::Result r = full->Create({}, "full", true);
  EXPECT_EQ(r.What, Outcome::Refused);  // a device, not replaced
}

}  // namespace
}  // namespace vant::cli
