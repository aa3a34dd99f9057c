// The control saved into a host's document and loaded back: ole32 as the
// container (OleCreate into a docfile, OleSave, OleLoad), and streams that
// are cut short or were never ours, which must leave the form as it was.
#include <cstring>
#include <string>
#include <vector>

#include "tests/host/host_test_support.h"

namespace vant::testing {
namespace {

[[maybe_unused]] auto* const kOle = ::testing::AddGlobalTestEnvironment(new OleEnvironment);


std::wstring Caption(IVANT* control) {
  BSTR text = nullptr;
  if (FAILED(control->get_Caption(&text))) return L"<failed>";
  std::wstring out(text ? text : L"", text ? SysStringLen(text) : 0);
  SysFreeString(text);
  return out;
}

HRESULT SetCaption(IVANT* control, const wchar_t* text) {
  BSTR b = SysAllocString(text);
  const HRESULT hr = control->put_Caption(b);
  SysFreeString(b);
  return hr;
}

OLE_COLOR Colour(IVANT* control) {
  OLE_COLOR colour = 0xFFFFFFFF;
  control->get_Color(&colour);
  return colour;
}

// A docfile of its own in the temporary folder, gone when released.
IStorage* NewDocfile() {
  IStorage* storage = nullptr;
  StgCreateDocfile(nullptr, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_DELETEONRELEASE, 0,
                   &storage);
  return storage;
}

// The bytes a control saves through IPersistStreamInit.
std::vector<BYTE> SavedBytes(IVANT* control) {
  std::vector<BYTE> bytes;
  IPersistStreamInit* persist = Query<IPersistStreamInit>(control, IID_IPersistStreamInit);
  IStream* stream = nullptr;
  if (!persist || FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &stream))) return bytes;
  if (persist->Save(stream, TRUE) == S_OK) {
    STATSTG stat{};
    stream->Stat(&stat, STATFLAG_NONAME);
    bytes.resize(static_cast<size_t>(stat.cbSize.QuadPart));
    LARGE_INTEGER zero{};
    stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    ULONG got = 0;
    stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &got);
    bytes.resize(got);
  }
  stream->Release();
  persist->Release();
  return bytes;
}

// A stream holding `bytes`, at its start.
IStream* StreamOf(const std::vector<BYTE>& bytes) {
  IStream* stream = nullptr;
  if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &stream))) return nullptr;
  ULONG written = 0;
  if (!bytes.empty()) stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
  LARGE_INTEGER zero{};
  stream->Seek(zero, STREAM_SEEK_SET, nullptr);
  return stream;
}

struct LoadResult {
  HRESULT Code;
  std::wstring Description, Source;
};

LoadResult LoadBytes(IVANT* control, const std::vector<BYTE>& bytes) {
  IPersistStreamInit* persist = Query<IPersistStreamInit>(control, IID_IPersistStreamInit);
  IStream* stream = StreamOf(bytes);
  SetErrorInfo(0, nullptr);
  LoadResult result{persist && stream ? persist->Load(stream) : E_UNEXPECTED, {}, {}};
  IErrorInfo* error = nullptr;
  if (GetErrorInfo(0, &error) == S_OK) {
    BSTR text = nullptr;
    error->GetDescription(&text);
    result.Description = text ? text : L"";
    SysFreeString(text);
    error->GetSource(&text);
    result.Source = text ? text : L"";
    SysFreeString(text);
    error->Release();
  }
  if (stream) stream->Release();
  if (persist) persist->Release();
  return result;
}

// The offset of a field's value in a saved form (records follow the
// 10-byte header: 2-byte tag, 4-byte length, value), or 0.
size_t FieldValueAt(const std::vector<BYTE>& saved, uint16_t tag) {
  size_t at = 10;
  while (at + 6 <= saved.size()) {
    const uint16_t seen = static_cast<uint16_t>(saved[at] | saved[at + 1] << 8);
    uint32_t length = 0;
    std::memcpy(&length, &saved[at + 2], 4);
    if (seen == tag) return at + 6;
    at += 6 + length;
  }
  return 0;
}

struct Controls {
  Library library;
  Controls() {
    EXPECT_TRUE(library.Loaded());
    EXPECT_EQ(library.Register(), S_OK) << "ole32 creates the control from the registry";
  }
};

TEST(Persist, OleSaveThenOleLoadRestoresTheFormsOwnProperties) {
  Controls env;
  IStorage* storage = NewDocfile();
  ASSERT_NE(storage, nullptr);
  IOleObject* object = nullptr;
  ASSERT_EQ(OleCreate(CLSID_VANT1, IID_IOleObject, OLERENDER_NONE, nullptr, nullptr, storage,
                      reinterpret_cast<void**>(&object)),
            S_OK);
  IVANT* vant = Query<IVANT>(object, IID_IVANT);
  ASSERT_NE(vant, nullptr);
  ASSERT_EQ(SetCaption(vant, L"Unidad D: recuperaci\u00f3n"), S_OK);
  ASSERT_EQ(vant->put_Color(0x005AC412), S_OK);
  ASSERT_EQ(vant->put_BorderWidth(4), S_OK);
  ASSERT_EQ(vant->put_AxBorderStyle(afbRaised), S_OK);
  ASSERT_EQ(vant->put_KeyPreview(VARIANT_TRUE), S_OK);
  ASSERT_EQ(vant->put_PrintScale(poPrintToFit), S_OK);
  ASSERT_EQ(vant->put_Scaled(0), S_OK);
  BSTR help = SysAllocString(L"C:\\Ayuda\\vant.hlp");
  ASSERT_EQ(vant->put_HelpFile(help), S_OK);
  SysFreeString(help);
  IFontDisp* fontDisp = nullptr;
  ASSERT_EQ(vant->get_Font(&fontDisp), S_OK);
  IFont* font = Query<IFont>(fontDisp, IID_IFont);
  ASSERT_NE(font, nullptr);
  ASSERT_EQ(font->put_Italic(TRUE), S_OK);
  ASSERT_EQ(font->put_Strikethrough(TRUE), S_OK);
  font->Release();
  fontDisp->Release();
  // Visibility is the host's to decide through activation: not saved.
  ASSERT_EQ(vant->put_Visible(VARIANT_TRUE), S_OK);

  IPersistStorage* persist = Query<IPersistStorage>(object, IID_IPersistStorage);
  ASSERT_NE(persist, nullptr);
  EXPECT_EQ(persist->IsDirty(), S_FALSE) << "no put marks the control dirty";
  CLSID saved{};
  ASSERT_EQ(persist->GetClassID(&saved), S_OK);
  EXPECT_EQ(saved, CLSID_VANT1);
  ASSERT_EQ(OleSave(persist, storage, TRUE), S_OK);
  ASSERT_EQ(storage->Commit(STGC_DEFAULT), S_OK);
  ASSERT_EQ(persist->SaveCompleted(nullptr), S_OK);
  EXPECT_EQ(persist->HandsOffStorage(), S_OK);
  persist->Release();

  // What ole32 and the control left in the document.
  CLSID written{};
  ASSERT_EQ(ReadClassStg(storage, &written), S_OK);
  EXPECT_EQ(written, CLSID_VANT1);
  IStream* contents = nullptr;
  ASSERT_EQ(storage->OpenStream(L"Contents", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &contents), S_OK);
  BYTE header[10] = {};
  ULONG got = 0;
  contents->Read(header, sizeof header, &got);
  contents->Release();
  ASSERT_EQ(got, sizeof header);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(header), 4), "VNTF");
  EXPECT_EQ(header[4] | header[5] << 8, 1) << "format version";

  vant->Release();
  object->Close(OLECLOSE_NOSAVE);
  EXPECT_EQ(object->Release(), 0u);

  IOleObject* loaded = nullptr;
  ASSERT_EQ(OleLoad(storage, IID_IOleObject, nullptr, reinterpret_cast<void**>(&loaded)), S_OK);
  IVANT* again = Query<IVANT>(loaded, IID_IVANT);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(Caption(again), L"Unidad D: recuperaci\u00f3n");
  EXPECT_EQ(Colour(again), 0x005AC412u);
  LONG width = 0;
  again->get_BorderWidth(&width);
  EXPECT_EQ(width, 4);
  TxActiveFormBorderStyle border{};
  again->get_AxBorderStyle(&border);
  EXPECT_EQ(border, afbRaised);
  TxPrintScale scale{};
  again->get_PrintScale(&scale);
  EXPECT_EQ(scale, poPrintToFit);
  VARIANT_BOOL flag = 7;
  again->get_KeyPreview(&flag);
  EXPECT_EQ(flag, 1);
  again->get_Scaled(&flag);
  EXPECT_EQ(flag, 0);
  again->get_Visible(&flag);
  EXPECT_EQ(flag, 0) << "a loaded control stays hidden until its host activates it";
  BSTR helpBack = nullptr;
  again->get_HelpFile(&helpBack);
  EXPECT_STREQ(helpBack, L"C:\\Ayuda\\vant.hlp");
  SysFreeString(helpBack);
  ASSERT_EQ(again->get_Font(&fontDisp), S_OK);
  font = Query<IFont>(fontDisp, IID_IFont);
  ASSERT_NE(font, nullptr);
  BOOL italic = FALSE, strike = FALSE, bold = TRUE;
  font->get_Italic(&italic);
  font->get_Strikethrough(&strike);
  font->get_Bold(&bold);
  EXPECT_TRUE(italic) << "the font object shows the loaded font";
  EXPECT_TRUE(strike);
  EXPECT_FALSE(bold);
  font->Release();
  fontDisp->Release();
  again->Release();
  loaded->Close(OLECLOSE_NOSAVE);
  EXPECT_EQ(loaded->Release(), 0u);
  storage->Release();
}

TEST(Persist, StreamMembersAndAStorageWithoutContents) {
  Controls env;
  IVANT* vant = env.library.Create();
  ASSERT_NE(vant, nullptr);
  IPersistStreamInit* stream = Query<IPersistStreamInit>(vant, IID_IPersistStreamInit);
  IPersistStorage* storage = Query<IPersistStorage>(vant, IID_IPersistStorage);
  ASSERT_TRUE(stream && storage);
  EXPECT_EQ(stream->InitNew(), S_OK);
  EXPECT_EQ(stream->IsDirty(), S_FALSE);
  ULARGE_INTEGER size{};
  EXPECT_EQ(stream->GetSizeMax(&size), E_NOTIMPL);
  EXPECT_EQ(stream->Load(nullptr), E_POINTER);
  EXPECT_EQ(stream->Save(nullptr, TRUE), E_POINTER);
  CLSID clsid{};
  EXPECT_EQ(stream->GetClassID(&clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_VANT1);

  IStorage* empty = NewDocfile();
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(storage->InitNew(empty), S_OK);
  ASSERT_EQ(SetCaption(vant, L"sin cambios"), S_OK);
  EXPECT_EQ(storage->Load(empty), STG_E_FILENOTFOUND) << "the storage's own error";
  EXPECT_EQ(Caption(vant), L"sin cambios");
  EXPECT_EQ(storage->Load(nullptr), E_POINTER);

  // Saving twice into one storage replaces "Contents"; the second save is what loads.
  ASSERT_EQ(storage->Save(empty, FALSE), S_OK);
  ASSERT_EQ(SetCaption(vant, L"segunda"), S_OK);
  ASSERT_EQ(storage->Save(empty, TRUE), S_OK);
  ASSERT_EQ(SetCaption(vant, L"otra"), S_OK);
  ASSERT_EQ(storage->Load(empty), S_OK);
  EXPECT_EQ(Caption(vant), L"segunda");
  empty->Release();

  // A host's stream may go on after the control's part: Load stops at its end.
  std::vector<BYTE> saved = SavedBytes(vant);
  ASSERT_GT(saved.size(), 10u);
  std::vector<BYTE> followed = saved;
  for (char c : std::string("host data after the control")) followed.push_back(static_cast<BYTE>(c));
  IStream* host = StreamOf(followed);
  ASSERT_EQ(stream->Load(host), S_OK);
  LARGE_INTEGER zero{};
  ULARGE_INTEGER position{};
  host->Seek(zero, STREAM_SEEK_CUR, &position);
  EXPECT_EQ(position.QuadPart, saved.size());
  host->Release();

  storage->Release();
  stream->Release();
  EXPECT_EQ(vant->Release(), 0u);
}

TEST(Persist, CutOrForeignStreamsAreRefusedAndChangeNothing) {
  Controls env;
  IVANT* source = env.library.Create();
  IVANT* target = env.library.Create();
  ASSERT_TRUE(source && target);
  ASSERT_EQ(SetCaption(source, L"guardado"), S_OK);
  ASSERT_EQ(source->put_Color(0x00102030), S_OK);
  ASSERT_EQ(source->put_BorderWidth(9), S_OK);
  IFontDisp* sourceFont = nullptr;
  ASSERT_EQ(source->get_Font(&sourceFont), S_OK);
  IFont* italic = Query<IFont>(sourceFont, IID_IFont);
  ASSERT_NE(italic, nullptr);
  ASSERT_EQ(italic->put_Italic(TRUE), S_OK);
  italic->Release();
  sourceFont->Release();
  const std::vector<BYTE> saved = SavedBytes(source);
  ASSERT_GT(saved.size(), 10u);
  ASSERT_EQ(SetCaption(target, L"como estaba"), S_OK);
  ASSERT_EQ(target->put_Color(0x00654321), S_OK);
  // A font object the host holds from before: it must follow what loads.
  IFontDisp* heldDisp = nullptr;
  ASSERT_EQ(target->get_Font(&heldDisp), S_OK);
  IFont* held = Query<IFont>(heldDisp, IID_IFont);
  ASSERT_NE(held, nullptr);
  auto heldItalic = [&] {
    BOOL on = FALSE;
    held->get_Italic(&on);
    return on != FALSE;
  };

  auto unchanged = [&](const char* what) {
    EXPECT_EQ(Caption(target), L"como estaba") << what;
    EXPECT_EQ(Colour(target), 0x00654321u) << what;
    LONG width = -1;
    target->get_BorderWidth(&width);
    EXPECT_EQ(width, 0) << what;
    EXPECT_FALSE(heldItalic()) << what;
  };
  auto refused = [&](const std::vector<BYTE>& bytes, const char* what) {
    const LoadResult r = LoadBytes(target, bytes);
    EXPECT_EQ(r.Code, DISP_E_EXCEPTION) << what;
    EXPECT_FALSE(r.Description.empty()) << what << ": the error object says why";
    EXPECT_EQ(r.Source, L"VANTProj1.VANT1") << what;
    unchanged(what);
  };

  // Cut anywhere: in the header, at its end, inside a field, one byte short.
  for (size_t length : {size_t{0}, size_t{1}, size_t{4}, size_t{9}, size_t{10}, size_t{13}, size_t{16},
                        saved.size() / 2, saved.size() - 1}) {
    SCOPED_TRACE(length);
    refused(std::vector<BYTE>(saved.begin(), saved.begin() + static_cast<std::ptrdiff_t>(length)), "cut short");
  }

  std::vector<BYTE> noise(200);
  unsigned seed = 12345;
  for (BYTE& b : noise) b = static_cast<BYTE>((seed = seed * 1103515245u + 12345u) >> 16);
  refused(noise, "random bytes");
  std::vector<BYTE> newer = saved;
  newer[4] = 2;
  refused(newer, "a later format version");
  std::vector<BYTE> older = saved;
  older[4] = 0;
  refused(older, "format version 0");
  std::vector<BYTE> signature = saved;
  signature[0] = 'X';
  refused(signature, "another signature");
  std::vector<BYTE> boastful = saved;
  boastful[9] = 0x7F;  // the payload claims about 2 GB
  refused(boastful, "an impossible payload length");
  std::vector<BYTE> longer = saved;
  longer[6] = static_cast<BYTE>(longer[6] + 1);  // one byte more than the stream holds
  refused(longer, "a payload length past the end");

  // Well-formed but not a value the form takes, or a field lying about its size.
  const size_t border = FieldValueAt(saved, 11);
  ASSERT_NE(border, 0u);
  std::vector<BYTE> badBorder = saved;
  badBorder[border] = 9;
  refused(badBorder, "a border style out of range");
  const size_t points = FieldValueAt(saved, 4);
  ASSERT_NE(points, 0u);
  std::vector<BYTE> badSize = saved;
  badSize[points] = 0;
  badSize[points + 1] = 0;
  badSize[points + 2] = 0;
  badSize[points + 3] = 0;
  refused(badSize, "a font of 0 points");
  std::vector<BYTE> badLength = saved;
  badLength[points - 4] = 3;  // the size field claims 3 bytes instead of 4
  refused(badLength, "a field of the wrong size");

  // The untouched bytes load (so the refusals above are the damage's doing).
  const LoadResult ok = LoadBytes(target, saved);
  EXPECT_EQ(ok.Code, S_OK);
  EXPECT_EQ(Caption(target), L"guardado");
  EXPECT_EQ(Colour(target), 0x00102030u);
  LONG width = 0;
  target->get_BorderWidth(&width);
  EXPECT_EQ(width, 9);
  EXPECT_TRUE(heldItalic()) << "the host's font object shows the loaded font";
  held->Release();
  heldDisp->Release();

  EXPECT_EQ(source->Release(), 0u);
  EXPECT_EQ(target->Release(), 0u);
}

// Whatever a put takes saves and loads back equal; what the document could
// not hold is refused at the put, with the error object, changing nothing.
TEST(Persist, EveryAcceptedPutSavesAndLoadsBackEqual) {
  Controls env;
  IVANT* control = env.library.Create();
  IVANT* loaded = env.library.Create();
  ASSERT_TRUE(control && loaded);
  using Put = HRESULT (STDMETHODCALLTYPE IVANT::*)(BSTR);
  using Get = HRESULT (STDMETHODCALLTYPE IVANT::*)(BSTR*);
  auto text = [](IVANT* c, Get get) {
    BSTR b = nullptr;
    (c->*get)(&b);
    std::wstring out(b ? b : L"", b ? SysStringLen(b) : 0);
    SysFreeString(b);
    return out;
  };
  struct Case {
    const char* What;
    Put Setter;
    Get Getter;
    std::wstring Value;
    bool Accepted;
  };
  const Case cases[] = {
      {"the longest caption", &IVANT::put_Caption, &IVANT::get_Caption, std::wstring(32767, L'c'), true},
      {"the longest help file", &IVANT::put_HelpFile, &IVANT::get_HelpFile, std::wstring(32767, L'h'), true},
      {"a caption one too long", &IVANT::put_Caption, &IVANT::get_Caption, std::wstring(32768, L'c'), false},
      {"a caption of 40,000", &IVANT::put_Caption, &IVANT::get_Caption, std::wstring(40000, L'c'), false},
      {"a caption holding a NUL", &IVANT::put_Caption, &IVANT::get_Caption, std::wstring(L"a\0b", 3), false},
      {"a help file holding a NUL", &IVANT::put_HelpFile, &IVANT::get_HelpFile, std::wstring(L"\0", 1), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    const std::wstring before = text(control, c.Getter);
    BSTR value = SysAllocStringLen(c.Value.data(), static_cast<UINT>(c.Value.size()));
    SetErrorInfo(0, nullptr);
    const HRESULT hr = (control->*c.Setter)(value);
    SysFreeString(value);
    IErrorInfo* error = nullptr;
    const bool described = GetErrorInfo(0, &error) == S_OK;
    if (error) error->Release();
    if (!c.Accepted) {
      EXPECT_EQ(hr, DISP_E_EXCEPTION);
      EXPECT_TRUE(described) << "the error object says why";
      EXPECT_EQ(text(control, c.Getter), before) << "nothing changed";
    } else {
      ASSERT_EQ(hr, S_OK);
    }
    // Whatever the form now holds saves, and loads back equal.
    const std::vector<BYTE> saved = SavedBytes(control);
    ASSERT_FALSE(saved.empty()) << "saved";
    ASSERT_EQ(LoadBytes(loaded, saved).Code, S_OK);
    EXPECT_EQ(text(loaded, c.Getter), text(control, c.Getter));
  }
  EXPECT_EQ(control->Release(), 0u);
  EXPECT_EQ(loaded->Release(), 0u);
}

}  // namespace
}  // namespace vant::testing
