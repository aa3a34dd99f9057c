// The analysis flow on volumes made by ntfs-3g, driven through the headless
// form as a user would: pick a drive, answer, watch, browse.
#include <gtest/gtest.h>

#include "cli/session.h"
#include "platform/latin1.h"
#include "tests/support/peers.h"

namespace vant {
namespace {

using namespace vant::testing;

std::vector<std::string> RowNames(ListView& list) {
  std::vector<std::string> names;
  for (int i = 0; i < list.RowCount(); ++i) names.push_back(list.RowText(i, 1));
  return names;
}

bool Has(const std::vector<std::string>& v, const std::string& s) { return std::find(v.begin(), v.end(), s) != v.end(); }

TEST(AnalysisFlow, AnalysesADriveAsTheUserSeesIt) {
  const auto manifest = LoadManifest(FixturePath("c4k.tsv"));
  cli::Session s({FixturePath("c4k.img"), FixturePath("fat32.img")});
  TVANT1& form = *s.Form;
  auto& tree = form.Get<TreeView>("TreeView1");
  auto& list = form.Get<ListView>("ListView1");
  auto& bar = form.Get<ProgressBar>("ProgressBar1");

  // What the user sees while the analysis runs.
  bool sawPanel = false, sawScanMark = false, treeLocked = false;
  std::string label;
  s.Toolkit.OnPump = [&] {
    sawPanel |= form.Get<Control>("Panel5").Visible() && !form.Get<Control>("Panel4").Visible();
    sawScanMark |= form.Get<ImageBox>("Image7").ImageIndex() == 4;
    treeLocked |= !tree.Enabled();
    if (form.Get<Control>("Panel5").Visible()) label = form.Get<TextControl>("Label11").Text();
  };
  s.Toolkit.Answer(MsgAnswer::Ok);
  headless::ClickNode(tree, s.DriveNode('C'));
  s.Toolkit.OnPump = nullptr;
  ASSERT_EQ(form.LoadedDriveLetter(), 'C');
  ASSERT_EQ(s.Toolkit.Asked.size(), 1u);
  EXPECT_EQ(s.Toolkit.Asked[0].Text,
            "Para mostrarle el contenido de la carpeta se va a realizar el análisis de la Unidad C:\\ que tiene una "
            "capacidad de 64,0 MB. Este proceso puede durar algunos minutos. ¿Quiere comenzar el análisis de la unidad?"_l1);
  EXPECT_EQ(s.Toolkit.Asked[0].Caption, "Confirmación"_l1);
  EXPECT_EQ(s.Toolkit.Asked[0].Buttons, MsgButtons::OkCancel);
  EXPECT_TRUE(sawPanel);
  EXPECT_TRUE(sawScanMark);
  EXPECT_TRUE(treeLocked);
  EXPECT_EQ(label, "Realizando el análisis de la Unidad C:\\ que tiene una capacidad de 64,0 MB."_l1);
  EXPECT_FALSE(form.Get<Control>("Panel5").Visible());
  EXPECT_TRUE(tree.Enabled());
  EXPECT_EQ(bar.Position(), bar.Max());
  for (const char* mark : {"Image7", "Image8", "Image9"}) EXPECT_EQ(form.Get<ImageBox>(mark).ImageIndex(), -1) << mark;

  // The folder tree: deleted folders marked, the recycle bin renamed, lost
  // parents grouped, "Elementos perdidos" last.
  TreeNode drive = s.DriveNode('C');
  TreeNode last = nullptr;
  for (TreeNode c = tree.FirstChild(drive); c; c = tree.NextSibling(c)) last = c;
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(tree.Text(last), "Elementos perdidos");
  EXPECT_EQ(tree.Image(last), 10);
  TreeNode gone = headless::FindNode(tree, "Borrada", drive);
  ASSERT_NE(gone, nullptr);
  EXPECT_EQ(tree.Image(gone), 2);
  ASSERT_NE(headless::FindNode(tree, "Borrada\\sub", drive), nullptr);
  EXPECT_EQ(tree.Image(headless::FindNode(tree, "Borrada\\sub", drive)), 2);
  EXPECT_EQ(tree.Image(headless::FindNode(tree, "plain", drive)), 0);
  ASSERT_NE(headless::FindNode(tree, "PAPELERA", drive), nullptr);
  EXPECT_EQ(headless::FindNode(tree, "RECYCLER", drive), nullptr);
  EXPECT_NE(headless::FindNode(tree, "padre_alto\\hijo_bajo", drive), nullptr);  // parent made on demand
  const ManifestRow* lostChild = FindByPath(manifest, "perdida/hijo");
  ASSERT_NE(lostChild, nullptr);
  char group[32];
  std::snprintf(group, sizeof group, "dir 0x%08u", static_cast<unsigned>(lostChild->Parent));
  TreeNode lostHijo = headless::FindNode(tree, std::string("Elementos perdidos\\") + group + "\\hijo", drive);
  ASSERT_NE(lostHijo, nullptr) << headless::DumpTree(tree, last);
  EXPECT_EQ(tree.Image(lostHijo), 2);
  std::string deepPath = "hondo";
  for (int i = 1; i <= 40; ++i) {
    char part[8];
    std::snprintf(part, sizeof part, "\\n%02d", i);
    deepPath += part;
  }
  EXPECT_NE(headless::FindNode(tree, deepPath, drive), nullptr);

  // The root's listing, then a deleted folder's, then only deleted files.
  EXPECT_TRUE(Has(RowNames(list), "ocupa.txt"));
  headless::ClickNode(tree, gone);
  auto names = RowNames(list);
  EXPECT_TRUE(Has(names, "uno.txt"));
  EXPECT_TRUE(Has(names, "dos.bin"));
  headless::ClickNode(tree, headless::FindNode(tree, "plain", drive));
  const int everything = list.RowCount();
  headless::Click(form.Get<CheckBox>("CheckBox1"));
  names = RowNames(list);
  EXPECT_LT(list.RowCount(), everything);
  EXPECT_TRUE(Has(names, "borrado.bin"));
  EXPECT_FALSE(Has(names, "disperso.bin"));
  for (int i = 0; i < list.RowCount(); ++i) EXPECT_TRUE(static_cast<const FileEntry*>(list.RowData(i))->IsDeleted);
  // The lost file appears below its group, with its folder path.
  headless::ClickNode(tree, headless::FindNode(tree, std::string("Elementos perdidos\\") + group, drive));
  EXPECT_TRUE(Has(RowNames(list), "huerfano.txt"));

  // D: is FAT: the user is shown what its root holds, and C:'s listing goes
  // with the catalogue rather than pointing at freed entries.
  s.Toolkit.Answer(MsgAnswer::Ok);
  s.Toolkit.UnscriptedAnswer = MsgAnswer::Ok;
  const std::size_t asked = s.Toolkit.Asked.size();
  headless::ClickNode(tree, s.DriveNode('D'));
  EXPECT_GE(s.Toolkit.Asked.size(), asked + 2);
  EXPECT_EQ(s.Toolkit.Asked[asked + 1].Icon, MsgIcon::None);
  EXPECT_EQ(form.FatKind(), 2);
  EXPECT_EQ(tree.FirstChild(s.DriveNode('C')), nullptr);
  for (int i = 0; i < list.RowCount(); ++i) EXPECT_NE(list.RowData(i), nullptr);
}

TEST(AnalysisFlow, TheDocumentsFolderIsCopiedWhenFound) {
  struct Case {
    std::optional<std::string> documents;
    std::string firstChild;  // of "Mis Documentos"; empty: none
    bool analyses;           // selecting "Mis Documentos" offers the analysis
  };
  for (const Case& c : {Case{"C:\\hondo", "n01", true}, Case{"C:\\nada\\aqui", "", true},
                        Case{"\\\\servidor\\docs", "", false}, Case{std::nullopt, "", false}}) {
    SCOPED_TRACE(c.documents.value_or("(none)"));
    cli::Session s({FixturePath("c4k.img")});
    s.System.Documents = c.documents;
    auto& tree = s.Form->Get<TreeView>("TreeView1");
    s.Toolkit.Answer(MsgAnswer::Ok);
    headless::ClickNode(tree, s.Form->MyDocumentsNode());
    EXPECT_EQ(s.Toolkit.Asked.size(), c.analyses ? 1u : 0u);
    EXPECT_EQ(s.Form->LoadedDriveLetter(), c.analyses ? 'C' : 0);
    TreeNode first = tree.FirstChild(s.Form->MyDocumentsNode());
    EXPECT_EQ(first ? tree.Text(first) : "", c.firstChild);
    if (first) {
      EXPECT_NE(headless::FindNode(tree, "n02\\n03", first), nullptr);
    }
  }
}

TEST(AnalysisFlow, AVolumeThatCannotBeOpenedKeepsThePreviousAnalysis) {
  cli::Session s({FixturePath("c4k.img"), FixturePath("c512.img")});
  ASSERT_TRUE(s.Analyse('C'));
  auto& tree = s.Form->Get<TreeView>("TreeView1");
  auto& list = s.Form->Get<ListView>("ListView1");
  headless::ClickNode(tree, headless::FindNode(tree, "plain", s.DriveNode('C')));
  const int rows = list.RowCount();
  ASSERT_GT(rows, 0);
  s.System.MapDrive('D', headless::DriveMapping{DriveType::Fixed, FixturePath("no-such.img"), -1, "NTFS"});
  s.Toolkit.Answer(MsgAnswer::Ok);
  headless::ClickNode(tree, s.DriveNode('D'));
  ASSERT_EQ(s.Toolkit.Asked.size(), 3u);  // C:'s question, D:'s, then why D: cannot be read
  EXPECT_EQ(s.Toolkit.Asked[2].Text, s.System.ErrorText(error_code::FileNotFound));
  EXPECT_EQ(s.Form->LoadedDriveLetter(), 'C');
  headless::ClickNode(tree, headless::FindNode(tree, "plain", s.DriveNode('C')));
  EXPECT_EQ(list.RowCount(), rows);
  EXPECT_EQ(s.Toolkit.Asked.size(), 3u);  // C: is still loaded: no new analysis
}

}  // namespace
}  // namespace vant
