// The control object TVANT1Impl: one workspace form made to appear as a COM
// control. This object holds all the state; each interface is a thin part
// over it, written in the file of its concern (automation.cpp for IVANT and
// the class information, events.cpp for the connection points and the
// event firers, control.cpp for creation, destruction and QueryInterface).
#pragma once

#include <memory>

#include "catalogue/catalogue.h"
#include "host/com_support.h"
#include "host/connection_points.h"
#include "host/font_link.h"
#include "host/guids.h"
#include "platform/toolkit.h"

namespace vant {
class TVANT1;
namespace win32 {
class System;
class Toolkit;
}  // namespace win32
}  // namespace vant

namespace vant::host {

class TVANT1Impl final : public IVANT,
                         public IConnectionPointContainer,
                         public IProvideClassInfo2,
                         public ISupportErrorInfo {
 public:
  // Allocates a control (aggregated when `outer` is given), runs its final
  // construction and answers its QueryInterface; destroys it on failure.
  static HRESULT Create(IUnknown* outer, REFIID iid, void** out);

  // IUnknown: delegates to the controlling unknown (the outer object when aggregated).
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) noexcept override;
  ULONG STDMETHODCALLTYPE AddRef() noexcept override;
  ULONG STDMETHODCALLTYPE Release() noexcept override;

  // IDispatch, through the registered type library.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) noexcept override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** out) noexcept override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                          DISPID* ids) noexcept override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception, UINT* argumentError) noexcept override;

  // IVANT: the form's own properties.
  HRESULT STDMETHODCALLTYPE get_Visible(VARIANT_BOOL* value) noexcept override;
  HRESULT STDMETHODCALLTYPE put_Visible(VARIANT_BOOL value) noexcept override;
  HRESULT STDMETHODCALLTYPE get_AutoScroll(VARIANT_BOOL* value) noexcept override;
  HRESULT STDMETHODCALLTYPE put_AutoScroll(VARIANT_BOOL value) noexcept override;
  HRESULT STDMETHODCALLTYPE get_AutoSize(VARIANT_BOOL* value) noexcept override;
  HRESULT STDMETHODCALLTYPE put_AutoSize(VARIANT_BOOL value) noexcept override;
  HRESULT STDMETHODCALLTYPE get_AxBorderStyle(TxActiveFormBorderStyle* value) noexcept override;
  HRESULT STDMETHODCALLTYPE put_AxBorderStyle(TxActiveFormBorderStyle value) noexcept override;
  HRESULT STDMETHODCALLTYPE get_BorderWidth(LONG* value) noexcept override;
  HRESULT STDMETHODCALLTYPE put_BorderWidth(LONG value) noexcept override;
  HRESULT STDMETHODCALLTYPE get_Caption(BSTR* value) noexcept override;
  HRESULT STDMETHODCALLTYPE put_Caption(BSTR value) noexcept override;
  HRESULT STDMETHODCALLTYPE get_Color(OLE_COLOR* value) noexcept override;
  HRESULT STDMETHODCALLTYPE put_Color(OLE_COLOR value) noexcept override;
  HRESULT STDMETHODCALLTYPE get_Font(IFontDisp** value) noexcept override;
  HRESULT STDMETHODCALLTYPE put_Font(IFontDisp* value) noexcept override;
  HRESULT STDMETHODCALLTYPE putref_Font(IFontDisp* value) noexcept override;
  HRESULT STDMETHODCALLTYPE get_KeyPreview(VARIANT_BOOL* value) noexcept override;
  HRESULT STDMETHODCALLTYPE put_KeyPreview(VARIANT_BOOL value) noexcept override;
  HRESULT STDMETHODCALLTYPE get_PixelsPerInch(LONG* value) noexcept override;
  HRESULT STDMETHODCALLTYPE put_PixelsPerInch(LONG value) noexcept override;
  HRESULT STDMETHODCALLTYPE get_PrintScale(TxPrintScale* value) noexcept override;
  HRESULT STDMETHODCALLTYPE put_PrintScale(TxPrintScale value) noexcept override;
  HRESULT STDMETHODCALLTYPE get_Scaled(VARIANT_BOOL* value) noexcept override;
  HRESULT STDMETHODCALLTYPE put_Scaled(VARIANT_BOOL value) noexcept override;
  HRESULT STDMETHODCALLTYPE get_Active(VARIANT_BOOL* value) noexcept override;
  HRESULT STDMETHODCALLTYPE get_DropTarget(VARIANT_BOOL* value) noexcept override;
  HRESULT STDMETHODCALLTYPE put_DropTarget(VARIANT_BOOL value) noexcept override;
  HRESULT STDMETHODCALLTYPE get_HelpFile(BSTR* value) noexcept override;
  HRESULT STDMETHODCALLTYPE put_HelpFile(BSTR value) noexcept override;
  HRESULT STDMETHODCALLTYPE get_DoubleBuffered(VARIANT_BOOL* value) noexcept override;
  HRESULT STDMETHODCALLTYPE put_DoubleBuffered(VARIANT_BOOL value) noexcept override;
  HRESULT STDMETHODCALLTYPE get_AlignDisabled(VARIANT_BOOL* value) noexcept override;
  HRESULT STDMETHODCALLTYPE get_VisibleDockClientCount(LONG* value) noexcept override;
  HRESULT STDMETHODCALLTYPE get_Enabled(VARIANT_BOOL* value) noexcept override;
  HRESULT STDMETHODCALLTYPE put_Enabled(VARIANT_BOOL value) noexcept override;
  HRESULT STDMETHODCALLTYPE AboutBox() noexcept override;

  // IConnectionPointContainer
  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** out) noexcept override;
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** out) noexcept override;

  // IProvideClassInfo2
  HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** out) noexcept override;
  HRESULT STDMETHODCALLTYPE GetGUID(DWORD kind, GUID* out) noexcept override;

  // ISupportErrorInfo
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) noexcept override;

  // The firers of IVANTEvents: every connected sink, lowest slot first.
  void Fire(DISPID id) noexcept;
  // The key goes by reference, sign-extended; the sinks may replace it.
  void FireKeyPress(char& key) noexcept;

 private:
  // The non-delegating IUnknown that owns the object's lifetime.
  class Inner final : public IUnknown {
   public:
    explicit Inner(TVANT1Impl& owner) : owner_(owner) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) noexcept override;
    ULONG STDMETHODCALLTYPE AddRef() noexcept override;
    ULONG STDMETHODCALLTYPE Release() noexcept override;

   private:
    TVANT1Impl& owner_;
  };

  explicit TVANT1Impl(IUnknown* outer);
  ~TVANT1Impl();
  void FinalConstruct();
  void BindEvents();
  static LRESULT CALLBACK ControlWindowProc(HWND hwnd, UINT message, WPARAM w, LPARAM l);

  FormWindow& Form() const;
  template <class Value, class Read>
  HRESULT Get(Value* out, Read&& read);
  template <class Edit>
  HRESULT Put(DISPID id, Edit&& edit);
  HRESULT PutFont(IFontDisp* font);

  volatile LONG refs_ = 1;  // the creator's reference until Create returns
  Inner inner_;
  IUnknown* controlling_;  // the outer object, or inner_

  Catalogue catalogue_;  // each control analyses its own drive
  std::unique_ptr<win32::System> system_;
  std::unique_ptr<win32::Toolkit> toolkit_;
  std::unique_ptr<TVANT1> form_;
  HWND formWindow_ = nullptr;
  WNDPROC savedWindowProc_ = nullptr;

  ConnectionPoint propertyNotify_;
  ConnectionPoint events_;
  std::unique_ptr<FontLink> font_;
};

}  // namespace vant::host
