// The control in a real container nobody here wrote: ATL's control host
// ("AtlAxWin" of the system's atl.dll) embeds it by its ProgID in a window of
// the test. The form is then reached only as a user reaches it: the
// control's window, its child windows and their own messages.
#include <string>
#include <vector>

#include "tests/host/host_test_support.h"
#include "tests/win32/win32_test_support.h"

namespace vant::testing {
namespace {

[[maybe_unused]] auto* const kOle = ::testing::AddGlobalTestEnvironment(new OleEnvironment);

// ATL's control host; mingw ships no declarations for atl.dll.
struct AtlHost {
  using InitFn = BOOL(WINAPI*)();
  using GetControlFn = HRESULT(WINAPI*)(HWND, IUnknown**);
  HMODULE Module = LoadLibraryA("atl.dll");
  InitFn Init = reinterpret_cast<InitFn>(reinterpret_cast<void*>(Proc("AtlAxWinInit")));
  GetControlFn GetControl = reinterpret_cast<GetControlFn>(reinterpret_cast<void*>(Proc("AtlAxGetControl")));
  FARPROC Proc(const char* name) const { return Module ? GetProcAddress(Module, name) : nullptr; }
};

// A top-level window of the test, with an ATL host window inside it at
// (10, 20) that embeds the control named by its text.
struct Container {
  HWND Top = nullptr;
  HWND Host = nullptr;

  Container(const char* control, int width, int height) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "VANT.TestContainer";
    RegisterClassA(&wc);  // already there after the first test
    Top = CreateWindowExA(0, wc.lpszClassName, "container", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 900, 700,
                          nullptr, nullptr, wc.hInstance, nullptr);
    Host = CreateWindowExA(0, "AtlAxWin", control, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 10, 20, width, height, Top,
                           nullptr, wc.hInstance, nullptr);
    ShowWindow(Top, SW_SHOWNOACTIVATE);
  }
  ~Container() {
    if (Top && IsWindow(Top)) DestroyWindow(Top);
  }
  // The control's window, asked of the control the host holds.
  HWND ControlWindow(const AtlHost& atl) const {
    IUnknown* control = nullptr;
    if (FAILED(atl.GetControl(Host, &control)) || !control) return nullptr;
    IOleWindow* window = nullptr;
    HWND hwnd = nullptr;
    if (SUCCEEDED(control->QueryInterface(IID_IOleWindow, reinterpret_cast<void**>(&window)))) {
      window->GetWindow(&hwnd);
      window->Release();
    }
    control->Release();
    return hwnd;
  }
};

// `window`'s rectangle in its parent's client coordinates.
RECT PlacedRect(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  MapWindowPoints(HWND_DESKTOP, GetParent(window), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

std::string Text(HWND window) {
  char text[256] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

std::vector<HWND> Descendants(HWND parent, const char* kind) {
  struct Search {
    const char* Kind;
    std::vector<HWND> Found;
  } search{kind, {}};
  EnumChildWindows(
      parent,
      [](HWND child, LPARAM l) CALLBACK -> BOOL {
        auto* s = reinterpret_cast<Search*>(l);
        char name[64] = {};
        GetClassNameA(child, name, sizeof name);
        if (lstrcmpiA(name, s->Kind) == 0) s->Found.push_back(child);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.Found;
}

struct Node {
  std::string Text;
  int Image;
};
Node NodeOf(HWND tree, HTREEITEM item) {
  char text[260] = {};
  TVITEMA data{};
  data.mask = TVIF_TEXT | TVIF_IMAGE;
  data.hItem = item;
  data.pszText = text;
  data.cchTextMax = sizeof text;
  TreeView_GetItem(tree, &data);
  return {text, data.iImage};
}

HTREEITEM ChildNamed(HWND tree, HTREEITEM parent, const std::string& text) {
  for (HTREEITEM c = parent ? TreeView_GetChild(tree, parent) : TreeView_GetRoot(tree); c;
       c = TreeView_GetNextSibling(tree, c))
    if (NodeOf(tree, c).Text == text) return c;
  return nullptr;
}

// The first node named `text` at or after `from` (its siblings) and below them, depth first.
HTREEITEM FindNode(HWND tree, HTREEITEM from, const std::string& text) {
  for (HTREEITEM n = from; n; n = TreeView_GetNextSibling(tree, n)) {
    if (NodeOf(tree, n).Text == text) return n;
    if (HTREEITEM below = FindNode(tree, TreeView_GetChild(tree, n), text)) return below;
  }
  return nullptr;
}

// A list view row whose column 1 is `name`, with the row's image; -1 when none.
struct Row {
  int Index = -1;
  int Image = -1;
};
Row RowNamed(HWND list, const std::string& name) {
  for (int row = 0; row < ListView_GetItemCount(list); ++row) {
    char text[260] = {};
    ListView_GetItemText(list, row, 1, text, sizeof text);
    if (name == text) {
      LVITEMA item{};
      item.mask = LVIF_IMAGE;
      item.iItem = row;
      ListView_GetItem(list, &item);
      return {row, item.iImage};
    }
  }
  return {};
}

TEST(AtlContainer, EmbedsByProgIdFollowsTheHostAndGoesWithIt) {
  Library library;
  ASSERT_TRUE(library.Loaded());
  ASSERT_EQ(library.Register(), S_OK);
  AtlHost atl;
  ASSERT_TRUE(atl.Init && atl.GetControl) << "atl.dll with its control host";
  ASSERT_TRUE(atl.Init());

  HWND form = nullptr;
  {
    Container container("VANTProj1.VANT1", 400, 300);
    ASSERT_NE(container.Host, nullptr);
    form = container.ControlWindow(atl);
    ASSERT_NE(form, nullptr) << "the host made the control and activated it in place";
    EXPECT_EQ(Text(form), "VANT NTFS v 1.0");
    EXPECT_EQ(GetParent(form), container.Host);
    EXPECT_TRUE(GetWindowLongPtrA(form, GWL_STYLE) & WS_CHILD);
    EXPECT_TRUE(IsWindowVisible(form));
    RECT placed = PlacedRect(form);
    EXPECT_EQ(placed.left, 0);
    EXPECT_EQ(placed.top, 0);
    EXPECT_EQ(placed.right, 400);
    EXPECT_EQ(placed.bottom, 300);
    EXPECT_EQ(library.CanUnloadNow(), S_FALSE) << "a live control keeps the library";

    // The host's new size reaches the form.
    MoveWindow(container.Host, 30, 40, 520, 360, TRUE);
    placed = PlacedRect(form);
    EXPECT_EQ(placed.left, 0);
    EXPECT_EQ(placed.top, 0);
    EXPECT_EQ(placed.right, 520);
    EXPECT_EQ(placed.bottom, 360);
    EXPECT_EQ(container.ControlWindow(atl), form) << "still the same window";
  }
  // Destroying the host closed the control and let its last reference go.
  EXPECT_FALSE(IsWindow(form));
  EXPECT_EQ(FindWindowA("DAXParkingWindow", nullptr), nullptr);
  EXPECT_EQ(library.CanUnloadNow(), S_OK);
}

// The analysis of the test drive, as a user makes it in a program that
// embeds the control: the drive's node clicked in the tree, the question
// answered (its box's OK pressed), the deleted folder marked
// and listed.
TEST(AtlContainer, AnalysesTheDriveThroughTheEmbeddedControl) {
  const char letter = DriveFromEnvironment("VANT_WIN_DRIVE");
  ASSERT_NE(letter, 0) << "scripts/build-windows names the NTFS test drive in VANT_WIN_DRIVE";
  Library library;
  ASSERT_TRUE(library.Loaded());
  ASSERT_EQ(library.Register(), S_OK);
  AtlHost atl;
  ASSERT_TRUE(atl.Init && atl.Init());
  QuestionAnswerer answerer(IDOK);

  HWND form = nullptr;
  {
    Container container("VANTProj1.VANT1", 779, 499);
    form = container.ControlWindow(atl);
    ASSERT_NE(form, nullptr);
    const std::vector<HWND> trees = Descendants(form, WC_TREEVIEWA);
    ASSERT_EQ(trees.size(), 1u);
    const HWND tree = trees[0];
    const std::string driveText = std::string(1, letter) + ":\\ (NTFS)";
    const HTREEITEM drive = FindNode(tree, TreeView_GetRoot(tree), driveText);
    ASSERT_NE(drive, nullptr) << "no node " << driveText;
    EXPECT_EQ(TreeView_GetChild(tree, drive), nullptr) << "nothing below the drive before its analysis";

    // The click: the form asks, OK is pressed, the analysis runs to its end.
    TreeView_SelectItem(tree, drive);
    EXPECT_EQ(TreeView_GetSelection(tree), drive);
    ASSERT_NE(TreeView_GetChild(tree, drive), nullptr) << "the drive was analysed";
    HTREEITEM last = nullptr;
    for (HTREEITEM c = TreeView_GetChild(tree, drive); c; c = TreeView_GetNextSibling(tree, c)) last = c;
    EXPECT_EQ(NodeOf(tree, last).Text, "Elementos perdidos");
    EXPECT_NE(ChildNamed(tree, drive, "$Extend"), nullptr);

    // The deleted folder, marked deleted; its deleted file listed as deleted.
    HTREEITEM gone = ChildNamed(tree, drive, "Borrada");
    ASSERT_NE(gone, nullptr) << "the drive is the fixture volume with deleted files";
    EXPECT_EQ(NodeOf(tree, gone).Image, 2);
    TreeView_SelectItem(tree, gone);
    Row uno;
    for (HWND list : Descendants(form, WC_LISTVIEWA))
      if (uno.Index < 0) uno = RowNamed(list, "uno.txt");
    ASSERT_GE(uno.Index, 0) << "Borrada's files are listed";
    EXPECT_EQ(uno.Image, 2);
  }
  EXPECT_FALSE(IsWindow(form));
  EXPECT_EQ(library.CanUnloadNow(), S_OK);
}

}  // namespace
}  // namespace vant::testing
