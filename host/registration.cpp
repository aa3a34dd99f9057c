// Registration of the control class and its type library, and their removal.
#include <cwctype>
#include <string>

#include "host/com_support.h"
#include "host/guids.h"
#include "host/module.h"

namespace vant::host {
namespace {

constexpr DWORD kMiscStatus = 131473;  // set-client-site-first, activate-when-visible, inside-out, can't-link-inside, recompose-on-resize
constexpr int kToolboxBitmap = 1;

struct Verb {
  const wchar_t* Name;
  int MenuFlags, Attributes;
};
// Ends at the first entry without a name.
constexpr Verb kVerbs[] = {{L"Properties", 0, 2}, {nullptr, 0, 0}};

std::wstring Braced(REFGUID guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

// The module's path as the registry gets it: the short form when the full
// name holds white space, so hosts that split command lines still find it.
std::wstring RegisteredPath(const std::wstring& path) {
  bool spaced = false;
  for (wchar_t c : path) spaced = spaced || std::iswspace(c);
  if (!spaced) return path;
  const DWORD length = GetShortPathNameW(path.c_str(), nullptr, 0);
  if (length == 0) return path;
  std::wstring shortPath(length, L'\0');
  const DWORD written = GetShortPathNameW(path.c_str(), shortPath.data(), length);
  if (written == 0 || written >= length) return path;
  shortPath.resize(written);
  return shortPath;
}

// Writes a REG_SZ under HKEY_CLASSES_ROOT; like any registrar of this kind,
// a failed write is not reported (the type library's result is).
void Write(const std::wstring& key, const std::wstring& value, const wchar_t* name = nullptr) {
  HKEY handle = nullptr;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &handle, nullptr) !=
      ERROR_SUCCESS)
    return;
  RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(handle);
}

// Removes a key with every subkey, deepest first.
void DeleteTree(HKEY parent, const std::wstring& key) {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(parent, key.c_str(), 0, KEY_READ | KEY_WRITE, &handle) != ERROR_SUCCESS) return;
  // Always the first subkey: each one is gone before the next is asked for;
  // one that cannot be removed ends the walk instead of repeating forever.
  std::wstring last;
  for (;;) {
    wchar_t child[256];
    DWORD length = 256;
    if (RegEnumKeyExW(handle, 0, child, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    if (child == last) break;
    last = child;
    DeleteTree(handle, child);
  }
  RegCloseKey(handle);
  RegDeleteKeyW(parent, key.c_str());
}

struct TypeLibrary {
  ComPtr<ITypeLib> Library;
  ComPtr<ITypeInfo> Class;
};

// The control's registry updater: `install` writes the class's keys in
// their fixed order, otherwise removes both key trees.
HRESULT UpdateRegistry(bool install) {
  return Boundary(IID_NULL, [&]() -> HRESULT {
    const std::wstring path = Module::Instance().Path();
    TypeLibrary types;
    HRESULT hr = LoadTypeLib(path.c_str(), types.Library.put());
    if (FAILED(hr)) return hr;
    hr = types.Library->GetTypeInfoOfGuid(CLSID_VANT1, types.Class.put());
    if (FAILED(hr)) return hr;
    Bstr description;
    hr = types.Class->GetDocumentation(MEMBERID_NIL, nullptr, description.put(), nullptr, nullptr);
    if (FAILED(hr)) return hr;
    TLIBATTR* attributes = nullptr;
    hr = types.Library->GetLibAttr(&attributes);
    if (FAILED(hr)) return hr;
    const int major = attributes->wMajorVerNum, minor = attributes->wMinorVerNum;
    types.Library->ReleaseTLibAttr(attributes);

    const std::wstring clsidKey = L"CLSID\\" + Braced(CLSID_VANT1);
    const std::wstring progId = kProgIdW;
    if (!install) {
      DeleteTree(HKEY_CLASSES_ROOT, clsidKey);
      DeleteTree(HKEY_CLASSES_ROOT, progId);
      return S_OK;
    }
    const std::wstring modulePath = RegisteredPath(path);
    const std::wstring text(description.view());
    Write(clsidKey, text);
    Write(clsidKey + L"\\InprocServer32", modulePath);
    Write(clsidKey + L"\\InprocServer32", L"Apartment", L"ThreadingModel");
    Write(progId, text);
    Write(progId + L"\\CLSID", Braced(CLSID_VANT1));
    Write(clsidKey + L"\\ProgID", progId);
    Write(clsidKey + L"\\Version", std::to_wstring(major) + L"." + std::to_wstring(minor));
    Write(clsidKey + L"\\Typelib", Braced(LIBID_VANTProj1));
    hr = RegisterTypeLib(types.Library.get(), const_cast<LPOLESTR>(modulePath.c_str()), nullptr);
    Write(clsidKey + L"\\MiscStatus", L"0");
    Write(clsidKey + L"\\MiscStatus\\1", std::to_wstring(kMiscStatus));
    Write(clsidKey + L"\\ToolboxBitmap32", modulePath + L"," + std::to_wstring(kToolboxBitmap));
    Write(clsidKey + L"\\Control", L"");
    Write(clsidKey + L"\\Verb", L"");
    for (int i = 0; kVerbs[i].Name; ++i)
      Write(clsidKey + L"\\Verb\\" + std::to_wstring(i), std::wstring(kVerbs[i].Name) + L"," +
                                                           std::to_wstring(kVerbs[i].MenuFlags) + L"," +
                                                           std::to_wstring(kVerbs[i].Attributes));
    return hr;
  });
}

// The type library, from the library itself or else from a .tlb beside it,
// registered with the library's folder as its help folder.
HRESULT RegisterTypeLibrary() {
  return Boundary(IID_NULL, [&]() -> HRESULT {
    std::wstring path = Module::Instance().Path();
    ComPtr<ITypeLib> library;
    HRESULT hr = LoadTypeLib(path.c_str(), library.put());
    if (FAILED(hr)) {
      const std::size_t slash = path.find_last_of(L"\\/:");
      const std::size_t dot = path.find_last_of(L'.');
      if (dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash)) path.resize(dot);
      path += L".tlb";
      hr = LoadTypeLib(path.c_str(), library.put());
      if (FAILED(hr)) return hr;
    }
    const std::size_t end = path.find_last_of(L"\\/:");
    std::wstring folder = end == std::wstring::npos ? std::wstring() : path.substr(0, end + 1);
    return RegisterTypeLib(library.get(), path.data(), folder.empty() ? nullptr : folder.data());
  });
}

}  // namespace
}  // namespace vant::host

extern "C" {

STDAPI DllRegisterServer() {
  const HRESULT hr = vant::host::UpdateRegistry(true);
  if (FAILED(hr)) return hr;
  return vant::host::RegisterTypeLibrary();
}

// The type library stays registered; the answer is always S_OK.
STDAPI DllUnregisterServer() {
  vant::host::UpdateRegistry(false);
  return S_OK;
}

}  // extern "C"
