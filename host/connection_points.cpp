#include "host/connection_points.h"
#include "host/module.h"

#include <algorithm>
#include <new>

namespace vant::host {
namespace {

IUnknown* UnknownOf(const CONNECTDATA& data) { return data.pUnk; }
IUnknown* UnknownOf(IConnectionPoint* point) { return point; }

// An enumerator over a snapshot taken when it was made; every item holds a
// reference of its own, and each item handed out gets one for the caller.
template <class IEnum, class Item>
class SnapshotEnum final : public SingleInterface<IEnum> {
 public:
  SnapshotEnum(std::vector<Item> items, std::size_t position)
      : SingleInterface<IEnum>(__uuidof(IEnum)), items_(std::move(items)), position_(position) {
    for (const Item& item : items_) UnknownOf(item)->AddRef();
  }
  ~SnapshotEnum() override {
    for (const Item& item : items_) UnknownOf(item)->Release();
  }

  HRESULT STDMETHODCALLTYPE Next(ULONG count, Item* out, ULONG* fetched) noexcept override {
    if (!out || (count > 1 && !fetched)) return E_POINTER;
    ULONG given = 0;
    for (; given < count && position_ < items_.size(); ++given, ++position_) {
      out[given] = items_[position_];
      UnknownOf(out[given])->AddRef();
    }
    if (fetched) *fetched = given;
    return given == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) noexcept override {
    const std::size_t left = items_.size() - position_;
    position_ += std::min<std::size_t>(count, left);
    return count <= left ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Reset() noexcept override {
    position_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnum** out) noexcept override {
    VANT_RETURN_IF_NULL(out);
    *out = nullptr;
    auto* copy = new (std::nothrow) SnapshotEnum(items_, position_);
    if (!copy) return E_OUTOFMEMORY;
    *out = copy;
    return S_OK;
  }

 private:
  std::vector<Item> items_;
  std::size_t position_;
  ModuleLock lock_;
};

}  // namespace

ConnectionPoint::ConnectionPoint(IConnectionPointContainer& container, REFIID iid, std::size_t slots)
    : container_(container), iid_(iid), limit_(slots), slots_(slots, nullptr) {}

ConnectionPoint::~ConnectionPoint() { Clear(); }

void ConnectionPoint::Clear() {
  for (IUnknown*& sink : slots_)
    if (IUnknown* held = std::exchange(sink, nullptr)) held->Release();
}

HRESULT ConnectionPoint::QueryInterface(REFIID iid, void** out) noexcept {
  VANT_RETURN_IF_NULL(out);
  *out = nullptr;
  if (iid != IID_IUnknown && iid != IID_IConnectionPoint) return E_NOINTERFACE;
  *out = static_cast<IConnectionPoint*>(this);
  AddRef();
  return S_OK;
}

ULONG ConnectionPoint::AddRef() noexcept { return container_.AddRef(); }
ULONG ConnectionPoint::Release() noexcept { return container_.Release(); }

HRESULT ConnectionPoint::GetConnectionInterface(IID* iid) noexcept {
  VANT_RETURN_IF_NULL(iid);
  *iid = iid_;
  return S_OK;
}

HRESULT ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** out) noexcept {
  VANT_RETURN_IF_NULL(out);
  *out = &container_;
  container_.AddRef();
  return S_OK;
}

HRESULT ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) noexcept {
  if (!sink || !cookie) return E_POINTER;
  *cookie = 0;
  return Boundary(IID_IConnectionPoint, [&]() -> HRESULT {
    IUnknown* answer = nullptr;
    if (FAILED(sink->QueryInterface(iid_, reinterpret_cast<void**>(&answer))) || !answer)
      return CONNECT_E_CANNOTCONNECT;
    auto free = std::find(slots_.begin(), slots_.end(), nullptr);
    if (free == slots_.end()) {
      if (limit_ != 0) {
        answer->Release();
        return CONNECT_E_ADVISELIMIT;
      }
      try {
        slots_.push_back(nullptr);
      } catch (...) {
        answer->Release();
        throw;
      }
      free = slots_.end() - 1;
    }
    *free = answer;
    *cookie = static_cast<DWORD>(free - slots_.begin()) + 1;
    return S_OK;
  });
}

HRESULT ConnectionPoint::Unadvise(DWORD cookie) noexcept {
  if (cookie == 0 || cookie > slots_.size() || !slots_[cookie - 1]) return CONNECT_E_NOCONNECTION;
  std::exchange(slots_[cookie - 1], nullptr)->Release();
  return S_OK;
}

HRESULT ConnectionPoint::EnumConnections(IEnumConnections** out) noexcept {
  VANT_RETURN_IF_NULL(out);
  *out = nullptr;
  return Boundary(IID_IConnectionPoint, [&]() -> HRESULT {
    std::vector<CONNECTDATA> items;
    for (std::size_t i = 0; i < slots_.size(); ++i)
      if (slots_[i]) items.push_back(CONNECTDATA{slots_[i], static_cast<DWORD>(i + 1)});
    *out = new SnapshotEnum<IEnumConnections, CONNECTDATA>(std::move(items), 0);
    return S_OK;
  });
}

HRESULT EnumeratePoints(const std::vector<IConnectionPoint*>& points, IEnumConnectionPoints** out) {
  VANT_RETURN_IF_NULL(out);
  *out = nullptr;
  return Boundary(IID_IConnectionPointContainer, [&]() -> HRESULT {
    *out = new SnapshotEnum<IEnumConnectionPoints, IConnectionPoint*>(points, 0);
    return S_OK;
  });
}

}  // namespace vant::host
