// The control embedded in a recording container of our own: the order of
// the container calls and the answers of the OLE interfaces at their edges.
#include <algorithm>
#include <cstddef>

#include "tests/host/recording_container.h"

namespace vant::testing {
namespace {

[[maybe_unused]] auto* const kOle = ::testing::AddGlobalTestEnvironment(new OleEnvironment);


struct Embedded {
  Library library;
  RecordingContainer container;
  IVANT* Vant = nullptr;
  IOleObject* Object = nullptr;
  Embedded() {
    EXPECT_TRUE(library.Loaded());
    EXPECT_EQ(library.Register(), S_OK);
    Vant = library.Create();
    if (Vant) Object = Query<IOleObject>(Vant, IID_IOleObject);
  }
  ~Embedded() {
    if (Object) Object->Release();
    if (Vant) Vant->Release();
  }
  HWND ControlWindow() {
    auto* window = Query<IOleInPlaceObject>(Vant, IID_IOleInPlaceObject);
    HWND hwnd = nullptr;
    window->GetWindow(&hwnd);
    window->Release();
    return hwnd;
  }
  HRESULT Verb(LONG verb) {
    RECT position = container.Position;
    return Object->DoVerb(verb, nullptr, &container, 0, container.Window, &position);
  }
};

TEST(Embedding, SiteAmbientsAndInPlaceActivationOrder) {
  Embedded e;
  ASSERT_NE(e.Object, nullptr);
  DWORD misc = 0;
  ASSERT_EQ(e.Object->GetMiscStatus(DVASPECT_CONTENT, &misc), S_OK);
  EXPECT_EQ(misc, 131473u) << "set client site first, among others";

  ASSERT_EQ(e.Object->SetClientSite(&e.container), S_OK);
  // The ambient colours and font are read at once.
  EXPECT_EQ(e.container.Log, (std::vector<std::string>{"Ambient(-701)", "Ambient(-704)", "Ambient(-703)"}));
  IOleClientSite* site = nullptr;
  ASSERT_EQ(e.Object->GetClientSite(&site), S_OK);
  EXPECT_EQ(site, static_cast<IOleClientSite*>(&e.container));
  site->Release();
  auto* control = Query<IOleControl>(e.Vant, IID_IOleControl);
  e.container.Log.clear();
  EXPECT_EQ(control->OnAmbientPropertyChange(DISPID_AMBIENT_BACKCOLOR), S_OK);
  EXPECT_EQ(e.container.Log, std::vector<std::string>{"Ambient(-701)"});
  e.container.Log.clear();
  EXPECT_EQ(control->OnAmbientPropertyChange(DISPID_AMBIENT_FONT), S_OK);
  EXPECT_EQ(e.container.Log, (std::vector<std::string>{"Ambient(-704)", "Ambient(-703)"}));
  EXPECT_EQ(control->OnAmbientPropertyChange(DISPID_AMBIENT_LOCALEID), S_OK) << "not one the control uses";
  EXPECT_EQ(control->GetControlInfo(nullptr), E_NOTIMPL);
  EXPECT_EQ(control->OnMnemonic(nullptr), E_NOTIMPL);
  control->Release();

  auto* inPlace = Query<IOleInPlaceObject>(e.Vant, IID_IOleInPlaceObject);
  HWND none = reinterpret_cast<HWND>(1);
  EXPECT_EQ(inPlace->GetWindow(&none), E_UNEXPECTED) << "no control window before activation";
  EXPECT_EQ(inPlace->GetWindow(nullptr), E_POINTER);

  // User mode: the primary verb activates in place, into the host's window.
  e.container.Log.clear();
  ASSERT_EQ(e.Verb(OLEIVERB_PRIMARY), S_OK);
  EXPECT_EQ(e.container.Log, (std::vector<std::string>{"Ambient(-709)", "CanInPlaceActivate", "OnInPlaceActivate",
                                                        "GetWindow", "GetWindowContext"}));
  HWND form = e.ControlWindow();
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(GetParent(form), e.container.Window);
  EXPECT_TRUE(IsWindowVisible(form));
  RECT placed;
  GetWindowRect(form, &placed);
  MapWindowPoints(nullptr, e.container.Window, reinterpret_cast<POINT*>(&placed), 2);
  EXPECT_EQ(placed.left, 10);
  EXPECT_EQ(placed.top, 20);
  EXPECT_EQ(placed.right - placed.left, 400);
  RECT moved{5, 6, 305, 206};
  ASSERT_EQ(inPlace->SetObjectRects(&moved, &moved), S_OK);
  GetWindowRect(form, &placed);
  EXPECT_EQ(placed.right - placed.left, 300);
  EXPECT_EQ(placed.bottom - placed.top, 200);
  EXPECT_EQ(inPlace->SetObjectRects(nullptr, nullptr), E_POINTER);

  // -4 UI-activates: the site hears it and the frame gets the active object.
  e.container.Log.clear();
  ASSERT_EQ(e.Verb(OLEIVERB_UIACTIVATE), S_OK);
  EXPECT_TRUE(e.container.Logged("OnUIActivate"));
  EXPECT_TRUE(e.container.Logged("SetActiveObject(control)"));
  EXPECT_NE(e.container.ActiveObject, nullptr);
  e.container.Log.clear();
  ASSERT_EQ(e.Verb(OLEIVERB_UIACTIVATE), S_OK);
  EXPECT_TRUE(e.container.Log.empty()) << "already UI active";

  // The control site translates accelerators, told of the modifiers.
  auto* active = Query<IOleInPlaceActiveObject>(e.Vant, IID_IOleInPlaceActiveObject);
  MSG key{form, WM_KEYDOWN, 'A', 0, 0, {0, 0}};
  EXPECT_EQ(active->TranslateAccelerator(&key), S_FALSE);
  EXPECT_EQ(e.container.LastModifiers, 0u);
  e.container.AcceleratorAnswer = S_OK;
  EXPECT_EQ(active->TranslateAccelerator(&key), S_OK);
  // Losing the document window leaves the UI-active state.
  e.container.Log.clear();
  EXPECT_EQ(active->OnDocWindowActivate(FALSE), S_OK);
  EXPECT_EQ(e.container.Log, (std::vector<std::string>{"SetActiveObject(null)", "OnUIDeactivate"}));
  active->Release();

  // -3 hides; -2 and -6 do nothing; 1 and -8 are not verbs of this control.
  ASSERT_EQ(e.Verb(OLEIVERB_HIDE), S_OK);
  EXPECT_FALSE(IsWindowVisible(form));
  e.container.Log.clear();
  EXPECT_EQ(e.Verb(OLEIVERB_OPEN), S_OK);
  EXPECT_EQ(e.Verb(OLEIVERB_DISCARDUNDOSTATE), S_OK);
  EXPECT_TRUE(e.container.Log.empty());
  EXPECT_EQ(e.Verb(1), E_NOTIMPL);
  EXPECT_EQ(e.Verb(-8), E_NOTIMPL);
  // -1 shows the control again.
  ASSERT_EQ(e.Verb(OLEIVERB_SHOW), S_OK);
  ASSERT_EQ(e.Verb(OLEIVERB_INPLACEACTIVATE), S_OK);

  // Close: the site hears the window is no longer shown, then the deactivation.
  e.container.Log.clear();
  ASSERT_EQ(e.Object->Close(OLECLOSE_NOSAVE), S_OK);
  EXPECT_EQ(e.container.Log, (std::vector<std::string>{"OnShowWindow(0)", "OnInPlaceDeactivate"}));
  EXPECT_EQ(inPlace->GetWindow(&none), E_UNEXPECTED);
  EXPECT_TRUE(IsWindow(form)) << "the form waits in the parking window";
  EXPECT_NE(GetParent(form), e.container.Window);
  inPlace->Release();
  ASSERT_EQ(e.Object->SetClientSite(nullptr), S_OK);
  EXPECT_EQ(e.container.Refs, 0u) << "the control holds nothing of the container";

  e.Object->Release();
  e.Object = nullptr;
  EXPECT_EQ(e.Vant->Release(), 0u);
  e.Vant = nullptr;
  EXPECT_FALSE(IsWindow(form)) << "no window left";
  EXPECT_EQ(e.library.CanUnloadNow(), S_OK);
}

TEST(Embedding, VerbsInDesignModeAndWithoutAmbients) {
  Embedded e;
  e.container.UserMode = false;
  ASSERT_EQ(e.Object->SetClientSite(&e.container), S_OK);
  e.container.Log.clear();
  EXPECT_EQ(e.Verb(OLEIVERB_PRIMARY), S_OK);
  EXPECT_EQ(e.container.Log, (std::vector<std::string>{"Ambient(-709)", "ShowPropertyFrame"}))
      << "design mode shows the properties";
  e.container.Log.clear();
  EXPECT_EQ(e.Verb(OLEIVERB_PROPERTIES), S_OK);
  EXPECT_EQ(e.container.Log, std::vector<std::string>{"ShowPropertyFrame"});

  // A host without ambient properties: -5 UI-activates as well.
  Embedded plain;
  plain.container.HasAmbient = false;
  ASSERT_EQ(plain.Object->SetClientSite(&plain.container), S_OK);
  EXPECT_TRUE(plain.container.Log.empty());
  ASSERT_EQ(plain.Verb(OLEIVERB_INPLACEACTIVATE), S_OK);
  EXPECT_TRUE(plain.container.Logged("OnUIActivate"));
  // Focus reaches the control site.
  plain.container.Log.clear();
  HWND form = plain.ControlWindow();
  SetFocus(nullptr);
  SendMessageA(form, WM_SETFOCUS, 0, 0);
  EXPECT_TRUE(plain.container.Logged("OnFocus(1)"));
  // A transparent hit is a client hit for the form.
  EXPECT_NE(SendMessageA(form, WM_NCHITTEST, 0, MAKELPARAM(15, 25)), HTTRANSPARENT);
  plain.Object->Close(OLECLOSE_NOSAVE);
  plain.Object->SetClientSite(nullptr);
  e.Object->Close(OLECLOSE_NOSAVE);
  e.Object->SetClientSite(nullptr);
}

TEST(Embedding, ExtentsRegistryAnswersAndRefusals) {
  Embedded e;
  SIZEL size{};
  ASSERT_EQ(e.Object->GetExtent(DVASPECT_CONTENT, &size), S_OK);
  EXPECT_EQ(size.cx, 5080);
  EXPECT_EQ(size.cy, 5080);
  SIZEL wanted{10000, 7000};
  EXPECT_EQ(e.Object->SetExtent(DVASPECT_THUMBNAIL, &wanted), DV_E_DVASPECT);
  EXPECT_EQ(e.Object->GetExtent(DVASPECT_ICON, &size), E_FAIL);
  EXPECT_EQ(e.Object->SetExtent(DVASPECT_CONTENT, nullptr), E_POINTER);
  ASSERT_EQ(e.Object->SetExtent(DVASPECT_CONTENT, &wanted), S_OK);
  ASSERT_EQ(e.Object->GetExtent(DVASPECT_CONTENT, &size), S_OK);
  EXPECT_EQ(size.cx, 10000);
  EXPECT_EQ(size.cy, 7000);

  LPOLESTR type = nullptr;
  ASSERT_EQ(e.Object->GetUserType(USERCLASSTYPE_FULL, &type), S_OK);
  EXPECT_STREQ(type, L"VANT v 4.0.15");
  CoTaskMemFree(type);
  IEnumOLEVERB* verbs = nullptr;
  ASSERT_EQ(e.Object->EnumVerbs(&verbs), S_OK);
  OLEVERB verb{};
  ULONG fetched = 0;
  ASSERT_EQ(verbs->Next(1, &verb, &fetched), S_OK);
  EXPECT_EQ(verb.lVerb, 0);
  EXPECT_STREQ(verb.lpszVerbName, L"Properties");
  EXPECT_EQ(verb.grfAttribs, 2u);
  CoTaskMemFree(verb.lpszVerbName);
  EXPECT_EQ(verbs->Next(1, &verb, &fetched), S_FALSE);
  verbs->Release();
  CLSID clsid{};
  ASSERT_EQ(e.Object->GetUserClassID(&clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_VANT1);
  EXPECT_EQ(e.Object->SetMoniker(OLEWHICHMK_OBJREL, nullptr), E_NOTIMPL);
  EXPECT_EQ(e.Object->GetMoniker(0, OLEWHICHMK_OBJREL, nullptr), E_NOTIMPL);
  EXPECT_EQ(e.Object->InitFromData(nullptr, TRUE, 0), E_NOTIMPL);
  EXPECT_EQ(e.Object->GetClipboardData(0, nullptr), E_NOTIMPL);
  EXPECT_EQ(e.Object->SetColorScheme(nullptr), E_NOTIMPL);

  auto* pages = Query<ISpecifyPropertyPages>(e.Vant, IID_ISpecifyPropertyPages);
  CAUUID list{5, reinterpret_cast<GUID*>(1)};
  ASSERT_EQ(pages->GetPages(&list), S_OK);
  EXPECT_EQ(list.cElems, 0u);
  EXPECT_EQ(list.pElems, nullptr);
  pages->Release();

  // No safe-for-scripting and no property-bag persistence.
  const IID kObjectSafety = {0xCB5BDC81, 0x93C1, 0x11CF, {0x8F, 0x20, 0x00, 0x80, 0x5F, 0x2C, 0xD0, 0x64}};
  IUnknown* refused = nullptr;
  EXPECT_EQ(e.Vant->QueryInterface(kObjectSafety, reinterpret_cast<void**>(&refused)), E_NOINTERFACE);
  EXPECT_EQ(e.Vant->QueryInterface(IID_IPersistPropertyBag, reinterpret_cast<void**>(&refused)), E_NOINTERFACE);
  EXPECT_EQ(e.Vant->QueryInterface(IID_IPersist, reinterpret_cast<void**>(&refused)), E_NOINTERFACE);
  // The whole list answers, each with one identity.
  for (const IID* iid : {&IID_IViewObjectEx, &IID_IViewObject2, &IID_IViewObject, &IID_IOleInPlaceObject,
                         &IID_IOleWindow, &IID_IOleInPlaceActiveObject, &IID_IOleControl, &IID_IOleObject,
                         &IID_IQuickActivate, &IID_IPersistStorage, &IID_IPersistStreamInit,
                         &IID_ISpecifyPropertyPages, &IID_IDataObject, &IID_ISimpleFrameSite, &IID_IProvideClassInfo,
                         &IID_IProvideClassInfo2, &IID_IConnectionPointContainer, &IID_ISupportErrorInfo,
                         &IID_IVANT, &IID_IDispatch}) {
    IUnknown* part = nullptr;
    ASSERT_EQ(e.Vant->QueryInterface(*iid, reinterpret_cast<void**>(&part)), S_OK);
    IUnknown* identity = nullptr;
    part->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity));
    IUnknown* expected = nullptr;
    e.Vant->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&expected));
    EXPECT_EQ(identity, expected);
    identity->Release();
    expected->Release();
    part->Release();
  }
}

TEST(Embedding, QuickActivateAndFrozenEvents) {
  EventSink events;  // outlive the control, which holds them to the end
  PropertySink properties;
  Embedded e;
  auto* quick = Query<IQuickActivate>(e.Vant, IID_IQuickActivate);
  ASSERT_NE(quick, nullptr);
  EXPECT_EQ(quick->QuickActivate(nullptr, nullptr), E_POINTER);
  QACONTAINER container{};
  container.cbSize = sizeof container;
  container.pClientSite = &e.container;
  container.pAdviseSink = &e.container;
  container.pPropertyNotifySink = &properties;
  container.pUnkEventSink = &events;
  QACONTROL answer{};
  answer.cbSize = sizeof answer;
  answer.dwPointerActivationPolicy = 77;
  ASSERT_EQ(quick->QuickActivate(&container, &answer), S_OK);
  EXPECT_EQ(answer.cbSize, sizeof answer);
  EXPECT_EQ(answer.dwMiscStatus, 131473u);
  EXPECT_EQ(answer.dwViewStatus, 3u);
  EXPECT_EQ(answer.dwPointerActivationPolicy, 0u);
  EXPECT_EQ(answer.dwEventCookie, 1u);
  EXPECT_EQ(answer.dwPropNotifyCookie, 1u);
  EXPECT_TRUE(e.container.Logged("Ambient(-701)")) << "the site was set";
  SIZEL extent{2000, 1000};
  EXPECT_EQ(quick->SetContentExtent(&extent), S_OK);
  SIZEL back{};
  EXPECT_EQ(quick->GetContentExtent(&back), S_OK);
  EXPECT_EQ(back.cx, 2000);
  quick->Release();

  // Events are raised however often they are frozen.
  auto* control = Query<IOleControl>(e.Vant, IID_IOleControl);
  EXPECT_EQ(control->FreezeEvents(TRUE), S_OK);
  EXPECT_EQ(control->FreezeEvents(TRUE), S_OK);
  HWND form = ParkedForm();
  ASSERT_NE(form, nullptr);
  SendMessageA(form, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
  SendMessageA(form, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
  EXPECT_EQ(std::count(events.Events.begin(), events.Events.end(), 2), 1) << "OnClick reached the sink";
  control->FreezeEvents(FALSE);
  control->FreezeEvents(FALSE);
  control->Release();
  // A put is heard by the property sink connected through quick activation.
  BSTR caption = SysAllocString(L"x");
  e.Vant->put_Caption(caption);
  SysFreeString(caption);
  EXPECT_EQ(properties.Changes, std::vector<DISPID>{DISPID_CAPTION});
  e.Object->SetClientSite(nullptr);
}

// Smaller host behaviours: a system colour as the ambient back colour, a
// font edited through the control's font object, a short quick-activation
// structure, and a site taken away while in place.
TEST(Embedding, HostsOrdinaryButUnexpectedCalls) {
  Embedded e;
  ASSERT_NE(e.Object, nullptr);
  e.container.BackColour = 0x8000000F;  // COLOR_BTNFACE, given as a negative VT_I4
  ASSERT_EQ(e.Object->SetClientSite(&e.container), S_OK);
  EXPECT_TRUE(e.container.Logged("Ambient(-703)")) << "the ambient font is still read";

  PropertySink sink;
  auto* points = Query<IConnectionPointContainer>(e.Vant, IID_IConnectionPointContainer);
  IConnectionPoint* point = nullptr;
  ASSERT_EQ(points->FindConnectionPoint(IID_IPropertyNotifySink, &point), S_OK);
  DWORD cookie = 0;
  ASSERT_EQ(point->Advise(&sink, &cookie), S_OK);
  IFontDisp* disp = nullptr;
  ASSERT_EQ(e.Vant->get_Font(&disp), S_OK);
  IFont* font = Query<IFont>(disp, IID_IFont);
  // Through the object as through the put: asked first, a veto keeps the
  // form's font (the object goes back to it), and only a change is told.
  for (const bool veto : {false, true}) {
    sink.Veto = veto;
    CY cy{};
    cy.int64 = (veto ? 20 : 12) * 10000;
    font->put_Size(cy);
  }
  EXPECT_EQ(sink.Requests, (std::vector<DISPID>{DISPID_FONT, DISPID_FONT})) << "through the put sequence";
  EXPECT_EQ(sink.Changes, std::vector<DISPID>{DISPID_FONT});
  font->Release();
  disp->Release();
  point->Unadvise(cookie);
  point->Release();
  points->Release();

  auto* quick = Query<IQuickActivate>(e.Vant, IID_IQuickActivate);
  QACONTAINER container{};
  container.cbSize = sizeof container;
  struct {
    QACONTROL Control;
    DWORD After;
  } small{};
  small.Control.cbSize = offsetof(QACONTROL, dwPointerActivationPolicy);
  small.Control.dwPointerActivationPolicy = 0x77;  // past the host's structure: not the control's to touch
  EXPECT_EQ(quick->QuickActivate(&container, &small.Control), S_OK);
  EXPECT_EQ(small.Control.dwPointerActivationPolicy, 0x77u);
  quick->Release();

  ASSERT_EQ(e.Object->SetClientSite(&e.container), S_OK);
  ASSERT_EQ(e.Verb(OLEIVERB_INPLACEACTIVATE), S_OK);
  const ULONG held = e.container.Refs;
  ASSERT_EQ(e.Object->SetClientSite(nullptr), S_OK);
  EXPECT_EQ(e.container.Refs, 0u) << "of " << held << " references to the old host, none is kept";
}

}  // namespace
}  // namespace vant::testing
