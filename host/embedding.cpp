// The control as an embedded OLE object: its client site and ambient
// properties, in-place and UI activation into the host's window, verbs,
// extents, quick activation, and the hooks of the form's window procedure.
//
// The form's window cannot be made again once destroyed (it holds the whole
// workspace: tree, lists, the analysed drive), so leaving the in-place state
// hides it and takes it back to the parking window instead of destroying it;
// it is destroyed with the control.
#include "host/control.h"
#include "host/module.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace vant::host {
namespace {

bool FocusInside(HWND window) {
  HWND focus = GetFocus();
  return focus && (focus == window || IsChild(window, focus));
}

}  // namespace

// ------------------------------------------------------ ambient properties

HRESULT TVANT1Impl::Ambient(DISPID id, VARIANT* value) {
  VariantInit(value);
  if (!ambient_) return E_FAIL;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  return ambient_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, value, nullptr, nullptr);
}

// An ambient colour as OLE_COLOR, whichever integer type the host gave it
// in: system colours (0x80000000 and up) come as negative VT_I4 too.
HRESULT TVANT1Impl::AmbientColour(DISPID id, OLE_COLOR* colour) {
  VARIANT value;
  HRESULT hr = Ambient(id, &value);
  if (SUCCEEDED(hr)) {
    if (value.vt == VT_UI4) *colour = value.ulVal;
    else if (SUCCEEDED(hr = VariantChangeType(&value, &value, 0, VT_I4))) *colour = static_cast<OLE_COLOR>(value.lVal);
  }
  VariantClear(&value);
  return hr;
}

// DispID 0 stands for every ambient property the control uses.
HRESULT TVANT1Impl::AmbientChanged(DISPID id) {
  if (id == DISPID_AMBIENT_BACKCOLOR || id == 0) {
    OLE_COLOR colour = 0;
    const HRESULT hr = AmbientColour(DISPID_AMBIENT_BACKCOLOR, &colour);
    if (FAILED(hr)) return hr;
    Form().ParentColourChanged(colour);
  }
  if (id == DISPID_AMBIENT_FORECOLOR || id == DISPID_AMBIENT_FONT || id == 0) {
    OLE_COLOR fore = 0;
    HRESULT hr = AmbientColour(DISPID_AMBIENT_FORECOLOR, &fore);
    if (FAILED(hr)) return hr;
    VARIANT font;
    hr = Ambient(DISPID_AMBIENT_FONT, &font);
    ComPtr<IFont> ole;
    if (SUCCEEDED(hr) && (font.vt == VT_DISPATCH || font.vt == VT_UNKNOWN) && font.punkVal)
      font.punkVal->QueryInterface(IID_IFont, ole.put_void());
    VariantClear(&font);
    if (FAILED(hr)) return hr;
    if (!ole) return DISP_E_TYPEMISMATCH;
    FormFont parent = FontLink::FromOle(*ole.get(), Form().Properties().Font);
    parent.Colour = fore;
    Form().ParentFontChanged(parent);
  }
  return S_OK;
}

HRESULT TVANT1Impl::OnAmbientPropertyChange(DISPID id) noexcept {
  return Boundary(IID_IOleControl, [&] { return AmbientChanged(id); });
}

HRESULT TVANT1Impl::GetControlInfo(CONTROLINFO*) noexcept { return E_NOTIMPL; }
HRESULT TVANT1Impl::OnMnemonic(MSG*) noexcept { return E_NOTIMPL; }

// Counted and nothing more: events are raised regardless.
HRESULT TVANT1Impl::FreezeEvents(BOOL freeze) noexcept {
  freezeCount_ += freeze ? 1 : -1;
  return S_OK;
}

// ---------------------------------------------------------- the OLE object

HRESULT TVANT1Impl::SetClientSite(IOleClientSite* site) noexcept {
  return Boundary(IID_IOleObject, [&] {
    if (!site) {
      // Nothing of the old host stays: out of place first, then every site.
      if (inPlaceActive_) InPlaceDeactivate();
      clientSite_.reset();
      inPlaceSite_.reset();
      frame_.reset();
      document_.reset();
      ambient_.reset();
      controlSite_.reset();
      return S_OK;
    }
    clientSite_ = ComPtr<IOleClientSite>(site);
    ambient_ = clientSite_.try_query<IDispatch>(IID_IDispatch);
    controlSite_ = clientSite_.try_query<IOleControlSite>(IID_IOleControlSite);
    // A host without ambient properties (or with unreadable ones) is fine.
    AmbientChanged(0);
    Form().ParentCtl3DChanged();
    return S_OK;
  });
}

HRESULT TVANT1Impl::GetClientSite(IOleClientSite** out) noexcept { return clientSite_.copy_to(out); }

HRESULT TVANT1Impl::SetHostNames(LPCOLESTR, LPCOLESTR) noexcept { return S_OK; }

HRESULT TVANT1Impl::Close(DWORD saveOption) noexcept {
  return Boundary(IID_IOleObject, [&]() -> HRESULT {
    if (clientSite_ && controlWindow_) clientSite_->OnShowWindow(FALSE);
    const HRESULT hr = InPlaceDeactivate();
    if (FAILED(hr)) return hr;
    if ((saveOption == OLECLOSE_SAVEIFDIRTY || saveOption == OLECLOSE_PROMPTSAVE) && requiresSave_) {
      if (clientSite_) clientSite_->SaveObject();
      if (oleAdvise_) oleAdvise_->SendOnSave();
    }
    inPlaceSite_.reset();
    ambient_.reset();
    inPlaceActive_ = uiActive_ = false;
    return S_OK;
  });
}

HRESULT TVANT1Impl::SetMoniker(DWORD, IMoniker*) noexcept { return E_NOTIMPL; }
HRESULT TVANT1Impl::GetMoniker(DWORD, DWORD, IMoniker**) noexcept { return E_NOTIMPL; }
HRESULT TVANT1Impl::InitFromData(IDataObject*, BOOL, DWORD) noexcept { return E_NOTIMPL; }
HRESULT TVANT1Impl::GetClipboardData(DWORD, IDataObject**) noexcept { return E_NOTIMPL; }
HRESULT TVANT1Impl::SetColorScheme(LOGPALETTE*) noexcept { return E_NOTIMPL; }
HRESULT TVANT1Impl::Update() noexcept { return S_OK; }
HRESULT TVANT1Impl::IsUpToDate() noexcept { return S_OK; }

HRESULT TVANT1Impl::GetUserClassID(CLSID* out) noexcept {
  VANT_RETURN_IF_NULL(out);
  *out = CLSID_VANT1;
  return S_OK;
}

// Verbs, user type and misc status come from the class's registry entries.
HRESULT TVANT1Impl::EnumVerbs(IEnumOLEVERB** out) noexcept {
  VANT_RETURN_IF_NULL(out);
  return OleRegEnumVerbs(CLSID_VANT1, out);
}
HRESULT TVANT1Impl::GetUserType(DWORD form, LPOLESTR* out) noexcept {
  VANT_RETURN_IF_NULL(out);
  return OleRegGetUserType(CLSID_VANT1, form, out);
}
HRESULT TVANT1Impl::GetMiscStatus(DWORD aspect, DWORD* out) noexcept {
  VANT_RETURN_IF_NULL(out);
  return OleRegGetMiscStatus(CLSID_VANT1, aspect, out);
}

HRESULT TVANT1Impl::SetExtent(DWORD aspect, SIZEL* size) noexcept {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  VANT_RETURN_IF_NULL(size);
  const bool changed = size->cx != extent_.cx || size->cy != extent_.cy;
  if (autoSize_ && changed) return E_FAIL;
  extent_ = *size;
  if (resizeNatural_) naturalExtent_ = *size;
  if (recomposeOnResize_ && changed) {
    if (dataAdvise_) dataAdvise_->SendOnDataChange(static_cast<IDataObject*>(this), 0, 0);
    InvalidateView();
  }
  return S_OK;
}

HRESULT TVANT1Impl::GetExtent(DWORD aspect, SIZEL* size) noexcept {
  if (aspect != DVASPECT_CONTENT) return E_FAIL;
  VANT_RETURN_IF_NULL(size);
  *size = extent_;
  return S_OK;
}

HRESULT TVANT1Impl::Advise(IAdviseSink* sink, DWORD* cookie) noexcept {
  if (!sink || !cookie) return E_POINTER;
  if (!oleAdvise_) {
    const HRESULT hr = CreateOleAdviseHolder(oleAdvise_.put());
    if (FAILED(hr)) return hr;
  }
  return oleAdvise_->Advise(sink, cookie);
}

HRESULT TVANT1Impl::Unadvise(DWORD cookie) noexcept {
  return oleAdvise_ ? oleAdvise_->Unadvise(cookie) : OLE_E_NOCONNECTION;
}

HRESULT TVANT1Impl::EnumAdvise(IEnumSTATDATA** out) noexcept {
  VANT_RETURN_IF_NULL(out);
  *out = nullptr;
  return oleAdvise_ ? oleAdvise_->EnumAdvise(out) : E_FAIL;
}

// ------------------------------------------------------------------ verbs

HRESULT TVANT1Impl::DoVerb(LONG verb, LPMSG, IOleClientSite*, LONG, HWND parent, LPCRECT position) noexcept {
  return Boundary(IID_IOleObject, [&]() -> HRESULT {
    switch (verb) {
      case OLEIVERB_PRIMARY: {
        // Design mode (user mode false) shows the properties; else activates.
        VARIANT userMode;
        const bool design =
            SUCCEEDED(Ambient(DISPID_AMBIENT_USERMODE, &userMode)) && userMode.vt == VT_BOOL && !userMode.boolVal;
        VariantClear(&userMode);
        if (design) return DoPropertiesVerb(parent);
        const HRESULT hr = ActivateInPlace(OLEIVERB_INPLACEACTIVATE, position);
        InvalidateView();
        return hr;
      }
      case OLEIVERB_SHOW: return ActivateInPlace(OLEIVERB_SHOW, position);
      case OLEIVERB_OPEN: return S_OK;
      case OLEIVERB_HIDE:
        UIDeactivate();
        if (controlWindow_) ShowWindow(controlWindow_, SW_HIDE);
        return S_OK;
      case OLEIVERB_UIACTIVATE: return uiActive_ ? S_OK : ActivateInPlace(OLEIVERB_UIACTIVATE, position);
      case OLEIVERB_INPLACEACTIVATE: {
        const HRESULT hr = ActivateInPlace(OLEIVERB_INPLACEACTIVATE, position);
        InvalidateView();
        return hr;
      }
      case OLEIVERB_DISCARDUNDOSTATE: return S_OK;
      case OLEIVERB_PROPERTIES: return DoPropertiesVerb(parent);
      default: return E_NOTIMPL;
    }
  });
}

HRESULT TVANT1Impl::DoPropertiesVerb(HWND parent) {
  if (controlSite_ && controlSite_->ShowPropertyFrame() == S_OK) return S_OK;
  ComPtr<ISpecifyPropertyPages> pages;
  QueryInterface(IID_ISpecifyPropertyPages, pages.put_void());
  ComPtr<IUnknown> self;
  QueryInterface(IID_IUnknown, self.put_void());
  if (!pages || !self) return OLEOBJ_S_CANNOT_DOVERB_NOW;
  CAUUID list{};
  HRESULT hr = pages->GetPages(&list);
  if (FAILED(hr)) return hr;
  LPOLESTR caption = nullptr;
  OleRegGetUserType(CLSID_VANT1, USERCLASSTYPE_SHORT, &caption);
  LCID locale = GetUserDefaultLCID();
  VARIANT ambientLocale;
  if (SUCCEEDED(Ambient(DISPID_AMBIENT_LOCALEID, &ambientLocale)) &&
      SUCCEEDED(VariantChangeType(&ambientLocale, &ambientLocale, 0, VT_UI4)))
    locale = ambientLocale.ulVal;
  VariantClear(&ambientLocale);
  IUnknown* objects[] = {self.get()};
  hr = OleCreatePropertyFrame(parent, 0, 0, caption, 1, objects, list.cElems, list.pElems, locale, 0, nullptr);
  CoTaskMemFree(caption);
  CoTaskMemFree(list.pElems);
  return hr;
}

// In-place activation into the site's window, at the site's rectangle;
// UI activation follows for the verbs that ask for it.
HRESULT TVANT1Impl::ActivateInPlace(LONG verb, const RECT*) {
  if (!clientSite_) return S_OK;
  if (!inPlaceSite_) inPlaceSite_ = clientSite_.try_query<IOleInPlaceSite>(IID_IOleInPlaceSite);
  if (!inPlaceSite_) return E_FAIL;
  if (!inPlaceActive_) {
    if (inPlaceSite_->CanInPlaceActivate() != S_OK) return E_FAIL;
    inPlaceActive_ = true;
    inPlaceSite_->OnInPlaceActivate();
    HWND hostWindow = nullptr;
    HRESULT hr = inPlaceSite_->GetWindow(&hostWindow);
    OLEINPLACEFRAMEINFO info{};
    info.cb = sizeof info;
    RECT position{}, clip{};
    frame_.reset();
    document_.reset();
    if (SUCCEEDED(hr)) hr = inPlaceSite_->GetWindowContext(frame_.put(), document_.put(), &position, &clip, &info);
    if (FAILED(hr)) {
      inPlaceActive_ = false;
      inPlaceSite_->OnInPlaceDeactivate();
      return hr;
    }
    if (controlWindow_) {
      ShowWindow(controlWindow_, SW_SHOW);
      if (!FocusInside(controlWindow_)) SetFocus(controlWindow_);
    } else {
      SetParent(formWindow_, hostWindow);
      SetWindowPos(formWindow_, nullptr, position.left, position.top, position.right - position.left,
                   position.bottom - position.top, SWP_NOZORDER | SWP_NOACTIVATE);
      ShowWindow(formWindow_, SW_SHOW);
      controlWindow_ = formWindow_;
    }
    SetObjectRects(&position, &clip);
  }
  const bool ui = verb == OLEIVERB_UIACTIVATE ||
                  ((verb == OLEIVERB_SHOW || verb == OLEIVERB_INPLACEACTIVATE) && !ambient_);
  return ui ? UIActivate() : S_OK;
}

HRESULT TVANT1Impl::UIActivate() {
  if (uiActive_ || !inPlaceSite_) return S_OK;
  uiActive_ = true;
  inPlaceSite_->OnUIActivate();
  if (controlWindow_ && !FocusInside(controlWindow_)) SetFocus(controlWindow_);
  auto* active = static_cast<IOleInPlaceActiveObject*>(this);
  if (frame_) frame_->SetActiveObject(active, nullptr);
  if (document_) document_->SetActiveObject(active, nullptr);
  return S_OK;
}

void TVANT1Impl::LeaveUIActive() {
  if (!uiActive_) return;
  uiActive_ = false;
  if (frame_) frame_->SetActiveObject(nullptr, nullptr);
  if (document_) document_->SetActiveObject(nullptr, nullptr);
  if (inPlaceSite_) inPlaceSite_->OnUIDeactivate(FALSE);
}

void TVANT1Impl::InvalidateView() {
  if (inPlaceActive_ && controlWindow_) InvalidateRect(controlWindow_, nullptr, TRUE);
  else if (viewSink_) viewSink_->OnViewChange(DVASPECT_CONTENT, -1);
}

// ------------------------------------------------------- in-place object

HRESULT TVANT1Impl::GetWindow(HWND* out) noexcept {
  VANT_RETURN_IF_NULL(out);
  *out = controlWindow_;
  return controlWindow_ ? S_OK : E_UNEXPECTED;
}

HRESULT TVANT1Impl::ContextSensitiveHelp(BOOL) noexcept { return E_NOTIMPL; }

HRESULT TVANT1Impl::InPlaceDeactivate() noexcept {
  return Boundary(IID_IOleInPlaceObject, [&] {
    if (!inPlaceActive_) return S_OK;
    LeaveUIActive();
    inPlaceActive_ = false;
    if (controlWindow_) {
      ShowWindow(controlWindow_, SW_HIDE);
      SetParent(controlWindow_, ParkingWindow());
      controlWindow_ = nullptr;
    }
    frame_.reset();
    document_.reset();
    if (inPlaceSite_) inPlaceSite_->OnInPlaceDeactivate();
    return S_OK;
  });
}

HRESULT TVANT1Impl::UIDeactivate() noexcept {
  LeaveUIActive();
  return S_OK;
}

// The form takes the position rectangle; the clip rectangle is not used.
HRESULT TVANT1Impl::SetObjectRects(LPCRECT position, LPCRECT) noexcept {
  VANT_RETURN_IF_NULL(position);
  SetWindowPos(formWindow_, nullptr, position->left, position->top, position->right - position->left,
               position->bottom - position->top, SWP_NOZORDER | SWP_NOACTIVATE);
  return S_OK;
}

HRESULT TVANT1Impl::ReactivateAndUndo() noexcept { return E_NOTIMPL; }

// ---------------------------------------------------- in-place active object

HRESULT TVANT1Impl::TranslateAccelerator(MSG* message) noexcept {
  if (!message || !controlSite_) return S_FALSE;
  DWORD modifiers = 0;
  if (GetKeyState(VK_SHIFT) < 0) modifiers |= 1;
  if (GetKeyState(VK_CONTROL) < 0) modifiers |= 2;
  if (GetKeyState(VK_MENU) < 0) modifiers |= 4;
  return controlSite_->TranslateAccelerator(message, modifiers) == S_OK ? S_OK : S_FALSE;
}

HRESULT TVANT1Impl::OnFrameWindowActivate(BOOL) noexcept { return S_OK; }

HRESULT TVANT1Impl::OnDocWindowActivate(BOOL activate) noexcept {
  if (!activate) LeaveUIActive();
  return S_OK;
}

HRESULT TVANT1Impl::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) noexcept { return S_OK; }
HRESULT TVANT1Impl::EnableModeless(BOOL) noexcept { return S_OK; }

// ------------------------------------------------------- quick activation

HRESULT TVANT1Impl::QuickActivate(QACONTAINER* container, QACONTROL* control) noexcept {
  if (!container || !control) return E_POINTER;
  // Older hosts pass smaller structures: nothing is read or written past
  // what each says it holds.
  constexpr ULONG kControlNeeds = offsetof(QACONTROL, dwPointerActivationPolicy);
  constexpr ULONG kContainerNeeds = offsetof(QACONTAINER, dwAppearance);
  if (control->cbSize < kControlNeeds || container->cbSize < kContainerNeeds) return E_INVALIDARG;
  return Boundary(IID_IQuickActivate, [&]() -> HRESULT {
    const ULONG size = std::min<ULONG>(control->cbSize, sizeof(QACONTROL));
    std::memset(control, 0, size);
    control->cbSize = size;
    SetClientSite(container->pClientSite);
    if (container->pAdviseSink) SetAdvise(DVASPECT_CONTENT, 0, container->pAdviseSink);
    if (container->pPropertyNotifySink)
      propertyNotify_.Advise(container->pPropertyNotifySink, &control->dwPropNotifyCookie);
    if (container->pUnkEventSink) events_.Advise(container->pUnkEventSink, &control->dwEventCookie);
    GetMiscStatus(DVASPECT_CONTENT, &control->dwMiscStatus);
    GetViewStatus(&control->dwViewStatus);
    return S_OK;
  });
}

HRESULT TVANT1Impl::SetContentExtent(LPSIZEL size) noexcept { return SetExtent(DVASPECT_CONTENT, size); }
HRESULT TVANT1Impl::GetContentExtent(LPSIZEL size) noexcept { return GetExtent(DVASPECT_CONTENT, size); }

// No property pages.
HRESULT TVANT1Impl::GetPages(CAUUID* pages) noexcept {
  VANT_RETURN_IF_NULL(pages);
  pages->cElems = 0;
  pages->pElems = nullptr;
  return S_OK;
}

// Only asked of controls whose misc status says simple frame; this one's does not.
HRESULT TVANT1Impl::PreMessageFilter(HWND, UINT, WPARAM, LPARAM, LRESULT*, DWORD*) noexcept { return S_OK; }
HRESULT TVANT1Impl::PostMessageFilter(HWND, UINT, WPARAM, LPARAM, LRESULT*, DWORD) noexcept { return S_OK; }

// ------------------------------------------------- the control's window hooks

LRESULT TVANT1Impl::ControlMessage(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
  const LRESULT result = CallWindowProcA(savedWindowProc_, hwnd, message, w, l);
  switch (message) {
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      if (controlSite_) controlSite_->OnFocus(message == WM_SETFOCUS);
      break;
    case WM_SETTEXT:
      if (!inPlaceActive_ && viewSink_) viewSink_->OnViewChange(DVASPECT_CONTENT, -1);
      break;
    case WM_NCHITTEST:
      if (result == HTTRANSPARENT) return HTCLIENT;
      break;
    case WM_SHOWWINDOW:
      if (!w && uiActive_) LeaveUIActive();
      break;
  }
  return result;
}

}  // namespace vant::host
