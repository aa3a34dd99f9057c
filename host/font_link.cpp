#include "host/font_link.h"

#include <cmath>

#include "host/module.h"

namespace vant::host {

// Hears the font object's property changes; cut off when the link goes, so
// a font a host still holds never calls into a destroyed control.
class FontLink::Sink final : public SingleInterface<IPropertyNotifySink> {
 public:
  explicit Sink(FontLink* link) : SingleInterface(IID_IPropertyNotifySink), link_(link) {}
  void Disconnect() { link_ = nullptr; }

  HRESULT STDMETHODCALLTYPE OnChanged(DISPID) noexcept override {
    if (link_) return Boundary(IID_IPropertyNotifySink, [&] {
      link_->Changed();
      return S_OK;
    });
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnRequestEdit(DISPID) noexcept override { return S_OK; }

 private:
  FontLink* link_;
  ModuleLock lock_;  // the font object may keep the sink after the control
};

FontLink::FontLink(Read read, Write write) : read_(std::move(read)), write_(std::move(write)) {}

FontLink::~FontLink() {
  if (sink_) {
    sink_->Disconnect();
    if (auto container = font_.try_query<IConnectionPointContainer>(IID_IConnectionPointContainer)) {
      ComPtr<IConnectionPoint> point;
      if (SUCCEEDED(container->FindConnectionPoint(IID_IPropertyNotifySink, point.put())) && cookie_)
        point->Unadvise(cookie_);
    }
    sink_->Release();
  }
}

HRESULT FontLink::Get(IFontDisp** out) {
  VANT_RETURN_IF_NULL(out);
  *out = nullptr;
  if (!font_) {
    const FormFont now = read_();
    std::wstring name = Widen(now.Name);
    FONTDESC desc{};
    desc.cbSizeofstruct = sizeof desc;
    desc.lpstrName = name.data();
    desc.cySize.int64 = static_cast<LONGLONG>(now.Points) * 10000;
    desc.sWeight = static_cast<SHORT>(now.Bold ? FW_BOLD : FW_NORMAL);
    desc.sCharset = now.Charset;
    desc.fItalic = now.Italic;
    desc.fUnderline = now.Underline;
    desc.fStrikethrough = now.Strikeout;
    ThrowIfFailed(OleCreateFontIndirect(&desc, IID_IFont, font_.put_void()), "the font object cannot be made");
    formShown_ = now;
    shown_ = FromOle(*font_.get(), now);
    sink_ = new Sink(this);
    if (auto container = font_.try_query<IConnectionPointContainer>(IID_IConnectionPointContainer)) {
      ComPtr<IConnectionPoint> point;
      if (SUCCEEDED(container->FindConnectionPoint(IID_IPropertyNotifySink, point.put())))
        point->Advise(sink_, &cookie_);
    }
  } else {
    Refresh();
  }
  return font_->QueryInterface(IID_IFontDisp, reinterpret_cast<void**>(out));
}

FormFont FontLink::FromOle(IFont& font, FormFont base) {
  Bstr name;
  if (SUCCEEDED(font.get_Name(name.put())) && name.get()) base.Name = Narrow(name.view());
  CY size{};
  if (SUCCEEDED(font.get_Size(&size)) && size.int64 > 0)
    base.Points = static_cast<int>(std::llround(static_cast<double>(size.int64) / 10000.0));
  BOOL flag = FALSE;
  if (SUCCEEDED(font.get_Bold(&flag))) base.Bold = flag != FALSE;
  if (SUCCEEDED(font.get_Italic(&flag))) base.Italic = flag != FALSE;
  if (SUCCEEDED(font.get_Underline(&flag))) base.Underline = flag != FALSE;
  if (SUCCEEDED(font.get_Strikethrough(&flag))) base.Strikeout = flag != FALSE;
  SHORT charset = 0;
  if (SUCCEEDED(font.get_Charset(&charset))) base.Charset = charset;
  return base;
}

// The object follows the form: set without hearing our own changes back.
void FontLink::Refresh() {
  if (!font_) return;
  const FormFont now = read_();
  if (now == formShown_) return;
  formShown_ = now;
  refreshing_ = true;
  Bstr name(Widen(now.Name));
  font_->put_Name(name.get());
  CY size{};
  size.int64 = static_cast<LONGLONG>(now.Points) * 10000;
  font_->put_Size(size);
  font_->put_Bold(now.Bold);
  font_->put_Italic(now.Italic);
  font_->put_Underline(now.Underline);
  font_->put_Strikethrough(now.Strikeout);
  font_->put_Charset(now.Charset);
  refreshing_ = false;
  shown_ = FromOle(*font_.get(), now);
}

// Only what the host changed reaches the form: the object may report a
// face or size of its own making (the font it realised) for the rest.
void FontLink::Changed() {
  if (refreshing_ || !font_) return;
  const FormFont seen = FromOle(*font_.get(), shown_);
  FormFont next = read_();
  if (seen.Name != shown_.Name) next.Name = seen.Name;
  if (seen.Points != shown_.Points) next.Points = seen.Points;
  if (seen.Bold != shown_.Bold) next.Bold = seen.Bold;
  if (seen.Italic != shown_.Italic) next.Italic = seen.Italic;
  if (seen.Underline != shown_.Underline) next.Underline = seen.Underline;
  if (seen.Strikeout != shown_.Strikeout) next.Strikeout = seen.Strikeout;
  if (seen.Charset != shown_.Charset) next.Charset = seen.Charset;
  shown_ = seen;
  if (!(next == read_()) && !write_(next)) {
    // Refused: the object goes back to the form's font.
    formShown_ = FormFont{};
    formShown_.Points = -1;
    Refresh();
    return;
  }
  formShown_ = read_();
}

}  // namespace vant::host
