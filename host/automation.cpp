// IVANT: the form's own properties for scripts and hosts, IDispatch through
// the registered type library, and the control's class information.
#include "host/control.h"
#include "host/property_stream.h"
#include "host/type_info.h"

namespace vant::host {
namespace {

// Automation's true is -1; this control answers 1, as hosts of it expect.
VARIANT_BOOL Flag(bool value) { return static_cast<VARIANT_BOOL>(value ? 1 : 0); }

enum : DISPID {
  kVisible = 1,
  kAutoScroll = 2,
  kAutoSize = 3,
  kAxBorderStyle = 4,
  kBorderWidth = 5,
  kKeyPreview = 6,
  kPixelsPerInch = 7,
  kPrintScale = 8,
  kScaled = 9,
  kDropTarget = 11,
  kHelpFile = 12,
  kDoubleBuffered = 13,
};

std::wstring_view View(BSTR text) { return {text ? text : L"", text ? SysStringLen(text) : 0u}; }

}  // namespace

template <class Value, class Read>
HRESULT TVANT1Impl::Get(Value* out, Read&& read) {
  VANT_RETURN_IF_NULL(out);
  return Boundary(IID_IVANT, [&] {
    *out = read(Form().Properties());
    return S_OK;
  });
}

// The put sequence: any property sink may veto; then the form changes and
// every sink hears of it.
template <class Edit>
HRESULT TVANT1Impl::Put(DISPID id, Edit&& edit) {
  Busy busy(*this);  // a sink may let the control go
  return Boundary(IID_IVANT, [&]() -> HRESULT {
    // A value the document could not hold is refused before anyone is asked.
    FormProperties next = Form().Properties();
    edit(next);
    property_stream::CheckStorable(next);
    for (const auto& sink : propertyNotify_.Sinks<IPropertyNotifySink>())
      if (sink->OnRequestEdit(id) == S_FALSE) return S_FALSE;
    Form().SetProperties(next);
    if (font_) font_->Refresh();
    for (const auto& sink : propertyNotify_.Sinks<IPropertyNotifySink>()) sink->OnChanged(id);
    return S_OK;
  });
}

#define VANT_FLAG_PROPERTY(Name, Id)                                                                  \
  HRESULT TVANT1Impl::get_##Name(VARIANT_BOOL* value) noexcept {                                     \
    return Get(value, [](const FormProperties& p) { return Flag(p.Name); });                         \
  }                                                                                                   \
  HRESULT TVANT1Impl::put_##Name(VARIANT_BOOL value) noexcept {                                      \
    return Put(Id, [&](FormProperties& p) { p.Name = value != 0; });                                  \
  }

VANT_FLAG_PROPERTY(Visible, kVisible)
VANT_FLAG_PROPERTY(AutoScroll, kAutoScroll)
VANT_FLAG_PROPERTY(AutoSize, kAutoSize)
VANT_FLAG_PROPERTY(KeyPreview, kKeyPreview)
VANT_FLAG_PROPERTY(Scaled, kScaled)
VANT_FLAG_PROPERTY(DropTarget, kDropTarget)
VANT_FLAG_PROPERTY(DoubleBuffered, kDoubleBuffered)
VANT_FLAG_PROPERTY(Enabled, DISPID_ENABLED)
#undef VANT_FLAG_PROPERTY

HRESULT TVANT1Impl::get_AxBorderStyle(TxActiveFormBorderStyle* value) noexcept {
  return Get(value, [](const FormProperties& p) { return static_cast<TxActiveFormBorderStyle>(p.AxBorderStyle); });
}
HRESULT TVANT1Impl::put_AxBorderStyle(TxActiveFormBorderStyle value) noexcept {
  return Put(kAxBorderStyle, [&](FormProperties& p) {
    if (value < afbNone || value > afbRaised) throw std::invalid_argument("border style out of range");
    p.AxBorderStyle = static_cast<FormBorder>(value);
  });
}

HRESULT TVANT1Impl::get_BorderWidth(LONG* value) noexcept {
  return Get(value, [](const FormProperties& p) { return static_cast<LONG>(p.BorderWidth); });
}
HRESULT TVANT1Impl::put_BorderWidth(LONG value) noexcept {
  return Put(kBorderWidth, [&](FormProperties& p) { p.BorderWidth = static_cast<int>(value); });
}

HRESULT TVANT1Impl::get_Caption(BSTR* value) noexcept {
  return Get(value, [](const FormProperties& p) { return AllocBstr(p.Caption); });
}
HRESULT TVANT1Impl::put_Caption(BSTR value) noexcept {
  return Put(DISPID_CAPTION, [&](FormProperties& p) { p.Caption = Narrow(View(value)); });
}

HRESULT TVANT1Impl::get_Color(OLE_COLOR* value) noexcept {
  return Get(value, [](const FormProperties& p) { return static_cast<OLE_COLOR>(p.Color); });
}
HRESULT TVANT1Impl::put_Color(OLE_COLOR value) noexcept {
  return Put(DISPID_BACKCOLOR, [&](FormProperties& p) { p.Color = value; });
}

HRESULT TVANT1Impl::get_Font(IFontDisp** value) noexcept {
  VANT_RETURN_IF_NULL(value);
  *value = nullptr;
  return Boundary(IID_IVANT, [&] { return font_->Get(value); });
}
HRESULT TVANT1Impl::PutFont(IFontDisp* value) {
  VANT_RETURN_IF_NULL(value);
  ComPtr<IFont> font;
  if (FAILED(value->QueryInterface(IID_IFont, font.put_void())) || !font) return E_INVALIDARG;
  return Put(DISPID_FONT, [&](FormProperties& p) { p.Font = FontLink::FromOle(*font.get(), p.Font); });
}
HRESULT TVANT1Impl::PutFormFont(const FormFont& font) {
  return Put(DISPID_FONT, [&](FormProperties& p) { p.Font = font; });
}
HRESULT TVANT1Impl::put_Font(IFontDisp* value) noexcept { return PutFont(value); }
HRESULT TVANT1Impl::putref_Font(IFontDisp* value) noexcept { return PutFont(value); }

HRESULT TVANT1Impl::get_PixelsPerInch(LONG* value) noexcept {
  return Get(value, [](const FormProperties& p) { return static_cast<LONG>(p.PixelsPerInch); });
}
HRESULT TVANT1Impl::put_PixelsPerInch(LONG value) noexcept {
  return Put(kPixelsPerInch, [&](FormProperties& p) { p.PixelsPerInch = static_cast<int>(value); });
}

HRESULT TVANT1Impl::get_PrintScale(TxPrintScale* value) noexcept {
  return Get(value, [](const FormProperties& p) { return static_cast<TxPrintScale>(p.PrintScale); });
}
HRESULT TVANT1Impl::put_PrintScale(TxPrintScale value) noexcept {
  return Put(kPrintScale, [&](FormProperties& p) {
    if (value < poNone || value > poPrintToFit) throw std::invalid_argument("print scale out of range");
    p.PrintScale = static_cast<FormPrintScale>(value);
  });
}

HRESULT TVANT1Impl::get_HelpFile(BSTR* value) noexcept {
  return Get(value, [](const FormProperties& p) { return AllocBstr(p.HelpFile); });
}
HRESULT TVANT1Impl::put_HelpFile(BSTR value) noexcept {
  return Put(kHelpFile, [&](FormProperties& p) { p.HelpFile = Narrow(View(value)); });
}

HRESULT TVANT1Impl::get_Active(VARIANT_BOOL* value) noexcept {
  return Get(value, [](const FormProperties& p) { return Flag(p.Active); });
}
HRESULT TVANT1Impl::get_AlignDisabled(VARIANT_BOOL* value) noexcept {
  return Get(value, [](const FormProperties& p) { return Flag(p.AlignDisabled); });
}
HRESULT TVANT1Impl::get_VisibleDockClientCount(LONG* value) noexcept {
  return Get(value, [](const FormProperties& p) { return static_cast<LONG>(p.VisibleDockClientCount); });
}

HRESULT TVANT1Impl::AboutBox() noexcept { return S_OK; }

// ------------------------------------------------------------- IDispatch

HRESULT TVANT1Impl::GetTypeInfoCount(UINT* count) noexcept {
  VANT_RETURN_IF_NULL(count);
  *count = 1;
  return S_OK;
}

HRESULT TVANT1Impl::GetTypeInfo(UINT index, LCID, ITypeInfo** out) noexcept {
  VANT_RETURN_IF_NULL(out);
  *out = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  return RegisteredTypeInfo(IID_IVANT, out);
}

HRESULT TVANT1Impl::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids) noexcept {
  if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  ComPtr<ITypeInfo> info;
  const HRESULT hr = RegisteredTypeInfo(IID_IVANT, info.put());
  if (FAILED(hr)) return hr;
  return DispGetIDsOfNames(info.get(), names, count, ids);
}

HRESULT TVANT1Impl::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                           EXCEPINFO* exception, UINT* argumentError) noexcept {
  if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  ComPtr<ITypeInfo> info;
  const HRESULT hr = RegisteredTypeInfo(IID_IVANT, info.put());
  if (FAILED(hr)) return hr;
  return info->Invoke(static_cast<IVANT*>(this), id, flags, params, result, exception, argumentError);
}

// ----------------------------------------------------- class information

HRESULT TVANT1Impl::GetClassInfo(ITypeInfo** out) noexcept {
  VANT_RETURN_IF_NULL(out);
  return RegisteredTypeInfo(CLSID_VANT1, out);
}

HRESULT TVANT1Impl::GetGUID(DWORD kind, GUID* out) noexcept {
  VANT_RETURN_IF_NULL(out);
  if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
    *out = GUID_NULL;
    return E_FAIL;
  }
  *out = DIID_IVANTEvents;
  return S_OK;
}

}  // namespace vant::host
