// What the control's tests share: the library loaded as a host loads it,
// its exports, the registry, and sinks that record what the control tells.
#pragma once

#include <gtest/gtest.h>

#include "platform/win32/win32_api.h"

#include <ole2.h>
#include <olectl.h>
#include <ocidl.h>

#include <cstdlib>
#include <functional>
#include <utility>
#include <string>
#include <vector>

#include "VANTProj1_h.h"

namespace vant::testing {

// The library's path in Windows form (the build folder seen through Z:);
// VANT_TEST_OCX names another build of it (an older one, to see a test fail).
inline std::string LibraryPath() {
  if (const char* other = std::getenv("VANT_TEST_OCX"); other && *other) return other;
  std::string path = "Z:" VANT_OCX_PATH;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

inline std::wstring Wide(const std::string& text) {
  std::wstring out;
  for (unsigned char c : text) out += static_cast<wchar_t>(c);
  return out;
}

// `object`'s answer for `iid` (a new reference), or null.
template <class I>
I* Query(IUnknown* object, REFIID iid) {
  I* out = nullptr;
  if (object) object->QueryInterface(iid, reinterpret_cast<void**>(&out));
  return out;
}

// The library's four exports, through LoadLibrary as a host gets them.
struct Library {
  HMODULE Module = LoadLibraryA(LibraryPath().c_str());
  using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
  using PlainFn = HRESULT(WINAPI*)();
  GetClassObjectFn GetClassObject = reinterpret_cast<GetClassObjectFn>(Proc("DllGetClassObject"));
  PlainFn CanUnloadNow = reinterpret_cast<PlainFn>(Proc("DllCanUnloadNow"));
  PlainFn Register = reinterpret_cast<PlainFn>(Proc("DllRegisterServer"));
  PlainFn Unregister = reinterpret_cast<PlainFn>(Proc("DllUnregisterServer"));

  // As a plain code address: each caller casts it to the export's own type.
  void (*Proc(const char* name) const)() {
    return Module ? reinterpret_cast<void (*)()>(GetProcAddress(Module, name)) : nullptr;
  }
  bool Loaded() const { return Module && GetClassObject && CanUnloadNow && Register && Unregister; }

  // A new control through the class object (no registration needed).
  IVANT* Create() const {
    IClassFactory* factory = nullptr;
    if (FAILED(GetClassObject(CLSID_VANT1, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) return nullptr;
    IVANT* control = nullptr;
    factory->CreateInstance(nullptr, IID_IVANT, reinterpret_cast<void**>(&control));
    factory->Release();
    return control;
  }
};

// OLE for the test's thread, as any container has it.
class OleEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr))); }
  void TearDown() override { OleUninitialize(); }
};

// A registry value under HKEY_CLASSES_ROOT; `found` tells whether it exists.
inline std::string ClassesValue(const std::string& key, const char* name = nullptr, bool* found = nullptr) {
  char buffer[1024] = {};
  DWORD size = sizeof buffer, type = 0;
  const bool ok = RegGetValueA(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, &type, buffer, &size) ==
                  ERROR_SUCCESS;
  if (found) *found = ok;
  return ok ? buffer : "";
}

inline bool ClassesKeyExists(const std::string& key) {
  HKEY handle = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
  RegCloseKey(handle);
  return true;
}

// The form the control parked: the only child of the parking window.
inline HWND ParkedForm() {
  HWND parking = FindWindowA("DAXParkingWindow", nullptr);
  return parking ? GetWindow(parking, GW_CHILD) : nullptr;
}

// Runs a program of the system (regsvr32, ...) and answers its exit code.
inline DWORD RunProgram(const std::string& commandLine) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::string line = commandLine;
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return ~0u;
  WaitForSingleObject(process.hProcess, 60000);
  DWORD code = ~0u;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}

// Runs `action` at the next processing of this thread's messages: inside
// whatever loop dispatches first (a pump of the form, a modal box, the test's own).
inline void RunAtNextPump(std::function<void()> action) {
  static HWND window = [] {
    WNDCLASSA wc{};
    wc.lpfnWndProc = [](HWND hwnd, UINT message, WPARAM w, LPARAM l) CALLBACK -> LRESULT {
      if (message != WM_APP) return DefWindowProcA(hwnd, message, w, l);
      auto* run = reinterpret_cast<std::function<void()>*>(l);
      (*run)();
      delete run;
      return 0;
    };
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "VANT.TestLater";
    RegisterClassA(&wc);
    return CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
  }();
  PostMessageA(window, WM_APP, 0, reinterpret_cast<LPARAM>(new std::function<void()>(std::move(action))));
}

inline void PumpMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

// Answers the form's OK/Cancel question as a user does: a timer of the
// test's thread finds the box among its windows and presses `button`, after
// running `whileUp` (with the box still up).
class QuestionAnswerer {
 public:
  explicit QuestionAnswerer(int button = IDOK, std::function<void()> whileUp = {})
      : button_(button), whileUp_(std::move(whileUp)) {
    current_ = this;
    timer_ = SetTimer(nullptr, 0, 10, Tick);
  }
  ~QuestionAnswerer() {
    KillTimer(nullptr, timer_);
    current_ = nullptr;
  }
  int Answered = 0;

 private:
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    HWND box = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM l) CALLBACK -> BOOL {
          char kind[16] = {};
          GetClassNameA(window, kind, sizeof kind);
          if (lstrcmpA(kind, "#32770") != 0 || !GetDlgItem(window, IDOK) || !GetDlgItem(window, IDCANCEL)) return TRUE;
          *reinterpret_cast<HWND*>(l) = window;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&box));
    QuestionAnswerer* self = current_;
    if (!box || !self) return;
    ++self->Answered;
    if (self->whileUp_) std::exchange(self->whileUp_, nullptr)();
    SendMessageA(box, WM_COMMAND, MAKEWPARAM(self->button_, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, self->button_)));
  }
  static inline QuestionAnswerer* current_ = nullptr;
  int button_;
  std::function<void()> whileUp_;
  UINT_PTR timer_ = 0;
};

// An event sink that records every event and may replace the key of OnKeyPress.
class EventSink : public IDispatch {
 public:
  std::vector<DISPID> Events;
  std::vector<SHORT> KeysSeen;
  SHORT ReplaceKeyWith = 0;  // 0: leave the key
  HRESULT Answer = S_OK;     // what Invoke answers (a failing sink)
  std::function<void(DISPID)> OnEvent;  // runs inside the event

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    *out = nullptr;
    if (iid != IID_IUnknown && iid != IID_IDispatch && iid != DIID_IVANTEvents) return E_NOINTERFACE;
    *out = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++Refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --Refs; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    Events.push_back(id);
    if (OnEvent) OnEvent(id);
    if (id == 11 && params && params->cArgs == 1 && params->rgvarg[0].vt == (VT_I2 | VT_BYREF)) {
      KeysSeen.push_back(*params->rgvarg[0].piVal);
      if (ReplaceKeyWith) *params->rgvarg[0].piVal = ReplaceKeyWith;
    }
    return Answer;
  }
  ULONG Refs = 0;
};

// A property sink that records requests and changes, and may veto edits.
class PropertySink : public IPropertyNotifySink {
 public:
  std::vector<DISPID> Requests, Changes;
  bool Veto = false;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    *out = nullptr;
    if (iid != IID_IUnknown && iid != IID_IPropertyNotifySink) return E_NOINTERFACE;
    *out = static_cast<IPropertyNotifySink*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++Refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --Refs; }
  HRESULT STDMETHODCALLTYPE OnChanged(DISPID id) override {
    Changes.push_back(id);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnRequestEdit(DISPID id) override {
    Requests.push_back(id);
    return Veto ? S_FALSE : S_OK;
  }
  ULONG Refs = 0;
};

}  // namespace vant::testing
