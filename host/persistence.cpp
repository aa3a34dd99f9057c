// IN PROGRESS: stream and storage persistence (being written).
#include "host/control.h"

namespace vant::host {
HRESULT TVANT1Impl::GetClassID(CLSID* out) noexcept { VANT_RETURN_IF_NULL(out); *out = CLSID_VANT1; return S_OK; }
HRESULT TVANT1Impl::IsDirty() noexcept { return requiresSave_ ? S_OK : S_FALSE; }
HRESULT TVANT1Impl::Load(LPSTREAM) noexcept { return E_NOTIMPL; }
HRESULT TVANT1Impl::Save(LPSTREAM, BOOL) noexcept { return E_NOTIMPL; }
HRESULT TVANT1Impl::GetSizeMax(ULARGE_INTEGER*) noexcept { return E_NOTIMPL; }
HRESULT TVANT1Impl::InitNew() noexcept { return S_OK; }
HRESULT TVANT1Impl::InitNew(IStorage*) noexcept { return S_OK; }
HRESULT TVANT1Impl::Load(IStorage*) noexcept { return E_NOTIMPL; }
HRESULT TVANT1Impl::Save(IStorage*, BOOL) noexcept { return E_NOTIMPL; }
HRESULT TVANT1Impl::SaveCompleted(IStorage*) noexcept { return S_OK; }
HRESULT TVANT1Impl::HandsOffStorage() noexcept { return S_OK; }
}  // namespace vant::host
