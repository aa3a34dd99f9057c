// Saving the form's own properties into a host's stream or storage and
// loading them back (the byte layout is in property_stream.h).
//
// Every failure inside Load and Save (a stream that fails, ends early or is
// not ours, a value the form refuses) goes out through the COM error object
// with DISP_E_EXCEPTION, its description saying what was wrong. Only the
// storage's own answer when it has no "Contents" stream, or cannot make one,
// is returned as the storage gave it.
#include <cstdio>

#include "host/control.h"
#include "host/property_stream.h"

namespace vant::host {
namespace {

constexpr wchar_t kContents[] = L"Contents";

std::string Failure(const char* what, HRESULT hr) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(hr));
  return std::string(what) + " (" + code + ")";
}

}  // namespace

HRESULT TVANT1Impl::GetClassID(CLSID* out) noexcept {
  VANT_RETURN_IF_NULL(out);
  *out = CLSID_VANT1;
  return S_OK;
}

// No property put sets the flag, so a control answers clean until something
// else marks it.
HRESULT TVANT1Impl::IsDirty() noexcept { return requiresSave_ ? S_OK : S_FALSE; }

HRESULT TVANT1Impl::InitNew() noexcept { return S_OK; }

HRESULT TVANT1Impl::GetSizeMax(ULARGE_INTEGER*) noexcept { return E_NOTIMPL; }

HRESULT TVANT1Impl::Load(LPSTREAM stream) noexcept {
  VANT_RETURN_IF_NULL(stream);
  return Boundary(IID_IPersistStreamInit, [&] {
    const FormProperties loaded = property_stream::Read(
        [&](std::uint8_t* into, std::size_t size) -> std::size_t {
          ULONG got = 0;
          const HRESULT hr = stream->Read(into, static_cast<ULONG>(size), &got);
          if (FAILED(hr)) throw std::runtime_error(Failure("the stream cannot be read", hr));
          return got;
        },
        Form().Properties());
    // All decoded before anything changes: one SetProperties, which itself
    // refuses a bad value before it touches the form.
    Form().SetProperties(loaded);
    if (font_) font_->Refresh();
    InvalidateView();
    return S_OK;
  });
}

// Only the form itself is saved, none of its children; clearDirty is not used.
HRESULT TVANT1Impl::Save(LPSTREAM stream, BOOL) noexcept {
  VANT_RETURN_IF_NULL(stream);
  return Boundary(IID_IPersistStreamInit, [&] {
    property_stream::Write(Form().Properties(), [&](const std::uint8_t* from, std::size_t size) {
      ULONG written = 0;
      const HRESULT hr = stream->Write(from, static_cast<ULONG>(size), &written);
      if (FAILED(hr)) throw std::runtime_error(Failure("the stream cannot be written", hr));
      if (written != size) throw std::runtime_error("the stream took only part of the saved form");
    });
    return S_OK;
  });
}

// ------------------------------------------------------------------ storage

HRESULT TVANT1Impl::InitNew(IStorage*) noexcept { return InitNew(); }

HRESULT TVANT1Impl::Load(IStorage* storage) noexcept {
  VANT_RETURN_IF_NULL(storage);
  ComPtr<IStream> stream;
  const HRESULT hr = storage->OpenStream(kContents, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stream.put());
  if (FAILED(hr)) return hr;
  return Load(stream.get());
}

HRESULT TVANT1Impl::Save(IStorage* storage, BOOL) noexcept {
  VANT_RETURN_IF_NULL(storage);
  ComPtr<IStream> stream;
  const HRESULT hr =
      storage->CreateStream(kContents, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, stream.put());
  if (FAILED(hr)) return hr;
  return Save(stream.get(), TRUE);
}

HRESULT TVANT1Impl::SaveCompleted(IStorage*) noexcept { return S_OK; }
HRESULT TVANT1Impl::HandsOffStorage() noexcept { return S_OK; }

}  // namespace vant::host
