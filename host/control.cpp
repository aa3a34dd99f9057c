// The control object's creation and destruction, its identity
// (QueryInterface) and the parking window that holds forms not yet placed.
#include "host/control.h"

#include <new>

#include "host/module.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/win32_toolkit.h"
#include "workspace/tvant1.h"

namespace vant::host {
namespace {

constexpr const char* kParkingClass = "DAXParkingWindow";
constexpr const char* kControlProperty = "VANT.Control";
constexpr UINT kReflectedBase = 0x2000;  // added to notifications passed back to their control
constexpr UINT kFinishAbandoned = WM_APP + 0x5601;  // lParam: the control to destroy

// Each apartment's thread parks its own forms: a form parented to another
// thread's window would make every call on it wait for that thread.
struct ThreadParking {
  HWND Window = nullptr;
  int LiveControls = 0;
};
thread_local ThreadParking t_parking;
volatile LONG g_liveControls = 0;  // every thread's, for the window class

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
    case kFinishAbandoned:
      TVANT1Impl::FinishAbandoned(reinterpret_cast<TVANT1Impl*>(l));
      return 0;
    case WM_NCDESTROY:
      if (hwnd == t_parking.Window) t_parking.Window = nullptr;
      break;
  }
  if (from) return SendMessageA(from, message + kReflectedBase, w, l);
  return DefWindowProcA(hwnd, message, w, l);
}

// The thread's parking window goes with its last control; the class goes
// with the process's last, so a library unloaded and loaded again never
// leaves a window whose procedure is gone.
void DropParkingWindow() {
  if (t_parking.Window && IsWindow(t_parking.Window)) DestroyWindow(t_parking.Window);
  t_parking.Window = nullptr;
  if (g_liveControls == 0) UnregisterClassA(kParkingClass, Module::Instance().Handle());
}

// The control's toolkit: its pumps and modal boxes count as busy, and once
// the host has let the control go nothing more is asked of the user.
class ControlToolkit final : public win32::Toolkit {
 public:
  ControlToolkit(TVANT1Impl& control, HWND parent, const bool& abandoned)
      : win32::Toolkit(nullptr, parent), control_(control), abandoned_(abandoned) {}
  MsgAnswer MessageBox(std::string_view text, std::string_view caption, MsgButtons buttons, MsgIcon icon) override {
    if (abandoned_) return buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Cancel;
    TVANT1Impl::Busy busy(control_);
    return win32::Toolkit::MessageBox(text, caption, buttons, icon);
  }
  void Notice(std::string_view text, NoticeKind kind) override {
    if (abandoned_) return;
    TVANT1Impl::Busy busy(control_);
    win32::Toolkit::Notice(text, kind);
  }
  bool SaveDialog(SaveDialogOptions& options) override {
    if (abandoned_) return false;
    TVANT1Impl::Busy busy(control_);
    return win32::Toolkit::SaveDialog(options);
  }
  void ProcessMessages() override {
    TVANT1Impl::Busy busy(control_);
    win32::Toolkit::ProcessMessages();
  }

 private:
  TVANT1Impl& control_;
  const bool& abandoned_;
};

}  // namespace

HWND ParkingWindow() {
  if (t_parking.Window && IsWindow(t_parking.Window)) return t_parking.Window;
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
    // Another thread may have registered it meanwhile.
    if (!RegisterClassA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
      throw std::runtime_error("the parking window's class cannot be registered (out of resources)");
  }
  const int x = GetSystemMetrics(SM_CXSCREEN) / 2, y = GetSystemMetrics(SM_CYSCREEN) / 2;
  t_parking.Window = CreateWindowExA(WS_EX_TOOLWINDOW, kParkingClass, "", WS_POPUP, x, y, 0, 0, nullptr, nullptr,
                                     instance, nullptr);
  if (!t_parking.Window) throw std::runtime_error("the parking window cannot be made");
  ShowWindow(t_parking.Window, SW_SHOWNOACTIVATE);
  return t_parking.Window;
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
  InterlockedIncrement(&g_liveControls);
  ++t_parking.LiveControls;
}

void TVANT1Impl::FinalConstruct() {
  HWND parking = ParkingWindow();
  system_ = std::make_unique<win32::System>();
  toolkit_ = std::make_unique<ControlToolkit>(*this, parking, abandoned_);
  form_ = std::make_unique<TVANT1>(*toolkit_, *system_, catalogue_);
  formWindow_ = toolkit_->FormHandle();
  if (!formWindow_) throw std::runtime_error("the form has no window");
  SetPropA(formWindow_, kControlProperty, this);
  savedWindowProc_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(formWindow_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ControlWindowProc)));
  font_ = std::make_unique<FontLink>([this] { return Form().Properties().Font; },
                                     [this](const FormFont& font) { return PutFormFont(font) == S_OK; });
  BindEvents();
}

TVANT1Impl::~TVANT1Impl() {
  finishPosted_ = true;  // the form's last events, fired while it goes, post nothing
  ReleaseHost();
  font_.reset();
  if (formWindow_ && savedWindowProc_ && IsWindow(formWindow_)) {
    SetWindowLongPtrA(formWindow_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(savedWindowProc_));
    RemovePropA(formWindow_, kControlProperty);
  }
  // The form runs its own destruction work, then its window goes.
  form_.reset();
  toolkit_.reset();
  system_.reset();
  InterlockedDecrement(&g_liveControls);
  if (--t_parking.LiveControls == 0) DropParkingWindow();
  // Last: the library stays while any of its code may still run for this control.
  Module::Instance().Unlock();
}

// What ties the control to its host goes first, so none of the host's
// objects is called while the form goes (nor after the host let go).
void TVANT1Impl::ReleaseHost() noexcept {
  // No sink hears anything from here on, not even the form's destruction.
  propertyNotify_.Clear();
  events_.Clear();
  viewSink_.reset();
  dataAdvise_.reset();
  oleAdvise_.reset();
  frame_.reset();
  document_.reset();
  controlSite_.reset();
  ambient_.reset();
  inPlaceSite_.reset();
  clientSite_.reset();
}

void TVANT1Impl::Enter() noexcept {
  ++busy_;
  inner_.AddRef();
}

// The reference goes before the depth: a last Release here only abandons,
// and the destruction is posted for when nothing of the control runs.
void TVANT1Impl::Leave() noexcept {
  inner_.Release();
  if (--busy_ == 0 && abandoned_ && !finishPosted_ && t_parking.Window)
    finishPosted_ = PostMessageA(t_parking.Window, kFinishAbandoned, 0, reinterpret_cast<LPARAM>(this)) != FALSE;
}

void TVANT1Impl::LastRelease() noexcept {
  refs_ = 1;  // the object's own while it goes
  if (busy_ == 0 && !abandoned_) {
    delete this;
    return;
  }
  Abandon();
}

// Released while its code runs (a handler, a pump, a modal box): the work
// stops as a cancel does, the form hides in the parking window and the host
// is let go now; the rest waits until the outermost handler has unwound.
void TVANT1Impl::Abandon() noexcept {
  if (abandoned_) return;
  abandoned_ = true;
  try {
    if (form_) form_->Abandon();
    if (controlWindow_ || inPlaceActive_) InPlaceDeactivate();
    if (formWindow_ && IsWindow(formWindow_)) {
      ShowWindow(formWindow_, SW_HIDE);
      SetParent(formWindow_, ParkingWindow());
    }
  } catch (...) {
  }
  ReleaseHost();
}

void TVANT1Impl::FinishAbandoned(TVANT1Impl* control) noexcept {
  control->finishPosted_ = false;
  if (control->busy_ > 0) return;  // posted again when this depth unwinds
  delete control;
}

FormWindow& TVANT1Impl::Form() const {
  if (!form_) throw std::logic_error("the control has no form");
  return form_->Window();
}

LRESULT CALLBACK TVANT1Impl::ControlWindowProc(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
  auto* self = static_cast<TVANT1Impl*>(GetPropA(hwnd, kControlProperty));
  if (!self || !self->savedWindowProc_) return DefWindowProcA(hwnd, message, w, l);
  Busy busy(*self);
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
  if (left == 0) owner_.LastRelease();
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
