// The control object TVANT1Impl: one workspace form made to appear as an
// embedded, windowed OLE control. This object holds all the state; each
// interface is a thin part over it, written in the file of its concern:
// control.cpp creation, destruction and QueryInterface; embedding.cpp the
// OLE object, in-place activation, verbs and ambient properties;
// drawing.cpp the view and data objects; persistence.cpp streams and
// storages; automation.cpp IVANT and the class information; events.cpp the
// connection points and the event firers.
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

// The calling thread's parking window, where its forms wait while not
// placed in a host (made on first use, and again after it was destroyed).
// Each thread has its own: a form is never a child of another thread's window.
HWND ParkingWindow();

class TVANT1Impl final : public IViewObjectEx,
                         public IOleInPlaceObject,
                         public IOleInPlaceActiveObject,
                         public IOleControl,
                         public IOleObject,
                         public IQuickActivate,
                         public IPersistStorage,
                         public IPersistStreamInit,
                         public ISpecifyPropertyPages,
                         public IDataObject,
                         public ISimpleFrameSite,
                         public IVANT,
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

  // ---- embedding and activation (embedding.cpp) ----
  // IOleWindow (through IOleInPlaceObject and IOleInPlaceActiveObject)
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* out) noexcept override;
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL enter) noexcept override;
  // IOleInPlaceObject
  HRESULT STDMETHODCALLTYPE InPlaceDeactivate() noexcept override;
  HRESULT STDMETHODCALLTYPE UIDeactivate() noexcept override;
  HRESULT STDMETHODCALLTYPE SetObjectRects(LPCRECT position, LPCRECT clip) noexcept override;
  HRESULT STDMETHODCALLTYPE ReactivateAndUndo() noexcept override;
  // IOleInPlaceActiveObject
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG* message) noexcept override;
  HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL activate) noexcept override;
  HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL activate) noexcept override;
  HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frame) noexcept override;
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL enable) noexcept override;
  // IOleControl
  HRESULT STDMETHODCALLTYPE GetControlInfo(CONTROLINFO* info) noexcept override;
  HRESULT STDMETHODCALLTYPE OnMnemonic(MSG* message) noexcept override;
  HRESULT STDMETHODCALLTYPE OnAmbientPropertyChange(DISPID id) noexcept override;
  HRESULT STDMETHODCALLTYPE FreezeEvents(BOOL freeze) noexcept override;
  // IOleObject
  HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* site) noexcept override;
  HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** out) noexcept override;
  HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR application, LPCOLESTR document) noexcept override;
  HRESULT STDMETHODCALLTYPE Close(DWORD saveOption) noexcept override;
  HRESULT STDMETHODCALLTYPE SetMoniker(DWORD which, IMoniker* moniker) noexcept override;
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD assign, DWORD which, IMoniker** out) noexcept override;
  HRESULT STDMETHODCALLTYPE InitFromData(IDataObject* data, BOOL creation, DWORD reserved) noexcept override;
  HRESULT STDMETHODCALLTYPE GetClipboardData(DWORD reserved, IDataObject** out) noexcept override;
  HRESULT STDMETHODCALLTYPE DoVerb(LONG verb, LPMSG message, IOleClientSite* site, LONG index, HWND parent,
                                   LPCRECT position) noexcept override;
  HRESULT STDMETHODCALLTYPE EnumVerbs(IEnumOLEVERB** out) noexcept override;
  HRESULT STDMETHODCALLTYPE Update() noexcept override;
  HRESULT STDMETHODCALLTYPE IsUpToDate() noexcept override;
  HRESULT STDMETHODCALLTYPE GetUserClassID(CLSID* out) noexcept override;
  HRESULT STDMETHODCALLTYPE GetUserType(DWORD form, LPOLESTR* out) noexcept override;
  HRESULT STDMETHODCALLTYPE SetExtent(DWORD aspect, SIZEL* size) noexcept override;
  HRESULT STDMETHODCALLTYPE GetExtent(DWORD aspect, SIZEL* size) noexcept override;
  HRESULT STDMETHODCALLTYPE Advise(IAdviseSink* sink, DWORD* cookie) noexcept override;
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) noexcept override;
  HRESULT STDMETHODCALLTYPE EnumAdvise(IEnumSTATDATA** out) noexcept override;
  HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD aspect, DWORD* out) noexcept override;
  HRESULT STDMETHODCALLTYPE SetColorScheme(LOGPALETTE* palette) noexcept override;
  // IQuickActivate
  HRESULT STDMETHODCALLTYPE QuickActivate(QACONTAINER* container, QACONTROL* control) noexcept override;
  HRESULT STDMETHODCALLTYPE SetContentExtent(LPSIZEL size) noexcept override;
  HRESULT STDMETHODCALLTYPE GetContentExtent(LPSIZEL size) noexcept override;
  // ISpecifyPropertyPages
  HRESULT STDMETHODCALLTYPE GetPages(CAUUID* pages) noexcept override;
  // ISimpleFrameSite
  HRESULT STDMETHODCALLTYPE PreMessageFilter(HWND window, UINT message, WPARAM w, LPARAM l, LRESULT* result,
                                             DWORD* cookie) noexcept override;
  HRESULT STDMETHODCALLTYPE PostMessageFilter(HWND window, UINT message, WPARAM w, LPARAM l, LRESULT* result,
                                              DWORD cookie) noexcept override;

  // ---- drawing and data (drawing.cpp) ----
  // IViewObject, IViewObject2, IViewObjectEx
  HRESULT STDMETHODCALLTYPE Draw(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* device, HDC targetDc,
                                 HDC drawDc, LPCRECTL bounds, LPCRECTL windowBounds,
                                 BOOL(STDMETHODCALLTYPE* cont)(ULONG_PTR), ULONG_PTR contArgument) noexcept override;
  HRESULT STDMETHODCALLTYPE GetColorSet(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* device,
                                        HDC targetDc, LOGPALETTE** out) noexcept override;
  HRESULT STDMETHODCALLTYPE Freeze(DWORD aspect, LONG index, void* aspectInfo, DWORD* cookie) noexcept override;
  HRESULT STDMETHODCALLTYPE Unfreeze(DWORD cookie) noexcept override;
  HRESULT STDMETHODCALLTYPE SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) noexcept override;
  HRESULT STDMETHODCALLTYPE GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) noexcept override;
  HRESULT STDMETHODCALLTYPE GetExtent(DWORD aspect, LONG index, DVTARGETDEVICE* device,
                                      LPSIZEL size) noexcept override;
  HRESULT STDMETHODCALLTYPE GetRect(DWORD aspect, LPRECTL rect) noexcept override;
  HRESULT STDMETHODCALLTYPE GetViewStatus(DWORD* status) noexcept override;
  HRESULT STDMETHODCALLTYPE QueryHitPoint(DWORD aspect, LPCRECT bounds, POINT location, LONG closeHint,
                                          DWORD* result) noexcept override;
  HRESULT STDMETHODCALLTYPE QueryHitRect(DWORD aspect, LPCRECT bounds, LPCRECT location, LONG closeHint,
                                         DWORD* result) noexcept override;
  HRESULT STDMETHODCALLTYPE GetNaturalExtent(DWORD aspect, LONG index, DVTARGETDEVICE* device, HDC targetDc,
                                             DVEXTENTINFO* info, LPSIZEL size) noexcept override;
  // IDataObject
  HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) noexcept override;
  HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC* format, STGMEDIUM* medium) noexcept override;
  HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) noexcept override;
  HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC* in, FORMATETC* out) noexcept override;
  HRESULT STDMETHODCALLTYPE SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) noexcept override;
  HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) noexcept override;
  HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC* format, DWORD flags, IAdviseSink* sink,
                                    DWORD* cookie) noexcept override;
  HRESULT STDMETHODCALLTYPE DUnadvise(DWORD cookie) noexcept override;
  HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA** out) noexcept override;

  // ---- persistence (persistence.cpp) ----
  // IPersist (through both persistence interfaces)
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* out) noexcept override;
  // IPersistStreamInit
  HRESULT STDMETHODCALLTYPE IsDirty() noexcept override;
  HRESULT STDMETHODCALLTYPE Load(LPSTREAM stream) noexcept override;
  HRESULT STDMETHODCALLTYPE Save(LPSTREAM stream, BOOL clearDirty) noexcept override;
  HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER* size) noexcept override;
  HRESULT STDMETHODCALLTYPE InitNew() noexcept override;
  // IPersistStorage
  HRESULT STDMETHODCALLTYPE InitNew(IStorage* storage) noexcept override;
  HRESULT STDMETHODCALLTYPE Load(IStorage* storage) noexcept override;
  HRESULT STDMETHODCALLTYPE Save(IStorage* storage, BOOL sameAsLoad) noexcept override;
  HRESULT STDMETHODCALLTYPE SaveCompleted(IStorage* storage) noexcept override;
  HRESULT STDMETHODCALLTYPE HandsOffStorage() noexcept override;

  // The firers of IVANTEvents: every connected sink, lowest slot first.
  void Fire(DISPID id) noexcept;
  // Destroys a control let go while busy, once nothing of it runs (posted
  // to the parking window when the busy depth came back to 0).
  static void FinishAbandoned(TVANT1Impl* control) noexcept;

  // Held while control code runs that may call out (a window message, an
  // event, a put, a pump, a modal box): a reference of its own and one level
  // of the busy depth, so a last Release meanwhile only abandons the control.
  class Busy {
   public:
    explicit Busy(TVANT1Impl& control) : control_(control) { control_.Enter(); }
    ~Busy() { control_.Leave(); }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

   private:
    TVANT1Impl& control_;
  };
  void Enter() noexcept;
  void Leave() noexcept;
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
  // The last reference went: destroys the control, or abandons it while busy.
  void LastRelease() noexcept;
  // Stops the form's work, parks and hides it, and lets go of the host.
  void Abandon() noexcept;
  void ReleaseHost() noexcept;
  void FinalConstruct();
  void BindEvents();
  static LRESULT CALLBACK ControlWindowProc(HWND hwnd, UINT message, WPARAM w, LPARAM l);

  FormWindow& Form() const;
  template <class Value, class Read>
  HRESULT Get(Value* out, Read&& read);
  template <class Edit>
  HRESULT Put(DISPID id, Edit&& edit);
  HRESULT PutFont(IFontDisp* font);
  // An edit made through the font object: the put sequence, veto and all.
  HRESULT PutFormFont(const FormFont& font);

  // ---- embedding state (embedding.cpp) ----
  // What happens when the form's window gets a message, before or after the form.
  LRESULT ControlMessage(HWND hwnd, UINT message, WPARAM w, LPARAM l);
  HRESULT ActivateInPlace(LONG verb, const RECT* position);
  HRESULT UIActivate();
  void LeaveUIActive();
  HRESULT DoPropertiesVerb(HWND parent);
  HRESULT AmbientChanged(DISPID id);
  HRESULT Ambient(DISPID id, VARIANT* value);
  HRESULT AmbientColour(DISPID id, OLE_COLOR* colour);
  void InvalidateView();  // redraw: the window when in-place active, else the view sink

  // ---- drawing (drawing.cpp) ----
  // Paints the form and its children into `dc` at `origin` (device units).
  void PaintForm(HDC dc, POINT origin);

  volatile LONG refs_ = 1;  // the creator's reference until Create returns
  int busy_ = 0;            // control code on the stack (this thread only)
  bool abandoned_ = false;  // released while busy: destroyed once idle
  bool finishPosted_ = false;
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

  // What the host gave, each an owned reference.
  ComPtr<IOleClientSite> clientSite_;
  ComPtr<IOleInPlaceSite> inPlaceSite_;
  ComPtr<IDispatch> ambient_;
  ComPtr<IOleControlSite> controlSite_;
  ComPtr<IOleInPlaceFrame> frame_;           // while in-place active
  ComPtr<IOleInPlaceUIWindow> document_;     // while in-place active (may be null)
  ComPtr<IDataAdviseHolder> dataAdvise_;
  ComPtr<IOleAdviseHolder> oleAdvise_;
  ComPtr<IAdviseSink> viewSink_;
  DWORD viewAspects_ = 0, viewFlags_ = 0;

  HWND controlWindow_ = nullptr;  // the form's window once in-place active
  SIZEL extent_{5080, 5080};         // HIMETRIC
  SIZEL naturalExtent_{5080, 5080};  // HIMETRIC
  bool inPlaceActive_ = false;
  bool uiActive_ = false;
  bool windowOnly_ = true;  // the control always has a window of its own
  bool requiresSave_ = false;
  bool autoSize_ = false;
  bool recomposeOnResize_ = false;
  bool resizeNatural_ = false;
  LONG freezeCount_ = 0;
};

}  // namespace vant::host
