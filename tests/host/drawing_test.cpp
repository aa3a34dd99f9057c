// The control's pictures as a host gets them: OleDraw into a bitmap, into an
// enhanced metafile, and GetData's metafile picture played into a bitmap,
// each showing the form's background colour inside the bounds and nothing
// outside them; the view object's status, extents and advise sink.
#include <vector>

#include "tests/host/host_test_support.h"

namespace vant::testing {
namespace {

[[maybe_unused]] auto* const kOle = ::testing::AddGlobalTestEnvironment(new OleEnvironment);

constexpr OLE_COLOR kFormColour = 0x005AC412;  // a green no system colour has
constexpr COLORREF kPaper = RGB(255, 0, 255);   // what the bitmap held before

// A 32-bit bitmap selected into a memory DC, filled with kPaper. Its pixels
// are read from the bits, in device units whatever mapping a test sets.
struct Bitmap {
  HDC Dc = CreateCompatibleDC(nullptr);
  HBITMAP Handle = nullptr;
  HGDIOBJ Previous = nullptr;
  const BYTE* Bits = nullptr;
  int Width, Height;
  Bitmap(int width, int height) : Width(width), Height(height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    Handle = CreateDIBSection(Dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    Bits = static_cast<const BYTE*>(bits);
    Previous = SelectObject(Dc, Handle);
    RECT all{0, 0, width, height};
    HBRUSH paper = CreateSolidBrush(kPaper);
    FillRect(Dc, &all, paper);
    DeleteObject(paper);
  }
  ~Bitmap() {
    SelectObject(Dc, Previous);
    DeleteObject(Handle);
    DeleteDC(Dc);
  }
  COLORREF At(int x, int y) const {
    GdiFlush();
    if (!Bits || x < 0 || y < 0 || x >= Width || y >= Height) return CLR_INVALID;
    const BYTE* p = Bits + (static_cast<size_t>(y) * Width + x) * 4;  // blue, green, red, unused
    return RGB(p[2], p[1], p[0]);
  }
};

// Records what a view or data advise sink is told.
class AdviseSink : public IAdviseSink {
 public:
  int ViewChanges = 0, DataChanges = 0;
  DWORD LastAspect = 0;
  bool GotMetafilePicture = false;
  ULONG Refs = 0;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    *out = nullptr;
    if (iid != IID_IUnknown && iid != IID_IAdviseSink) return E_NOINTERFACE;
    *out = static_cast<IAdviseSink*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++Refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --Refs; }
  void STDMETHODCALLTYPE OnDataChange(FORMATETC* format, STGMEDIUM* medium) override {
    ++DataChanges;
    GotMetafilePicture = format && format->cfFormat == CF_METAFILEPICT && medium && medium->tymed == TYMED_MFPICT &&
                         medium->hMetaFilePict;
  }
  void STDMETHODCALLTYPE OnViewChange(DWORD aspect, LONG) override {
    ++ViewChanges;
    LastAspect = aspect;
  }
  void STDMETHODCALLTYPE OnRename(IMoniker*) override {}
  void STDMETHODCALLTYPE OnSave() override {}
  void STDMETHODCALLTYPE OnClose() override {}
};

struct Control {
  Library library;
  IVANT* Vant = nullptr;
  Control() {
    EXPECT_TRUE(library.Loaded());
    Vant = library.Create();
    if (Vant) EXPECT_EQ(Vant->put_Color(kFormColour), S_OK);
  }
  ~Control() {
    if (Vant) EXPECT_EQ(Vant->Release(), 0u);
  }
};

FORMATETC MetafilePicture() { return FORMATETC{CF_METAFILEPICT, nullptr, DVASPECT_CONTENT, -1, TYMED_MFPICT}; }

TEST(Draw, OleDrawPaintsTheFormInsideTheBoundsOnly) {
  Control c;
  ASSERT_NE(c.Vant, nullptr);
  Bitmap bitmap(240, 240);
  // A host's own mapping: origin moved by (10, 10); the bounds are logical.
  SetViewportOrgEx(bitmap.Dc, 10, 10, nullptr);
  const RECT bounds{10, 20, 110, 120};  // device (20, 30) to (120, 130)
  ASSERT_EQ(OleDraw(c.Vant, DVASPECT_CONTENT, bitmap.Dc, &bounds), S_OK);
  EXPECT_EQ(bitmap.At(22, 32), kFormColour) << "the form's corner at the bounds' corner, in device units";
  EXPECT_EQ(bitmap.At(18, 32), kPaper) << "nothing left of the bounds";
  EXPECT_EQ(bitmap.At(22, 28), kPaper) << "nothing above them";
  EXPECT_EQ(bitmap.At(125, 135), kPaper) << "the form is larger than the bounds, yet stays inside them";
  POINT origin{};
  GetViewportOrgEx(bitmap.Dc, &origin);
  EXPECT_EQ(origin.x, 10) << "the host's mapping is given back";
  EXPECT_EQ(origin.y, 10);
  EXPECT_EQ(GetMapMode(bitmap.Dc), MM_TEXT);

  // A metric mapping (y grows upwards): the bounds still land where they map.
  Bitmap metric(240, 240);
  SetMapMode(metric.Dc, MM_LOMETRIC);  // 0.1 mm; 96 dpi makes 100 units about 38 pixels
  const RECT up{0, 0, 500, -500};
  ASSERT_EQ(OleDraw(c.Vant, DVASPECT_CONTENT, metric.Dc, &up), S_OK);
  EXPECT_EQ(metric.At(2, 2), kFormColour);
  EXPECT_EQ(metric.At(230, 230), kPaper);
  EXPECT_EQ(GetMapMode(metric.Dc), MM_LOMETRIC);

  auto* view = Query<IViewObject>(c.Vant, IID_IViewObject);
  ASSERT_NE(view, nullptr);
  const RECTL lbounds{0, 0, 50, 50};
  EXPECT_EQ(view->Draw(DVASPECT_ICON, -1, nullptr, nullptr, nullptr, bitmap.Dc, &lbounds, nullptr, nullptr, 0),
            DV_E_DVASPECT);
  EXPECT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, nullptr, &lbounds, nullptr, nullptr, 0),
            E_INVALIDARG);
  EXPECT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, bitmap.Dc, nullptr, nullptr, nullptr, 0),
            E_INVALIDARG);
  view->Release();
}

TEST(Draw, IntoAnEnhancedMetafileAtTheBoundsCorner) {
  Control c;
  ASSERT_NE(c.Vant, nullptr);
  HDC recorder = CreateEnhMetaFileA(nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(recorder, nullptr);
  const RECT bounds{40, 40, 140, 140};
  ASSERT_EQ(OleDraw(c.Vant, DVASPECT_CONTENT, recorder, &bounds), S_OK);
  HENHMETAFILE picture = CloseEnhMetaFile(recorder);
  ASSERT_NE(picture, nullptr);
  ENHMETAHEADER header{};
  ASSERT_NE(GetEnhMetaFileHeader(picture, sizeof header, &header), 0u);
  EXPECT_GE(header.rclBounds.left, 40) << "drawn at the bounds, not at the metafile's origin";
  EXPECT_GE(header.rclBounds.top, 40);
  // Played 1:1 at its recorded place (the recorded bounds are those of the
  // form's strokes; the clip to the host's bounds is recorded with them).
  Bitmap bitmap(900, 600);
  const RECT place{header.rclBounds.left, header.rclBounds.top, header.rclBounds.right + 1,
                   header.rclBounds.bottom + 1};
  ASSERT_TRUE(PlayEnhMetaFile(bitmap.Dc, picture, &place));
  EXPECT_EQ(bitmap.At(43, 43), kFormColour);
  EXPECT_EQ(bitmap.At(20, 20), kPaper);
  EXPECT_EQ(bitmap.At(40 + 770, 60), kPaper) << "the form's right margin lies outside the bounds";
  DeleteEnhMetaFile(picture);
}

TEST(Draw, GetDataGivesAnAnisotropicMetafileOfTheExtent) {
  Control c;
  ASSERT_NE(c.Vant, nullptr);
  auto* object = Query<IOleObject>(c.Vant, IID_IOleObject);
  auto* data = Query<IDataObject>(c.Vant, IID_IDataObject);
  ASSERT_TRUE(object && data);
  SIZEL extent{2540, 1270};  // one inch by half an inch
  ASSERT_EQ(object->SetExtent(DVASPECT_CONTENT, &extent), S_OK);

  FORMATETC format = MetafilePicture();
  EXPECT_EQ(data->QueryGetData(&format), S_OK);
  STGMEDIUM medium{};
  ASSERT_EQ(data->GetData(&format, &medium), S_OK);
  ASSERT_EQ(medium.tymed, static_cast<DWORD>(TYMED_MFPICT));
  EXPECT_EQ(medium.pUnkForRelease, nullptr);
  auto* picture = static_cast<METAFILEPICT*>(GlobalLock(medium.hMetaFilePict));
  ASSERT_NE(picture, nullptr);
  EXPECT_EQ(picture->mm, MM_ANISOTROPIC);
  EXPECT_EQ(picture->xExt, 2540);
  EXPECT_EQ(picture->yExt, 1270);
  // Played as a container shows it: stretched over a rectangle of its choice.
  Bitmap bitmap(200, 200);
  SetMapMode(bitmap.Dc, MM_ANISOTROPIC);
  SetViewportOrgEx(bitmap.Dc, 50, 50, nullptr);
  SetViewportExtEx(bitmap.Dc, 100, 50, nullptr);
  ASSERT_TRUE(PlayMetaFile(bitmap.Dc, picture->hMF));
  EXPECT_EQ(bitmap.At(52, 52), kFormColour) << "the form's background at the picture's corner";
  EXPECT_EQ(bitmap.At(40, 40), kPaper) << "nothing before the picture";
  EXPECT_EQ(bitmap.At(160, 120), kPaper) << "nothing past the extent";
  // The same bits made again, as a container copying the picture does.
  const UINT size = GetMetaFileBitsEx(picture->hMF, 0, nullptr);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> bits(size);
  ASSERT_EQ(GetMetaFileBitsEx(picture->hMF, size, bits.data()), size);
  HMETAFILE copy = SetMetaFileBitsEx(size, bits.data());
  ASSERT_NE(copy, nullptr);
  Bitmap second(100, 100);
  SetMapMode(second.Dc, MM_ANISOTROPIC);
  SetViewportExtEx(second.Dc, 100, 50, nullptr);
  ASSERT_TRUE(PlayMetaFile(second.Dc, copy));
  EXPECT_EQ(second.At(2, 2), kFormColour);
  EXPECT_EQ(second.At(50, 80), kPaper);
  DeleteMetaFile(copy);
  GlobalUnlock(medium.hMetaFilePict);
  ReleaseStgMedium(&medium);

  // Any other medium or format is refused.
  FORMATETC global{CF_METAFILEPICT, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  EXPECT_EQ(data->GetData(&global, &medium), DATA_E_FORMATETC);
  EXPECT_NE(data->QueryGetData(&global), S_OK);
  FORMATETC bitmapFormat{CF_BITMAP, nullptr, DVASPECT_CONTENT, -1, TYMED_GDI};
  EXPECT_EQ(data->GetData(&bitmapFormat, &medium), DATA_E_FORMATETC);
  EXPECT_NE(data->QueryGetData(&bitmapFormat), S_OK);
  EXPECT_EQ(data->GetData(&format, nullptr), E_POINTER);
  EXPECT_EQ(data->GetDataHere(&format, &medium), E_NOTIMPL);
  EXPECT_EQ(data->SetData(&format, &medium, FALSE), E_NOTIMPL);

  // Data advice goes through a holder: primed at once with the picture, then gone.
  AdviseSink sink;
  DWORD cookie = 0;
  ASSERT_EQ(data->DAdvise(&format, ADVF_PRIMEFIRST, &sink, &cookie), S_OK);
  EXPECT_NE(cookie, 0u);
  EXPECT_EQ(sink.DataChanges, 1);
  EXPECT_TRUE(sink.GotMetafilePicture);
  IEnumSTATDATA* connections = nullptr;
  ASSERT_EQ(data->EnumDAdvise(&connections), S_OK);
  STATDATA seen[2]{};
  ULONG fetched = 0;
  connections->Next(2, seen, &fetched);
  EXPECT_EQ(fetched, 1u);
  for (ULONG i = 0; i < fetched; ++i)
    if (seen[i].pAdvSink) seen[i].pAdvSink->Release();
  connections->Release();
  EXPECT_EQ(data->DUnadvise(cookie), S_OK);
  EXPECT_EQ(data->DUnadvise(cookie), OLE_E_NOCONNECTION);
  EXPECT_EQ(sink.Refs, 0u);

  data->Release();
  object->Release();
}

TEST(Draw, ViewStatusExtentsHitsAndTheViewSink) {
  Control c;
  ASSERT_NE(c.Vant, nullptr);
  auto* view = Query<IViewObjectEx>(c.Vant, IID_IViewObjectEx);
  auto* object = Query<IOleObject>(c.Vant, IID_IOleObject);
  ASSERT_TRUE(view && object);
  DWORD status = 0;
  ASSERT_EQ(view->GetViewStatus(&status), S_OK);
  EXPECT_EQ(status, 3u) << "opaque, solid background";
  EXPECT_EQ(view->GetViewStatus(nullptr), E_POINTER);

  SIZEL extent{}, asked{3000, 2000};
  ASSERT_EQ(view->GetExtent(DVASPECT_CONTENT, -1, nullptr, &extent), S_OK);
  EXPECT_EQ(extent.cx, 5080);
  EXPECT_EQ(extent.cy, 5080);
  ASSERT_EQ(object->SetExtent(DVASPECT_CONTENT, &asked), S_OK);
  ASSERT_EQ(view->GetExtent(DVASPECT_CONTENT, -1, nullptr, &extent), S_OK);
  EXPECT_EQ(extent.cx, 3000) << "the extent the host negotiated";
  EXPECT_EQ(extent.cy, 2000);
  EXPECT_EQ(view->GetExtent(DVASPECT_ICON, -1, nullptr, &extent), DV_E_DVASPECT);
  RECTL rect{};
  ASSERT_EQ(view->GetRect(DVASPECT_CONTENT, &rect), S_OK);
  EXPECT_EQ(rect.right, 3000);
  EXPECT_EQ(rect.bottom, 2000);

  const RECT bounds{10, 10, 60, 60};
  DWORD hit = 99;
  ASSERT_EQ(view->QueryHitPoint(DVASPECT_CONTENT, &bounds, POINT{30, 30}, 0, &hit), S_OK);
  EXPECT_EQ(hit, static_cast<DWORD>(HITRESULT_HIT));
  ASSERT_EQ(view->QueryHitPoint(DVASPECT_CONTENT, &bounds, POINT{5, 30}, 0, &hit), S_OK);
  EXPECT_EQ(hit, static_cast<DWORD>(HITRESULT_OUTSIDE));
  const RECT across{55, 55, 90, 90}, away{70, 70, 90, 90};
  ASSERT_EQ(view->QueryHitRect(DVASPECT_CONTENT, &bounds, &across, 0, &hit), S_OK);
  EXPECT_EQ(hit, static_cast<DWORD>(HITRESULT_HIT));
  ASSERT_EQ(view->QueryHitRect(DVASPECT_CONTENT, &bounds, &away, 0, &hit), S_OK);
  EXPECT_EQ(hit, static_cast<DWORD>(HITRESULT_OUTSIDE));
  EXPECT_EQ(view->Freeze(DVASPECT_CONTENT, -1, nullptr, &status), E_NOTIMPL);
  EXPECT_EQ(view->GetColorSet(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, nullptr), E_NOTIMPL);

  // The view sink: kept, answered back, told when the form's look changes.
  AdviseSink sink;
  ASSERT_EQ(view->SetAdvise(DVASPECT_CONTENT, ADVF_PRIMEFIRST, &sink), S_OK);
  DWORD aspects = 0, flags = 0;
  IAdviseSink* back = nullptr;
  ASSERT_EQ(view->GetAdvise(&aspects, &flags, &back), S_OK);
  EXPECT_EQ(aspects, static_cast<DWORD>(DVASPECT_CONTENT));
  EXPECT_EQ(flags, static_cast<DWORD>(ADVF_PRIMEFIRST));
  EXPECT_EQ(back, static_cast<IAdviseSink*>(&sink));
  if (back) back->Release();
  EXPECT_EQ(view->GetAdvise(nullptr, &flags, nullptr), S_OK) << "out-pointers are optional";
  BSTR caption = SysAllocString(L"nuevo t\u00edtulo");
  ASSERT_EQ(c.Vant->put_Caption(caption), S_OK);
  SysFreeString(caption);
  EXPECT_GE(sink.ViewChanges, 1) << "a new caption changes the picture";
  EXPECT_EQ(sink.LastAspect, static_cast<DWORD>(DVASPECT_CONTENT));
  ASSERT_EQ(view->SetAdvise(DVASPECT_CONTENT, 0, nullptr), S_OK);
  ASSERT_EQ(view->GetAdvise(&aspects, &flags, &back), S_OK);
  EXPECT_EQ(back, nullptr);
  EXPECT_EQ(sink.Refs, 0u) << "the control let the sink go";

  object->Release();
  view->Release();
}

}  // namespace
}  // namespace vant::testing
