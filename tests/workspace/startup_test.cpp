#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/headless/headless_system.h"
#include "platform/headless/headless_toolkit.h"
#include "platform/latin1.h"
#include "workspace/tvant1.h"

namespace vant {
namespace {

headless::DriveMapping Drive(std::string fileSystem, DriveType type = DriveType::Fixed) {
  headless::DriveMapping mapping;
  mapping.Type = type;
  mapping.FileSystem = std::move(fileSystem);
  return mapping;
}

TEST(StartUp, BuildsTheDriveTreeFromTheFixedDrives) {
  headless::Toolkit toolkit;
  headless::System system;
  system.MapDrive('C', Drive("NTFS"));
  system.MapDrive('D', Drive("FAT32"));
  system.MapDrive('E', Drive("CDFS", DriveType::CdRom));
  system.MapDrive('F', Drive("ntfs"));
  Catalogue catalogue;
  TVANT1 form(toolkit, system, catalogue);
  auto& tree = form.Get<TreeView>("TreeView1");
  EXPECT_EQ(headless::DumpTree(tree),
            "Escritorio [8]\n"
            "  Mi PC [7]\n"
            "    C:\\ (NTFS) [1]\n"
            "    D:\\ (FAT32) [1]\n"
            "    F:\\ (ntfs) [1]\n"
            "  Mis Documentos [9]\n");
  EXPECT_EQ(form.FatKind(), 2);
  EXPECT_EQ(tree.Selected(), form.MyComputerNode());
  auto* c = static_cast<FolderNodeData*>(tree.Data(headless::FindNode(tree, "Escritorio\\Mi PC\\C:\\ (NTFS)")));
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->RecordNumber, 5u);
  EXPECT_NE(c->Children, nullptr);
  EXPECT_EQ(tree.Data(headless::FindNode(tree, "Escritorio\\Mi PC\\D:\\ (FAT32)")), nullptr);
  EXPECT_EQ(tree.Data(headless::FindNode(tree, "Escritorio\\Mi PC\\F:\\ (ntfs)")), nullptr);
  EXPECT_EQ(tree.Data(form.MyComputerNode()), nullptr);
  EXPECT_TRUE(toolkit.Asked.empty());  // nothing is shown at start-up
  EXPECT_TRUE(form.Get<Control>("Panel4").Visible());
  EXPECT_FALSE(form.Get<Control>("Panel5").Visible());
}

TEST(StartUp, TheLastFatDriveDecidesItsKind) {
  struct Case {
    std::vector<std::pair<char, std::string>> drives;
    int kind;
  };
  for (const Case& c : {Case{{{'D', "FAT32"}, {'F', "FAT"}}, 1}, Case{{{'D', "FAT"}, {'F', "FAT32"}}, 2},
                        Case{{{'C', "NTFS"}, {'D', "NTFS"}}, 0}}) {
    headless::Toolkit toolkit;
    headless::System system;
    for (auto& [letter, fs] : c.drives) system.MapDrive(letter, Drive(fs));
    Catalogue catalogue;
    TVANT1 form(toolkit, system, catalogue);
    EXPECT_EQ(form.FatKind(), c.kind);
  }
  // A drive whose name cannot be read is listed with empty parentheses.
  headless::Toolkit toolkit;
  headless::System system;
  system.MapDrive('G', headless::DriveMapping{});
  Catalogue catalogue;
  TVANT1 form(toolkit, system, catalogue);
  EXPECT_NE(headless::FindNode(form.Get<TreeView>("TreeView1"), "Escritorio\\Mi PC\\G:\\ ()"), nullptr);
}

TEST(StartUp, TheFormCarriesItsTextsAndStates) {
  headless::Toolkit toolkit;
  headless::System system;
  Catalogue catalogue;
  TVANT1 form(toolkit, system, catalogue);
  EXPECT_EQ(form.Get<TextControl>("TVANT1").Text(), "VANT NTFS v 1.0");
  EXPECT_EQ(form.Get<TextControl>("TabSheet2").Text(), "Búsqueda de archivos"_l1);
  EXPECT_EQ(form.Get<TextControl>("TabSheet3").Text(), "¿Necesita ayuda?"_l1);
  EXPECT_EQ(form.Get<TextControl>("Panel4").Text(), "Seleccione una carpeta para comenzar");
  EXPECT_EQ(form.Get<TextControl>("StaticText1").Text(), "Rogamos espere hasta que la operación se haya completado"_l1);
  EXPECT_FALSE(form.Get<Control>("BitBtn2").Enabled());
  EXPECT_FALSE(form.Get<Control>("BitBtn3").Enabled());
  EXPECT_TRUE(form.Get<CheckBox>("CheckBox7").Checked());
  EXPECT_FALSE(form.Get<CheckBox>("CheckBox8").Checked());
  EXPECT_FALSE(form.Get<Control>("ProgressBar2").Visible());
  auto& filter = form.Get<FilterBox>("FilterComboBox1");
  ASSERT_EQ(filter.ItemCount(), 6);
  EXPECT_EQ(filter.ItemText(0), "Todos los archivos (*.*)");
  EXPECT_EQ(filter.Mask(), "");
  filter.SetSelectedIndex(1);
  EXPECT_EQ(filter.Mask(), ".doc;.rtf;.txt");
  filter.SetSelectedIndex(5);
  EXPECT_EQ(filter.ItemText(5), "Archivos ejecutables");
  EXPECT_EQ(filter.Mask(), ".exe;.com;.bat");
  const std::string help = form.Get<TextControl>("Memo1").Text() + form.Get<TextControl>("Memo2").Text();
  for (std::string_view word : {"V-ANT", "PASO 1", "PASO 4", "PAPELERA", "Cancelar", "100%", "elementos perdidos"})
    EXPECT_NE(help.find(word), std::string::npos) << word;
}

TEST(StartUp, ClicksAndDeletionsLookAfterTheNodes) {
  headless::Toolkit toolkit;
  headless::System system;
  system.MapDrive('C', Drive("NTFS"));
  system.MapDrive('D', Drive("FAT32"));
  Catalogue catalogue;
  auto form = std::make_unique<TVANT1>(toolkit, system, catalogue);
  auto& tree = form->Get<TreeView>("TreeView1");
  form->Get<Control>("BitBtn2").SetEnabled(true);
  headless::ClickNode(tree, form->MyComputerNode());  // even the node already selected
  EXPECT_FALSE(form->Get<Control>("BitBtn2").Enabled());
  EXPECT_TRUE(toolkit.Asked.empty());

  // Nodes without data release nothing; destroying the form releases every
  // node's data and the catalogue (the sanitizers see any leak or double free).
  tree.Delete(headless::FindNode(tree, "Escritorio\\Mi PC\\D:\\ (FAT32)"));
  catalogue.SetName(catalogue.Append(), "x");
  catalogue.Append();  // an entry without a name
  form.reset();
  EXPECT_EQ(catalogue.Count(), 0u);
}

TEST(StartUp, TheFormsOwnPropertiesAndEventsForAHost) {
  headless::Toolkit toolkit;
  headless::System system;
  Catalogue catalogue;
  std::vector<std::string> events;
  {
    TVANT1 form(toolkit, system, catalogue);
    FormWindow& window = form.Window();
    FormProperties p = window.Properties();
    EXPECT_EQ(p.Caption, "VANT NTFS v 1.0");
    EXPECT_EQ(p.Color, ClBtnFace);
    EXPECT_EQ(p.Font.Points, 8);
    EXPECT_FALSE(p.Visible) << "hidden until shown";
    window.Show();
    EXPECT_TRUE(window.Properties().Visible);

    p = window.Properties();
    p.Caption = "Recuperaci\xf3n";
    p.Active = true;  // read-only: ignored
    window.SetProperties(p);
    EXPECT_EQ(window.Properties().Caption, "Recuperaci\xf3n");
    EXPECT_FALSE(window.Properties().Active);
    // A bad value changes nothing, not even the good ones beside it.
    p.Caption = "otra";
    p.AxBorderStyle = static_cast<FormBorder>(4);
    EXPECT_THROW(window.SetProperties(p), std::invalid_argument);
    p.AxBorderStyle = FormBorder::Single;
    p.PixelsPerInch = 0;
    EXPECT_THROW(window.SetProperties(p), std::invalid_argument);
    EXPECT_EQ(window.Properties().Caption, "Recuperaci\xf3n");
    EXPECT_EQ(window.Properties().AxBorderStyle, FormBorder::None);

    window.OnClick = [&] { events.push_back("click"); };
    window.OnDblClick = [&] { events.push_back("dblclick"); };
    window.OnActivate = [&] { events.push_back("activate"); };
    window.OnDeactivate = [&] { events.push_back("deactivate"); };
    window.OnDestroy = [&] { events.push_back("destroy"); };
    window.OnKeyPress = [&](char& key) {
      events.push_back(std::string("key ") + key);
      if (key == 'a') key = 'A';
      if (key == 'x') key = 0;
    };
    headless::ClickForm(window);
    headless::DoubleClickForm(window);
    headless::ActivateForm(window, true);
    headless::ActivateForm(window, true);
    headless::ActivateForm(window, false);
    // KeyPreview: the form sees the field's keys first, and may change or swallow them.
    auto& field = form.Get<EditBox>("Edit1");
    headless::Type(field, "axb", &window);
    EXPECT_EQ(field.Text(), "axb") << "without KeyPreview the form is not asked";
    p = window.Properties();
    p.KeyPreview = true;
    window.SetProperties(p);
    field.SetText("");
    headless::Type(field, "axb", &window);
    EXPECT_EQ(field.Text(), "Ab");
    p.Enabled = false;
    window.SetProperties(p);
    headless::ClickForm(window);  // a disabled form hears no clicks
  }
  EXPECT_EQ(events, (std::vector<std::string>{"click", "dblclick", "activate", "deactivate", "key a", "key x",
                                              "key b", "destroy"}));
}

}  // namespace
}  // namespace vant
