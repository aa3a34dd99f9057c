#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "platform/icons.h"
#include "platform/latin1.h"
#include "platform/win32/win32_toolkit.h"
#include "tests/win32/win32_test_support.h"
#include "workspace/form_layout.h"

namespace vant {
namespace {

using K = ComponentKind;

constexpr std::array kColumns{ColumnLayout{"Estado", 45}, ColumnLayout{"Nombre", 100},
                              ColumnLayout{"Tamaño"_l1, 60, Align::Right}};

const ComponentLayout kSmallForm[] = {
    {.Name = "Form", .Kind = K::Form, .Bounds = {0, 0, 400, 300}, .Caption = "Prueba"},
    {.Name = "Images", .Kind = K::ImageList, .Parent = "Form", .ImageCount = 12},
    {.Name = "ImageList2", .Kind = K::ImageList, .Parent = "Form", .ImageCount = 12},
    {.Name = "ImageList3", .Kind = K::ImageList, .Parent = "Form", .ImageCount = 5},
    {.Name = "Tree", .Kind = K::TreeView, .Parent = "Form", .Bounds = {0, 0, 200, 300}, .Images = "ImageList2"},
    {.Name = "List", .Kind = K::ListView, .Parent = "Form", .Bounds = {200, 0, 200, 200}, .Columns = kColumns,
     .Images = "ImageList3"},
    {.Name = "Bar", .Kind = K::ProgressBar, .Parent = "Form", .Bounds = {200, 200, 200, 20}},
    {.Name = "Box", .Kind = K::CheckBox, .Parent = "Form", .Bounds = {200, 230, 100, 20}, .Caption = "Sí"},
    {.Name = "Go", .Kind = K::BitBtn, .Parent = "Form", .Bounds = {300, 230, 100, 30}, .Caption = "&Buscar",
     .ImageIndex = 3, .ImageSource = "ImageList3"},
    {.Name = "Edit", .Kind = K::Edit, .Parent = "Form", .Bounds = {200, 265, 200, 24}},
};

struct Built {
  win32::ScriptedDialogs dialogs;
  win32::Toolkit toolkit{&dialogs};
  std::unique_ptr<FormWindow> form = toolkit.BuildForm(kSmallForm);
  template <class T>
  T& Get(std::string_view name) { return form->Get<T>(name); }
};

// The button goes up before it goes down: the controls wait for the release
// in the queue (to tell a click from a drag) while handling the press.
void MouseClick(HWND window, POINT at) {
  const LPARAM where = MAKELPARAM(at.x, at.y);
  PostMessageA(window, WM_LBUTTONUP, 0, where);
  SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, where);
  MSG message;
  while (PeekMessageA(&message, window, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
}

TEST(Win32Toolkit, TreeNodesEventsAndOrder) {
  Built b;
  auto& tree = b.Get<TreeView>("Tree");
  std::vector<std::string> deleted, changes;
  tree.OnDeletion = [&](TreeNode n) { deleted.push_back(tree.Text(n) + (tree.Data(n) ? "*" : "")); };
  tree.OnChange = [&](TreeNode n) { changes.push_back(n ? tree.Text(n) : "-"); };
  int data = 0;
  TreeNode top = tree.AddChild(nullptr, "top", nullptr, 8, 8);
  TreeNode b1 = tree.AddChild(top, "beta", &data, 0, 0);
  TreeNode a1 = tree.AddChild(top, "Alfa", nullptr, 2, 2);
  TreeNode lost = tree.AddChild(top, "Elementos perdidos", nullptr, 10, 10);
  TreeNode a2 = tree.AddChild(top, "alfa", nullptr, 0, 0);
  TreeNode deep = tree.AddChild(b1, "zz", nullptr, 0, 0);
  tree.AddChild(b1, "aa", nullptr, 0, 0);
  EXPECT_EQ(tree.Count(), 7u);
  EXPECT_EQ(tree.Parent(deep), b1);
  EXPECT_EQ(tree.Parent(top), nullptr);
  EXPECT_EQ(tree.FirstChild(nullptr), top);
  EXPECT_EQ(tree.Image(a1), 2);
  tree.SetImage(a1, 5, 5);
  EXPECT_EQ(tree.Image(a1), 5);
  EXPECT_EQ(tree.Data(b1), &data);

  // Sorted by the system's order, equal texts keeping theirs; then one node
  // moved last keeps its handle.
  tree.SortChildren(nullptr, true);
  std::vector<TreeNode> order;
  for (TreeNode c = tree.FirstChild(top); c; c = tree.NextSibling(c)) order.push_back(c);
  EXPECT_EQ(order, (std::vector<TreeNode>{a2, a1, b1, lost}));
  EXPECT_EQ(tree.Text(tree.FirstChild(b1)), "aa");
  tree.MoveToEnd(a2);
  order.clear();
  for (TreeNode c = tree.FirstChild(top); c; c = tree.NextSibling(c)) order.push_back(c);
  EXPECT_EQ(order, (std::vector<TreeNode>{a1, b1, lost, a2}));
  EXPECT_EQ(tree.Text(a2), "alfa");

  // Selection through the control's own message runs the change event once.
  TreeView_SelectItem(win32::WindowOf(tree), reinterpret_cast<HTREEITEM>(deep));
  EXPECT_EQ(changes, std::vector<std::string>{"zz"});
  tree.Select(deep);  // the same node: no event
  EXPECT_EQ(changes.size(), 1u);
  EXPECT_EQ(tree.Selected(), deep);

  // Deleting the selected node's branch: children first, no change event,
  // nothing selected after.
  tree.Delete(b1);
  EXPECT_EQ(deleted, (std::vector<std::string>{"aa", "zz", "beta*"}));
  EXPECT_EQ(changes.size(), 1u);
  EXPECT_EQ(tree.Selected(), nullptr);
  EXPECT_EQ(tree.Count(), 4u);
  tree.DeleteChildren(top);
  EXPECT_EQ(tree.Count(), 1u);
  EXPECT_EQ(tree.FirstChild(top), nullptr);

  // A click on a node's row is the tree's click.
  int clicks = 0;
  tree.OnClick = [&] { ++clicks; };
  RECT r{};
  TreeView_GetItemRect(win32::WindowOf(tree), reinterpret_cast<HTREEITEM>(top), &r, TRUE);
  MouseClick(win32::WindowOf(tree), {r.left + 2, (r.top + r.bottom) / 2});
  EXPECT_EQ(clicks, 1);

  // Destroying the form deletes the remaining nodes, each with its event.
  deleted.clear();
  tree.AddChild(top, "last", &data, 0, 0);
  b.form.reset();
  EXPECT_EQ(deleted, (std::vector<std::string>{"last*", "top"}));
}

TEST(Win32Toolkit, ListRowsColumnsAndSelection) {
  Built b;
  auto& list = b.Get<ListView>("List");
  HWND window = win32::WindowOf(list);
  ASSERT_EQ(Header_GetItemCount(ListView_GetHeader(window)), 3);
  char caption[32] = {};
  LVCOLUMNA column{};
  column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
  column.pszText = caption;
  column.cchTextMax = sizeof caption;
  ASSERT_TRUE(SendMessageA(window, LVM_GETCOLUMNA, 2, reinterpret_cast<LPARAM>(&column)));
  EXPECT_EQ(std::string(caption), std::string("Tamaño"_l1));
  EXPECT_EQ(column.cx, 60);
  EXPECT_EQ(column.fmt & LVCFMT_JUSTIFYMASK, LVCFMT_RIGHT);

  // Rows are data; their texts are asked for when shown or read.
  std::vector<std::string> x{"borrado.txt", "1 KB"}, y{"vivo.doc", "2 KB"}, z{"otro", "3 KB"};
  list.TextsOf = [](void* data) { return *static_cast<std::vector<std::string>*>(data); };
  EXPECT_EQ(list.AddRow(2, &x), 0);
  EXPECT_EQ(list.AddRow(0, &y), 1);
  list.AddRow(0, &z);
  EXPECT_EQ(list.RowCount(), 3);
  EXPECT_EQ(ListView_GetItemCount(window), 0);  // the control hears of the rows with the next messages
  b.toolkit.ProcessMessages();
  EXPECT_EQ(ListView_GetItemCount(window), 3);
  EXPECT_EQ(list.RowText(0, 1), "borrado.txt");
  EXPECT_EQ(list.RowText(1, 2), "2 KB");
  char shown[32] = {};
  ListView_GetItemText(window, 2, 1, shown, sizeof shown);
  EXPECT_STREQ(shown, "otro");
  EXPECT_EQ(list.RowImage(0), 2);
  EXPECT_EQ(list.RowData(1), &y);
  EXPECT_EQ(list.SelectedCount(), 0);
  list.SetRowSelected(0, true);
  list.SetRowSelected(2, true);
  EXPECT_EQ(list.SelectedCount(), 2);
  EXPECT_EQ(list.NextSelected(-1), 0);
  EXPECT_EQ(list.NextSelected(0), 2);
  EXPECT_EQ(list.NextSelected(2), -1);

  // A click on a row's check mark ticks it, a second one clears it.
  RECT bounds{};
  ListView_GetItemRect(window, 1, &bounds, LVIR_BOUNDS);
  LVHITTESTINFO hit{};
  hit.pt = {bounds.left, (bounds.top + bounds.bottom) / 2};
  while (hit.pt.x < bounds.right && !(ListView_SubItemHitTest(window, &hit) >= 0 && (hit.flags & LVHT_ONITEMSTATEICON)))
    ++hit.pt.x;
  ASSERT_LT(hit.pt.x, bounds.right) << "no check mark on the row";
  auto mark = [&](int row) { return ListView_GetItemState(window, row, LVIS_STATEIMAGEMASK) >> 12; };
  EXPECT_EQ(mark(1), 1u);
  for (unsigned expected : {2u, 1u}) {
    MouseClick(window, hit.pt);
    EXPECT_EQ(mark(1), expected);
    EXPECT_EQ(mark(0), 1u);
  }

  int clicks = 0;
  list.OnClick = [&] { ++clicks; };
  RECT r{};
  ListView_GetItemRect(window, 1, &r, LVIR_BOUNDS);
  MouseClick(window, {r.left + 60, (r.top + r.bottom) / 2});
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(list.SelectedCount(), 1);  // a plain click selects that row alone
  EXPECT_EQ(list.NextSelected(-1), 1);

  // A window that is not one of the form's may notify the form too: it is
  // not taken for a widget, whatever its user data holds.
  HWND stranger = CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 10, 10, GetParent(window), nullptr, nullptr, nullptr);
  ASSERT_NE(stranger, nullptr);
  int notAWidget = 0;
  SetWindowLongPtrA(stranger, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&notAWidget));
  NMHDR note{stranger, 0, static_cast<UINT>(NM_CLICK)};
  EXPECT_EQ(SendMessageA(GetParent(window), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&note)), 0);
  SendMessageA(GetParent(window), WM_COMMAND, MAKEWPARAM(0, BN_CLICKED), reinterpret_cast<LPARAM>(stranger));
  EXPECT_EQ(clicks, 1);
  DestroyWindow(stranger);
  list.Clear();
  EXPECT_EQ(list.RowCount(), 0);
  EXPECT_EQ(ListView_GetItemCount(window), 0);
}

TEST(Win32Toolkit, SmallControlsAnswerTheirMessages) {
  Built b;
  auto& bar = b.Get<ProgressBar>("Bar");
  bar.SetMax(10'000'000'000);
  bar.SetPosition(5'000'000'000);
  EXPECT_EQ(bar.Position(), 5'000'000'000);
  HWND barWindow = win32::WindowOf(bar);
  const auto high = SendMessageA(barWindow, PBM_GETRANGE, FALSE, 0);
  EXPECT_NEAR(static_cast<double>(SendMessageA(barWindow, PBM_GETPOS, 0, 0)) / static_cast<double>(high), 0.5, 0.01);
  bar.SetPosition(-4);
  EXPECT_EQ(bar.Position(), 0);
  bar.SetMax(50);
  bar.SetPosition(80);
  EXPECT_EQ(bar.Position(), 50);

  auto& box = b.Get<CheckBox>("Box");
  int boxClicks = 0;
  box.OnClick = [&] { ++boxClicks; };
  char text[16] = {};
  GetWindowTextA(win32::WindowOf(box), text, sizeof text);
  EXPECT_EQ(std::string(text), std::string("Sí"));
  box.SetChecked(true);  // no event
  EXPECT_EQ(boxClicks, 0);
  SendMessageA(win32::WindowOf(box), BM_CLICK, 0, 0);
  EXPECT_EQ(boxClicks, 1);
  EXPECT_FALSE(box.Checked());
  // A click posted is handled when messages are processed.
  PostMessageA(win32::WindowOf(box), BM_CLICK, 0, 0);
  EXPECT_EQ(boxClicks, 1);
  b.toolkit.ProcessMessages();
  EXPECT_EQ(boxClicks, 2);
  EXPECT_TRUE(box.Checked());

  auto& go = b.Get<Button>("Go");
  int goClicks = 0;
  go.OnClick = [&] { ++goClicks; };
  SendMessageA(win32::WindowOf(go), BM_CLICK, 0, 0);
  go.SetEnabled(false);
  EXPECT_FALSE(IsWindowEnabled(win32::WindowOf(go)));
  SendMessageA(win32::WindowOf(go), BM_CLICK, 0, 0);  // a disabled button does not click
  EXPECT_EQ(goClicks, 1);
  go.SetVisible(false);
  EXPECT_FALSE(go.Visible());
  EXPECT_FALSE(IsWindowVisible(win32::WindowOf(go)));

  auto& edit = b.Get<EditBox>("Edit");
  std::string seen;
  edit.OnKeyPress = [&](char& key) {
    seen += key;
    if (key == '*') key = 0;
    if (key == 'q') key = 'Q';
  };
  for (char c : std::string("a*q\rb")) SendMessageA(win32::WindowOf(edit), WM_CHAR, static_cast<unsigned char>(c), 1);
  EXPECT_EQ(seen, "a*q\rb");
  EXPECT_EQ(edit.Text(), "aQb");  // swallowed: the star and Enter
  edit.SetText("nuevo");
  EXPECT_EQ(edit.Text(), "nuevo");

  EXPECT_FALSE(b.toolkit.Hourglass());
  const int outer = b.toolkit.SetHourglass();
  const int inner = b.toolkit.SetHourglass();
  EXPECT_EQ(GetCursor(), LoadCursor(nullptr, IDC_WAIT));
  b.toolkit.RestoreCursor(inner);
  EXPECT_TRUE(b.toolkit.Hourglass());
  b.toolkit.RestoreCursor(outer);
  EXPECT_FALSE(b.toolkit.Hourglass());
  b.toolkit.RestoreCursor(outer);  // a token used up does nothing
  EXPECT_FALSE(b.toolkit.Hourglass());
}

// Whether picture `index` of an image list has a pixel of `colour` (0xRRGGBB).
bool HasColour(HIMAGELIST list, int index, std::uint32_t colour) {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof info.bmiHeader, 16, -16, 1, 32, BI_RGB};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(dc, bitmap);
  ImageList_Draw(list, index, dc, 0, 0, ILD_NORMAL);
  GdiFlush();
  bool found = false;
  for (int i = 0; i < 256 && !found; ++i) found = (static_cast<std::uint32_t*>(bits)[i] & 0xFFFFFF) == colour;
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  return found;
}

TEST(Win32Toolkit, TheFormsPicturesAndTexts) {
  win32::ScriptedDialogs dialogs;
  win32::Toolkit toolkit(&dialogs);
  auto form = toolkit.BuildForm(Tvant1Layout());
  HIMAGELIST tree = win32::ImageListOf(form->Get<Control>("ImageList2"));
  HIMAGELIST files = win32::ImageListOf(form->Get<Control>("ImageList3"));
  ASSERT_NE(tree, nullptr);
  ASSERT_NE(files, nullptr);
  EXPECT_EQ(ImageList_GetImageCount(tree), tree_image::Count);
  EXPECT_EQ(ImageList_GetImageCount(files), file_image::Count);
  const std::uint32_t red = icons::colour::Red & 0xFFFFFF, green = icons::colour::Green & 0xFFFFFF;
  EXPECT_TRUE(HasColour(tree, tree_image::DeletedFolder, red));
  EXPECT_FALSE(HasColour(tree, tree_image::Folder, red));
  EXPECT_TRUE(HasColour(files, file_image::DeletedFile, red));
  EXPECT_TRUE(HasColour(files, file_image::CheckedFile, green));
  EXPECT_FALSE(HasColour(files, file_image::LiveFile, green));
  EXPECT_TRUE(HasColour(files, file_image::StageDone, green));
  EXPECT_TRUE(HasColour(files, file_image::StageUnderWay, red));

  // The tab captions are the controls' own Latin-1 texts.
  HWND tabs = win32::WindowOf(form->Get<Control>("PageControl1"));
  ASSERT_EQ(TabCtrl_GetItemCount(tabs), 3);
  char caption[64] = {};
  TCITEMA item{};
  item.mask = TCIF_TEXT;
  item.pszText = caption;
  item.cchTextMax = sizeof caption;
  SendMessageA(tabs, TCM_GETITEMA, 1, reinterpret_cast<LPARAM>(&item));
  EXPECT_EQ(std::string(caption), std::string("Búsqueda de archivos"_l1));
  char title[64] = {};
  GetWindowTextA(win32::WindowOf(form->Get<Control>("TVANT1")), title, sizeof title);
  EXPECT_EQ(std::string(title), "VANT NTFS v 1.0");
  char wait[128] = {};
  GetWindowTextA(win32::WindowOf(form->Get<Control>("StaticText1")), wait, sizeof wait);
  EXPECT_EQ(std::string(wait), std::string("Rogamos espere hasta que la operación se haya completado"_l1));

  // One page shows at a time; choosing a tab shows its page.
  auto visible = [&](std::string_view name) { return IsWindowVisible(win32::WindowOf(form->Get<Control>(name))) != 0; };
  form->Show();
  EXPECT_TRUE(visible("TabSheet1"));
  EXPECT_FALSE(visible("TabSheet2"));
  win32::SelectPage(form->Get<Control>("PageControl1"), 2);
  EXPECT_EQ(win32::SelectedPage(form->Get<Control>("PageControl1")), 2);
  EXPECT_FALSE(visible("TabSheet1"));
  EXPECT_TRUE(visible("TabSheet3"));
  EXPECT_TRUE(visible("TabSheet4"));
  EXPECT_FALSE(visible("TabSheet5"));
  // Hidden panels and the help's line breaks.
  EXPECT_FALSE(visible("Panel5"));
  const std::string help = form->Get<TextControl>("Memo1").Text();
  std::string shown(static_cast<std::size_t>(GetWindowTextLengthA(win32::WindowOf(form->Get<Control>("Memo1")))) + 1, 0);
  shown.resize(static_cast<std::size_t>(GetWindowTextA(win32::WindowOf(form->Get<Control>("Memo1")), shown.data(),
                                                       static_cast<int>(shown.size()))));
  EXPECT_NE(help.find("PASO 1"), std::string::npos);
  EXPECT_NE(shown.find("\r\n"), std::string::npos);
  EXPECT_EQ(shown.find("\n\n"), std::string::npos);

  // The filter box's items are the filter's descriptions.
  HWND filter = win32::WindowOf(form->Get<Control>("FilterComboBox1"));
  EXPECT_EQ(SendMessageA(filter, CB_GETCOUNT, 0, 0), 6);
  SendMessageA(filter, CB_SETCURSEL, 2, 0);
  EXPECT_EQ(form->Get<FilterBox>("FilterComboBox1").Mask(), ".xls");
}

TEST(Win32Toolkit, DialogsAreAskedAsTheSystemWouldBe) {
  EXPECT_EQ(win32::MessageBoxFlags(MsgButtons::OkCancel, MsgIcon::Question) & (MB_TYPEMASK | MB_ICONMASK),
            static_cast<UINT>(MB_OKCANCEL | MB_ICONQUESTION));
  EXPECT_EQ(win32::MessageBoxFlags(MsgButtons::YesNo, MsgIcon::Warning) & (MB_TYPEMASK | MB_ICONMASK),
            static_cast<UINT>(MB_YESNO | MB_ICONWARNING));
  EXPECT_EQ(win32::MessageBoxFlags(MsgButtons::Ok, MsgIcon::None) & (MB_TYPEMASK | MB_ICONMASK),
            static_cast<UINT>(MB_OK));
  EXPECT_EQ(win32::MessageBoxFlags(MsgButtons::Ok, MsgIcon::Error) & MB_ICONMASK, static_cast<UINT>(MB_ICONERROR));

  win32::ScriptedDialogs dialogs;
  win32::Toolkit toolkit(&dialogs);
  dialogs.Answer(IDYES);
  dialogs.Answer(IDNO);
  dialogs.Answer(IDOK);
  EXPECT_EQ(toolkit.MessageBox("¿Seguro?"_l1, "Confirmación"_l1, MsgButtons::YesNo, MsgIcon::Question), MsgAnswer::Yes);
  EXPECT_EQ(toolkit.MessageBox("b", "", MsgButtons::YesNo, MsgIcon::Question), MsgAnswer::No);
  EXPECT_EQ(toolkit.MessageBox("c", "", MsgButtons::OkCancel, MsgIcon::Question), MsgAnswer::Ok);
  EXPECT_EQ(toolkit.MessageBox("d", "", MsgButtons::OkCancel, MsgIcon::Question), MsgAnswer::Cancel);
  ASSERT_EQ(dialogs.Boxes.size(), 4u);
  EXPECT_EQ(dialogs.Boxes[0].Text, std::string("¿Seguro?"_l1));
  EXPECT_EQ(dialogs.Boxes[0].Caption, std::string("Confirmación"_l1));
  EXPECT_EQ(dialogs.Boxes[0].Owner, nullptr);
  EXPECT_FALSE(dialogs.Boxes[3].Scripted);

  toolkit.Notice("Restauración cancelada"_l1, NoticeKind::Information);
  toolkit.Notice("Cuidado", NoticeKind::Warning);
  ASSERT_EQ(dialogs.Notices.size(), 2u);
  EXPECT_EQ(dialogs.Notices[0].Flags & MB_ICONMASK, static_cast<UINT>(MB_ICONINFORMATION));
  EXPECT_EQ(dialogs.Notices[1].Flags & MB_ICONMASK, static_cast<UINT>(MB_ICONWARNING));
  EXPECT_EQ(dialogs.Notices[1].Flags & MB_TYPEMASK, static_cast<UINT>(MB_OK));
  EXPECT_EQ(dialogs.Boxes.size(), 4u);  // notices take no scripted answer

  SaveDialogOptions options;
  options.Title = "Guardar archivo";
  options.FileName = "carta.doc";
  dialogs.ChooseFile("C:\\recuperados\\carta.doc");
  EXPECT_TRUE(toolkit.SaveDialog(options));
  EXPECT_EQ(options.FileName, "C:\\recuperados\\carta.doc");
  ASSERT_EQ(dialogs.Saves.size(), 1u);
  EXPECT_EQ(dialogs.Saves[0].Title, "Guardar archivo");
  EXPECT_EQ(dialogs.Saves[0].FileName, "carta.doc");
  EXPECT_TRUE(dialogs.Saves[0].Flags & OFN_OVERWRITEPROMPT);
  EXPECT_TRUE(dialogs.Saves[0].Flags & OFN_HIDEREADONLY);
  EXPECT_TRUE(dialogs.Saves[0].Flags & OFN_ENABLESIZING);
  options.OverwritePrompt = false;
  options.FileName = "x";
  dialogs.ChooseFile(std::nullopt);  // dismissed
  EXPECT_FALSE(toolkit.SaveDialog(options));
  EXPECT_EQ(options.FileName, "x");
  EXPECT_FALSE(dialogs.Saves[1].Flags & OFN_OVERWRITEPROMPT);
  dialogs.ChooseFile(std::string(MAX_PATH + 5, 'a'));  // longer than the dialog's buffer
  EXPECT_FALSE(toolkit.SaveDialog(options));
}

}  // namespace
}  // namespace vant
