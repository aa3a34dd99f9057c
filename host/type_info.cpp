#include "host/type_info.h"

#include <vector>

#include "host/guids.h"
#include "host/module.h"

namespace vant::host {

std::wstring Widen(std::string_view text) {
  if (text.empty()) return {};
  const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), length);
  return out;
}

std::string Narrow(std::wstring_view text) {
  if (text.empty()) return {};
  const int length =
      WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), length, nullptr, nullptr);
  return out;
}

BSTR AllocBstr(std::string_view text) { return Bstr(Widen(text)).detach(); }

HRESULT ReportError(REFIID iid, std::string_view description) {
  ComPtr<ICreateErrorInfo> create;
  if (SUCCEEDED(CreateErrorInfo(create.put()))) {
    create->SetGUID(iid);
    create->SetSource(const_cast<LPOLESTR>(kProgIdW));
    std::wstring text = Widen(description);
    create->SetDescription(text.data());
    if (auto info = create.try_query<IErrorInfo>(IID_IErrorInfo)) SetErrorInfo(0, info.get());
  }
  return DISP_E_EXCEPTION;
}

namespace {
constexpr LCID kLibraryLocale = 0x0409;  // the library's own locale, under which it is registered
// The loaded library: null until a load succeeds; a failure is not kept,
// so registering later lets the next call succeed.
ITypeLib* g_library = nullptr;
}  // namespace

HRESULT RegisteredTypeInfo(REFGUID guid, ITypeInfo** out) {
  VANT_RETURN_IF_NULL(out);
  *out = nullptr;
  {
    SectionLock lock(Module::Instance().TypeInfoLock());
    if (!g_library) {
      const HRESULT hr = LoadRegTypeLib(LIBID_VANTProj1, 1, 0, kLibraryLocale, &g_library);
      if (FAILED(hr)) {
        g_library = nullptr;
        return hr;
      }
    }
  }
  return g_library->GetTypeInfoOfGuid(guid, out);
}

}  // namespace vant::host
