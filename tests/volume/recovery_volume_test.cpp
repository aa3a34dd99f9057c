// Recovery through the form on volumes made by ntfs-3g: every deleted file
// whose clusters are still free comes back byte for byte.
#include <gtest/gtest.h>

#include <filesystem>

#include <fstream>
#include <sstream>

#include "cli/session.h"
#include "ntfs/layout.h"
#include "recovery/integrity.h"
#include "recovery/extraction.h"
#include "recovery/run_list.h"
#include "platform/latin1.h"
#include "tests/support/peers.h"

namespace vant {
namespace {

using namespace vant::testing;
namespace fs = std::filesystem;

struct Recovered {
  std::string question, notice, path;
};

// Finds the entry through the search tab and recovers it from there, as a
// user would: the row is picked by its record, the answers are scripted.
std::optional<Recovered> RecoverBySearch(cli::Session& s, std::uint64_t record, const fs::path& into) {
  TVANT1& form = *s.Form;
  const FileEntry& entry = form.Entries().At(record);
  auto& edit = form.Get<EditBox>("Edit1");
  edit.SetText("");
  headless::Type(edit, std::string(entry.NameView()) + "\r");
  auto& list = form.Get<ListView>("ListView2");
  int row = -1;
  for (int i = 0; i < list.RowCount(); ++i)
    if (static_cast<const FileEntry*>(list.RowData(i))->RecordNumber == record) row = i;
  if (row < 0) return std::nullopt;
  headless::ClickRows(list, {row});
  const fs::path out = into / std::to_string(record);
  s.Toolkit.Answer(MsgAnswer::Yes);
  s.Toolkit.ChooseFile(out.string());
  const std::size_t asked = s.Toolkit.Asked.size();
  headless::Click(form.Get<Button>("BitBtn3"));
  if (s.Toolkit.Asked.size() != asked + 1 || s.Toolkit.Notices.empty()) return std::nullopt;
  return Recovered{s.Toolkit.Asked.back().Text, s.Toolkit.Notices.back().Text, out.string()};
}

fs::path FreshFolder(const std::string& name) {
  fs::path dir = fs::temp_directory_path() / ("vant-" + name + "-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

TEST(VolumeRecovery, DeletedFilesComeBackExactlyOnEveryLayout) {
  for (const char* name : {"c512", "c4k", "c64k", "r4k", "gpt"}) {
    SCOPED_TRACE(name);
    const std::string image = FixturePath(std::string(name) + ".img");
    const auto manifest = LoadManifest(FixturePath(std::string(name) + ".tsv"));
    cli::Session s({image});
    ASSERT_TRUE(s.Analyse('C'));
    const fs::path out = FreshFolder(name);
    int intact = 0, reused = 0, fragmented = 0, resident = 0;
    for (const auto& m : manifest) {
      if (!m.Deleted || m.Directory || m.Size == 0) continue;
      SCOPED_TRACE(m.Path);
      const auto r = RecoverBySearch(s, m.Record, out);
      ASSERT_TRUE(r);
      if (m.Reused) {
        // Its clusters were written over by another file. The victim's are
        // still taken, and the user is told; others may be free again.
        if (m.Path == "reuse/victima.bin") {
          EXPECT_EQ(r->question.find("es del 100%"), std::string::npos) << r->question;
          ++reused;
        }
        continue;
      }
      const std::string entryName(s.Form->Entries().At(m.Record).NameView());
      EXPECT_EQ(r->question, "La integridad del archivo " + entryName + std::string(" es del 100%. ¿Desea proceder a su recuperación?"_l1));
      EXPECT_EQ(r->notice, std::string("Restauración del archivo "_l1) + entryName + " terminada");
      EXPECT_EQ(fs::file_size(r->path), m.Size);
      EXPECT_EQ(Sha256OfFile(r->path), m.Sha256);
      ++intact;
      fragmented += m.Runs >= 8;
      resident += m.Resident;
    }
    EXPECT_GE(intact, 5);
    EXPECT_GE(resident, 1);
    EXPECT_GE(fragmented, 1);
    EXPECT_EQ(reused, 1);
    fs::remove_all(out);
  }
}

TEST(VolumeRecovery, IntegrityAgreesWithNtfsundelete) {
  // ntfsundelete --scan prints how much of each deleted file it could recover;
  // on these volumes that is the share of its clusters still free, as ours.
  for (const char* name : {"c512", "c4k", "c64k", "r4k"}) {
    SCOPED_TRACE(name);
    const std::string image = FixturePath(std::string(name) + ".img");
    auto scan = RunCommand("ntfsundelete " + Quote(image) + " --scan 2>/dev/null");
    ASSERT_TRUE(scan);
    std::map<std::uint64_t, int> peer;
    std::istringstream lines(*scan);
    for (std::string line; std::getline(lines, line);) {
      std::istringstream f(line);
      std::uint64_t inode;
      std::string flags, percent;
      if (!(f >> inode >> flags >> percent) || flags[0] != 'F' || percent.back() != '%') continue;
      peer[inode] = std::stoi(percent);
    }
    cli::Session s({image});
    ASSERT_TRUE(s.Analyse('C'));
    VolumeDevice& volume = *s.Form->Context().VolumeHandle;
    const RecoveryGeometry geometry = ReadRecoveryGeometry(volume);
    WorkObserver quiet;
    int compared = 0, partial = 0;
    for (const auto& [record, percent] : peer) {
      const FileEntry& e = s.Form->Entries().At(record);
      if (!e.IsBaseRecord || e.FileSize == 0 || e.NameView().empty()) continue;
      const auto runs = e.IsResident ? std::nullopt : LoadRunList(volume, e, geometry, 'C');
      EXPECT_EQ(ComputeIntegrity(volume, e, runs ? &*runs : nullptr, geometry, quiet), percent) << e.NameView();
      ++compared;
      partial += percent < 100;
    }
    EXPECT_GE(compared, 8);
    EXPECT_GE(partial, 1);  // the reused victim at least: what both say matters most
  }
}

TEST(VolumeRecovery, MatchesTheSleuthKitsCopyOfDeletedFiles) {
  const std::string image = FixturePath("c4k.img");
  const auto manifest = LoadManifest(FixturePath("c4k.tsv"));
  cli::Session s({image});
  ASSERT_TRUE(s.Analyse('C'));
  const fs::path out = FreshFolder("icat");
  int compared = 0;
  for (const auto& m : manifest) {
    if (!m.Deleted || m.Directory || m.Size == 0 || m.Reused) continue;
    const auto r = RecoverBySearch(s, m.Record, out);
    ASSERT_TRUE(r) << m.Path;
    const std::string peer = (out / (std::to_string(m.Record) + ".icat")).string();
    if (!RunCommand("icat " + Quote(image) + " " + std::to_string(m.Record) + " > " + Quote(peer) + " 2>/dev/null")) continue;
    EXPECT_EQ(Sha256OfFile(r->path), Sha256OfFile(peer)) << m.Path;
    ++compared;
  }
  EXPECT_GE(compared, 4);
  fs::remove_all(out);
}

TEST(VolumeRecovery, TheCommandAsksAndTellsInOrderForEverySelectedRow) {
  const std::string image = FixturePath("c4k.img");
  const auto manifest = LoadManifest(FixturePath("c4k.tsv"));
  cli::Session s({image});
  ASSERT_TRUE(s.Analyse('C'));
  TVANT1& form = *s.Form;
  auto& tree = form.Get<TreeView>("TreeView1");
  auto& list = form.Get<ListView>("ListView1");
  auto& recover = form.Get<Button>("BitBtn2");
  TreeNode plain = headless::FindNode(tree, "plain", s.DriveNode('C'));
  ASSERT_NE(plain, nullptr);
  headless::ClickNode(tree, plain);
  EXPECT_FALSE(recover.Enabled());  // nothing selected yet

  auto rowOf = [&](const std::string& path) {
    const ManifestRow* m = FindByPath(manifest, path);
    for (int i = 0; m && i < list.RowCount(); ++i)
      if (static_cast<const FileEntry*>(list.RowData(i))->RecordNumber == m->Record) return i;
    return -1;
  };
  const int deleted = rowOf("plain/borrado.bin"), live = rowOf("plain/disperso.bin"),
            sparse = rowOf("plain/disperso_borrado.bin");
  ASSERT_GE(deleted, 0);
  ASSERT_GE(live, 0);
  ASSERT_GE(sparse, 0);
  headless::ClickRows(list, {deleted, live, sparse});
  EXPECT_TRUE(recover.Enabled());

  const fs::path out = FreshFolder("rows");
  s.Toolkit.Answer(MsgAnswer::Yes);
  s.Toolkit.ChooseFile((out / "a").string());
  s.Toolkit.Answer(MsgAnswer::Yes);
  s.Toolkit.ChooseFile(std::nullopt);  // the user dismisses the second save dialog
  s.Toolkit.Answer(MsgAnswer::Yes);
  s.Toolkit.ChooseFile((out / "c").string());
  const std::size_t asked = s.Toolkit.Asked.size(), told = s.Toolkit.Notices.size();
  headless::Click(recover);
  ASSERT_EQ(s.Toolkit.Asked.size(), asked + 3);
  // Rows go in display order; a live file is whole: 100.
  for (std::size_t i = asked; i < asked + 3; ++i) {
    EXPECT_NE(s.Toolkit.Asked[i].Text.find("es del 100%"), std::string::npos) << s.Toolkit.Asked[i].Text;
    EXPECT_EQ(s.Toolkit.Asked[i].Buttons, MsgButtons::YesNo);
  }
  ASSERT_EQ(s.Toolkit.SaveDialogs.size(), 3u);
  EXPECT_EQ(s.Toolkit.SaveDialogs[0].Title, "Guardar archivo");
  ASSERT_EQ(s.Toolkit.Notices.size(), told + 3);
  EXPECT_EQ(s.Toolkit.Notices[told + 1].Text, "Restauración cancelada"_l1);
  EXPECT_NE(s.Toolkit.Notices[told + 2].Text.find("terminada"), std::string::npos);
  EXPECT_FALSE(s.Toolkit.Hourglass());
  // Each file written is the one its row showed (sparse holes as zeros).
  std::vector<int> sorted = {deleted, live, sparse};
  std::sort(sorted.begin(), sorted.end());
  auto shaOfRow = [&](int row) {
    const auto record = static_cast<const FileEntry*>(list.RowData(row))->RecordNumber;
    for (const auto& m : manifest)
      if (m.Record == record) return m.Sha256;
    return std::string();
  };
  EXPECT_EQ(Sha256OfFile((out / "a").string()), shaOfRow(sorted[0]));
  EXPECT_EQ(Sha256OfFile((out / "c").string()), shaOfRow(sorted[2]));
  EXPECT_FALSE(fs::exists(out / "b"));

  // Writing onto the analysed drive is questioned; refusing writes nothing.
  headless::ClickRows(list, {deleted});
  s.Toolkit.Answer(MsgAnswer::Yes);
  s.Toolkit.ChooseFile("C:\\recuperado.bin");
  s.Toolkit.Answer(MsgAnswer::No);
  headless::Click(recover);
  ASSERT_GE(s.Toolkit.Asked.size(), 2u);
  EXPECT_NE(s.Toolkit.Asked.back().Text.find("la misma que se está analizando"_l1), std::string::npos);
  EXPECT_EQ(s.Toolkit.Notices.back().Text, "Restauración cancelada"_l1);

  // A path longer than the platform allows is refused, not cut.
  s.Toolkit.Answer(MsgAnswer::Yes);
  s.Toolkit.ChooseFile((out / std::string(400, 'x')).string());
  headless::Click(recover);
  EXPECT_NE(s.Toolkit.Notices.back().Text.find("demasiado larga"), std::string::npos);

  // A destination that fills up is a failure told with the system's text,
  // never "terminada".
  headless::ClickRows(list, {deleted});
  s.Toolkit.Answer(MsgAnswer::Yes);
  s.Toolkit.ChooseFile("/dev/full");
  const std::size_t toldBefore = s.Toolkit.Notices.size();
  headless::Click(recover);
  ASSERT_EQ(s.Toolkit.Notices.size(), toldBefore + 1);
  EXPECT_EQ(s.Toolkit.Notices.back().Text,
            "Error al escribir el archivo /dev/full: " + s.System.ErrorText(error_code::DiskFull));
  EXPECT_EQ(s.Toolkit.Notices.back().Kind, NoticeKind::Warning);

  // A folder row holds no data: told, and nothing is asked.
  TreeNode root = s.DriveNode('C');
  headless::ClickNode(tree, root);
  int folderRow = -1;
  for (int i = 0; i < list.RowCount(); ++i)
    if (static_cast<const FileEntry*>(list.RowData(i))->IsDirectory) folderRow = i;
  if (folderRow >= 0) {
    headless::ClickRows(list, {folderRow});
    const std::size_t before = s.Toolkit.Asked.size();
    headless::Click(recover);
    EXPECT_EQ(s.Toolkit.Asked.size(), before);
    EXPECT_NE(s.Toolkit.Notices.back().Text.find("no contiene datos"), std::string::npos);
  }
  fs::remove_all(out);
}

}  // namespace
}  // namespace vant

namespace vant {
namespace {

std::int64_t Clusters(const RunList& list) {
  std::int64_t n = 0;
  for (const RunRecord& r : list.Runs) n += r.ClusterCount;
  return n;
}

TEST(VolumeRecovery, RunListsGoOnIntoExtensionRecords) {
  const std::string image = FixturePath("attrlist.img");
  const auto manifest = LoadManifest(FixturePath("attrlist.tsv"));
  const ManifestRow* big = FindByPath(manifest, "grande.bin");
  ASSERT_NE(big, nullptr);
  cli::Session s({image});
  ASSERT_TRUE(s.Analyse('C'));
  const Catalogue& catalogue = s.Form->Entries();
  const FileEntry& e = catalogue.At(big->Record);
  EXPECT_EQ(e.FileSize, big->Size);
  VolumeDevice& volume = *s.Form->Context().VolumeHandle;
  const RecoveryGeometry geometry = ReadRecoveryGeometry(volume);
  const auto own = LoadRunList(volume, e, geometry, 'C');
  const auto all = LoadRunList(volume, e, geometry, 'C', &catalogue);
  ASSERT_TRUE(own);
  ASSERT_TRUE(all);
  EXPECT_GT(Clusters(*all), Clusters(*own) + 1000);
  WorkObserver quiet;
  EXPECT_GT(ComputeIntegrity(volume, e, &*all, geometry, quiet), ComputeIntegrity(volume, e, &*own, geometry, quiet));

  // What comes back is what The Sleuth Kit reads through the same list.
  const fs::path out = FreshFolder("attrlist");
  std::uint32_t error = 0;
  auto file = s.System.CreateOutputFile((out / "grande.bin").string(), error);
  ASSERT_TRUE(file);
  const ExtractResult r = ExtractRunFile(volume, e.FileSize, *all, geometry, *file, quiet);
  EXPECT_TRUE(r.Ok);
  EXPECT_EQ(r.BytesWritten, std::uint64_t(Clusters(*all)) * geometry.ClusterSize());
  ASSERT_TRUE(RunCommand("icat " + Quote(image) + " " + std::to_string(big->Record) + " > " +
                         Quote((out / "icat.bin").string())));
  EXPECT_EQ(Sha256OfFile((out / "grande.bin").string()), Sha256OfFile((out / "icat.bin").string()));
  fs::remove_all(out);
}

}  // namespace
}  // namespace vant

namespace vant {
namespace {

TEST(VolumeRecovery, CompressedFilesComeBackDecompressed) {
  // Units compressed, stored whole (random bytes) and left as holes (zeros).
  const auto manifest = LoadManifest(FixturePath("compressed.tsv"));
  cli::Session s({FixturePath("compressed.img")});
  ASSERT_TRUE(s.Analyse('C'));
  const fs::path out = FreshFolder("compressed");
  int checked = 0;
  for (const auto& m : manifest) {
    if (m.Directory || m.Resident) continue;
    SCOPED_TRACE(m.Path);
    const auto r = RecoverBySearch(s, m.Record, out);
    ASSERT_TRUE(r);
    EXPECT_NE(r->question.find("es del 100%"), std::string::npos) << r->question;
    EXPECT_EQ(fs::file_size(r->path), m.Size);
    EXPECT_EQ(Sha256OfFile(r->path), m.Sha256);
    ++checked;
  }
  EXPECT_EQ(checked, 4);
  fs::remove_all(out);
}

}  // namespace
}  // namespace vant

namespace vant {
namespace {

TEST(VolumeRecovery, EncryptedDataIsWrittenAsStoredAndTheUserTold) {
  // A copy of a fixture whose deleted file's $DATA is marked encrypted.
  const auto manifest = LoadManifest(FixturePath("c4k.tsv"));
  const ManifestRow* m = FindByPath(manifest, "plain/borrado.bin");
  ASSERT_NE(m, nullptr);
  const fs::path work = FreshFolder("efs");
  const fs::path copy = work / "efs.img";
  fs::copy_file(FixturePath("c4k.img"), copy);
  std::uint64_t recordOffset = 0;
  {
    cli::Session probe({copy.string()});
    ASSERT_TRUE(probe.Analyse('C'));
    recordOffset = probe.Form->Entries().At(m->Record).RecordOffset;
  }
  {
    std::fstream image(copy, std::ios::in | std::ios::out | std::ios::binary);
    std::vector<std::uint8_t> record(1024);
    image.seekg(static_cast<std::streamoff>(recordOffset));
    image.read(reinterpret_cast<char*>(record.data()), record.size());
    std::size_t at = ntfs::GetU16(&record[ntfs::rec::FirstAttribute]);
    while (at + 16 < record.size() && ntfs::GetU32(&record[at]) != ntfs::attr::Data) at += ntfs::GetU32(&record[at + 4]);
    ASSERT_LT(at + 16, record.size());
    ASSERT_NE((at + ntfs::attr::AttributeFlags) % 512, 510u);  // not an update-sequence slot
    ntfs::PutU16(&record[at + ntfs::attr::AttributeFlags], ntfs::attr::FlagEncrypted);
    image.seekp(static_cast<std::streamoff>(recordOffset));
    image.write(reinterpret_cast<const char*>(record.data()), record.size());
  }
  cli::Session s({copy.string()});
  ASSERT_TRUE(s.Analyse('C'));
  const auto r = RecoverBySearch(s, m->Record, work);
  ASSERT_TRUE(r);
  ASSERT_GE(s.Toolkit.Notices.size(), 2u);
  EXPECT_EQ(s.Toolkit.Notices[s.Toolkit.Notices.size() - 2].Text,
            "El archivo borrado.bin está cifrado por NTFS: se ha guardado tal como está en el disco, sin descifrar."_l1);
  EXPECT_EQ(Sha256OfFile(r->path), m->Sha256);  // the stored bytes, untouched
  fs::remove_all(work);
}

}  // namespace
}  // namespace vant
