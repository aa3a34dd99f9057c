// The control object's creation and destruction, its identity
// (QueryInterface) and the parking window that holds forms not yet placed.
#include "host/control.h"

#include <new>

#include "host/module.h"
#include "host/unattended.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/win32_toolkit.h"
#include "workspace/tvant1.h"

namespace vant::host {
namespace {

constexpr const char* kParkingClass = "DAXParkingWindow";
constexpr const char* kControlProperty = "VANT.Control";
constexpr UINT kReflectedBase = 0x2000;  // added to notifications passed back to their control

HWND g_parking = nullptr;
int g_liveControls = 0;  // on the apartment's thread only

// Child notifications addressed to the parking window go back to the
// control that sent them, 0x2000 higher, so parked controls still get them.
LRESULT CALLBACK ParkingProc(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
  HWND from = nullptr;
  switch (message) {
    case WM_COMMAND: from = reinterpret_cast<HWND>(l); break;
    case WM_DRAWITEM: from = reinterpret_cast<DRAWITEMSTRUCT*>(l)->hwndItem; break;
    case WM_MEASUREITEM: from = GetDlgItem(hwnd, static_cast<int>(reinterpret_cast<MEASUREITEMSTRUCT*>(l)->CtlID)); break;
    case WM_DELETEITEM: from = reinterpret_cast<DELETEITEMSTRUCT*>(l)->hwndItem; break;
    case WM_COMPAREITEM: from = reinterpret_cast<COMPAREITEMSTRUCT*>(l)->hwndItem; break;
    case WM_NCDESTROY:
      if (hwnd == g_parking) g_parking = nullptr;
      break;
  }
  if (from) return SendMessageA(from, message + kReflectedBase, w, l);
  return DefWindowProcA(hwnd, message, w, l);
}

// The process's parking window: registered on first use, made again after
// it was destroyed. It goes with the last control, class and all, so a
// library unloaded and loaded again never leaves a window whose procedure
// is gone.
void DropParkingWindow() {
  if (g_parking && IsWindow(g_parking)) DestroyWindow(g_parking);
  g_parking = nullptr;
  UnregisterClassA(kParkingClass, Module::Instance().Handle());
}

}  // namespace

HWND ParkingWindow() {
  if (g_parking && IsWindow(g_parking)) return g_parking;
  const HINSTANCE instance = Module::Instance().Handle();
  WNDCLASSA existing{};
  bool registered = GetClassInfoA(instance, kParkingClass, &existing) != FALSE;
  if (registered && existing.lpfnWndProc != ParkingProc) {
    // Left by an earlier load of this library at another address.
    UnregisterClassA(kParkingClass, instance);
    registered = false;
  }
  if (!registered) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = ParkingProc;
    wc.hInstance = instance;
    wc.lpszClassName = kParkingClass;
    if (!RegisterClassA(&wc)) throw std::runtime_error("the parking window's class cannot be registered (out of resources)");
  }
  const int x = GetSystemMetrics(SM_CXSCREEN) / 2, y = GetSystemMetrics(SM_CYSCREEN) / 2;
  g_parking = CreateWindowExA(WS_EX_TOOLWINDOW, kParkingClass, "", WS_POPUP, x, y, 0, 0, nullptr, nullptr, instance,
                              nullptr);
  if (!g_parking) throw std::runtime_error("the parking window cannot be made");
  ShowWindow(g_parking, SW_SHOWNOACTIVATE);
  return g_parking;
}

HRESULT CreateControl(IUnknown* outer, REFIID iid, void** out) { return TVANT1Impl::Create(outer, iid, out); }

HRESULT TVANT1Impl::Create(IUnknown* outer, REFIID iid, void** out) {
  VANT_RETURN_IF_NULL(out);
  *out = nullptr;
  auto* control = new (std::nothrow) TVANT1Impl(outer);
  if (!control) return E_OUTOFMEMORY;
  // The object starts with one reference (the creator's): dropping it
  // destroys a control whose construction or query failed.
  HRESULT hr = Boundary(IID_IVANT, [&] {
    control->FinalConstruct();
    return S_OK;
  });
  if (SUCCEEDED(hr)) hr = control->inner_.QueryInterface(iid, out);
  control->inner_.Release();
  return hr;
}

TVANT1Impl::TVANT1Impl(IUnknown* outer)
    : inner_(*this),
      controlling_(outer ? outer : &inner_),
      propertyNotify_(*this, IID_IPropertyNotifySink, 0),
      events_(*this, DIID_IVANTEvents, 5) {
  Module::Instance().Lock();
  ++g_liveControls;
}

void TVANT1Impl::FinalConstruct() {
  HWND parking = ParkingWindow();
  system_ = std::make_unique<win32::System>();
  toolkit_ = MakeToolkit(parking);
  form_ = std::make_unique<TVANT1>(*toolkit_, *system_, catalogue_);
  formWindow_ = toolkit_->FormHandle();
  if (!formWindow_) throw std::runtime_error("the form has no window");
  SetPropA(formWindow_, kControlProperty, this);
  savedWindowProc_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(formWindow_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ControlWindowProc)));
  font_ = std::make_unique<FontLink>([this] { return Form().Properties().Font; },
                                     [this](const FormFont& font) {
                                       FormProperties p = Form().Properties();
                                       p.Font = font;
                                       Form().SetProperties(p);
                                     });
  BindEvents();
}

TVANT1Impl::~TVANT1Impl() {
  Module::Instance().Unlock();
  // No sink hears anything from here on, not even the form's destruction.
  propertyNotify_.Clear();
  events_.Clear();
  font_.reset();
  if (formWindow_ && savedWindowProc_ && IsWindow(formWindow_)) {
    SetWindowLongPtrA(formWindow_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(savedWindowProc_));
    RemovePropA(formWindow_, kControlProperty);
  }
  // The host's interfaces go before the form, so none is called while it goes.
  viewSink_.reset();
  dataAdvise_.reset();
  oleAdvise_.reset();
  frame_.reset();
  document_.reset();
  controlSite_.reset();
  ambient_.reset();
  inPlaceSite_.reset();
  clientSite_.reset();
  // The form runs its own destruction work, then its window goes.
  form_.reset();
  toolkit_.reset();
  system_.reset();
  if (--g_liveControls == 0) DropParkingWindow();
}

FormWindow& TVANT1Impl::Form() const {
  if (!form_) throw std::logic_error("the control has no form");
  return form_->Window();
}

LRESULT CALLBACK TVANT1Impl::ControlWindowProc(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
  auto* self = static_cast<TVANT1Impl*>(GetPropA(hwnd, kControlProperty));
  if (!self || !self->savedWindowProc_) return DefWindowProcA(hwnd, message, w, l);
  try {
    return self->ControlMessage(hwnd, message, w, l);
  } catch (...) {
    return 0;  // nothing may leave a window procedure
  }
}

// ------------------------------------------------------------ identity

HRESULT TVANT1Impl::Inner::QueryInterface(REFIID iid, void** out) noexcept {
  VANT_RETURN_IF_NULL(out);
  *out = nullptr;
  TVANT1Impl& o = owner_;
  // In the order hosts find them; nothing else is answered (in particular
  // no safe-for-scripting and no property-bag persistence).
  if (iid == IID_IUnknown) *out = static_cast<IUnknown*>(this);
  else if (iid == IID_IViewObjectEx) *out = static_cast<IViewObjectEx*>(&o);
  else if (iid == IID_IViewObject2) *out = static_cast<IViewObject2*>(&o);
  else if (iid == IID_IViewObject) *out = static_cast<IViewObject*>(&o);
  else if (iid == IID_IOleInPlaceObject) *out = static_cast<IOleInPlaceObject*>(&o);
  else if (iid == IID_IOleWindow) *out = static_cast<IOleWindow*>(static_cast<IOleInPlaceObject*>(&o));
  else if (iid == IID_IOleInPlaceActiveObject) *out = static_cast<IOleInPlaceActiveObject*>(&o);
  else if (iid == IID_IOleControl) *out = static_cast<IOleControl*>(&o);
  else if (iid == IID_IOleObject) *out = static_cast<IOleObject*>(&o);
  else if (iid == IID_IQuickActivate) *out = static_cast<IQuickActivate*>(&o);
  else if (iid == IID_IPersistStorage) *out = static_cast<IPersistStorage*>(&o);
  else if (iid == IID_IPersistStreamInit) *out = static_cast<IPersistStreamInit*>(&o);
  else if (iid == IID_ISpecifyPropertyPages) *out = static_cast<ISpecifyPropertyPages*>(&o);
  else if (iid == IID_IDataObject) *out = static_cast<IDataObject*>(&o);
  else if (iid == IID_ISimpleFrameSite) *out = static_cast<ISimpleFrameSite*>(&o);
  else if (iid == IID_IProvideClassInfo) *out = static_cast<IProvideClassInfo*>(static_cast<IProvideClassInfo2*>(&o));
  else if (iid == IID_IProvideClassInfo2) *out = static_cast<IProvideClassInfo2*>(&o);
  else if (iid == IID_IConnectionPointContainer) *out = static_cast<IConnectionPointContainer*>(&o);
  else if (iid == IID_ISupportErrorInfo) *out = static_cast<ISupportErrorInfo*>(&o);
  else if (iid == IID_IVANT) *out = static_cast<IVANT*>(&o);
  else if (iid == IID_IDispatch) *out = static_cast<IDispatch*>(static_cast<IVANT*>(&o));
  else return E_NOINTERFACE;
  static_cast<IUnknown*>(*out)->AddRef();
  return S_OK;
}

ULONG TVANT1Impl::Inner::AddRef() noexcept { return InterlockedIncrement(&owner_.refs_); }

ULONG TVANT1Impl::Inner::Release() noexcept {
  const LONG left = InterlockedDecrement(&owner_.refs_);
  if (left == 0) {
    // Released objects may call back while the form goes: keep it alive.
    owner_.refs_ = 1;
    delete &owner_;
  }
  return left;
}

HRESULT TVANT1Impl::QueryInterface(REFIID iid, void** out) noexcept { return controlling_->QueryInterface(iid, out); }
ULONG TVANT1Impl::AddRef() noexcept { return controlling_->AddRef(); }
ULONG TVANT1Impl::Release() noexcept { return controlling_->Release(); }

HRESULT TVANT1Impl::InterfaceSupportsErrorInfo(REFIID iid) noexcept {
  static const IID* const kAnswered[] = {
      &IID_IViewObjectEx,   &IID_IViewObject2,      &IID_IViewObject,       &IID_IOleInPlaceObject,
      &IID_IOleWindow,      &IID_IOleInPlaceActiveObject, &IID_IOleControl, &IID_IOleObject,
      &IID_IQuickActivate,  &IID_IPersistStorage,   &IID_IPersistStreamInit, &IID_ISpecifyPropertyPages,
      &IID_IDataObject,     &IID_ISimpleFrameSite,  &IID_IProvideClassInfo, &IID_IProvideClassInfo2,
      &IID_IConnectionPointContainer, &IID_ISupportErrorInfo, &IID_IVANT,   &IID_IDispatch};
  for (const IID* answered : kAnswered)
    if (iid == *answered) return S_OK;
  return S_FALSE;
}

}  // namespace vant::host
