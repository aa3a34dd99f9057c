// Names that survive only in a folder's index, on an ntfs-3g volume whose
// folder lost most of its files and whose freed records new files took;
// checked against the builder's record of what it did and against fls.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>

#include "catalogue/listing.h"
#include "cli/session.h"
#include "ntfs/index_remnants.h"
#include "tests/support/peers.h"

namespace vant {
namespace {

using namespace vant::testing;
namespace fs = std::filesystem;

std::string Utf8(const std::u16string& units) {
  std::string out;
  for (char16_t u : units) out += static_cast<char>(u);  // the fixture's names are ASCII
  return out;
}

std::string Shell(const std::string& command) { return RunCommand(command + "; echo \"exit=$?\"").value_or(""); }

TEST(IndexRemnants, NamesWhoseRecordsWereRetakenComeBackFromTheFolderIndex) {
  const std::string image = FixturePath("indexslack.img");
  const auto manifest = LoadManifest(FixturePath("indexslack.tsv"));
  cli::Session session({image});
  ASSERT_TRUE(session.Analyse('C'));
  const Catalogue& catalogue = session.Entries;
  IndexRemnantStats stats;
  const auto remnants = FindIndexRemnants(*session.Form->Context().VolumeHandle, catalogue, std::nullopt, &stats);
  ASSERT_FALSE(remnants.empty());
  const ManifestRow* folder = FindByPath(manifest, "indice");
  ASSERT_NE(folder, nullptr);
  EXPECT_GT(stats.FreeBlocks, 0u);
  EXPECT_EQ(stats.TornBlocks, 0u);

  // The builder made 300 names; the manifest keeps those whose record still
  // holds them: the others' records were taken by files in "nuevos".
  std::set<std::string> listed, retaken;
  for (const auto& m : manifest)
    if (m.Parent == folder->Record) listed.insert(m.Name());
  for (int i = 0; i < 300; ++i) {
    char name[96];
    std::snprintf(name, sizeof name, "informe-trimestral-de-la-delegacion-numero-%04d.txt", i);
    if (!listed.count(name)) retaken.insert(name);
  }
  ASSERT_EQ(retaken.size(), 40u);
  std::map<std::string, const IndexRemnant*> found;
  std::size_t fromFree = 0;
  for (const IndexRemnant& r : remnants) {
    EXPECT_EQ(r.Folder, folder->Record) << Utf8(r.Name);
    EXPECT_TRUE(found.emplace(Utf8(r.Name), &r).second) << "twice: " << Utf8(r.Name);
    EXPECT_TRUE(retaken.count(Utf8(r.Name))) << "listed by the MFT: " << Utf8(r.Name);
    fromFree += r.FromFreeBlock;
    if (r.HasReference) {
      // The record it named now belongs to another file.
      const FileEntry& now = catalogue.At(r.Record);
      EXPECT_NE(now.ParentRecord, folder->Record) << Utf8(r.Name);
    }
  }
  // Deleting an entry moves the entries after it over it: a retaken name is
  // to be found wherever its bytes still stand on the volume.
  std::ifstream in(image, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::size_t standing = 0;
  for (const std::string& name : retaken) {
    std::string units;
    for (char c : name) units += std::string{c, '\0'};
    if (bytes.find(units) == std::string::npos) continue;
    ++standing;
    EXPECT_TRUE(found.count(name)) << "missing: " << name;
  }
  EXPECT_GE(standing, 10u);
  EXPECT_GT(fromFree, 0u);
  EXPECT_LT(fromFree, remnants.size());

  // fls's deleted names: those that are not a deleted record we list are
  // among our remnants, but for the names it makes up for nameless free
  // records.
  const std::string fls = RunCommand("fls -r -d -p " + Quote(image)).value_or("");
  std::set<std::string> flsNames;
  std::istringstream lines(fls);
  for (std::string line; std::getline(lines, line);) {
    const auto tab = line.find('\t');
    ASSERT_NE(tab, std::string::npos) << line;
    const std::string path = line.substr(tab + 1), id = line.substr(line.find("* ") + 2);
    const std::string name = path.substr(path.rfind('/') + 1);
    flsNames.insert(name);
    if (path.rfind("$OrphanFiles/OrphanFile-", 0) == 0) continue;
    const std::uint64_t record = id.find("realloc") == std::string::npos ? std::stoull(id) : ~0ull;
    const bool ourDeletedRecord = record < catalogue.Count() && catalogue.At(record).IsDeleted &&
                                  catalogue.At(record).NameView() == name;
    EXPECT_TRUE(ourDeletedRecord || found.count(name)) << line;
  }
  for (const auto& [name, r] : found)
    if (!flsNames.count(name))
      std::cout << "fls misses: indice/" << name << "\t" << (r->FromFreeBlock ? "free block" : "slack") << "\t"
                << FormatFileTime(r->CreationTime).value_or("?") << "\t" << FormatFileTime(r->ModificationTime).value_or("?")
                << "\t" << FormatFileTime(r->AccessTime).value_or("?") << "\n";

  // The tool: rows marked in ls and scan, a bodyfile mactime reads, and no
  // file written for a remnant.
  const std::string vant = std::string(VANT_CLI) + " ";
  const std::string ls = Shell(vant + "ls " + Quote(image) + " indice --remnants");
  std::size_t lsRemnants = 0;
  std::istringstream lsLines(ls);
  std::string firstId;
  for (std::string line; std::getline(lsLines, line);)
    if (line.rfind("r\t", 0) == 0) {
      ++lsRemnants;
      if (firstId.empty()) firstId = line.substr(line.rfind('\t') + 1);
    }
  EXPECT_EQ(lsRemnants, remnants.size()) << ls;
  EXPECT_NE(ls.find("r\t" + Utf8(remnants.front().Name) + "\t"), std::string::npos) << ls;

  const std::string scan = Shell(vant + "scan " + Quote(image) + " --remnants 2>/dev/null");
  std::size_t scanRemnants = 0;
  std::istringstream scanLines(scan);
  for (std::string line; std::getline(scanLines, line);) scanRemnants += line.find("\tremnant\t") != std::string::npos;
  EXPECT_EQ(scanRemnants, remnants.size());
  const std::string timeline =
      Shell(vant + "scan " + Quote(image) + " --remnants --format body 2>/dev/null | mactime -b - -d -y 2>&1");
  EXPECT_NE(timeline.find(Utf8(remnants.front().Name) + " (index remnant)"), std::string::npos) << timeline.substr(0, 2000);
  EXPECT_NE(timeline.find("exit=0"), std::string::npos);

  const fs::path out = fs::path(::testing::TempDir()) / "remnant-out";
  fs::remove_all(out);
  const std::string recovered = Shell(vant + "recover " + Quote(image) + " " + firstId + " -o " + Quote(out.string()));
  EXPECT_NE(recovered.find(firstId + "\t-\t"), std::string::npos) << recovered;
  EXPECT_NE(recovered.find("no data to recover (index remnant)"), std::string::npos) << recovered;
  EXPECT_NE(recovered.find("exit=1"), std::string::npos) << recovered;
  EXPECT_FALSE(fs::exists(out));
}

TEST(IndexRemnants, NoneWhereEveryFreedRecordStillHoldsItsName) {
  // Odd names (beyond Latin-1, zero low bytes) and big folders whose deleted
  // files kept their records: every key left in their indexes is listed.
  for (const char* name : {"names", "many"}) {
    cli::Session session({FixturePath(std::string(name) + ".img")});
    ASSERT_TRUE(session.Analyse('C'));
    IndexRemnantStats stats;
    const auto remnants = FindIndexRemnants(*session.Form->Context().VolumeHandle, session.Entries, std::nullopt, &stats);
    EXPECT_GT(stats.ListedKeys, 0u) << name;
    for (const IndexRemnant& r : remnants) ADD_FAILURE() << name << ": " << Utf8(r.Name) << " in " << r.Folder;
  }
}

}  // namespace
}  // namespace vant
