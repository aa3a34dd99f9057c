// The recycle bins of Windows on a volume made by ntfs-3g: items shown,
// found and written back under the names they had before they were recycled,
// with the times of their records.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "cli/session.h"
#include "tests/support/peers.h"

namespace vant {
namespace {

using namespace vant::testing;
namespace fs = std::filesystem;

const std::string kBin = "$Recycle.Bin/S-1-5-21-1004336348-1177238915-682003330-1001";
const std::string kShownBin = "PAPELERA/S-1-5-21-1004336348-1177238915-682003330-1001";

std::string Vant(const std::string& args) {
  return RunCommand(std::string(VANT_CLI) + " " + args + " 2>/dev/null").value_or("(failed)");
}

// Tab-separated rows keyed by their `key`-th field.
std::map<std::string, std::vector<std::string>> Rows(const std::string& text, std::size_t key) {
  std::map<std::string, std::vector<std::string>> rows;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string f; std::getline(in, f, '\t');) fields.push_back(f);
    if (fields.size() > key) rows[fields[key]] = fields;
  }
  return rows;
}

// The modification and access times The Sleuth Kit reads from a record's
// $STANDARD_INFORMATION, as "YYYY-MM-DD hh:mm:ss.nnnnnnnnn".
std::pair<std::string, std::string> IstatTimes(const std::string& image, std::uint64_t record) {
  const auto out = RunCommand("TZ=UTC istat " + Quote(image) + " " + std::to_string(record));
  std::string modified, accessed;
  if (!out) return {};
  std::istringstream lines(*out);
  for (std::string line; std::getline(lines, line);) {
    if (line.find("$FILE_NAME") != std::string::npos) break;  // the first block is $STANDARD_INFORMATION's
    auto take = [&](const char* label, std::string& into) {
      if (line.rfind(label, 0) == 0 && into.empty()) into = line.substr(line.find('\t') + 1, 29);
    };
    take("File Modified:", modified);
    take("Accessed:", accessed);
  }
  return {modified, accessed};
}

std::string Stamp(const struct timespec& t) {
  char text[64];
  struct tm utc;
  gmtime_r(&t.tv_sec, &utc);
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &utc);
  return text + (std::string(".") + std::to_string(1000000000 + t.tv_nsec).substr(1));
}

TEST(RecycleBin, ToolShowsBothBinsWithOriginalPaths) {
  const std::string image = Quote(FixturePath("recyclebin.img"));
  const std::string tree = Vant("tree " + image);
  std::size_t bins = 0;
  for (std::size_t at = 0; (at = tree.find("\n  PAPELERA [5]\n", at)) != std::string::npos; ++at) ++bins;
  EXPECT_EQ(bins, 2u) << tree;

  // name -> image, name, size, three times, original path, deletion time
  auto today = Rows(Vant("ls " + image + " " + Quote(kShownBin)), 1);
  const struct {
    const char* name;
    const char* image;
    const char* original;  // empty: none known
  } expected[] = {
      {"$RAB12CD.docx", "2", "C:\\Users\\Ana\\Documentos\\Informe.docx"},
      {"$RXY34ZW.txt", "2", "C:\\Users\\Ana\\Escritorio\\Canción año.txt"},
      {"$REMPTY1.pdf", "2", "C:\\Users\\Ana\\Descargas\\factura.pdf"},
      {"$RBADV1A.txt", "2", ""}, {"$RBADV2A.txt", "2", ""}, {"$RBADV3A.txt", "2", ""}, {"$RBADRELA.txt", "2", ""},
      {"$IAB12CD.docx", "0", ""}, {"desktop.ini", "0", ""},
  };
  for (const auto& e : expected) {
    SCOPED_TRACE(e.name);
    ASSERT_TRUE(today.count(e.name));
    const auto& row = today[e.name];
    EXPECT_EQ(row[0], e.image);
    EXPECT_EQ(row.size() > 6 ? row[6] : "", e.original);
    if (*e.original) {
      EXPECT_EQ(row[7], "2024-03-05T17:04:09Z");
    }
  }
  auto old = Rows(Vant("ls " + image + " PAPELERA/S-1-5-21-1004336348-1177238915-682003330-500"), 1);
  ASSERT_TRUE(old.count("Dc1.txt"));
  EXPECT_EQ(old["Dc1.txt"][0], "2");
  EXPECT_EQ(old["Dc1.txt"][6], "C:\\Documents and Settings\\Ana\\Mis documentos\\carta.txt");
  // Inside a recycled folder everything counts as deleted.
  auto inside = Rows(Vant("ls " + image + " " + Quote(kShownBin + "/$RFOLDR1/sub")), 1);
  ASSERT_TRUE(inside.count("dos.txt"));
  EXPECT_EQ(inside["dos.txt"][0], "2");

  // Found by its original name; the scan's columns and a bodyfile that
  // The Sleuth Kit's timeline reads.
  auto found = Rows(Vant("search " + image + " informe"), 1);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_TRUE(found.count("$RAB12CD.docx"));
  auto scan = Rows(Vant("scan " + image), 8);
  ASSERT_TRUE(scan.count("$RXY34ZW.txt"));
  EXPECT_EQ(scan["$RXY34ZW.txt"][9], "C:\\Users\\Ana\\Escritorio\\Canción año.txt");
  EXPECT_EQ(scan["$RXY34ZW.txt"][10], "2024-03-05T17:04:09Z");
  const fs::path body = fs::temp_directory_path() / ("vant-bin-body-" + std::to_string(::getpid()));
  ASSERT_TRUE(RunCommand(std::string(VANT_CLI) + " scan " + image + " --format body > " + Quote(body.string())));
  const auto timeline = RunCommand("TZ=UTC mactime -b " + Quote(body.string()) + " -y -d");
  fs::remove(body);
  ASSERT_TRUE(timeline);
  EXPECT_NE(timeline->find("$RAB12CD.docx -> C:\\Users\\Ana\\Documentos\\Informe.docx (deleted)"), std::string::npos)
      << *timeline;
}

TEST(RecycleBin, RecoveredUnderOriginalNamesWithTheRecordsTimes) {
  const std::string imagePath = FixturePath("recyclebin.img");
  const std::string image = Quote(imagePath);
  const auto manifest = LoadManifest(FixturePath("recyclebin.tsv"));
  const fs::path out = fs::temp_directory_path() / ("vant-bin-" + std::to_string(::getpid()));
  fs::remove_all(out);
  // Files still in the bin own their clusters: whole, whatever the bitmap says.
  auto report = Rows(Vant("recover " + image + " --all-deleted -o " + Quote((out / "papelera").string())), 0);
  const ManifestRow* held = FindByPath(manifest, kBin + "/$RAB12CD.docx");
  ASSERT_NE(held, nullptr);
  ASSERT_TRUE(report.count(std::to_string(held->Record)));
  EXPECT_EQ(report[std::to_string(held->Record)][1], "100%");
  Vant("recover " + image + " --all-deleted --original-paths -o " + Quote((out / "origen").string()));
  const struct {
    std::string source, asRecycled, asOriginal;
  } files[] = {
      {kBin + "/$RAB12CD.docx", "PAPELERA/Informe.docx", "C/Users/Ana/Documentos/Informe.docx"},
      {kBin + "/$RXY34ZW.txt", "PAPELERA/Canción año.txt", "C/Users/Ana/Escritorio/Canción año.txt"},
      {kBin + "/$REMPTY1.pdf", "PAPELERA/factura.pdf", "C/Users/Ana/Descargas/factura.pdf"},
      {kBin + "/$RFOLDR1/sub/dos.txt", "PAPELERA/Obra/sub/dos.txt", "D/Proyectos/Obra/sub/dos.txt"},
      {"RECYCLER/S-1-5-21-1004336348-1177238915-682003330-500/Dc2.doc", "PAPELERA/notas.doc",
       "C/Documents and Settings/Ana/Escritorio/notas.doc"},
      {kBin + "/$RBADV2A.txt", "PAPELERA/" + kShownBin.substr(9) + "/$RBADV2A.txt", ""},
  };
  for (const auto& f : files) {
    SCOPED_TRACE(f.source);
    const ManifestRow* row = FindByPath(manifest, f.source);
    ASSERT_NE(row, nullptr);
    // The times first: reading the file may move its access time.
    struct stat st{};
    ASSERT_EQ(::stat((out / "papelera" / f.asRecycled).c_str(), &st), 0);
    const auto [modified, accessed] = IstatTimes(imagePath, row->Record);
    EXPECT_EQ(Stamp(st.st_mtim), modified);
    EXPECT_EQ(Stamp(st.st_atim), accessed);
    EXPECT_EQ(Sha256OfFile((out / "papelera" / f.asRecycled).string()), row->Sha256);
    if (!f.asOriginal.empty()) {
      EXPECT_EQ(Sha256OfFile((out / "origen" / f.asOriginal).string()), row->Sha256);
    }
  }

  // The form: the row shows the original name and the save dialog proposes it.
  cli::Session s({imagePath});
  ASSERT_TRUE(s.Analyse('C'));
  TVANT1& form = *s.Form;
  headless::Type(form.Get<EditBox>("Edit1"), "informe\r");
  auto& list = form.Get<ListView>("ListView2");
  ASSERT_EQ(list.RowCount(), 1);
  EXPECT_EQ(list.RowText(0, 1), "Informe.docx");
  headless::ClickRows(list, {0});
  s.Toolkit.Answer(MsgAnswer::Yes);
  const fs::path saved = out / "formulario.docx";
  s.Toolkit.ChooseFile(saved.string());
  headless::Click(form.Get<Button>("BitBtn3"));
  ASSERT_FALSE(s.Toolkit.SaveDialogs.empty());
  EXPECT_EQ(s.Toolkit.SaveDialogs.back().FileName, "Informe.docx");
  struct stat st{};
  ASSERT_EQ(::stat(saved.c_str(), &st), 0);
  EXPECT_EQ(Stamp(st.st_mtim), IstatTimes(imagePath, FindByPath(manifest, kBin + "/$RAB12CD.docx")->Record).first);
  fs::remove_all(out);
}

}  // namespace
}  // namespace vant
