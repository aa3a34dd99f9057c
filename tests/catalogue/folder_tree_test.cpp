#include "catalogue/folder_tree.h"

#include <gtest/gtest.h>

#include "catalogue/listing.h"
#include "platform/headless/headless_toolkit.h"
#include "platform/layout.h"

namespace vant {
namespace {

const ComponentLayout kTreeOnly[] = {{.Name = "Tree", .Kind = ComponentKind::TreeView}};

struct Fixture {
  headless::Toolkit toolkit;
  std::unique_ptr<FormWindow> window = toolkit.BuildForm(kTreeOnly);
  TreeView& tree = window->Get<TreeView>("Tree");
  Catalogue catalogue;
  TreeNode drive = tree.AddChild(nullptr, "C:\\ (NTFS)", FolderNodeData::Make(5), 1, 1);
  TreeNode lost = tree.AddChild(drive, "Elementos perdidos", FolderNodeData::Make(NoDirectoryRecord), 10, 10);
  WorkObserver observer;

  Fixture() {
    tree.OnDeletion = [this](TreeNode n) { ReleaseNodeData(tree, n); };
  }
  ~Fixture() { tree.DeleteChildren(nullptr); }
  // Slots up to `record` exist; the ones not set stay invalid.
  FileEntry& Put(std::size_t record, std::string_view name, std::uint64_t parent, bool dir = true, bool deleted = false) {
    while (catalogue.Count() <= record) catalogue.Append().PendingPlacement = true;
    FileEntry& e = catalogue.At(record);
    catalogue.SetName(e, name);
    e.ParentRecord = parent;
    e.IsDirectory = dir;
    e.IsDeleted = deleted;
    e.IsBaseRecord = true;
    e.PendingPlacement = true;
    return e;
  }
  void BuildOnly() {
    FolderTreeBuilder builder(tree, catalogue, drive, lost, observer);
    builder.BuildFolderTree();
  }
  std::string Build() {
    BuildOnly();
    return headless::DumpTree(tree, drive, 1);
  }
};

TEST(FolderTree, PlacesEveryDirectoryOnceUnderItsParent) {
  Fixture f;
  f.Put(5, ".", 5).PendingPlacement = false;
  f.Put(40, "Hijo", 900);
  f.Put(41, "Borrada", 900, true, true);
  f.Put(42, "Viva", 41);
  f.Put(43, "archivo.txt", 40, false);
  f.Put(60, "RECYCLER", 5);
  f.Put(61, "recycler", 5);
  f.Put(62, "Mis documentos", 5);
  f.Put(70, "Fotos", 77);      // 77 is a file: its children are lost
  f.Put(71, "Videos", 77);
  f.Put(77, "no-dir.bin", 5, false);
  f.Put(80, "Lejos", 123456);  // beyond the catalogue
  f.Put(900, "Padre", 5);
  EXPECT_EQ(f.Build(),
            "  Elementos perdidos [10]\n"
            "    dir 0x00000077 [0]\n"
            "      Fotos [0]\n"
            "      Videos [0]\n"
            "    dir 0x00123456 [0]\n"
            "      Lejos [0]\n"
            "  Padre [0]\n"
            "    Hijo [0]\n"
            "    Borrada [2]\n"
            "      Viva [0]\n"
            "  PAPELERA [5]\n"
            "  recycler [0]\n"
            "  Mis documentos [6]\n");
  // The catalogue itself carries the new name.
  EXPECT_EQ(f.catalogue.At(60).NameView(), "PAPELERA");
  for (std::size_t i : {40u, 41u, 42u, 900u}) EXPECT_FALSE(f.catalogue.At(i).PendingPlacement);
}

TEST(FolderTree, CutsCyclesAndSurvivesDeepChains) {
  Fixture f;
  // 10 -> 11 -> 12 -> 10: the entry whose placement is under way counts as lost.
  f.Put(10, "a", 12);
  f.Put(11, "b", 10);
  f.Put(12, "c", 11);
  f.Put(13, "self", 13);
  EXPECT_EQ(f.Build(),
            "  Elementos perdidos [10]\n"
            "    dir 0x00000010 [0]\n"
            "      b [0]\n"
            "        c [0]\n"
            "          a [0]\n"
            "    dir 0x00000013 [0]\n"
            "      self [0]\n");

  // A chain 100,000 deep whose top comes last in the catalogue.
  Fixture deep;
  constexpr std::size_t kDepth = 100000;
  for (std::size_t i = 0; i < kDepth; ++i) deep.Put(16 + i, "d", i + 1 < kDepth ? 17 + i : 5);
  deep.BuildOnly();  // a dump of it would be quadratic in the depth
  EXPECT_EQ(deep.tree.Count(), kDepth + 2);
  std::size_t depth = 0;
  for (TreeNode n = deep.tree.NextSibling(deep.tree.FirstChild(deep.drive)); n; n = deep.tree.FirstChild(n)) ++depth;
  EXPECT_EQ(depth, kDepth);
  // The folder path of a file at the bottom stops nowhere short, and a cycle stops it.
  FileEntry& file = deep.Put(16 + kDepth, "f.txt", 16, false);
  RowContext rows{deep.catalogue, deep.tree, deep.lost, 'C'};
  EXPECT_EQ(BuildFolderPath(rows, file).size(), kDepth * 2);
  RowContext cycle{f.catalogue, f.tree, f.lost, 'C'};
  FileEntry& inCycle = f.Put(20, "x.txt", 10, false);
  EXPECT_EQ(BuildFolderPath(cycle, inCycle), "b\\c\\a\\");
}

TEST(FolderTree, CopiesASubtreeWithItsData) {
  Fixture f;
  f.Put(30, "Mis documentos", 5);
  f.Put(31, "Uno", 30);
  f.Put(32, "Dos", 31);
  f.Put(33, "Tres", 32);
  f.Put(34, "Otra", 30);
  f.Build();
  TreeNode docs = f.tree.AddChild(nullptr, "Mis Documentos", FolderNodeData::Make(0), 9, 9);
  CopyFolderSubtree(f.tree, headless::FindNode(f.tree, "Mis documentos", f.drive), docs);
  EXPECT_EQ(headless::DumpTree(f.tree, docs, 1), "  Uno [0]\n    Dos [0]\n      Tres [0]\n  Otra [0]\n");
  EXPECT_EQ(static_cast<FolderNodeData*>(f.tree.Data(docs))->RecordNumber, 30u);
  EXPECT_EQ(static_cast<FolderNodeData*>(f.tree.Data(headless::FindNode(f.tree, "Uno\\Dos", docs)))->RecordNumber, 32u);
}

TEST(Listing, RowsShowSizesTimesAndFolders) {
  Fixture f;
  f.Put(40, "Docs", 5);
  f.Put(41, "Fotos", 77);
  f.Build();
  FileEntry& big = f.Put(50, "grande.iso", 40, false, true);
  big.FileSize = 5'000'000'000ull;
  big.CreationTime = 126913574495000000;  // 05/03/2003 17:04:09.5 UTC
  big.ModificationTime = -1;                   // cannot be converted: this and later columns empty
  FileEntry& lostFile = f.Put(51, "foto.jpg", 41, false);
  RowContext rows{f.catalogue, f.tree, f.lost, 'C'};
  EXPECT_EQ(FileRowTexts(rows, big, true),
            (std::vector<std::string>{"grande.iso", "C:\\Docs\\", "5000000000", "05/03/2003  17:04:09"}));
  EXPECT_EQ(BuildFolderPath(rows, lostFile), "Elementos perdidos\\dir 0x00000077\\Fotos\\");
  EXPECT_EQ(FormatFileTime(0).value(), "01/01/1601  00:00:00");

  headless::Toolkit toolkit;
  const ComponentLayout listOnly[] = {{.Name = "List", .Kind = ComponentKind::ListView}};
  auto window = toolkit.BuildForm(listOnly);
  auto& list = window->Get<ListView>("List");
  ShowFileRows(list, [&] { return rows; }, true);
  EXPECT_FALSE(AddFileRow(list, lostFile, true));
  EXPECT_TRUE(AddFileRow(list, big, true));
  EXPECT_TRUE(AddFileRow(list, lostFile, false));
  EXPECT_EQ(list.RowImage(0), 2);
  EXPECT_EQ(list.RowImage(1), 0);
  EXPECT_EQ(list.RowData(0), &big);
  // Texts are made when read, from the context of that moment.
  EXPECT_EQ(list.RowText(0, 2), "C:\\Docs\\");
  rows.DriveLetter = 'D';
  EXPECT_EQ(list.RowText(1, 2), "D:\\Elementos perdidos\\dir 0x00000077\\Fotos\\");

  ChildIndex index;
  index.Build(f.catalogue);
  ASSERT_EQ(index.FilesOf(40).size(), 1u);
  EXPECT_EQ(index.FilesOf(40)[0], 50u);
  EXPECT_TRUE(index.FilesOf(5).empty());
  EXPECT_TRUE(index.FilesOf(NoDirectoryRecord).empty());
}

}  // namespace
}  // namespace vant
