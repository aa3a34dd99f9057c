// The control's connection points and the firers of its events.
#include "host/control.h"
#include "workspace/tvant1.h"

namespace vant::host {
namespace {

enum : DISPID {
  kOnActivate = 1,
  kOnClick = 2,
  kOnCreate = 3,
  kOnDblClick = 5,
  kOnDestroy = 6,
  kOnDeactivate = 7,
  kOnKeyPress = 11,
  kOnPaint = 16,
};

}  // namespace

HRESULT TVANT1Impl::EnumConnectionPoints(IEnumConnectionPoints** out) noexcept {
  return EnumeratePoints({&propertyNotify_, &events_}, out);
}

HRESULT TVANT1Impl::FindConnectionPoint(REFIID iid, IConnectionPoint** out) noexcept {
  VANT_RETURN_IF_NULL(out);
  *out = nullptr;
  ConnectionPoint* point = iid == IID_IPropertyNotifySink ? &propertyNotify_
                           : iid == DIID_IVANTEvents     ? &events_
                                                         : nullptr;
  if (!point) return CONNECT_E_NOCONNECTION;
  point->AddRef();
  *out = point;
  return S_OK;
}

// A sink that fails, or throws, stops nothing: the others still hear it.
// Firers run inside window procedures: nothing may leave them.
// Each holds the control for its sinks: one may let it go.
void TVANT1Impl::Fire(DISPID id) noexcept {
  Busy busy(*this);
  try {
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    for (const auto& sink : events_.Sinks<IDispatch>())
      sink->Invoke(id, IID_NULL, LOCALE_SYSTEM_DEFAULT, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr);
  } catch (...) {
  }
}

void TVANT1Impl::FireKeyPress(char& key) noexcept {
  Busy busy(*this);
  try {
  SHORT value = static_cast<SHORT>(static_cast<signed char>(key));
  VARIANTARG argument;
  VariantInit(&argument);
  argument.vt = VT_I2 | VT_BYREF;
  argument.piVal = &value;
  DISPPARAMS params{&argument, nullptr, 1, 0};
  for (const auto& sink : events_.Sinks<IDispatch>())
    sink->Invoke(kOnKeyPress, IID_NULL, LOCALE_SYSTEM_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
  key = static_cast<char>(value & 0xFF);
  } catch (...) {
  }
}

// The form's events raise the control's; its own destruction work (run by
// the form itself) stays beside the OnDestroy firer.
void TVANT1Impl::BindEvents() {
  FormWindow& form = Form();
  form.OnActivate = [this] { Fire(kOnActivate); };
  form.OnClick = [this] { Fire(kOnClick); };
  form.OnCreate = [this] { Fire(kOnCreate); };
  form.OnDblClick = [this] { Fire(kOnDblClick); };
  form.OnDeactivate = [this] { Fire(kOnDeactivate); };
  form.OnDestroy = [this] { Fire(kOnDestroy); };
  form.OnKeyPress = [this](char& key) { FireKeyPress(key); };
  form.OnPaint = [this] { Fire(kOnPaint); };
}

}  // namespace vant::host
