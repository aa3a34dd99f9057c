// The library's entry points and its class object.
#include "host/module.h"

#include <new>

#include "host/com_support.h"
#include "host/guids.h"

namespace vant::host {

Module& Module::Instance() {
  static Module module;
  return module;
}

std::wstring Module::Path() const {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(instance_, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) throw ComError(HRESULT_FROM_WIN32(GetLastError()), "the library's path cannot be read");
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

namespace {

// The class object. Its own reference count does not keep the library:
// only LockServer and live controls do.
class ClassFactory final : public SingleInterface<IClassFactory> {
 public:
  ClassFactory() : SingleInterface(IID_IClassFactory) {}
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) noexcept override {
    VANT_RETURN_IF_NULL(out);
    *out = nullptr;
    if (outer && iid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
    return CreateControl(outer, iid, out);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) noexcept override {
    Module::Instance().LockServer(lock != FALSE);
    return S_OK;
  }
};

}  // namespace

void Module::LockServer(bool lock) {
  if (lock) {
    InterlockedIncrement(&serverLocks_);
    Lock();
    return;
  }
  for (LONG held = serverLocks_; held > 0; held = serverLocks_)
    if (InterlockedCompareExchange(&serverLocks_, held - 1, held) == held) {
      Unlock();
      return;
    }
}

HRESULT Module::GetClassObject(REFIID iid, void** out) {
  if (!classObject_) {
    SectionLock lock(classFactoryLock_);
    if (!classObject_) {
      auto* made = new (std::nothrow) ClassFactory;
      if (!made) return E_OUTOFMEMORY;
      classObject_ = static_cast<IClassFactory*>(made);
    }
  }
  return classObject_->QueryInterface(iid, out);
}

void Module::Terminate() {
  if (IUnknown* cached = classObject_) {
    classObject_ = nullptr;
    cached->Release();
  }
}

}  // namespace vant::host

using vant::host::Module;

extern "C" {

// Only what is safe under the loader lock: no COM, no window or registry
// calls. COM is the host's to initialise (it has, to ask for the class).
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    Module::Instance().SetHandle(instance);
    DisableThreadLibraryCalls(instance);
  } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
    // Unloaded by FreeLibrary (not process exit): drop the class object.
    Module::Instance().Terminate();
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  VANT_RETURN_IF_NULL(out);
  *out = nullptr;
  if (clsid != vant::host::CLSID_VANT1) return CLASS_E_CLASSNOTAVAILABLE;
  return Module::Instance().GetClassObject(iid, out);
}

STDAPI DllCanUnloadNow() { return Module::Instance().LockCount() == 0 ? S_OK : S_FALSE; }

}  // extern "C"
