// The control as hostile but ordinary hosts treat it: let go while its own
// code runs (a scan, a question, a listing, an event), outlived by what it
// handed out, made on two threads, and made and dropped a thousand times.
#include <cstdio>
#include <utility>

#include "tests/host/recording_container.h"
#include "tests/win32/win32_test_support.h"

#include <psapi.h>

namespace vant::testing {
namespace {

[[maybe_unused]] auto* const kOle = ::testing::AddGlobalTestEnvironment(new OleEnvironment);

// A control made through the class object, sited and active in place in a
// recording container; Release lets it go as ATL's host does.
struct Hosted {
  Library library;
  RecordingContainer container;
  IOleObject* Object = nullptr;
  HWND Form = nullptr;
  Hosted() {
    EXPECT_TRUE(library.Loaded());
    IVANT* vant = library.Create();
    if (!vant) return;
    Object = Query<IOleObject>(vant, IID_IOleObject);
    vant->Release();
    Object->SetClientSite(&container);
    RECT position = container.Position;
    Object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &container, 0, container.Window, &position);
    if (auto* window = Query<IOleWindow>(Object, IID_IOleWindow)) {
      window->GetWindow(&Form);
      window->Release();
    }
  }
  void Release() {
    if (!Object) return;
    Object->Close(OLECLOSE_NOSAVE);
    Object->SetClientSite(nullptr);
    std::exchange(Object, nullptr)->Release();
  }
  ~Hosted() {
    Release();
    PumpMessages();
  }
};

HWND FirstOfClass(HWND parent, const char* kind) {
  struct Search {
    const char* Kind;
    HWND Found;
  } search{kind, nullptr};
  EnumChildWindows(
      parent,
      [](HWND child, LPARAM l) CALLBACK -> BOOL {
        auto* s = reinterpret_cast<Search*>(l);
        char name[64] = {};
        GetClassNameA(child, name, sizeof name);
        if (lstrcmpiA(name, s->Kind) != 0) return TRUE;
        s->Found = child;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.Found;
}

// Rows of every list view of the form (the folder list and the search list).
int Rows(HWND form) {
  int rows = 0;
  EnumChildWindows(
      form,
      [](HWND child, LPARAM l) CALLBACK -> BOOL {
        char name[64] = {};
        GetClassNameA(child, name, sizeof name);
        if (lstrcmpiA(name, WC_LISTVIEWA) == 0) *reinterpret_cast<int*>(l) += ListView_GetItemCount(child);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&rows));
  return rows;
}

std::string NodeText(HWND tree, HTREEITEM item) {
  char text[260] = {};
  TVITEMA data{};
  data.mask = TVIF_TEXT;
  data.hItem = item;
  data.pszText = text;
  data.cchTextMax = sizeof text;
  TreeView_GetItem(tree, &data);
  return text;
}

HTREEITEM FindNode(HWND tree, HTREEITEM from, const std::string& text) {
  for (HTREEITEM n = from; n; n = TreeView_GetNextSibling(tree, n)) {
    if (NodeText(tree, n) == text) return n;
    if (HTREEITEM below = FindNode(tree, TreeView_GetChild(tree, n), text)) return below;
  }
  return nullptr;
}

// Let go while a handler of the form runs: the work stops, the control is
// destroyed only once the handler has unwound, and nothing of it is left.
TEST(Lifetime, ReleasedWhileTheFormWorks) {
  const char letter = DriveFromEnvironment("VANT_WIN_DRIVE");
  ASSERT_NE(letter, 0) << "scripts/build-windows names the NTFS test drive in VANT_WIN_DRIVE";
  const std::string driveText = std::string(1, letter) + ":\\ (NTFS)";
  struct Case {
    const char* When;
    bool AnalyseFirst;
    // Releases the control while the selection of the drive node is handled.
    void (*Select)(Hosted&, HWND tree, HTREEITEM drive);
    // -1: the drive's analysis was cancelled (nothing below it); else the
    // rows left, kWholeRoot for all of the root's.
    int RowsLeft;
  };
  constexpr int kWholeRoot = -2;
  const Case cases[] = {
      {"the question box", false,
       [](Hosted& h, HWND tree, HTREEITEM drive) {
         QuestionAnswerer answer(IDOK, [&] { h.Release(); });
         TreeView_SelectItem(tree, drive);
       },
       -1},
      {"the scan's pump", false,
       [](Hosted& h, HWND tree, HTREEITEM drive) {
         QuestionAnswerer answer(IDOK, [&] { RunAtNextPump([&] { h.Release(); }); });
         TreeView_SelectItem(tree, drive);
       },
       -1},
      {"a long listing", true,
       [](Hosted& h, HWND tree, HTREEITEM drive) {
         RunAtNextPump([&] { h.Release(); });
         TreeView_SelectItem(tree, drive);
       },
       kWholeRoot},  // a folder this small is in before the form first processes messages
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.When);
    Hosted h;
    ASSERT_NE(h.Form, nullptr);
    const HWND tree = FirstOfClass(h.Form, WC_TREEVIEWA);
    const HTREEITEM drive = FindNode(tree, TreeView_GetRoot(tree), driveText);
    ASSERT_NE(drive, nullptr);
    int rootRows = 0;
    if (c.AnalyseFirst) {
      QuestionAnswerer answer(IDOK);
      TreeView_SelectItem(tree, drive);
      ASSERT_NE(TreeView_GetChild(tree, drive), nullptr) << "analysed";
      rootRows = Rows(h.Form);
      ASSERT_GT(rootRows, 1) << "the root folder lists several files";
      TreeView_SelectItem(tree, TreeView_GetParent(tree, drive));  // "Mi PC": lists nothing
    }
    c.Select(h, tree, drive);
    ASSERT_EQ(h.Object, nullptr) << "released while the form worked";
    if (c.RowsLeft == -1) EXPECT_EQ(TreeView_GetChild(tree, drive), nullptr) << "the analysis was cancelled";
    else EXPECT_EQ(Rows(h.Form), c.RowsLeft == kWholeRoot ? rootRows : c.RowsLeft) << "the listing stopped";
    EXPECT_FALSE(IsWindowVisible(h.Form));
    EXPECT_EQ(h.library.CanUnloadNow(), S_FALSE) << "destroyed only after the handler has unwound";
    PumpMessages();
    EXPECT_EQ(h.library.CanUnloadNow(), S_OK);
    EXPECT_FALSE(IsWindow(h.Form));
    EXPECT_EQ(FindWindowA("DAXParkingWindow", nullptr), nullptr);
  }
}

// A sink that closes and releases the control from inside an event.
TEST(Lifetime, SinkReleasesTheControlFromAnEvent) {
  struct Case {
    DISPID Event;
    void (*Raise)(HWND form);
  };
  const Case cases[] = {
      {1, [](HWND form) { SetFocus(form); }},  // OnActivate
      {2,
       [](HWND form) {  // OnClick
         SendMessageA(form, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
         SendMessageA(form, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
       }},
      {11, [](HWND form) { SendMessageA(form, WM_CHAR, 'a', 0); }},  // OnKeyPress
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Event);
    Hosted h;
    ASSERT_NE(h.Form, nullptr);
    SetFocus(h.container.Window);
    EventSink sink;
    bool keptThroughItsEvent = false;
    sink.OnEvent = [&](DISPID id) {
      if (id != c.Event || !h.Object) return;
      h.Release();
      keptThroughItsEvent = h.library.CanUnloadNow() == S_FALSE;
    };
    auto* points = Query<IConnectionPointContainer>(h.Object, IID_IConnectionPointContainer);
    IConnectionPoint* point = nullptr;
    ASSERT_EQ(points->FindConnectionPoint(DIID_IVANTEvents, &point), S_OK);
    points->Release();
    DWORD cookie = 0;
    ASSERT_EQ(point->Advise(&sink, &cookie), S_OK);
    point->Release();
    c.Raise(h.Form);
    ASSERT_EQ(h.Object, nullptr) << "the event reached the sink";
    EXPECT_TRUE(keptThroughItsEvent) << "not destroyed while its own event runs";
    EXPECT_EQ(sink.Refs, 0u) << "the control let its sinks go";
    PumpMessages();
    EXPECT_EQ(h.library.CanUnloadNow(), S_OK);
    EXPECT_FALSE(IsWindow(h.Form));
  }
}

// What the library hands out keeps it loaded, and LockServer cannot be
// unbalanced by a FALSE without a TRUE.
TEST(Lifetime, HandedOutObjectsAndServerLocksKeepTheLibrary) {
  Library library;
  ASSERT_TRUE(library.Loaded());
  IVANT* vant = library.Create();
  ASSERT_NE(vant, nullptr);
  auto* points = Query<IConnectionPointContainer>(vant, IID_IConnectionPointContainer);
  IConnectionPoint* point = nullptr;
  ASSERT_EQ(points->FindConnectionPoint(IID_IPropertyNotifySink, &point), S_OK);
  IEnumConnections* connections = nullptr;
  ASSERT_EQ(point->EnumConnections(&connections), S_OK);
  point->Release();
  points->Release();
  vant->Release();
  EXPECT_EQ(library.CanUnloadNow(), S_FALSE) << "an enumerator outlives the control";
  connections->Release();
  EXPECT_EQ(library.CanUnloadNow(), S_OK);

  IClassFactory* factory = nullptr;
  ASSERT_EQ(library.GetClassObject(CLSID_VANT1, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  EXPECT_EQ(library.CanUnloadNow(), S_FALSE) << "the lock is held";
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  EXPECT_EQ(library.CanUnloadNow(), S_OK);
  factory->Release();
}

// Two apartments, each with its own control: one thread holds its control
// and stops pumping; the other still makes, activates and destroys its own.
TEST(Lifetime, TwoApartmentsNeverWaitOnEachOther) {
  struct Shared {
    HANDLE Made = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE Stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD ParkingThread[2] = {};
    bool Done = false;
  } shared;
  auto holder = [](void* p) WINAPI -> DWORD {
    auto* s = static_cast<Shared*>(p);
    OleInitialize(nullptr);
    {
      Library library;
      IVANT* vant = library.Create();
      HWND parked = ParkedForm();
      s->ParkingThread[0] = parked ? GetWindowThreadProcessId(GetParent(parked), nullptr) : 0;
      SetEvent(s->Made);
      WaitForSingleObject(s->Stop, INFINITE);  // holds its control, pumps nothing
      if (vant) vant->Release();
    }
    OleUninitialize();
    return 0;
  };
  auto other = [](void* p) WINAPI -> DWORD {
    auto* s = static_cast<Shared*>(p);
    OleInitialize(nullptr);
    {
      Hosted h;
      if (h.Object) h.Object->Close(OLECLOSE_NOSAVE);  // back to the parking window
      if (h.Form) s->ParkingThread[1] = GetWindowThreadProcessId(GetParent(h.Form), nullptr);
      h.Release();
      PumpMessages();
      s->Done = h.Form != nullptr && !IsWindow(h.Form);
    }
    OleUninitialize();
    return 0;
  };
  HANDLE first = CreateThread(nullptr, 0, holder, &shared, 0, nullptr);
  ASSERT_EQ(WaitForSingleObject(shared.Made, 20000), WAIT_OBJECT_0);
  HANDLE second = CreateThread(nullptr, 0, other, &shared, 0, nullptr);
  const DWORD waited = WaitForSingleObject(second, 20000);
  SetEvent(shared.Stop);
  WaitForSingleObject(first, 20000);
  EXPECT_EQ(waited, WAIT_OBJECT_0) << "the second thread's control waited on the first thread";
  EXPECT_TRUE(shared.Done);
  EXPECT_NE(shared.ParkingThread[0], 0u);
  EXPECT_NE(shared.ParkingThread[1], 0u);
  EXPECT_NE(shared.ParkingThread[0], shared.ParkingThread[1]) << "each thread parks its forms in a window of its own";
  CloseHandle(first);
  CloseHandle(second);
  CloseHandle(shared.Made);
  CloseHandle(shared.Stop);
}

// Open kernel handles, found by asking each possible value (Wine answers no
// handle count of its own).
DWORD OpenHandles() {
  DWORD count = 0, flags = 0;
  for (ULONG_PTR h = 4; h < 0x10000; h += 4)
    if (GetHandleInformation(reinterpret_cast<HANDLE>(h), &flags)) ++count;
  return count;
}

// Windows of this thread, top-level and below.
DWORD ThreadWindows() {
  DWORD count = 0;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND top, LPARAM l) CALLBACK -> BOOL {
        auto* n = reinterpret_cast<DWORD*>(l);
        ++*n;
        EnumChildWindows(top, [](HWND, LPARAM m) CALLBACK -> BOOL { return ++*reinterpret_cast<DWORD*>(m), TRUE; }, l);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&count));
  return count;
}

// The process's private bytes as the system counts them (Wine: its data
// segment), else its working set.
SIZE_T PrivateBytes() {
  PROCESS_MEMORY_COUNTERS_EX memory{};
  memory.cb = sizeof memory;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory))
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                         sizeof(PROCESS_MEMORY_COUNTERS));
  return memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage ? memory.PagefileUsage : memory.WorkingSetSize;
}

// A thousand controls made, activated and destroyed in one process: the
// process's handles, windows and private bytes stay level.
TEST(Lifetime, AThousandCyclesLeaveNothingBehind) {
  struct Level {
    DWORD Handles, Windows;
    SIZE_T Private;
  };
  auto measure = [] { return Level{OpenHandles(), ThreadWindows(), PrivateBytes()}; };
  auto print = [](const char* when, const Level& l) {
    std::printf("%s: %lu handles, %lu windows, %llu private bytes\n", when, static_cast<unsigned long>(l.Handles),
                static_cast<unsigned long>(l.Windows), static_cast<unsigned long long>(l.Private));
  };
  Level warm{};
  for (int cycle = 1; cycle <= 1000; ++cycle) {
    {
      Hosted h;
      ASSERT_NE(h.Form, nullptr) << "cycle " << cycle;
    }
    if (cycle == 100) print("after 100 cycles", warm = measure());
  }
  const Level end = measure();
  print("after 1000 cycles", end);
  ASSERT_GT(warm.Handles, 0u);
  ASSERT_GT(warm.Private, 0u);
  EXPECT_LE(end.Handles, warm.Handles + 10);
  EXPECT_LE(end.Windows, warm.Windows);
  EXPECT_LE(end.Private, warm.Private + 8 * 1024 * 1024) << "no more than a few kilobytes a cycle";
}

}  // namespace
}  // namespace vant::testing
