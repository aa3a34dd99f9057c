// The vant tool on hostile names and hostile output folders: names shown and
// written as the volume holds them, nothing written outside the folder the
// user chose, never through a link, never onto the image itself.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "tests/support/peers.h"

namespace vant {
namespace {

using namespace vant::testing;
namespace fs = std::filesystem;

struct ToolRun {
  int Status = -1;
  std::string Out;  // standard output, or both streams with `withErrors`
};

// The tool under `timeout`, so a hang fails the test instead of stalling it.
ToolRun Vant(const std::string& args, bool withErrors = false) {
  const std::string command =
      "timeout 120 " + std::string(VANT_CLI) + " " + args + (withErrors ? " 2>&1" : " 2>/dev/null");
  ToolRun run;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return run;
  char buffer[65536];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.Out.append(buffer, n);
  const int status = ::pclose(pipe);
  run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

std::string Read(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

struct Scratch {
  fs::path Root;
  explicit Scratch(const std::string& tag)
      : Root(fs::temp_directory_path() / ("vant-" + tag + "-" + std::to_string(::getpid()))) {
    fs::remove_all(Root);
    fs::create_directories(Root);
  }
  ~Scratch() { fs::remove_all(Root); }
};

// Every entry below `root`, links not followed.
std::set<std::string> Walk(const fs::path& root) {
  std::set<std::string> all;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it)
    all.insert(fs::relative(it->path(), root).string());
  return all;
}

// sha256sum escapes odd names in its output: hash the bytes read from stdin.
std::string HashOf(const fs::path& file) {
  if (!fs::is_regular_file(fs::symlink_status(file))) return "(no file)";
  auto out = RunCommand("sha256sum < " + Quote(file.string()));
  return out ? out->substr(0, 64) : std::string();
}

std::uint64_t RecordOf(const std::vector<ManifestRow>& manifest, const std::string& path) {
  const ManifestRow* row = FindByPath(manifest, path);
  EXPECT_NE(row, nullptr) << path;
  return row ? row->Record : 0;
}

TEST(CliNames, ShownAsTheVolumeHoldsThemOneLinePerEntry) {
  const std::string image = Quote(FixturePath("names.img"));
  const auto manifest = LoadManifest(FixturePath("names.tsv"));

  const ToolRun scan = Vant("scan " + image + " --deleted");
  ASSERT_EQ(scan.Status, 0);
  std::map<std::uint64_t, std::string> names;
  std::istringstream lines(scan.Out);
  std::string line;
  std::getline(lines, line);
  while (std::getline(lines, line)) {
    EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 10) << line;
    for (char c : line) EXPECT_TRUE(static_cast<unsigned char>(c) >= 0x20 || c == '\t') << line;
    std::istringstream fields(line);
    std::string name;
    for (int column = 0; column < 9; ++column) std::getline(fields, name, '\t');
    names[std::stoull(line)] = name;
  }
  const std::map<std::string, std::string> expected = {
      {"nombres/Canción año.txt", "Canción año.txt"},
      {"nombres/Привет.txt", "Привет.txt"},
      {"nombres/Āb.txt", "Āb.txt"},
      {"raros/lowbytes-dotdot-slash-dotdot", "ĮĮįĮĮ"},
      {"raros/surrogate", "b\\uD800.txt"},
      {"raros/tab", "tab\\x09here.txt"},
      {"raros/newline", "line\\x0Abreak.txt"},
      {"raros/escape", "esc\\x1B[31mred.txt"},
      {"raros/backslashes", "..\\\\..\\\\x"},
      {"raros/slashes", "a/../../x"},
      {"raros/dotdot", ".."},
      {"..", ".."},
      {"../dentro.txt", "dentro.txt"},
  };
  for (const auto& [path, shown] : expected) EXPECT_EQ(names[RecordOf(manifest, path)], shown) << path;

  // A bodyfile keeps ten separators per line whatever the names hold.
  const ToolRun body = Vant("scan " + image + " --format body");
  std::istringstream bodyLines(body.Out);
  int count = 0;
  while (std::getline(bodyLines, line)) {
    EXPECT_EQ(std::count(line.begin(), line.end(), '|'), 10) << line;
    ++count;
  }
  EXPECT_GT(count, 30);

  const ToolRun tree = Vant("tree " + image);
  EXPECT_NE(tree.Out.find("\n  .. [2]\n"), std::string::npos) << tree.Out;
  const ToolRun odd = Vant("ls " + image + " raros --deleted");
  EXPECT_NE(odd.Out.find("\tĮĮįĮĮ\t"), std::string::npos) << odd.Out;
  EXPECT_NE(odd.Out.find("\tline\\x0Abreak.txt\t"), std::string::npos) << odd.Out;
  const ToolRun inside = Vant("ls " + image + " ../");  // the folder named ".."
  EXPECT_NE(inside.Out.find("\tdentro.txt\t"), std::string::npos) << inside.Out;
  const ToolRun folder = Vant("ls " + image + " nombres --deleted");
  EXPECT_NE(folder.Out.find("2\tПривет.txt\t"), std::string::npos) << folder.Out;
  EXPECT_NE(folder.Out.find("2\tĀb.txt\t"), std::string::npos) << folder.Out;  // an 8-bit name of nothing
  EXPECT_EQ(folder.Out.find("vivo.txt"), std::string::npos) << folder.Out;

  // The search reads the whole names, without regard to case.
  auto found = [&](const std::string& word, const std::string& more = "") {
    std::set<std::string> hits;
    std::istringstream rows(Vant("search " + image + " " + Quote(word) + more).Out);
    while (std::getline(rows, line)) {
      std::istringstream fields(line);
      std::string image, name, folder;
      std::getline(fields, image, '\t');
      std::getline(fields, name, '\t');
      std::getline(fields, folder, '\t');
      hits.insert(folder + name);
    }
    return hits;
  };
  EXPECT_EQ(found("ПРИВЕТ"), std::set<std::string>{"C:\\nombres\\Привет.txt"});
  EXPECT_EQ(found("canción AÑO"), std::set<std::string>{"C:\\nombres\\Canción año.txt"});
  EXPECT_EQ(found("σοφία.TXT", " --whole"), std::set<std::string>{"C:\\nombres\\ΣΟΦΊΑ.txt"});
  EXPECT_EQ(found("strasse"), std::set<std::string>{"C:\\nombres\\Straße.txt"});
  EXPECT_EQ(found("ā", " --type 1"), std::set<std::string>{"C:\\nombres\\Āb.txt"});
  EXPECT_EQ(found("dentro"), std::set<std::string>{"C:\\..\\dentro.txt"});
  EXPECT_EQ(found("/.."), std::set<std::string>{"C:\\raros\\a/../../x"});
}

TEST(CliNames, RecoveredUnderTheirNamesAndAlwaysInsideTheOutputFolder) {
  const std::string image = FixturePath("names.img");
  const auto manifest = LoadManifest(FixturePath("names.tsv"));
  Scratch s("names");
  const fs::path out = s.Root / "out";
  const ToolRun run = Vant("recover " + Quote(image) + " --all-deleted -o " + Quote(out.string()));
  EXPECT_EQ(run.Status, 0) << run.Out;

  // Nothing beside the output folder, nothing in it but folders and files.
  EXPECT_EQ(Walk(s.Root).size(), Walk(out).size() + 1);
  for (const std::string& entry : Walk(out)) {
    const fs::path p = out / entry;
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(p)) || fs::is_directory(fs::symlink_status(p))) << entry;
    EXPECT_EQ(fs::weakly_canonical(p).string().rfind(fs::canonical(out).string() + "/", 0), 0u) << entry;
  }
  const std::map<std::string, std::string> written = {
      {"nombres/Canción año.txt", "nombres/Canción año.txt"},
      {"nombres/Привет.txt", "nombres/Привет.txt"},
      {"nombres/Āb.txt", "nombres/Āb.txt"},
      {"raros/dotdot", "raros/__"},
      {"raros/dot", "raros/_"},
      {"raros/slashes", "raros/a_.._.._x"},
      {"raros/backslashes", "raros/..\\..\\x"},
      {"raros/tab", "raros/tab\there.txt"},
      {"raros/newline", "raros/line\nbreak.txt"},
      {"raros/lowbytes-dotdot-slash-dotdot", "raros/ĮĮįĮĮ"},
      {"raros/surrogate", "raros/b_.txt"},
      {"../dentro.txt", "__/dentro.txt"},
  };
  for (const auto& [path, file] : written) {
    const ManifestRow* row = FindByPath(manifest, path);
    ASSERT_NE(row, nullptr) << path;
    EXPECT_EQ(HashOf(out / file), row->Sha256) << path << " as " << file;
  }
  // "a/b.txt" and "a_b.txt" come out as one name: both kept, one by its record.
  const ManifestRow* slash = FindByPath(manifest, "raros/a-slash-b");
  const ManifestRow* underscore = FindByPath(manifest, "raros/a-underscore-b");
  ASSERT_TRUE(slash && underscore);
  const ManifestRow* later = slash->Record > underscore->Record ? slash : underscore;
  const ManifestRow* first = later == slash ? underscore : slash;
  EXPECT_EQ(HashOf(out / "raros/a_b.txt"), first->Sha256);
  EXPECT_EQ(HashOf(out / ("raros/a_b~" + std::to_string(later->Record) + ".txt")), later->Sha256);

  // The report names them on one line each.
  std::istringstream lines(run.Out);
  std::string line;
  int reported = 0;
  while (std::getline(lines, line)) {
    EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 3) << line;
    ++reported;
  }
  EXPECT_GE(reported, static_cast<int>(written.size()) + 2);
}

TEST(CliOutput, NeverWritesThroughLinksOrFifosInTheOutputFolder) {
  const std::string image = FixturePath("names.img");
  const auto manifest = LoadManifest(FixturePath("names.tsv"));
  Scratch s("links");
  const fs::path out = s.Root / "out", elsewhere = s.Root / "elsewhere";
  fs::create_directories(out / "nombres");
  fs::create_directories(elsewhere / "dir");
  std::ofstream(elsewhere / "file.txt") << "theirs";
  fs::create_symlink(elsewhere / "dangling.txt", out / "nombres" / "Привет.txt");
  fs::create_symlink(elsewhere / "file.txt", out / "nombres" / "Canción año.txt");
  fs::create_directory_symlink(elsewhere / "dir", out / "raros");
  ASSERT_EQ(::mkfifo((out / "nombres" / "Straße.txt").c_str(), 0644), 0);
  const auto before = Walk(s.Root);

  for (const char* force : {"", " --force"}) {
    const ToolRun run = Vant("recover " + Quote(image) + " --all-deleted -o " + Quote(out.string()) + force);
    EXPECT_EQ(run.Status, 1) << force << "\n" << run.Out;  // not 124: a FIFO does not hang it
    EXPECT_EQ(Read(elsewhere / "file.txt"), "theirs");
    EXPECT_TRUE(fs::is_empty(elsewhere / "dir"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(elsewhere / "dangling.txt")));
    EXPECT_TRUE(fs::is_symlink(out / "nombres" / "Привет.txt"));
    EXPECT_TRUE(fs::is_symlink(out / "raros"));
    EXPECT_TRUE(fs::is_fifo(out / "nombres" / "Straße.txt"));
    EXPECT_NE(run.Out.find(std::string(force).empty() ? "exists, not overwritten" : "is a symbolic link, not replaced"),
              std::string::npos)
        << run.Out;
    EXPECT_NE(run.Out.find("raros/ is a symbolic link, not followed"), std::string::npos) << run.Out;
    // What nothing stood in the way of is recovered all the same.
    const ManifestRow* free = FindByPath(manifest, "nombres/ΣΟΦΊΑ.txt");
    ASSERT_NE(free, nullptr);
    EXPECT_EQ(HashOf(out / "nombres" / "ΣΟΦΊΑ.txt"), free->Sha256);
  }
  const ToolRun forced = Vant("recover " + Quote(image) + " --all-deleted -o " + Quote(out.string()) + " --force");
  EXPECT_NE(forced.Out.find("is a FIFO, not replaced"), std::string::npos) << forced.Out;
  for (const std::string& entry : before) EXPECT_TRUE(Walk(s.Root).count(entry)) << entry;
  for (const std::string& entry : Walk(elsewhere)) EXPECT_TRUE(before.count("elsewhere/" + entry)) << entry;
}

TEST(CliOutput, ForceNeverReplacesTheImageUnderAnalysis) {
  const auto manifest = LoadManifest(FixturePath("c4k.tsv"));
  const ManifestRow* deleted = FindByPath(manifest, "plain/borrado.bin");
  ASSERT_NE(deleted, nullptr);
  Scratch s("image");
  const fs::path out = s.Root / "out";
  fs::create_directories(out / "plain");
  // The image under the name of the deleted file, and a hard link to it
  // where --all-deleted writes that file.
  const fs::path image = out / "borrado.bin";
  fs::copy_file(FixturePath("c4k.img"), image);
  fs::create_hard_link(image, out / "plain" / "borrado.bin");
  const std::string original = HashOf(image);

  const ToolRun one = Vant("recover " + Quote(image.string()) + " " + std::to_string(deleted->Record) + " -o " +
                       Quote(out.string()) + " --force");
  EXPECT_EQ(one.Status, 1);
  EXPECT_NE(one.Out.find("is the image under analysis, not replaced"), std::string::npos) << one.Out;
  const ToolRun all = Vant("recover " + Quote(image.string()) + " --all-deleted -o " + Quote(out.string()) + " --force");
  EXPECT_EQ(all.Status, 1);
  EXPECT_EQ(HashOf(image), original);
  EXPECT_EQ(fs::hard_link_count(image), 2u);
  // The other deleted files came back beside it.
  const ManifestRow* other = FindByPath(manifest, "Borrada/uno.txt");
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(HashOf(out / "Borrada" / "uno.txt"), other->Sha256);
}

TEST(CliOutput, EveryCommandRefusesAVolumeThatIsNotNtfsAndSaysWhatFailed) {
  const std::string fat = Quote(FixturePath("fat32.img"));
  Scratch s("fat");
  for (const std::string& command : {"scan " + fat, "tree " + fat, "ls " + fat + " x", "search " + fat + " x",
                                     "recover " + fat + " --all-deleted -o " + Quote((s.Root / "o").string())}) {
    const ToolRun run = Vant(command, true);
    EXPECT_EQ(run.Status, 1) << command;
    EXPECT_NE(run.Out.find("not an NTFS volume (FAT32)"), std::string::npos) << command << ": " << run.Out;
  }
  EXPECT_FALSE(fs::exists(s.Root / "o"));

  // The host's own texts for what failed, not another system's.
  const ToolRun missing = Vant("tree " + Quote((s.Root / "none.img").string()), true);
  EXPECT_EQ(missing.Status, 1);
  EXPECT_NE(missing.Out.find(std::strerror(ENOENT)), std::string::npos) << missing.Out;
  std::ofstream(s.Root / "file") << "x";
  const std::string image = Quote(FixturePath("c4k.img"));
  const ToolRun notFolder = Vant("recover " + image + " --all-deleted -o " + Quote((s.Root / "file").string()), true);
  EXPECT_EQ(notFolder.Status, 1);
  EXPECT_NE(notFolder.Out.find(std::strerror(ENOTDIR)), std::string::npos) << notFolder.Out;
  const ToolRun below = Vant("recover " + image + " --all-deleted -o " + Quote((s.Root / "file" / "sub").string()), true);
  EXPECT_NE(below.Out.find(std::strerror(ENOTDIR)), std::string::npos) << below.Out;
  for (const ToolRun* r : {&missing, &notFolder, &below}) {
    EXPECT_EQ(r->Out.find("El sistema"), std::string::npos) << r->Out;
    EXPECT_EQ(r->Out.find("El par"), std::string::npos) << r->Out;
  }
}

}  // namespace
}  // namespace vant
