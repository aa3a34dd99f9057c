// The control's scripting surface as a C++ host uses it: properties through
// the vtable and through IDispatch, the put sequence with property sinks,
// the event connection point and the events raised by the form's window.
#include <algorithm>
#include <string>

#include "tests/host/host_test_support.h"

namespace vant::testing {
namespace {

[[maybe_unused]] auto* const kOle = ::testing::AddGlobalTestEnvironment(new OleEnvironment);

struct Control {
  Library library;
  IVANT* Vant = nullptr;
  Control() {
    EXPECT_TRUE(library.Loaded());
    EXPECT_EQ(library.Register(), S_OK);
    Vant = library.Create();
  }
  ~Control() {
    if (Vant) Vant->Release();
  }
  template <class I>
  I* Query(REFIID iid) {
    I* out = nullptr;
    Vant->QueryInterface(iid, reinterpret_cast<void**>(&out));
    return out;
  }
  IConnectionPoint* Point(REFIID iid) {
    auto* container = Query<IConnectionPointContainer>(IID_IConnectionPointContainer);
    IConnectionPoint* point = nullptr;
    if (container) {
      container->FindConnectionPoint(iid, &point);
      container->Release();
    }
    return point;
  }
  std::string Caption() {
    BSTR text = nullptr;
    if (FAILED(Vant->get_Caption(&text))) return "<failed>";
    std::string out;
    for (UINT i = 0; i < SysStringLen(text); ++i) out += static_cast<char>(text[i] < 256 ? text[i] : '?');
    SysFreeString(text);
    return out;
  }
  HRESULT SetCaption(const wchar_t* text) {
    BSTR b = SysAllocString(text);
    const HRESULT hr = Vant->put_Caption(b);
    SysFreeString(b);
    return hr;
  }
};

// The form's single-line edit (the search word field) among its children.
HWND SearchField(HWND form) {
  HWND found = nullptr;
  EnumChildWindows(
      form,
      [](HWND child, LPARAM result) CALLBACK -> BOOL {
        char kind[16] = {};
        GetClassNameA(child, kind, sizeof kind);
        if (lstrcmpiA(kind, "Edit") == 0 && !(GetWindowLongPtrA(child, GWL_STYLE) & ES_MULTILINE)) {
          *reinterpret_cast<HWND*>(result) = child;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

std::string WindowText(HWND window) {
  char text[256] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

TEST(Automation, PropertiesThroughVtableAndDispatch) {
  Control c;
  ASSERT_NE(c.Vant, nullptr);
  EXPECT_EQ(c.Caption(), "VANT NTFS v 1.0");
  ASSERT_EQ(c.SetCaption(L"Recuperaci\u00f3n"), S_OK);
  EXPECT_EQ(c.Caption(), "Recuperaci\xf3n");
  HWND form = ParkedForm();
  ASSERT_NE(form, nullptr) << "the form waits hidden in the parking window";
  EXPECT_EQ(WindowText(form), "Recuperaci\xf3n");

  VARIANT_BOOL flag = 7;
  ASSERT_EQ(c.Vant->get_Visible(&flag), S_OK);
  EXPECT_EQ(flag, 0);
  EXPECT_FALSE(IsWindowVisible(form));
  ASSERT_EQ(c.Vant->put_Visible(VARIANT_TRUE), S_OK);
  ASSERT_EQ(c.Vant->get_Visible(&flag), S_OK);
  EXPECT_EQ(flag, 1) << "true is 1, not -1";
  ASSERT_EQ(c.Vant->put_Enabled(0), S_OK);
  EXPECT_FALSE(IsWindowEnabled(form));
  ASSERT_EQ(c.Vant->get_Enabled(&flag), S_OK);
  EXPECT_EQ(flag, 0);
  ASSERT_EQ(c.Vant->put_Enabled(42), S_OK) << "any non-zero value is true";
  ASSERT_EQ(c.Vant->get_Enabled(&flag), S_OK);
  EXPECT_EQ(flag, 1);

  OLE_COLOR colour = 0;
  ASSERT_EQ(c.Vant->put_Color(0x00336699), S_OK);
  ASSERT_EQ(c.Vant->get_Color(&colour), S_OK);
  EXPECT_EQ(colour, 0x00336699u);

  LONG width = -1;
  ASSERT_EQ(c.Vant->put_BorderWidth(3), S_OK);
  ASSERT_EQ(c.Vant->get_BorderWidth(&width), S_OK);
  EXPECT_EQ(width, 3);
  TxActiveFormBorderStyle border{};
  ASSERT_EQ(c.Vant->put_AxBorderStyle(afbSunken), S_OK);
  ASSERT_EQ(c.Vant->get_AxBorderStyle(&border), S_OK);
  EXPECT_EQ(border, afbSunken);
  TxPrintScale scale{};
  ASSERT_EQ(c.Vant->get_PrintScale(&scale), S_OK);
  EXPECT_EQ(scale, poProportional);
  LONG ppi = 0, docked = -1;
  ASSERT_EQ(c.Vant->get_PixelsPerInch(&ppi), S_OK);
  EXPECT_EQ(ppi, 96);
  ASSERT_EQ(c.Vant->get_VisibleDockClientCount(&docked), S_OK);
  EXPECT_EQ(docked, 0);
  BSTR help = SysAllocString(L"C:\\ayuda.hlp");
  ASSERT_EQ(c.Vant->put_HelpFile(help), S_OK);
  SysFreeString(help);
  help = nullptr;
  ASSERT_EQ(c.Vant->get_HelpFile(&help), S_OK);
  EXPECT_STREQ(help, L"C:\\ayuda.hlp");
  SysFreeString(help);
  EXPECT_EQ(c.Vant->AboutBox(), S_OK);
  EXPECT_EQ(c.Vant->get_Caption(nullptr), E_POINTER);

  // A value the form refuses: the COM error object tells why, nothing changes.
  SetErrorInfo(0, nullptr);
  EXPECT_EQ(c.Vant->put_AxBorderStyle(static_cast<TxActiveFormBorderStyle>(9)), DISP_E_EXCEPTION);
  IErrorInfo* error = nullptr;
  ASSERT_EQ(GetErrorInfo(0, &error), S_OK);
  BSTR source = nullptr;
  error->GetSource(&source);
  EXPECT_STREQ(source, L"VANTProj1.VANT1");
  SysFreeString(source);
  error->Release();
  ASSERT_EQ(c.Vant->get_AxBorderStyle(&border), S_OK);
  EXPECT_EQ(border, afbSunken);
  auto* support = c.Query<ISupportErrorInfo>(IID_ISupportErrorInfo);
  ASSERT_NE(support, nullptr);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IVANT), S_OK);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IOleCache), S_FALSE);
  support->Release();

  // Late-bound, as scripts reach it: names, puts and gets through the type library.
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"Caption"), const_cast<LPOLESTR>(L"Nonsense")};
  DISPID ids[2] = {};
  ASSERT_EQ(c.Vant->GetIDsOfNames(IID_NULL, names, 1, 0x409, ids), S_OK);
  EXPECT_EQ(ids[0], DISPID_CAPTION);
  EXPECT_EQ(c.Vant->GetIDsOfNames(IID_NULL, names + 1, 1, 0x409, ids + 1), DISP_E_UNKNOWNNAME);
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_BSTR;
  value.bstrVal = SysAllocString(L"Por Invoke");
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS put{&value, &named, 1, 1};
  ASSERT_EQ(c.Vant->Invoke(DISPID_CAPTION, IID_NULL, 0x409, DISPATCH_PROPERTYPUT, &put, nullptr, nullptr, nullptr),
            S_OK);
  VariantClear(&value);
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  ASSERT_EQ(c.Vant->Invoke(DISPID_CAPTION, IID_NULL, 0x409, DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr),
            S_OK);
  ASSERT_EQ(value.vt, VT_BSTR);
  EXPECT_STREQ(value.bstrVal, L"Por Invoke");
  VariantClear(&value);
  ASSERT_EQ(c.Vant->Invoke(1, IID_NULL, 0x409, DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr), S_OK);
  ASSERT_EQ(value.vt, VT_BOOL);
  EXPECT_EQ(value.boolVal, 1);

  // The font object follows the form's font, and changes made through it reach the form.
  IFontDisp* fontDisp = nullptr;
  ASSERT_EQ(c.Vant->get_Font(&fontDisp), S_OK);
  IFont* font = nullptr;
  ASSERT_EQ(fontDisp->QueryInterface(IID_IFont, reinterpret_cast<void**>(&font)), S_OK);
  ASSERT_EQ(font->put_Bold(TRUE), S_OK);
  IFontDisp* again = nullptr;
  ASSERT_EQ(c.Vant->get_Font(&again), S_OK);
  IFont* seen = nullptr;
  ASSERT_EQ(again->QueryInterface(IID_IFont, reinterpret_cast<void**>(&seen)), S_OK);
  BOOL bold = FALSE;
  seen->get_Bold(&bold);
  EXPECT_TRUE(bold);
  // A font of the host's own, copied in by a put.
  FONTDESC desc{sizeof(FONTDESC), const_cast<LPOLESTR>(L"Arial"), {}, FW_NORMAL, ANSI_CHARSET, TRUE, FALSE, FALSE};
  desc.cySize.int64 = 12 * 10000;
  IFontDisp* hostFont = nullptr;
  ASSERT_EQ(OleCreateFontIndirect(&desc, IID_IFontDisp, reinterpret_cast<void**>(&hostFont)), S_OK);
  ASSERT_EQ(c.Vant->put_Font(hostFont), S_OK);
  EXPECT_EQ(c.Vant->put_Font(nullptr), E_POINTER);
  // (The system may report the face it realised for Arial: compare with the host's own.)
  BSTR name = nullptr, hostName = nullptr;
  seen->get_Name(&name);
  IFont* hostIFont = nullptr;
  ASSERT_EQ(hostFont->QueryInterface(IID_IFont, reinterpret_cast<void**>(&hostIFont)), S_OK);
  hostIFont->get_Name(&hostName);
  hostIFont->Release();
  EXPECT_STREQ(name, hostName);
  SysFreeString(name);
  SysFreeString(hostName);
  BOOL italic = FALSE;
  seen->get_Italic(&italic);
  EXPECT_TRUE(italic);
  hostFont->Release();
  seen->Release();
  again->Release();
  font->Release();
  fontDisp->Release();
}

TEST(Automation, PropertySinksSeeEditsAndMayVeto) {
  Control c;
  IConnectionPoint* point = c.Point(IID_IPropertyNotifySink);
  ASSERT_NE(point, nullptr);
  PropertySink sinks[7];
  DWORD cookies[7] = {};
  for (int i = 0; i < 7; ++i) ASSERT_EQ(point->Advise(&sinks[i], &cookies[i]), S_OK) << "no limit on property sinks";
  ASSERT_EQ(c.SetCaption(L"uno"), S_OK);
  for (auto& sink : sinks) {
    EXPECT_EQ(sink.Requests, std::vector<DISPID>{DISPID_CAPTION});
    EXPECT_EQ(sink.Changes, std::vector<DISPID>{DISPID_CAPTION});
  }
  sinks[3].Veto = true;
  EXPECT_EQ(c.SetCaption(L"dos"), S_FALSE);
  EXPECT_EQ(c.Caption(), "uno") << "a veto changes nothing";
  EXPECT_EQ(sinks[0].Changes.size(), 1u) << "and nobody hears of a change";
  EXPECT_EQ(sinks[4].Requests.size(), 1u) << "sinks after the veto are not asked";
  for (int i = 0; i < 7; ++i) EXPECT_EQ(point->Unadvise(cookies[i]), S_OK);
  EXPECT_EQ(point->Unadvise(cookies[0]), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(point->Unadvise(0), CONNECT_E_NOCONNECTION);
  for (auto& sink : sinks) EXPECT_EQ(sink.Refs, 0u) << "every sink released";
  EXPECT_EQ(point->Advise(nullptr, &cookies[0]), E_POINTER);
  EXPECT_EQ(point->Advise(&sinks[0], nullptr), E_POINTER);
  EventSink wrongKind;
  EXPECT_EQ(point->Advise(&wrongKind, &cookies[0]), CONNECT_E_CANNOTCONNECT);
  point->Release();
}

TEST(Automation, EventSinksSlotsAndFiring) {
  Control c;
  IConnectionPoint* point = c.Point(DIID_IVANTEvents);
  ASSERT_NE(point, nullptr);
  IID iid{};
  point->GetConnectionInterface(&iid);
  EXPECT_EQ(iid, DIID_IVANTEvents);
  EventSink sinks[6];
  DWORD cookies[6] = {};
  for (int i = 0; i < 5; ++i) {
    ASSERT_EQ(point->Advise(&sinks[i], &cookies[i]), S_OK);
    EXPECT_EQ(cookies[i], static_cast<DWORD>(i + 1));
  }
  EXPECT_EQ(point->Advise(&sinks[5], &cookies[5]), CONNECT_E_ADVISELIMIT);
  EXPECT_EQ(sinks[5].Refs, 0u) << "a refused sink is not kept";
  ASSERT_EQ(point->Unadvise(cookies[2]), S_OK);
  ASSERT_EQ(point->Advise(&sinks[5], &cookies[5]), S_OK);
  EXPECT_EQ(cookies[5], 3u) << "the freed slot is taken";

  IEnumConnections* connections = nullptr;
  ASSERT_EQ(point->EnumConnections(&connections), S_OK);
  CONNECTDATA data[8];
  ULONG fetched = 0;
  EXPECT_EQ(connections->Next(8, data, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 5u);
  for (ULONG i = 0; i < fetched; ++i) data[i].pUnk->Release();
  connections->Release();

  // A click on the form's own area reaches every sink, even past a failing one.
  sinks[0].Answer = E_FAIL;
  HWND form = ParkedForm();
  ASSERT_NE(form, nullptr);
  RECT client;
  GetClientRect(form, &client);
  const LPARAM corner = MAKELPARAM(client.right - 4, client.bottom - 4);
  SendMessageA(form, WM_LBUTTONDOWN, MK_LBUTTON, corner);
  SendMessageA(form, WM_LBUTTONUP, 0, corner);
  for (int i : {0, 1, 3, 4, 5}) {
    EXPECT_EQ(std::count(sinks[i].Events.begin(), sinks[i].Events.end(), 2), 1) << "OnClick, sink " << i;
  }
  EXPECT_TRUE(sinks[2].Events.empty()) << "a disconnected sink hears nothing";

  // OnKeyPress: with KeyPreview the form sees the key first; what the sinks
  // leave (its low byte) is what the focused control gets.
  ASSERT_EQ(c.Vant->put_KeyPreview(VARIANT_TRUE), S_OK);
  HWND field = SearchField(form);
  ASSERT_NE(field, nullptr);
  SetWindowTextA(field, "");
  sinks[1].ReplaceKeyWith = 65;
  SendMessageA(field, WM_CHAR, 'a', 0);
  EXPECT_EQ(WindowText(field), "A");
  sinks[1].ReplaceKeyWith = 321;  // 0x141: the high byte is dropped
  SendMessageA(field, WM_CHAR, 'b', 0);
  EXPECT_EQ(WindowText(field), "AA");
  sinks[1].ReplaceKeyWith = 0;
  SendMessageA(field, WM_CHAR, 0xF1, 0);  // an n with tilde, above 127
  ASSERT_FALSE(sinks[0].KeysSeen.empty());
  EXPECT_EQ(sinks[0].KeysSeen.back(), static_cast<SHORT>(-15)) << "sign-extended";
  EXPECT_EQ(sinks[0].KeysSeen.front(), 'a');

  for (int i : {0, 1, 3, 4, 5}) EXPECT_EQ(point->Unadvise(cookies[i]), S_OK);
  point->Release();
}

TEST(Automation, AtlAdviseConnectsAndLastReleaseLeavesNoWindow) {
  HMODULE atl = LoadLibraryA("atl.dll");
  ASSERT_NE(atl, nullptr);
  using Advise = HRESULT(WINAPI*)(IUnknown*, IUnknown*, const IID*, DWORD*);
  using Unadvise = HRESULT(WINAPI*)(IUnknown*, const IID*, DWORD);
  auto atlAdvise = reinterpret_cast<Advise>(reinterpret_cast<void (*)()>(GetProcAddress(atl, "AtlAdvise")));
  auto atlUnadvise = reinterpret_cast<Unadvise>(reinterpret_cast<void (*)()>(GetProcAddress(atl, "AtlUnadvise")));
  ASSERT_TRUE(atlAdvise && atlUnadvise);

  Library library;
  ASSERT_TRUE(library.Loaded());
  IVANT* control = library.Create();
  ASSERT_NE(control, nullptr);
  HWND form = ParkedForm();
  ASSERT_NE(form, nullptr);
  EventSink sink;
  DWORD cookie = 0;
  ASSERT_EQ(atlAdvise(control, &sink, &DIID_IVANTEvents, &cookie), S_OK);
  SendMessageA(form, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
  SendMessageA(form, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
  SendMessageA(form, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(2, 2));
  EXPECT_EQ(sink.Events, (std::vector<DISPID>{2, 5})) << "OnClick, then OnDblClick";
  ASSERT_EQ(atlUnadvise(control, &DIID_IVANTEvents, cookie), S_OK);

  // A sink still connected at the end is released, and hears no OnDestroy.
  ASSERT_EQ(atlAdvise(control, &sink, &DIID_IVANTEvents, &cookie), S_OK);
  sink.Events.clear();
  EXPECT_EQ(control->Release(), 0u);
  EXPECT_EQ(sink.Refs, 0u);
  EXPECT_TRUE(sink.Events.empty());
  EXPECT_FALSE(IsWindow(form)) << "the form's window is gone";
  EXPECT_EQ(FindWindowA("DAXParkingWindow", nullptr), nullptr) << "and the parking window with the last control";
  EXPECT_EQ(library.CanUnloadNow(), S_OK);
}

TEST(Automation, ClassInformation) {
  Control c;
  auto* info = c.Query<IProvideClassInfo2>(IID_IProvideClassInfo2);
  ASSERT_NE(info, nullptr);
  GUID guid{};
  ASSERT_EQ(info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &guid), S_OK);
  EXPECT_EQ(guid, DIID_IVANTEvents);
  EXPECT_EQ(info->GetGUID(7, &guid), E_FAIL);
  EXPECT_EQ(guid, GUID_NULL);
  EXPECT_EQ(info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, nullptr), E_POINTER);
  ITypeInfo* coclass = nullptr;
  ASSERT_EQ(info->GetClassInfo(&coclass), S_OK);
  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(coclass->GetTypeAttr(&attributes), S_OK);
  EXPECT_EQ(attributes->guid, CLSID_VANT1);
  EXPECT_EQ(attributes->typekind, TKIND_COCLASS);
  EXPECT_EQ(attributes->cImplTypes, 2);
  coclass->ReleaseTypeAttr(attributes);
  BSTR doc = nullptr;
  coclass->GetDocumentation(MEMBERID_NIL, nullptr, &doc, nullptr, nullptr);
  EXPECT_STREQ(doc, L"VANT v 4.0.15");
  SysFreeString(doc);
  coclass->Release();
  EXPECT_EQ(info->GetClassInfo(nullptr), E_POINTER);
  info->Release();
  // Nothing else is answered.
  IUnknown* other = reinterpret_cast<IUnknown*>(1);
  const IID kObjectSafety = {0xCB5BDC81, 0x93C1, 0x11CF, {0x8F, 0x20, 0x00, 0x80, 0x5F, 0x2C, 0xD0, 0x64}};
  EXPECT_EQ(c.Vant->QueryInterface(kObjectSafety, reinterpret_cast<void**>(&other)), E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(c.Vant->QueryInterface(IID_IPersistPropertyBag, reinterpret_cast<void**>(&other)), E_NOINTERFACE);
}

// Runs in a process of its own under CTest: the type information, once
// loaded, is kept for the process.
TEST(Automation, WithoutRegisteredTypeLibraryOnlyLateBindingFails) {
  Library library;
  ASSERT_TRUE(library.Loaded());
  ASSERT_EQ(library.Register(), S_OK);
  // This bitness's registration, and the other's too: with only that one
  // left, the type library would still be found (the 32-bit and 64-bit
  // builds share one prefix).
  const bool wide = sizeof(void*) == 8;
  ASSERT_EQ(UnRegisterTypeLib(LIBID_VANTProj1, 1, 0, 0x409, wide ? SYS_WIN64 : SYS_WIN32), S_OK);
  UnRegisterTypeLib(LIBID_VANTProj1, 1, 0, 0x409, wide ? SYS_WIN32 : SYS_WIN64);
  IVANT* control = library.Create();
  ASSERT_NE(control, nullptr);
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"Caption")};
  DISPID id = 0;
  EXPECT_TRUE(FAILED(control->GetIDsOfNames(IID_NULL, names, 1, 0x409, &id)));
  BSTR text = nullptr;
  EXPECT_EQ(control->get_Caption(&text), S_OK) << "the vtable still works";
  EXPECT_STREQ(text, L"VANT NTFS v 1.0");
  SysFreeString(text);
  EXPECT_EQ(control->Release(), 0u);
  EXPECT_EQ(library.Register(), S_OK);
}

}  // namespace
}  // namespace vant::testing
