// IN PROGRESS: the view and data objects (being written).
#include "host/control.h"

namespace vant::host {
HRESULT TVANT1Impl::Draw(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, HDC, LPCRECTL, LPCRECTL, BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) noexcept { return E_NOTIMPL; }
HRESULT TVANT1Impl::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE**) noexcept { return E_NOTIMPL; }
HRESULT TVANT1Impl::Freeze(DWORD, LONG, void*, DWORD*) noexcept { return E_NOTIMPL; }
HRESULT TVANT1Impl::Unfreeze(DWORD) noexcept { return E_NOTIMPL; }
HRESULT TVANT1Impl::SetAdvise(DWORD, DWORD, IAdviseSink*) noexcept { return E_NOTIMPL; }
HRESULT TVANT1Impl::GetAdvise(DWORD*, DWORD*, IAdviseSink**) noexcept { return E_NOTIMPL; }
HRESULT TVANT1Impl::GetExtent(DWORD, LONG, DVTARGETDEVICE*, LPSIZEL) noexcept { return E_NOTIMPL; }
HRESULT TVANT1Impl::GetRect(DWORD, LPRECTL) noexcept { return E_NOTIMPL; }
HRESULT TVANT1Impl::GetViewStatus(DWORD*) noexcept { return E_NOTIMPL; }
HRESULT TVANT1Impl::QueryHitPoint(DWORD, LPCRECT, POINT, LONG, DWORD*) noexcept { return E_NOTIMPL; }
HRESULT TVANT1Impl::QueryHitRect(DWORD, LPCRECT, LPCRECT, LONG, DWORD*) noexcept { return E_NOTIMPL; }
HRESULT TVANT1Impl::GetNaturalExtent(DWORD, LONG, DVTARGETDEVICE*, HDC, DVEXTENTINFO*, LPSIZEL) noexcept { return E_NOTIMPL; }
HRESULT TVANT1Impl::GetData(FORMATETC*, STGMEDIUM*) noexcept { return E_NOTIMPL; }
HRESULT TVANT1Impl::GetDataHere(FORMATETC*, STGMEDIUM*) noexcept { return E_NOTIMPL; }
HRESULT TVANT1Impl::QueryGetData(FORMATETC*) noexcept { return E_NOTIMPL; }
HRESULT TVANT1Impl::GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) noexcept { return E_NOTIMPL; }
HRESULT TVANT1Impl::SetData(FORMATETC*, STGMEDIUM*, BOOL) noexcept { return E_NOTIMPL; }
HRESULT TVANT1Impl::EnumFormatEtc(DWORD, IEnumFORMATETC**) noexcept { return E_NOTIMPL; }
HRESULT TVANT1Impl::DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) noexcept { return E_NOTIMPL; }
HRESULT TVANT1Impl::DUnadvise(DWORD) noexcept { return E_NOTIMPL; }
HRESULT TVANT1Impl::EnumDAdvise(IEnumSTATDATA**) noexcept { return E_NOTIMPL; }
void TVANT1Impl::PaintForm(HDC, POINT) {}
}  // namespace vant::host
