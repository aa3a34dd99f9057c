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

// Where the class's rows go: the machine's classes (HKEY_CLASSES_ROOT, for
// an administrator) or the user's own (HKEY_CURRENT_USER\Software\Classes,
// which COM reads before the machine's, for anyone), each with its own way of
// registering the type library.
struct Hive {
  HKEY Root;
  const wchar_t* Base;
  bool PerUser;
  std::wstring Key(const std::wstring& key) const { return Base + key; }
};
const Hive kMachine{HKEY_CLASSES_ROOT, L"", false};
const Hive kUser{HKEY_CURRENT_USER, L"Software\\Classes\\", true};

// Writes a REG_SZ row. A row that cannot be written is an error of its own:
// a registration never ends half written without saying so.
void Write(const Hive& hive, const std::wstring& key, const std::wstring& value, const wchar_t* name = nullptr) {
  HKEY handle = nullptr;
  LONG status = RegCreateKeyExW(hive.Root, hive.Key(key).c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                                &handle, nullptr);
  if (status == ERROR_SUCCESS) {
    status = RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(handle);
  }
  if (status != ERROR_SUCCESS) {
    std::string where;
    for (wchar_t c : hive.Key(key)) where += c < 0x80 ? static_cast<char>(c) : '?';
    throw ComError(HRESULT_FROM_WIN32(status), "the registry key " + where + " cannot be written");
  }
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

// Not declared by mingw's headers; oleaut32 exports them.
extern "C" HRESULT WINAPI RegisterTypeLibForUser(ITypeLib* library, OLECHAR* path, OLECHAR* helpFolder);
extern "C" HRESULT WINAPI UnRegisterTypeLibForUser(REFGUID libid, WORD major, WORD minor, LCID locale, SYSKIND kind);

HRESULT RegisterTypes(const Hive& hive, ITypeLib* library, std::wstring path, std::wstring helpFolder) {
  OLECHAR* folder = helpFolder.empty() ? nullptr : helpFolder.data();
  return hive.PerUser ? RegisterTypeLibForUser(library, path.data(), folder)
                      : RegisterTypeLib(library, path.data(), folder);
}

struct TypeLibrary {
  ComPtr<ITypeLib> Library;
  ComPtr<ITypeInfo> Class;
};

struct ClassRows {
  std::wstring ClsidKey = L"CLSID\\" + Braced(CLSID_VANT1);
  std::wstring ProgId = kProgIdW;
  std::wstring Description, ModulePath;
  int Major = 0, Minor = 0;
};

// The rows in their fixed order; answers the type library's registration.
HRESULT WriteRows(const Hive& hive, ITypeLib* library, const ClassRows& rows) {
  const std::wstring& clsidKey = rows.ClsidKey;
  Write(hive, clsidKey, rows.Description);
  Write(hive, clsidKey + L"\\InprocServer32", rows.ModulePath);
  Write(hive, clsidKey + L"\\InprocServer32", L"Apartment", L"ThreadingModel");
  Write(hive, rows.ProgId, rows.Description);
  Write(hive, rows.ProgId + L"\\CLSID", Braced(CLSID_VANT1));
  Write(hive, clsidKey + L"\\ProgID", rows.ProgId);
  Write(hive, clsidKey + L"\\Version", std::to_wstring(rows.Major) + L"." + std::to_wstring(rows.Minor));
  Write(hive, clsidKey + L"\\Typelib", Braced(LIBID_VANTProj1));
  const HRESULT hr = RegisterTypes(hive, library, rows.ModulePath, {});
  Write(hive, clsidKey + L"\\MiscStatus", L"0");
  Write(hive, clsidKey + L"\\MiscStatus\\1", std::to_wstring(kMiscStatus));
  Write(hive, clsidKey + L"\\ToolboxBitmap32", rows.ModulePath + L"," + std::to_wstring(kToolboxBitmap));
  Write(hive, clsidKey + L"\\Control", L"");
  Write(hive, clsidKey + L"\\Verb", L"");
  for (int i = 0; kVerbs[i].Name; ++i)
    Write(hive, clsidKey + L"\\Verb\\" + std::to_wstring(i),
          std::wstring(kVerbs[i].Name) + L"," + std::to_wstring(kVerbs[i].MenuFlags) + L"," +
              std::to_wstring(kVerbs[i].Attributes));
  return hr;
}

// The control's registry updater: `install` writes the class's rows into
// `hive`, otherwise removes both key trees (and, for the user, the user's
// registration of the type library). When a row cannot be written, what
// was written is removed again and the failure answered.
HRESULT UpdateRegistry(const Hive& hive, bool install) {
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
    ClassRows rows;
    rows.Major = attributes->wMajorVerNum;
    rows.Minor = attributes->wMinorVerNum;
    const LCID locale = attributes->lcid;
    const SYSKIND kind = attributes->syskind;
    types.Library->ReleaseTLibAttr(attributes);

    auto removeKeys = [&] {
      DeleteTree(hive.Root, hive.Key(rows.ClsidKey));
      DeleteTree(hive.Root, hive.Key(rows.ProgId));
    };
    if (!install) {
      removeKeys();
      // The machine's type library stays registered; the user's leaves with the user's rows.
      if (hive.PerUser) UnRegisterTypeLibForUser(LIBID_VANTProj1, rows.Major, rows.Minor, locale, kind);
      return S_OK;
    }
    rows.Description = description.view();
    rows.ModulePath = RegisteredPath(path);
    try {
      return WriteRows(hive, types.Library.get(), rows);
    } catch (...) {
      removeKeys();
      throw;
    }
  });
}

// The type library, from the library itself or else from a .tlb beside it,
// registered with the library's folder as its help folder.
HRESULT RegisterTypeLibrary(const Hive& hive) {
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
    return RegisterTypes(hive, library.get(), path, end == std::wstring::npos ? std::wstring() : path.substr(0, end + 1));
  });
}

HRESULT Register(const Hive& hive) {
  const HRESULT hr = UpdateRegistry(hive, true);
  if (FAILED(hr)) return hr;
  return RegisterTypeLibrary(hive);
}

}  // namespace
}  // namespace vant::host

extern "C" {

STDAPI DllRegisterServer() { return vant::host::Register(vant::host::kMachine); }

// The type library stays registered; the answer is always S_OK.
STDAPI DllUnregisterServer() {
  vant::host::UpdateRegistry(vant::host::kMachine, false);
  return S_OK;
}

// regsvr32 /n /i:user registers for the current user alone (no administrator
// needed), regsvr32 /u /n /i:user removes that again; without "user" (or
// with "machine") it is the machine-wide registration.
STDAPI DllInstall(BOOL install, LPCWSTR command) {
  using namespace vant::host;
  const std::wstring what = command ? command : L"";
  if (lstrcmpiW(what.c_str(), L"user") == 0) {
    if (install) return Register(kUser);
    return UpdateRegistry(kUser, false);
  }
  if (!what.empty() && lstrcmpiW(what.c_str(), L"machine") != 0) return E_INVALIDARG;
  return install ? DllRegisterServer() : DllUnregisterServer();
}

}  // extern "C"
