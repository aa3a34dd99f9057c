#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "platform/latin1.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/win32_toolkit.h"
#include "tests/win32/win32_test_support.h"
#include "workspace/tvant1.h"

namespace vant {
namespace {

std::vector<std::string> ChildTexts(const TreeView& tree, TreeNode node) {
  std::vector<std::string> texts;
  for (TreeNode c = tree.FirstChild(node); c; c = tree.NextSibling(c)) texts.push_back(tree.Text(c));
  return texts;
}

std::vector<char> FileBytes(const std::string& path, std::size_t count) {
  std::vector<char> bytes(count);
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return {};
  bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
  std::fclose(f);
  return bytes;
}

// The whole flow on a real NTFS drive: the form built with common controls,
// the drive node selected through the tree control, the analysis question
// answered, the tree and the root's files shown, a file recovered to disk.
TEST(Win32Analysis, AnalysesTheDriveAndRecoversAFile) {
  const char letter = testing::DriveFromEnvironment("VANT_WIN_DRIVE");
  const std::string image = testing::Environment("VANT_WIN_IMAGE");
  ASSERT_NE(letter, 0) << "scripts/build-windows names the NTFS test drive in VANT_WIN_DRIVE";
  win32::System system;
  win32::ScriptedDialogs dialogs;
  win32::Toolkit toolkit(&dialogs);
  Catalogue catalogue;
  TVANT1 form(toolkit, system, catalogue);
  auto& tree = form.Get<TreeView>("TreeView1");
  const std::string driveText = std::string(1, letter) + ":\\ (NTFS)";
  TreeNode drive = nullptr;
  for (TreeNode c = tree.FirstChild(form.MyComputerNode()); c; c = tree.NextSibling(c))
    if (tree.Text(c) == driveText) drive = c;
  ASSERT_NE(drive, nullptr) << "no node " << driveText;
  EXPECT_TRUE(dialogs.Boxes.empty());

  dialogs.Answer(IDOK);
  TreeView_SelectItem(win32::WindowOf(tree), reinterpret_cast<HTREEITEM>(drive));
  ASSERT_EQ(dialogs.Boxes.size(), 1u);
  const win32::AskedBox& question = dialogs.Boxes[0];
  EXPECT_EQ(question.Caption, std::string("Confirmación"_l1));
  EXPECT_NE(question.Text.find(std::string("análisis de la Unidad "_l1) + letter + ":\\"), std::string::npos)
      << question.Text;
  EXPECT_EQ(question.Flags & (MB_TYPEMASK | MB_ICONMASK), static_cast<UINT>(MB_OKCANCEL | MB_ICONQUESTION));
  EXPECT_EQ(form.LoadedDriveLetter(), letter);
  EXPECT_TRUE(dialogs.Notices.empty());

  // The folders below the drive, the lost items last; the stage panel gone.
  const std::vector<std::string> folders = ChildTexts(tree, drive);
  ASSERT_FALSE(folders.empty());
  EXPECT_EQ(folders.back(), "Elementos perdidos");
  EXPECT_NE(std::find(folders.begin(), folders.end(), "$Extend"), folders.end());
  EXPECT_FALSE(form.Get<Control>("Panel5").Visible());
  EXPECT_FALSE(form.Get<Control>("Panel4").Visible());
  EXPECT_EQ(tree.Selected(), drive);

  // The root's files, the system files among them, live.
  auto& list = form.Get<ListView>("ListView1");
  std::vector<std::string> names;
  int boot = -1;
  for (int row = 0; row < list.RowCount(); ++row) {
    names.push_back(list.RowText(row, 1));
    if (names.back() == "$Boot") boot = row;
    if (names.back()[0] == '$') EXPECT_EQ(list.RowImage(row), 0) << names.back();
  }
  for (const char* file : {"$MFT", "$MFTMirr", "$LogFile", "$Volume", "$AttrDef", "$Bitmap", "$Boot", "$UpCase"})
    EXPECT_NE(std::find(names.begin(), names.end(), file), names.end()) << file;
  ASSERT_GE(boot, 0);
  char shown[64] = {};
  ListView_GetItemText(win32::WindowOf(list), boot, 1, shown, sizeof shown);
  EXPECT_STREQ(shown, "$Boot");

  // Recover $Boot: select its row, press "Recuperar", say yes, choose a path.
  auto& recover = form.Get<Control>("BitBtn2");
  EXPECT_FALSE(recover.Enabled());
  list.SetRowSelected(boot, true);
  NMHDR click{win32::WindowOf(list), 0, static_cast<UINT>(NM_CLICK)};
  SendMessageA(GetParent(win32::WindowOf(list)), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&click));
  EXPECT_TRUE(recover.Enabled());
  const std::string target = testing::TempFolder("vant-analysis-test") + "\\boot.bin";
  DeleteFileA(target.c_str());
  dialogs.Answer(IDYES);
  dialogs.ChooseFile(target);
  SendMessageA(win32::WindowOf(recover), BM_CLICK, 0, 0);
  ASSERT_EQ(dialogs.Boxes.size(), 2u);
  EXPECT_NE(dialogs.Boxes[1].Text.find("La integridad del archivo $Boot es del 100%"), std::string::npos)
      << dialogs.Boxes[1].Text;
  ASSERT_EQ(dialogs.Saves.size(), 1u);
  EXPECT_EQ(dialogs.Saves[0].FileName, "$Boot");
  ASSERT_EQ(dialogs.Notices.size(), 1u);
  EXPECT_EQ(dialogs.Notices[0].Text, std::string("Restauración del archivo $Boot terminada"_l1));
  const std::vector<char> written = FileBytes(target, 1 << 20);
  ASSERT_EQ(written.size(), 8192u);
  EXPECT_EQ(written, FileBytes(image, 8192));

  // The deleted folder is marked in the tree; its deleted files are listed
  // as deleted and come back whole.
  TreeNode gone = nullptr;
  for (TreeNode c = tree.FirstChild(drive); c; c = tree.NextSibling(c))
    if (tree.Text(c) == "Borrada") gone = c;
  ASSERT_NE(gone, nullptr) << "the drive is the fixture volume with deleted files";
  EXPECT_EQ(tree.Image(gone), 2);
  TreeView_SelectItem(win32::WindowOf(tree), reinterpret_cast<HTREEITEM>(gone));
  int uno = -1;
  for (int row = 0; row < list.RowCount(); ++row)
    if (list.RowText(row, 1) == "uno.txt") uno = row;
  ASSERT_GE(uno, 0);
  EXPECT_EQ(list.RowImage(uno), 2);
  for (int row = 0; row < list.RowCount(); ++row) list.SetRowSelected(row, row == uno);
  SendMessageA(GetParent(win32::WindowOf(list)), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&click));
  const std::string deletedTarget = testing::TempFolder("vant-analysis-test") + "\\uno.txt";
  DeleteFileA(deletedTarget.c_str());
  dialogs.Answer(IDYES);
  dialogs.ChooseFile(deletedTarget);
  SendMessageA(win32::WindowOf(recover), BM_CLICK, 0, 0);
  ASSERT_EQ(dialogs.Boxes.size(), 3u);
  EXPECT_NE(dialogs.Boxes[2].Text.find("uno.txt es del 100%"), std::string::npos) << dialogs.Boxes[2].Text;
  EXPECT_EQ(FileBytes(deletedTarget, 1 << 20).size(), 200u);
}

}  // namespace
}  // namespace vant
