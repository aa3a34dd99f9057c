// The library as the operating system and hosts see it: its exports, its
// class object, and its registration by the system's own regsvr32.
#include "tests/host/host_test_support.h"

namespace vant::testing {
namespace {

[[maybe_unused]] auto* const kOle = ::testing::AddGlobalTestEnvironment(new OleEnvironment);

const std::string kClsidKey = "CLSID\\{B4BDF183-5E81-4659-A1DE-6F05CAD755CE}";
const std::string kLibidKey = "TypeLib\\{D5531A6C-ADD2-4A47-86B4-71ACE24AADBE}\\1.0";
constexpr char kProgId[] = "VANTProj1.VANT1";

TEST(Server, ExportsClassObjectAndUnloadRule) {
  Library library;
  ASSERT_TRUE(library.Loaded());

  void* out = reinterpret_cast<void*>(1);
  const GUID unknown = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
  EXPECT_EQ(library.GetClassObject(unknown, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(library.GetClassObject(CLSID_VANT1, IID_IClassFactory, nullptr), E_POINTER);

  IClassFactory* first = nullptr;
  IClassFactory* second = nullptr;
  ASSERT_EQ(library.GetClassObject(CLSID_VANT1, IID_IClassFactory, reinterpret_cast<void**>(&first)), S_OK);
  ASSERT_EQ(library.GetClassObject(CLSID_VANT1, IID_IClassFactory, reinterpret_cast<void**>(&second)), S_OK);
  EXPECT_EQ(first, second);
  EXPECT_EQ(library.GetClassObject(CLSID_VANT1, IID_IDispatch, &out), E_NOINTERFACE);
  // Holding the class object alone does not keep the library.
  EXPECT_EQ(library.CanUnloadNow(), S_OK);

  // Aggregation: only IUnknown may be asked for.
  int outer = 0;  // never called: the refusal comes first
  IUnknown* inner = reinterpret_cast<IUnknown*>(1);
  EXPECT_EQ(first->CreateInstance(reinterpret_cast<IUnknown*>(&outer), IID_IVANT, reinterpret_cast<void**>(&inner)),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(inner, nullptr);
  EXPECT_EQ(first->CreateInstance(nullptr, IID_IVANT, nullptr), E_POINTER);
  IUnknown* wrong = reinterpret_cast<IUnknown*>(1);
  EXPECT_EQ(first->CreateInstance(nullptr, IID_IOleCache, reinterpret_cast<void**>(&wrong)), E_NOINTERFACE);
  EXPECT_EQ(wrong, nullptr);
  EXPECT_EQ(library.CanUnloadNow(), S_OK) << "a control whose query failed is gone";

  IVANT* control = nullptr;
  ASSERT_EQ(first->CreateInstance(nullptr, IID_IVANT, reinterpret_cast<void**>(&control)), S_OK);
  EXPECT_EQ(library.CanUnloadNow(), S_FALSE) << "a control lives";
  EXPECT_EQ(first->LockServer(TRUE), S_OK);
  EXPECT_EQ(control->Release(), 0u);
  EXPECT_EQ(library.CanUnloadNow(), S_FALSE) << "LockServer(TRUE) is outstanding";
  EXPECT_EQ(first->LockServer(FALSE), S_OK);
  EXPECT_EQ(library.CanUnloadNow(), S_OK);

  first->Release();
  second->Release();
  EXPECT_EQ(library.CanUnloadNow(), S_OK);
  EXPECT_TRUE(FreeLibrary(library.Module));
}

TEST(Server, AggregatedControlAnswersThroughItsOuterObject) {
  Library library;
  ASSERT_TRUE(library.Loaded());
  // A minimal outer object: counts its references, and forwards every
  // interface but IUnknown to the inner control.
  struct Outer : IUnknown {
    IUnknown* Inner = nullptr;
    ULONG Refs = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
      if (iid == IID_IUnknown) {
        *out = this;
        AddRef();
        return S_OK;
      }
      return Inner->QueryInterface(iid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++Refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --Refs; }
  } outer;
  IClassFactory* factory = nullptr;
  ASSERT_EQ(library.GetClassObject(CLSID_VANT1, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
  ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.Inner)), S_OK);
  factory->Release();
  IVANT* control = nullptr;
  ASSERT_EQ(outer.QueryInterface(IID_IVANT, reinterpret_cast<void**>(&control)), S_OK);
  EXPECT_EQ(outer.Refs, 2u) << "the control's references are the outer object's";
  IUnknown* identity = nullptr;
  ASSERT_EQ(control->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
  EXPECT_EQ(identity, &outer);
  identity->Release();
  control->Release();
  EXPECT_EQ(outer.Refs, 1u);
  EXPECT_EQ(library.CanUnloadNow(), S_FALSE);
  EXPECT_EQ(outer.Inner->Release(), 0u);
  EXPECT_EQ(library.CanUnloadNow(), S_OK);
}

// A value of the user's own classes (HKEY_CURRENT_USER\Software\Classes).
std::string UserClassesValue(const std::string& key, const char* name = nullptr, bool* found = nullptr) {
  char buffer[1024] = {};
  DWORD size = sizeof buffer;
  const bool ok = RegGetValueA(HKEY_CURRENT_USER, ("Software\\Classes\\" + key).c_str(), name, RRF_RT_REG_SZ,
                               nullptr, buffer, &size) == ERROR_SUCCESS;
  if (found) *found = ok;
  return ok ? buffer : "";
}

bool UserClassesKeyExists(const std::string& key) {
  HKEY handle = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, ("Software\\Classes\\" + key).c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
    return false;
  RegCloseKey(handle);
  return true;
}

template <class Read>
void ExpectClassRows(const std::string& modulePath, Read read) {
  auto value = [&](const std::string& key, const char* name = nullptr) { return read(key, name, nullptr); };
  EXPECT_EQ(value(kClsidKey), "VANT v 4.0.15");
  EXPECT_EQ(value(kClsidKey + "\\InprocServer32"), modulePath);
  EXPECT_EQ(value(kClsidKey + "\\InprocServer32", "ThreadingModel"), "Apartment");
  EXPECT_EQ(value(kProgId), "VANT v 4.0.15");
  EXPECT_EQ(value(std::string(kProgId) + "\\CLSID"), "{B4BDF183-5E81-4659-A1DE-6F05CAD755CE}");
  EXPECT_EQ(value(kClsidKey + "\\ProgID"), kProgId);
  EXPECT_EQ(value(kClsidKey + "\\Version"), "1.0");
  EXPECT_EQ(value(kClsidKey + "\\Typelib"), "{D5531A6C-ADD2-4A47-86B4-71ACE24AADBE}");
  EXPECT_EQ(value(kClsidKey + "\\MiscStatus"), "0");
  EXPECT_EQ(value(kClsidKey + "\\MiscStatus\\1"), "131473");
  EXPECT_EQ(value(kClsidKey + "\\ToolboxBitmap32"), modulePath + ",1");
  bool found = false;
  EXPECT_EQ(read(kClsidKey + "\\Control", nullptr, &found), "");
  EXPECT_TRUE(found);
  EXPECT_EQ(read(kClsidKey + "\\Verb", nullptr, &found), "");
  EXPECT_TRUE(found);
  EXPECT_EQ(value(kClsidKey + "\\Verb\\0"), "Properties,0,2");
  bool categories = false;
  read(kClsidKey + "\\Implemented Categories", nullptr, &categories);
  EXPECT_FALSE(categories);
}

// Every key and value as the registration writes them, read back with the
// registry API after the system's regsvr32 ran.
void ExpectRegistered(const std::string& modulePath) {
  ExpectClassRows(modulePath, [](const std::string& key, const char* name, bool* found) {
    return ClassesValue(key, name, found);
  });
  EXPECT_EQ(ClassesValue(kLibidKey), "VANTProj1 Library");
}

TEST(Server, RegisteredAndUnregisteredBySystemTool) {
  const std::string path = LibraryPath();
  ASSERT_EQ(RunProgram("regsvr32 /s \"" + path + "\""), 0u);
  ExpectRegistered(path);
  // The type library is registered with the library's folder as help folder.
  EXPECT_EQ(ClassesValue(kLibidKey + "\\HELPDIR"), path.substr(0, path.find_last_of('\\') + 1));

  ASSERT_EQ(RunProgram("regsvr32 /s /u \"" + path + "\""), 0u);
  EXPECT_FALSE(ClassesKeyExists(kClsidKey));
  EXPECT_FALSE(ClassesKeyExists(kProgId));
  EXPECT_TRUE(ClassesKeyExists(kLibidKey)) << "the type library stays registered";
  EXPECT_EQ(RunProgram("regsvr32 /s /u \"" + path + "\""), 0u) << "unregistering twice still succeeds";

  // From a folder whose path holds a space: the short path is written.
  char temp[MAX_PATH] = {};
  GetTempPathA(sizeof temp, temp);
  const std::string folder = std::string(temp) + "VANT control test";
  CreateDirectoryA(folder.c_str(), nullptr);
  const std::string spaced = folder + "\\VANTProj1.ocx";
  ASSERT_TRUE(CopyFileA(path.c_str(), spaced.c_str(), FALSE));
  char shortPath[MAX_PATH] = {};
  ASSERT_GT(GetShortPathNameA(spaced.c_str(), shortPath, sizeof shortPath), 0u);
  ASSERT_EQ(std::string(shortPath).find(' '), std::string::npos);
  ASSERT_EQ(RunProgram("regsvr32 /s \"" + spaced + "\""), 0u);
  ExpectRegistered(shortPath);

  // Registered again from the build folder, for the tests that follow.
  ASSERT_EQ(RunProgram("regsvr32 /s \"" + path + "\""), 0u);
  ExpectRegistered(path);
  DeleteFileA(spaced.c_str());
  RemoveDirectoryA(folder.c_str());
}

// regsvr32 /n /i:user: the same rows in the user's own classes, written and
// removed without touching the machine's registration.
TEST(Server, RegisteredForTheUserAlone) {
  const std::string path = LibraryPath();
  const bool machineBefore = ClassesKeyExists(kClsidKey + "\\InprocServer32");
  ASSERT_EQ(RunProgram("regsvr32 /s /n /i:user \"" + path + "\""), 0u);
  ExpectClassRows(path, UserClassesValue);
  ASSERT_EQ(RunProgram("regsvr32 /s /u /n /i:user \"" + path + "\""), 0u);
  EXPECT_FALSE(UserClassesKeyExists(kClsidKey));
  EXPECT_FALSE(UserClassesKeyExists(kProgId));
  EXPECT_EQ(ClassesKeyExists(kClsidKey + "\\InprocServer32"), machineBefore) << "the machine's rows are left as they were";
}

TEST(Server, InstallRefusesAnUnknownCommand) {
  Library library;
  using InstallFn = HRESULT(WINAPI*)(BOOL, LPCWSTR);
  const auto install = reinterpret_cast<InstallFn>(library.Proc("DllInstall"));
  ASSERT_NE(install, nullptr);
  EXPECT_EQ(install(TRUE, L"everyone"), E_INVALIDARG);
  EXPECT_FALSE(UserClassesKeyExists(kClsidKey));
}

// A row that cannot be written (here: below a volatile key, which only takes
// volatile subkeys) fails the registration, and what was written before it
// is taken away again: no half registration is left behind.
TEST(Server, UserRowThatCannotBeWrittenFailsTheWholeRegistration) {
  const std::string progIdKey = "Software\\Classes\\" + std::string(kProgId);
  auto block = [&] {
    HKEY blocker = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, progIdKey.c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                              nullptr, &blocker, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(blocker);
  };
  block();
  Library library;
  using InstallFn = HRESULT(WINAPI*)(BOOL, LPCWSTR);
  const auto install = reinterpret_cast<InstallFn>(library.Proc("DllInstall"));
  ASSERT_NE(install, nullptr);
  EXPECT_EQ(install(TRUE, L"user"), HRESULT_FROM_WIN32(ERROR_CHILD_MUST_BE_VOLATILE));
  EXPECT_FALSE(UserClassesKeyExists(kClsidKey)) << "the rows written before the failure are gone";
  EXPECT_FALSE(UserClassesKeyExists(kProgId));
  block();
  EXPECT_NE(RunProgram("regsvr32 /s /n /i:user \"" + LibraryPath() + "\""), 0u) << "the system's tool reports it";
  EXPECT_FALSE(UserClassesKeyExists(kClsidKey));
  RegDeleteKeyA(HKEY_CURRENT_USER, progIdKey.c_str());
}

}  // namespace
}  // namespace vant::testing
