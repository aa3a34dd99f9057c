// A container of our own whose every part records what the control asks of
// it, in one log: client site, in-place site, control site, ambient
// properties, frame and view advise sink, all over one host window.
#pragma once

#include <string>
#include <vector>

#include "tests/host/host_test_support.h"

namespace vant::testing {

class RecordingContainer : public IOleClientSite,
                           public IOleInPlaceSite,
                           public IOleControlSite,
                           public IDispatch,
                           public IOleInPlaceFrame,
                           public IAdviseSinkEx {
 public:
  std::vector<std::string> Log;
  HWND Window = nullptr;
  bool UserMode = true;
  bool HasAmbient = true;  // answers IDispatch (ambient properties)
  OLE_COLOR BackColour = 0x00123456, ForeColour = 0x00654321;
  HRESULT PropertyFrameAnswer = S_OK;
  HRESULT AcceleratorAnswer = S_FALSE;
  DWORD LastModifiers = ~0u;
  IOleInPlaceActiveObject* ActiveObject = nullptr;
  ULONG Refs = 0;

  RecordingContainer() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "VantRecordingHost";
    RegisterClassA(&wc);
    Window = CreateWindowExA(0, "VantRecordingHost", "host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 900, 600,
                             nullptr, nullptr, wc.hInstance, nullptr);
    ShowWindow(Window, SW_SHOWNOACTIVATE);
    FONTDESC desc{sizeof(FONTDESC), const_cast<LPOLESTR>(L"Tahoma"), {}, FW_BOLD, ANSI_CHARSET, FALSE, FALSE, FALSE};
    desc.cySize.int64 = 11 * 10000;
    OleCreateFontIndirect(&desc, IID_IFontDisp, reinterpret_cast<void**>(&font_));
  }
  ~RecordingContainer() {
    if (font_) font_->Release();
    if (Window) DestroyWindow(Window);
  }
  bool Logged(const std::string& entry) const {
    for (const auto& e : Log)
      if (e == entry) return true;
    return false;
  }
  RECT Position{10, 20, 410, 320};

  // IUnknown, one identity for all parts.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IOleClientSite) *out = static_cast<IOleClientSite*>(this);
    else if (iid == IID_IOleInPlaceSite || iid == IID_IOleWindow) *out = static_cast<IOleInPlaceSite*>(this);
    else if (iid == IID_IOleControlSite) *out = static_cast<IOleControlSite*>(this);
    else if (iid == IID_IDispatch && HasAmbient) *out = static_cast<IDispatch*>(this);
    else if (iid == IID_IAdviseSink || iid == IID_IAdviseSinkEx) *out = static_cast<IAdviseSinkEx*>(this);
    else return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++Refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --Refs; }

  // IOleClientSite
  HRESULT STDMETHODCALLTYPE SaveObject() override { return Record("SaveObject"); }
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer**) override { return E_NOINTERFACE; }
  HRESULT STDMETHODCALLTYPE ShowObject() override { return Record("ShowObject"); }
  HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL show) override { return Record(show ? "OnShowWindow(1)" : "OnShowWindow(0)"); }
  HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow (both sites and the frame answer the host window)
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* out) override {
    *out = Window;
    return Record("GetWindow");
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IOleInPlaceSite
  HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return Record("CanInPlaceActivate"); }
  HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return Record("OnInPlaceActivate"); }
  HRESULT STDMETHODCALLTYPE OnUIActivate() override { return Record("OnUIActivate"); }
  HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position,
                                             LPRECT clip, LPOLEINPLACEFRAMEINFO) override {
    *frame = static_cast<IOleInPlaceFrame*>(this);
    AddRef();
    *document = nullptr;
    *position = Position;
    *clip = Position;
    return Record("GetWindowContext");
  }
  HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return Record("OnUIDeactivate"); }
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return Record("OnInPlaceDeactivate"); }
  HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return E_NOTIMPL; }

  // IOleControlSite
  HRESULT STDMETHODCALLTYPE OnControlInfoChanged() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE LockInPlaceActive(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetExtendedControl(IDispatch**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TransformCoords(POINTL*, POINTF*, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG*, DWORD modifiers) override {
    LastModifiers = modifiers;
    Record("TranslateAccelerator");
    return AcceleratorAnswer;
  }
  HRESULT STDMETHODCALLTYPE OnFocus(BOOL gained) override { return Record(gained ? "OnFocus(1)" : "OnFocus(0)"); }
  HRESULT STDMETHODCALLTYPE ShowPropertyFrame() override {
    Record("ShowPropertyFrame");
    return PropertyFrameAnswer;
  }

  // IDispatch: the ambient properties.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                                   UINT*) override {
    Log.push_back("Ambient(" + std::to_string(id) + ")");
    VariantInit(result);
    switch (id) {
      case DISPID_AMBIENT_BACKCOLOR: result->vt = VT_I4; result->lVal = static_cast<LONG>(BackColour); return S_OK;
      case DISPID_AMBIENT_FORECOLOR: result->vt = VT_I4; result->lVal = static_cast<LONG>(ForeColour); return S_OK;
      case DISPID_AMBIENT_FONT:
        result->vt = VT_DISPATCH;
        result->pdispVal = font_;
        font_->AddRef();
        return S_OK;
      case DISPID_AMBIENT_USERMODE: result->vt = VT_BOOL; result->boolVal = UserMode ? VARIANT_TRUE : VARIANT_FALSE; return S_OK;
      default: return DISP_E_MEMBERNOTFOUND;
    }
  }

  // IOleInPlaceFrame (and IOleInPlaceUIWindow)
  HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR) override {
    ActiveObject = object;
    return Record(object ? "SetActiveObject(control)" : "SetActiveObject(null)");
  }
  HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

  // IAdviseSinkEx: the view changes.
  void STDMETHODCALLTYPE OnDataChange(FORMATETC*, STGMEDIUM*) override { Log.push_back("OnDataChange"); }
  void STDMETHODCALLTYPE OnViewChange(DWORD, LONG) override { Log.push_back("OnViewChange"); }
  void STDMETHODCALLTYPE OnRename(IMoniker*) override {}
  void STDMETHODCALLTYPE OnSave() override { Log.push_back("OnSave"); }
  void STDMETHODCALLTYPE OnClose() override {}
  void STDMETHODCALLTYPE OnViewStatusChange(DWORD) override {}

 private:
  HRESULT Record(const char* call) {
    Log.emplace_back(call);
    return S_OK;
  }
  IFontDisp* font_ = nullptr;
};

}  // namespace vant::testing
