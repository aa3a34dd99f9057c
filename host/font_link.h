// An OLE font object tied to the form's font: a host reads the control's
// Font and gets this object; changes made through it reach the form, and
// changes of the form's font show in it.
#pragma once

#include <functional>

#include "host/com_support.h"
#include "platform/toolkit.h"

namespace vant::host {

class FontLink {
 public:
  using Read = std::function<FormFont()>;
  // Answers whether the form took the font (a host's sink may veto it).
  using Write = std::function<bool(const FormFont&)>;
  FontLink(Read read, Write write);
  ~FontLink();
  FontLink(const FontLink&) = delete;
  FontLink& operator=(const FontLink&) = delete;

  // The font object, made on first use, showing the form's font now.
  HRESULT Get(IFontDisp** out);
  // The form's font changed: the object shows it too.
  void Refresh();
  // The form's font with the attributes of an OLE font (its colour stays).
  static FormFont FromOle(IFont& font, FormFont base);

 private:
  class Sink;
  void Changed();

  Read read_;
  Write write_;
  ComPtr<IFont> font_;
  Sink* sink_ = nullptr;
  DWORD cookie_ = 0;
  bool refreshing_ = false;
  FormFont formShown_;  // the form's font the object was last set from
  FormFont shown_;      // what the object reported then
};

}  // namespace vant::host
