// The control's pictures for its host: the view object (drawing into the
// host's device context, the view advise sink, extents and hit tests) and
// the data object (the form as a metafile picture, data advise sinks).
#include <algorithm>

#include "host/control.h"

namespace vant::host {
namespace {

constexpr DWORD kViewStatus = VIEWSTATUS_OPAQUE | VIEWSTATUS_SOLIDBKGND;

bool IsMetafile(HDC dc) {
  const DWORD kind = GetObjectType(dc);
  return kind == OBJ_METADC || kind == OBJ_ENHMETADC;
}

// The aspects that show the same picture: the control is opaque all over, so
// its opaque part is the whole content (it has no transparent part to draw),
// and a printed form looks like the one on screen.
bool Drawable(DWORD aspect) {
  return aspect == DVASPECT_CONTENT || aspect == DVASPECT_OPAQUE || aspect == DVASPECT_DOCPRINT;
}

bool IsMetafilePicture(const FORMATETC& format) {
  return format.cfFormat == CF_METAFILEPICT && (format.tymed & TYMED_MFPICT);
}

LONG HimetricToPixels(LONG himetric, int pixelsPerInch) { return MulDiv(himetric, pixelsPerInch, 2540); }

}  // namespace

// ------------------------------------------------------------------ drawing

// WM_PRINT draws the form's frame, background and client area, and asks its
// children to do the same. In a metafile the origin moves through the window
// origin (logical units): a recorded viewport change would override the
// viewport the player chooses.
void TVANT1Impl::PaintForm(HDC dc, POINT origin) {
  const bool metafile = IsMetafile(dc);
  POINT saved{};
  if (origin.x || origin.y) {
    if (metafile) OffsetWindowOrgEx(dc, -origin.x, -origin.y, &saved);
    else OffsetViewportOrgEx(dc, origin.x, origin.y, &saved);
  }
  SendMessageA(formWindow_, WM_PRINT, reinterpret_cast<WPARAM>(dc),
               PRF_CLIENT | PRF_CHILDREN | PRF_ERASEBKGND | PRF_NONCLIENT);
  if (origin.x || origin.y) {
    if (metafile) SetWindowOrgEx(dc, saved.x, saved.y, nullptr);
    else SetViewportOrgEx(dc, saved.x, saved.y, nullptr);
  }
}

HRESULT TVANT1Impl::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC drawDc, LPCRECTL bounds, LPCRECTL,
                         BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) noexcept {
  if (!Drawable(aspect)) return DV_E_DVASPECT;
  // A windowed control is always drawn into given bounds.
  if (!drawDc || !bounds) return E_INVALIDARG;
  return Boundary(IID_IViewObject, [&]() -> HRESULT {
    RECT area{bounds->left, bounds->top, bounds->right, bounds->bottom};
    if (IsMetafile(drawDc)) {
      // The metafile's own units; nothing in a metafile can be asked back.
      const int state = SaveDC(drawDc);
      IntersectClipRect(drawDc, area.left, area.top, area.right, area.bottom);
      PaintForm(drawDc, POINT{area.left, area.top});
      RestoreDC(drawDc, state);
      return S_OK;
    }
    // The form paints in pixels from its own corner: a plain mapping with
    // zero origins, the bounds converted to it.
    LPtoDP(drawDc, reinterpret_cast<POINT*>(&area), 2);
    const int state = SaveDC(drawDc);
    if (!state) return E_FAIL;
    SetMapMode(drawDc, MM_TEXT);
    SetViewportOrgEx(drawDc, 0, 0, nullptr);
    SetWindowOrgEx(drawDc, 0, 0, nullptr);
    // The form paints at its own size; the host's bounds are all it may cover.
    IntersectClipRect(drawDc, std::min(area.left, area.right), std::min(area.top, area.bottom),
                      std::max(area.left, area.right), std::max(area.top, area.bottom));
    PaintForm(drawDc, POINT{std::min(area.left, area.right), std::min(area.top, area.bottom)});
    RestoreDC(drawDc, state);
    return S_OK;
  });
}

HRESULT TVANT1Impl::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE**) noexcept { return E_NOTIMPL; }
HRESULT TVANT1Impl::Freeze(DWORD, LONG, void*, DWORD*) noexcept { return E_NOTIMPL; }
HRESULT TVANT1Impl::Unfreeze(DWORD) noexcept { return E_NOTIMPL; }

// One sink at a time; a null sink ends the advice.
HRESULT TVANT1Impl::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) noexcept {
  viewSink_ = ComPtr<IAdviseSink>(sink);
  viewAspects_ = sink ? aspects : 0;
  viewFlags_ = sink ? flags : 0;
  return S_OK;
}

// Any of the out-pointers may be null: the caller asks only for the others.
HRESULT TVANT1Impl::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) noexcept {
  if (aspects) *aspects = viewAspects_;
  if (flags) *flags = viewFlags_;
  if (sink) viewSink_.copy_to(sink);
  return S_OK;
}

HRESULT TVANT1Impl::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) noexcept {
  VANT_RETURN_IF_NULL(size);
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  *size = extent_;
  return S_OK;
}

// The whole extent is content and opaque; nothing of it is transparent.
HRESULT TVANT1Impl::GetRect(DWORD aspect, LPRECTL rect) noexcept {
  VANT_RETURN_IF_NULL(rect);
  if (aspect != DVASPECT_CONTENT && aspect != DVASPECT_OPAQUE) return DV_E_DVASPECT;
  *rect = RECTL{0, 0, extent_.cx, extent_.cy};
  return S_OK;
}

HRESULT TVANT1Impl::GetViewStatus(DWORD* status) noexcept {
  VANT_RETURN_IF_NULL(status);
  *status = kViewStatus;
  return S_OK;
}

// Opaque everywhere: a point or rectangle meeting the bounds hits the control.
HRESULT TVANT1Impl::QueryHitPoint(DWORD aspect, LPCRECT bounds, POINT location, LONG, DWORD* result) noexcept {
  if (!bounds || !result) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  *result = PtInRect(bounds, location) ? HITRESULT_HIT : HITRESULT_OUTSIDE;
  return S_OK;
}

HRESULT TVANT1Impl::QueryHitRect(DWORD aspect, LPCRECT bounds, LPCRECT location, LONG, DWORD* result) noexcept {
  if (!bounds || !location || !result) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  RECT common;
  *result = IntersectRect(&common, bounds, location) ? HITRESULT_HIT : HITRESULT_OUTSIDE;
  return S_OK;
}

// The content's natural size is the one kept beside the extent; the control
// has no size of its own for another rendering.
HRESULT TVANT1Impl::GetNaturalExtent(DWORD aspect, LONG, DVTARGETDEVICE*, HDC, DVEXTENTINFO* info,
                                     LPSIZEL size) noexcept {
  if (!info || !size) return E_POINTER;
  if (aspect != DVASPECT_CONTENT || info->dwExtentMode != DVEXTENT_CONTENT) return E_NOTIMPL;
  *size = naturalExtent_;
  return S_OK;
}

// -------------------------------------------------------------- data object

// The form drawn into a metafile as large as the extent, handed out as an
// anisotropic picture of that extent so the host can scale it.
HRESULT TVANT1Impl::GetData(FORMATETC* format, STGMEDIUM* medium) noexcept {
  if (!format || !medium) return E_POINTER;
  if (!IsMetafilePicture(*format)) return DATA_E_FORMATETC;
  if (format->dwAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  return Boundary(IID_IDataObject, [&]() -> HRESULT {
    HDC screen = GetDC(nullptr);
    const int dpiX = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
    const int dpiY = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    const RECTL bounds{0, 0, HimetricToPixels(extent_.cx, dpiX), HimetricToPixels(extent_.cy, dpiY)};

    HDC metafileDc = CreateMetaFileW(nullptr);
    if (!metafileDc) return E_UNEXPECTED;
    SetWindowOrgEx(metafileDc, 0, 0, nullptr);
    SetWindowExtEx(metafileDc, bounds.right, bounds.bottom, nullptr);
    const HRESULT drawn = Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, metafileDc, &bounds, nullptr,
                               nullptr, 0);
    HMETAFILE metafile = CloseMetaFile(metafileDc);
    if (!metafile) return E_UNEXPECTED;
    if (FAILED(drawn)) {
      DeleteMetaFile(metafile);
      return drawn;
    }
    HGLOBAL header = GlobalAlloc(GMEM_MOVEABLE, sizeof(METAFILEPICT));
    auto* picture = header ? static_cast<METAFILEPICT*>(GlobalLock(header)) : nullptr;
    if (!picture) {
      if (header) GlobalFree(header);
      DeleteMetaFile(metafile);
      return STG_E_MEDIUMFULL;
    }
    picture->mm = MM_ANISOTROPIC;
    picture->xExt = extent_.cx;
    picture->yExt = extent_.cy;
    picture->hMF = metafile;
    GlobalUnlock(header);
    medium->tymed = TYMED_MFPICT;
    medium->hMetaFilePict = header;
    medium->pUnkForRelease = nullptr;
    return S_OK;
  });
}

HRESULT TVANT1Impl::GetDataHere(FORMATETC*, STGMEDIUM*) noexcept { return E_NOTIMPL; }

HRESULT TVANT1Impl::QueryGetData(FORMATETC* format) noexcept {
  VANT_RETURN_IF_NULL(format);
  if (format->cfFormat != CF_METAFILEPICT) return DV_E_FORMATETC;
  if (!(format->tymed & TYMED_MFPICT)) return DV_E_TYMED;
  if (format->dwAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  return S_OK;
}

HRESULT TVANT1Impl::GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) noexcept { return E_NOTIMPL; }
HRESULT TVANT1Impl::SetData(FORMATETC*, STGMEDIUM*, BOOL) noexcept { return E_NOTIMPL; }
HRESULT TVANT1Impl::EnumFormatEtc(DWORD, IEnumFORMATETC**) noexcept { return E_NOTIMPL; }

HRESULT TVANT1Impl::DAdvise(FORMATETC* format, DWORD flags, IAdviseSink* sink, DWORD* cookie) noexcept {
  if (!format || !sink || !cookie) return E_POINTER;
  if (!dataAdvise_) {
    const HRESULT hr = CreateDataAdviseHolder(dataAdvise_.put());
    if (FAILED(hr)) return hr;
  }
  return dataAdvise_->Advise(static_cast<IDataObject*>(this), format, flags, sink, cookie);
}

HRESULT TVANT1Impl::DUnadvise(DWORD cookie) noexcept {
  return dataAdvise_ ? dataAdvise_->Unadvise(cookie) : OLE_E_NOCONNECTION;
}

HRESULT TVANT1Impl::EnumDAdvise(IEnumSTATDATA** out) noexcept {
  VANT_RETURN_IF_NULL(out);
  *out = nullptr;
  return dataAdvise_ ? dataAdvise_->EnumAdvise(out) : E_FAIL;
}

}  // namespace vant::host
