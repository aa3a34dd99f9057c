// The few COM helpers the control needs: one smart interface pointer, BSTR
// and text conversions, and the boundary that turns exceptions inside into
// HRESULTs (and the COM error object) outside. Every vtable method of the
// control is noexcept and runs its body through Boundary.
#pragma once

#include "platform/win32/win32_api.h"

#include <ole2.h>
#include <olectl.h>
#include <ocidl.h>

#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace vant::host {

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Shares `p`: takes a reference of its own.
  explicit ComPtr(T* p) : p_(p) {
    if (p_) p_->AddRef();
  }
  ComPtr(const ComPtr& other) : ComPtr(other.p_) {}
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }
  ~ComPtr() { reset(); }

  // Takes over a reference the caller already owns.
  static ComPtr Adopt(T* p) {
    ComPtr out;
    out.p_ = p;
    return out;
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  void reset() {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  // For out-parameters: releases what is held, then lends the slot.
  T** put() {
    reset();
    return &p_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }
  // A new reference for the caller (an out-parameter).
  HRESULT copy_to(T** out) const {
    if (!out) return E_POINTER;
    *out = p_;
    if (p_) p_->AddRef();
    return S_OK;
  }
  template <class U>
  ComPtr<U> try_query(REFIID iid) const {
    ComPtr<U> out;
    if (p_) p_->QueryInterface(iid, out.put_void());
    return out;
  }

 private:
  T* p_ = nullptr;
};

// The IUnknown of a small heap object that answers one interface of its
// own: counted references, deleted when the last one goes.
template <class I>
class SingleInterface : public I {
 public:
  explicit SingleInterface(REFIID iid) : iid_(iid) {}
  virtual ~SingleInterface() = default;
  SingleInterface(const SingleInterface&) = delete;
  SingleInterface& operator=(const SingleInterface&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) noexcept override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid != IID_IUnknown && iid != iid_) return E_NOINTERFACE;
    *out = static_cast<I*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() noexcept override { return InterlockedIncrement(&refs_); }
  ULONG STDMETHODCALLTYPE Release() noexcept override {
    const LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return left;
  }

 private:
  IID iid_;
  volatile LONG refs_ = 1;
};

// A failure with its HRESULT, thrown inside and answered at the boundary.
class ComError : public std::runtime_error {
 public:
  ComError(HRESULT code, const std::string& what) : std::runtime_error(what), code_(code) {}
  HRESULT Code() const { return code_; }

 private:
  HRESULT code_;
};

inline void ThrowIfFailed(HRESULT hr, const char* what) {
  if (FAILED(hr)) throw ComError(hr, what);
}

// An owned BSTR.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(std::wstring_view text) : b_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {
    if (!b_ && !text.empty()) throw std::bad_alloc();
  }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  ~Bstr() { SysFreeString(b_); }
  BSTR get() const { return b_; }
  BSTR* put() {
    SysFreeString(b_);
    b_ = nullptr;
    return &b_;
  }
  BSTR detach() { return std::exchange(b_, nullptr); }
  std::wstring_view view() const { return {b_ ? b_ : L"", b_ ? SysStringLen(b_) : 0u}; }

 private:
  BSTR b_ = nullptr;
};

// The form's texts are 8-bit in the system's ANSI code page, the one its
// windows show them in; COM's are UTF-16.
std::wstring Widen(std::string_view text);
std::string Narrow(std::wstring_view text);
// A new BSTR of an 8-bit text (throws bad_alloc).
BSTR AllocBstr(std::string_view text);

// Sets the COM error object (source: the control's ProgID, the given
// interface and description) and answers DISP_E_EXCEPTION.
HRESULT ReportError(REFIID iid, std::string_view description);

// Runs `body` (which returns an HRESULT) and answers any exception it
// throws: out of memory as E_OUTOFMEMORY, a ComError by its own code, any
// other through the COM error object as DISP_E_EXCEPTION.
template <class Body>
HRESULT Boundary(REFIID iid, Body&& body) noexcept {
  // An error object left by an earlier call must not describe this one.
  SetErrorInfo(0, nullptr);
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const ComError& error) {
    return error.Code();
  } catch (const std::exception& error) {
    return ReportError(iid, error.what());
  } catch (...) {
    return ReportError(iid, {});
  }
}

#define VANT_RETURN_IF_NULL(p) \
  do {                         \
    if (!(p)) return E_POINTER; \
  } while (0)

}  // namespace vant::host
