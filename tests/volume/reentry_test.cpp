// What the user can do while the form is busy: cancel the analysis, pick
// another folder or press the filter during a listing, press the filter
// during an analysis or a search, pick another drive afterwards.
#include <gtest/gtest.h>

#include "cli/session.h"
#include "platform/latin1.h"
#include "tests/support/peers.h"

namespace vant {
namespace {

using namespace vant::testing;

struct Busy : ::testing::Test {
  cli::Session s{{FixturePath("many.img"), FixturePath("c4k.img")}};
  TVANT1& form = *s.Form;
  TreeView& tree = form.Get<TreeView>("TreeView1");
  ListView& list = form.Get<ListView>("ListView1");
  TreeNode Folder(const std::string& path) { return headless::FindNode(tree, path, s.DriveNode('C')); }
  bool AllDeleted(ListView& l) {
    for (int i = 0; i < l.RowCount(); ++i)
      if (!static_cast<const FileEntry*>(l.RowData(i))->IsDeleted) return false;
    return true;
  }
  // Clicks "&Cancelar" at the first pump that finds `image` showing the under-way mark.
  void CancelDuring(const char* image, MsgAnswer answer) {
    bool done = false;
    s.Toolkit.OnPump = [this, image, answer, done]() mutable {
      if (done || form.Get<ImageBox>(image).ImageIndex() != 4) return;
      done = true;
      s.Toolkit.Answer(answer);
      headless::Click(form.Get<Button>("BitBtn4"));
    };
  }
};

TEST_F(Busy, CancellingTheScanDiscardsTheCatalogue) {
  s.Toolkit.Answer(MsgAnswer::Ok);
  CancelDuring("Image7", MsgAnswer::Yes);
  headless::ClickNode(tree, s.DriveNode('C'));
  s.Toolkit.OnPump = nullptr;
  ASSERT_EQ(s.Toolkit.Asked.size(), 2u);
  EXPECT_EQ(s.Toolkit.Asked[1].Text, "¿Desea detener el proceso y recomenzar la aplicación?"_l1);
  EXPECT_EQ(s.Toolkit.Asked[1].Buttons, MsgButtons::YesNo);
  EXPECT_EQ(form.Entries().Count(), 0u);
  EXPECT_TRUE(form.Get<Control>("Panel4").Visible());
  EXPECT_FALSE(form.Get<Control>("Panel5").Visible());
  for (const char* mark : {"Image7", "Image8", "Image9"}) EXPECT_EQ(form.Get<ImageBox>(mark).ImageIndex(), -1);
  EXPECT_EQ(tree.FirstChild(s.DriveNode('C')), nullptr);
  EXPECT_EQ(list.RowCount(), 0);
  EXPECT_FALSE(form.RunInProgress());
  // The drive counts as loaded: selecting it again lists nothing and asks nothing.
  headless::ClickNode(tree, form.MyComputerNode());
  headless::ClickNode(tree, s.DriveNode('C'));
  EXPECT_EQ(s.Toolkit.Asked.size(), 2u);
  EXPECT_EQ(list.RowCount(), 0);
}

TEST_F(Busy, AnsweringNoToTheCancelQuestionLetsTheAnalysisFinish) {
  s.Toolkit.Answer(MsgAnswer::Ok);
  CancelDuring("Image7", MsgAnswer::No);
  headless::ClickNode(tree, s.DriveNode('C'));
  s.Toolkit.OnPump = nullptr;
  ASSERT_EQ(s.Toolkit.Asked.size(), 2u);
  EXPECT_GT(form.Entries().Count(), 20000u);
  EXPECT_NE(Folder("bulk\\d00000"), nullptr);
}

TEST_F(Busy, CancellingTheTreeBuildingKeepsPlacedFoldersThatListNothing) {
  s.Toolkit.Answer(MsgAnswer::Ok);
  CancelDuring("Image8", MsgAnswer::Yes);
  headless::ClickNode(tree, s.DriveNode('C'));
  s.Toolkit.OnPump = nullptr;
  ASSERT_EQ(s.Toolkit.Asked.size(), 2u);
  EXPECT_EQ(form.Entries().Count(), 0u);
  EXPECT_TRUE(form.Get<Control>("Panel4").Visible());
  TreeNode placed = Folder("bulk");
  ASSERT_NE(placed, nullptr);
  headless::ClickNode(tree, placed);
  EXPECT_EQ(list.RowCount(), 0);
}

TEST_F(Busy, AnotherFolderPickedDuringAListingTakesOver) {
  ASSERT_TRUE(s.Analyse('C'));
  TreeNode other = Folder("bulk\\d00001");
  ASSERT_NE(other, nullptr);
  std::vector<std::string> expected;
  headless::ClickNode(tree, other);
  for (int i = 0; i < list.RowCount(); ++i) expected.push_back(list.RowText(i, 1));
  ASSERT_GT(expected.size(), 500u);

  // A long listing processes messages on its way; a short one (the root's
  // few files) once after its last row, and still takes the new choice.
  const struct {
    TreeNode From;
    int AtPump;
  } cases[] = {{Folder("bulk\\d00000"), 3}, {s.DriveNode('C'), 1}};
  for (const auto& c : cases) {
    ASSERT_NE(c.From, nullptr);
    headless::ClickNode(tree, form.MyComputerNode());
    s.Toolkit.Queue([&] { headless::ClickNode(tree, other); }, c.AtPump);
    headless::ClickNode(tree, c.From);
    EXPECT_EQ(s.Toolkit.PendingActions(), 0u);
    EXPECT_EQ(tree.Selected(), other);
    std::vector<std::string> shown;
    for (int i = 0; i < list.RowCount(); ++i) shown.push_back(list.RowText(i, 1));
    EXPECT_EQ(shown, expected);  // only the new folder's rows, each once
    EXPECT_FALSE(form.RunInProgress());
  }
}

TEST_F(Busy, TheFilterPressedDuringAListingRestartsIt) {
  ASSERT_TRUE(s.Analyse('C'));
  const auto manifest = LoadManifest(FixturePath("many.tsv"));
  int deleted = 0;
  for (const auto& m : manifest) deleted += m.Deleted && !m.Directory && m.Path.rfind("bulk/d00000/", 0) == 0;
  ASSERT_GT(deleted, 10);
  s.Toolkit.Queue([&] { headless::Click(form.Get<CheckBox>("CheckBox1")); }, 5);
  headless::ClickNode(tree, Folder("bulk\\d00000"));
  EXPECT_EQ(s.Toolkit.PendingActions(), 0u);
  EXPECT_EQ(list.RowCount(), deleted);
  EXPECT_TRUE(AllDeleted(list));
}

TEST_F(Busy, TheFilterPressedDuringAnAnalysisAppliesWhenItEnds) {
  s.Toolkit.Answer(MsgAnswer::Ok);
  bool pressed = false;
  s.Toolkit.OnPump = [&] {
    if (pressed || form.Get<ImageBox>("Image7").ImageIndex() != 4) return;
    pressed = true;
    headless::Click(form.Get<CheckBox>("CheckBox1"));
  };
  headless::ClickNode(tree, s.DriveNode('C'));
  s.Toolkit.OnPump = nullptr;
  ASSERT_TRUE(pressed);
  ASSERT_EQ(form.LoadedDriveLetter(), 'C');
  EXPECT_TRUE(form.Get<CheckBox>("CheckBox1").Checked());
  EXPECT_EQ(s.Toolkit.Asked.size(), 1u);  // no second analysis
  // The root's listing shows the filter's effect: no live file in it.
  EXPECT_TRUE(AllDeleted(list));
}

TEST_F(Busy, TheDeletedOnlyBoxPressedDuringASearchRestartsIt) {
  ASSERT_TRUE(s.Analyse('C'));
  auto& results = form.Get<ListView>("ListView2");
  form.Get<EditBox>("Edit1").SetText("f");
  bool pressed = false;
  s.Toolkit.OnPump = [&] {
    if (pressed || !form.Get<Control>("ProgressBar2").Visible()) return;
    pressed = true;
    headless::Click(form.Get<CheckBox>("CheckBox2"));
  };
  headless::Click(form.Get<Button>("BitBtn5"));
  s.Toolkit.OnPump = nullptr;
  ASSERT_TRUE(pressed);
  EXPECT_GT(results.RowCount(), 100);
  EXPECT_TRUE(AllDeleted(results));
  EXPECT_TRUE(form.Get<Button>("BitBtn5").Enabled());
}

TEST_F(Busy, AnotherDriveReplacesTheAnalysis) {
  ASSERT_TRUE(s.Analyse('C'));
  auto& results = form.Get<ListView>("ListView2");
  headless::Type(form.Get<EditBox>("Edit1"), "f\r");
  ASSERT_GT(results.RowCount(), 0);
  s.Toolkit.Answer(MsgAnswer::Ok);
  headless::ClickNode(tree, s.DriveNode('D'));
  EXPECT_EQ(form.LoadedDriveLetter(), 'D');
  EXPECT_EQ(tree.FirstChild(s.DriveNode('C')), nullptr);
  EXPECT_NE(headless::FindNode(tree, "Borrada", s.DriveNode('D')), nullptr);
  EXPECT_EQ(results.RowCount(), 0);  // its rows pointed at the old catalogue
  EXPECT_LT(form.Entries().Count(), 5000u);
}

}  // namespace
}  // namespace vant
