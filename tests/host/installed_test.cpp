// The control as an installation leaves it: registered by the release's
// scripts from wherever the user unpacked it (VANT_INSTALLED_CONTROL names
// that file), then made by ATL's control host from the registry alone. The
// release test sets the variable; the build's own runs skip this test.
#include <cstdlib>
#include <string>

#include "tests/host/host_test_support.h"

namespace vant::testing {
namespace {

[[maybe_unused]] auto* const kOle = ::testing::AddGlobalTestEnvironment(new OleEnvironment);

TEST(Installed, EmbeddedByAtlHostFromItsRegistration) {
  const char* installed = std::getenv("VANT_INSTALLED_CONTROL");
  if (!installed || !*installed) GTEST_SKIP() << "VANT_INSTALLED_CONTROL names no installed library";
  EXPECT_EQ(ClassesValue("CLSID\\{B4BDF183-5E81-4659-A1DE-6F05CAD755CE}\\InprocServer32"), installed);

  // mingw ships no declarations for atl.dll.
  HMODULE atl = LoadLibraryA("atl.dll");
  ASSERT_NE(atl, nullptr);
  using InitFn = BOOL(WINAPI*)();
  using GetControlFn = HRESULT(WINAPI*)(HWND, IUnknown**);
  const auto init = reinterpret_cast<InitFn>(reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxWinInit")));
  const auto getControl =
      reinterpret_cast<GetControlFn>(reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxGetControl")));
  ASSERT_TRUE(init && getControl && init());

  HWND host = CreateWindowExA(0, "AtlAxWin", "VANTProj1.VANT1", WS_OVERLAPPEDWINDOW, 0, 0, 800, 540, nullptr, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(host, nullptr);
  IUnknown* control = nullptr;
  ASSERT_EQ(getControl(host, &control), S_OK);
  ASSERT_NE(control, nullptr);
  EXPECT_NE(GetModuleHandleA(installed), nullptr) << "the host loaded the installed library";
  IVANT* vant = Query<IVANT>(control, IID_IVANT);
  ASSERT_NE(vant, nullptr);
  BSTR caption = nullptr;
  ASSERT_EQ(vant->get_Caption(&caption), S_OK);
  std::string text;
  for (const wchar_t* c = caption; c && *c; ++c) text += static_cast<char>(*c);
  SysFreeString(caption);
  EXPECT_EQ(text, "VANT NTFS v 1.0");
  vant->Release();
  control->Release();
  DestroyWindow(host);
}

}  // namespace
}  // namespace vant::testing
