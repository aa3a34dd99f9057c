// The library's module object: its instance, the lock count that tells the
// host when it may unload the library, the cached class object, and the two
// locks that guard one-time work (the class object, the type information).
#pragma once

#include "platform/win32/win32_api.h"

#include <ole2.h>

#include <string>

namespace vant::host {

constexpr const char* kProgId = "VANTProj1.VANT1";
constexpr const wchar_t* kProgIdW = L"VANTProj1.VANT1";

class CriticalSection {
 public:
  CriticalSection() { InitializeCriticalSection(&section_); }
  ~CriticalSection() { DeleteCriticalSection(&section_); }
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;
  void Enter() { EnterCriticalSection(&section_); }
  void Leave() { LeaveCriticalSection(&section_); }

 private:
  CRITICAL_SECTION section_;
};

class SectionLock {
 public:
  explicit SectionLock(CriticalSection& section) : section_(section) { section_.Enter(); }
  ~SectionLock() { section_.Leave(); }
  SectionLock(const SectionLock&) = delete;
  SectionLock& operator=(const SectionLock&) = delete;

 private:
  CriticalSection& section_;
};

class Module {
 public:
  static Module& Instance();

  HINSTANCE Handle() const { return instance_; }
  void SetHandle(HINSTANCE instance) { instance_ = instance; }
  // Live control objects plus outstanding LockServer(TRUE) calls.
  void Lock() { InterlockedIncrement(&locks_); }
  void Unlock() { InterlockedDecrement(&locks_); }
  LONG LockCount() const { return locks_; }
  // LockServer: a FALSE without a TRUE before it changes nothing, so a
  // careless host cannot drive the count below the live objects for good.
  void LockServer(bool lock);

  // The library's full file name (the type library is its resource).
  std::wstring Path() const;

  // The class object of the control, made once (under its lock) on first request.
  HRESULT GetClassObject(REFIID iid, void** out);
  // Releases the cached class object (the library is being unloaded).
  void Terminate();

  CriticalSection& TypeInfoLock() { return typeInfoLock_; }

 private:
  Module() = default;
  HINSTANCE instance_ = nullptr;
  volatile LONG locks_ = 0;
  volatile LONG serverLocks_ = 0;
  IUnknown* classObject_ = nullptr;
  CriticalSection classFactoryLock_;
  CriticalSection typeInfoLock_;
};

// Held by every object the library hands out (but the class object): while
// one lives, the host must not unload the code behind it.
class ModuleLock {
 public:
  ModuleLock() { Module::Instance().Lock(); }
  ~ModuleLock() { Module::Instance().Unlock(); }
  ModuleLock(const ModuleLock&) = delete;
  ModuleLock& operator=(const ModuleLock&) = delete;
};

// Makes a control object (aggregated when `outer` is given), runs its final
// construction and answers its QueryInterface for `iid`.
HRESULT CreateControl(IUnknown* outer, REFIID iid, void** out);

}  // namespace vant::host
