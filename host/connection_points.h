// Connection points: each keeps its sinks in slots (cookie = slot + 1),
// either a fixed number of them or as many as connect. The control embeds
// one per outgoing interface; their references are the control's.
#pragma once

#include <cstddef>
#include <vector>

#include "host/com_support.h"

namespace vant::host {

class ConnectionPoint final : public IConnectionPoint {
 public:
  // `slots` 0: grows as sinks connect.
  ConnectionPoint(IConnectionPointContainer& container, REFIID iid, std::size_t slots);
  ~ConnectionPoint();
  ConnectionPoint(const ConnectionPoint&) = delete;
  ConnectionPoint& operator=(const ConnectionPoint&) = delete;

  const IID& Interface() const { return iid_; }
  // The connected sinks, lowest slot first, each with a reference of its own
  // (so a sink may disconnect while being called). `I` is the point's interface.
  template <class I>
  std::vector<ComPtr<I>> Sinks() const {
    std::vector<ComPtr<I>> out;
    for (IUnknown* sink : slots_)
      if (sink) out.emplace_back(static_cast<I*>(sink));
    return out;
  }
  // Disconnects and releases every sink.
  void Clear();

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) noexcept override;
  ULONG STDMETHODCALLTYPE AddRef() noexcept override;
  ULONG STDMETHODCALLTYPE Release() noexcept override;
  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) noexcept override;
  HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** out) noexcept override;
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) noexcept override;
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) noexcept override;
  HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** out) noexcept override;

 private:
  IConnectionPointContainer& container_;
  IID iid_;
  std::size_t limit_;  // 0: none
  // Each held pointer is the sink's answer for iid_, with one reference.
  std::vector<IUnknown*> slots_;
};

// A new enumerator over the given connection points.
HRESULT EnumeratePoints(const std::vector<IConnectionPoint*>& points, IEnumConnectionPoints** out);

}  // namespace vant::host
