// The page command bridge without a browser: names to DISPIDs, Invoke's answers, the fallback,
// reference counts, the UI handler's answers, and arguments converted as automation converts.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "WebExternal.h"

namespace {

// A fallback scripting object that answers 77 for every name and records what reaches it.
class FallbackDispatch : public IDispatch {
 public:
  LONG refs = 1;
  int lookups = 0;
  std::vector<DISPID> invoked;
  HRESULT WINAPI QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG WINAPI AddRef() override { return ULONG(++refs); }
  ULONG WINAPI Release() override { return ULONG(--refs); }
  HRESULT WINAPI GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT WINAPI GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT WINAPI GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) override {
    ++lookups;
    for (UINT i = 0; i < count; ++i) ids[i] = 77;
    return S_FALSE;
  }
  HRESULT WINAPI Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    invoked.push_back(id);
    return 0x1234;
  }
};

struct Received {
  AnsiString name;
  UINT args = 0;
};

class WebExternalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    external = new TWebExternal();
    for (const char* name : {"__WindowSize", "__Test", "__windowsize"}) external->AddName(name);
    external->OnInvoke = [this](TWebExternal* sender, AnsiString name, DISPPARAMS* params, VARIANT*) {
      EXPECT_EQ(sender, external);
      received.push_back({name, params ? params->cArgs : 0});
      return HRESULT(0x42);
    };
  }
  void TearDown() override {
    if (external) external->Release();
  }
  HRESULT Lookup(std::vector<std::wstring> names, std::vector<DISPID>& ids) {
    std::vector<LPOLESTR> raw;
    for (auto& n : names) raw.push_back(n.data());
    ids.assign(names.size(), 0);
    return external->GetIDsOfNames(IID_NULL, raw.data(), UINT(raw.size()), LOCALE_USER_DEFAULT, ids.data());
  }
  HRESULT Call(DISPID id, REFIID iid = IID_NULL) {
    DISPPARAMS params{nullptr, nullptr, 0, 0};
    return external->Invoke(id, iid, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
  }

  TWebExternal* external = nullptr;
  std::vector<Received> received;
};

TEST_F(WebExternalTest, NamesMapToDispIdsByRegistrationOrderIgnoringCase) {
  struct Case {
    std::vector<std::wstring> names;
    std::vector<DISPID> ids;
    HRESULT result;
  };
  const Case cases[] = {
      {{L"__WindowSize"}, {9000}, S_OK},
      {{L"__WINDOWSIZE"}, {9000}, S_OK},  // registered twice: the first registration wins
      {{L"__test"}, {9001}, S_OK},
      {{L"__Test", L"__Nothing"}, {9001, DISPID_UNKNOWN}, DISP_E_UNKNOWNNAME},
      {{L"__Nothing", L"__Test"}, {DISPID_UNKNOWN, 9001}, DISP_E_UNKNOWNNAME},
      {{}, {}, S_OK},
  };
  for (const Case& c : cases) {
    std::vector<DISPID> ids;
    EXPECT_EQ(Lookup(c.names, ids), c.result);
    EXPECT_EQ(ids, c.ids);
  }
}

TEST_F(WebExternalTest, InvokePassesTheRegisteredSpellingAndAnswersAsTheTableSays) {
  EXPECT_EQ(Call(9000), HRESULT(0x42));
  EXPECT_EQ(Call(9002), HRESULT(0x42));
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[0].name, "__WindowSize");
  EXPECT_EQ(received[1].name, "__windowsize");

  struct Case {
    DISPID id;
    bool nullIid;
    HRESULT result;
  };
  const GUID other = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
  const Case quiet[] = {
      {9003, true, S_OK},                     // past the list
      {8999, true, S_OK},                     // below 9000 without a fallback
      {9000, false, DISP_E_UNKNOWNINTERFACE}, // not IID_NULL
  };
  for (const Case& c : quiet) EXPECT_EQ(Call(c.id, c.nullIid ? IID_NULL : other), c.result);
  EXPECT_EQ(received.size(), 2u);

  external->OnInvoke = nullptr;
  EXPECT_EQ(Call(9000), S_OK);
}

TEST_F(WebExternalTest, TheFallbackTakesUnknownNamesAndLowDispIdsAndIsReleased) {
  FallbackDispatch fallback;
  external->SetFallback(&fallback);
  EXPECT_EQ(fallback.refs, 2);

  std::vector<DISPID> ids;
  EXPECT_EQ(Lookup({L"__Nothing", L"__Test", L"__Other"}, ids), S_FALSE);
  EXPECT_EQ(fallback.lookups, 2);  // once per unknown name
  // The known name's slot is its own again after the first fallback answer.
  EXPECT_EQ(ids, (std::vector<DISPID>{77, 77, 77}));
  EXPECT_EQ(Lookup({L"__Test"}, ids), S_OK);
  EXPECT_EQ(ids[0], 9001);

  EXPECT_EQ(Call(5), HRESULT(0x1234));
  EXPECT_EQ(fallback.invoked, std::vector<DISPID>{5});

  external->SetFallback(nullptr);
  EXPECT_EQ(fallback.refs, 1);
  external->SetFallback(&fallback);
  external->Release();  // the last reference: the fallback is released with the object
  external = nullptr;
  EXPECT_EQ(fallback.refs, 1);
}

TEST_F(WebExternalTest, QueryInterfaceAndTypeInformation) {
  void* out = nullptr;
  EXPECT_EQ(external->QueryInterface(IID_IDispatch, &out), S_OK);
  EXPECT_EQ(out, static_cast<IDispatch*>(external));
  EXPECT_EQ(external->Release(), 1u);
  out = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(external->QueryInterface(IID_IDocHostUIHandler, &out), E_NOINTERFACE);
  EXPECT_EQ(out, reinterpret_cast<void*>(0x1));  // untouched
  UINT count = 9;
  EXPECT_EQ(external->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(external->GetTypeInfo(0, 0, nullptr), E_NOTIMPL);
}

VARIANT OfType(VARTYPE vt) {
  VARIANT v;
  VariantInit(&v);
  v.vt = vt;
  return v;
}
VARIANT Text(const wchar_t* text) {
  VARIANT v = OfType(VT_BSTR);
  v.bstrVal = SysAllocString(text);
  return v;
}
VARIANT Number(double d) {
  VARIANT v = OfType(VT_R8);
  v.dblVal = d;
  return v;
}
VARIANT Integer(LONG n) {
  VARIANT v = OfType(VT_I4);
  v.lVal = n;
  return v;
}
VARIANT Boolean(bool b) {
  VARIANT v = OfType(VT_BOOL);
  v.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}

// What a converted value reads as, for comparing: the type and the value as text.
std::string Shown(const VARIANT& v) {
  switch (v.vt) {
    case VT_EMPTY: return "empty";
    case VT_NULL: return "null";
    case VT_I4: return "i4 " + std::to_string(v.lVal);
    case VT_I2: return "i2 " + std::to_string(v.iVal);
    case VT_R8: {
      char buf[64];
      std::snprintf(buf, sizeof buf, "r8 %g", v.dblVal);
      return buf;
    }
    case VT_BOOL: return v.boolVal == VARIANT_TRUE ? "bool true" : v.boolVal == VARIANT_FALSE ? "bool false" : "bool ?";
    case VT_BSTR: {
      std::string out = "bstr ";
      for (UINT i = 0; i < SysStringLen(v.bstrVal); ++i) out += char(v.bstrVal[i]);
      return out;
    }
    default: return "vt " + std::to_string(v.vt);
  }
}

TEST(VariantChangeTypeTest, ConvertsAsAutomationDoes) {
  struct Case {
    VARIANT source;
    VARTYPE to;
    HRESULT result;
    std::string shown;  // the destination afterwards; a failure leaves it as it was (i4 7)
  };
  const Case cases[] = {
      {Text(L"400"), VT_I4, S_OK, "i4 400"},
      {Text(L" -12 "), VT_I4, S_OK, "i4 -12"},
      {Text(L"+3"), VT_I4, S_OK, "i4 3"},
      {Text(L"2.5"), VT_I4, S_OK, "i4 2"},  // half to even
      {Text(L"3.5"), VT_I4, S_OK, "i4 4"},
      {Text(L"1e3"), VT_I4, S_OK, "i4 1000"},
      {Text(L"&H10"), VT_I4, S_OK, "i4 16"},
      {Text(L"&HFFFFFFFF"), VT_I4, S_OK, "i4 -1"},
      {Text(L"&O17"), VT_I4, S_OK, "i4 15"},
      {Text(L"abc"), VT_I4, DISP_E_TYPEMISMATCH, "i4 7"},
      {Text(L"400px"), VT_I4, DISP_E_TYPEMISMATCH, "i4 7"},
      {Text(L""), VT_I4, DISP_E_TYPEMISMATCH, "i4 7"},
      {Text(L"1e"), VT_I4, DISP_E_TYPEMISMATCH, "i4 7"},
      {Text(L"&H"), VT_I4, DISP_E_TYPEMISMATCH, "i4 7"},
      {Text(L"\uC0AC"), VT_I4, DISP_E_TYPEMISMATCH, "i4 7"},
      {Text(L"3000000000"), VT_I4, DISP_E_OVERFLOW, "i4 7"},
      {Text(L"1e400"), VT_I4, DISP_E_TYPEMISMATCH, "i4 7"},
      {Number(400.0), VT_I4, S_OK, "i4 400"},
      {Number(-0.5), VT_I4, S_OK, "i4 0"},
      {Number(1e20), VT_I4, DISP_E_OVERFLOW, "i4 7"},
      {Number(40000), VT_I2, DISP_E_OVERFLOW, "i4 7"},
      {Number(-300), VT_I2, S_OK, "i2 -300"},
      {Boolean(true), VT_I4, S_OK, "i4 -1"},
      {Boolean(false), VT_I4, S_OK, "i4 0"},
      {OfType(VT_EMPTY), VT_I4, S_OK, "i4 0"},
      {OfType(VT_NULL), VT_I4, DISP_E_TYPEMISMATCH, "i4 7"},
      {OfType(VT_DISPATCH), VT_I4, DISP_E_TYPEMISMATCH, "i4 7"},
      {Integer(5), VT_I4, S_OK, "i4 5"},
      {Integer(5), VT_R8, S_OK, "r8 5"},
      {Text(L"0.25"), VT_R8, S_OK, "r8 0.25"},
      {Text(L"x"), VT_R8, DISP_E_TYPEMISMATCH, "i4 7"},
      {OfType(VT_EMPTY), VT_R8, S_OK, "r8 0"},
      {Integer(-42), VT_BSTR, S_OK, "bstr -42"},
      {Number(1.5), VT_BSTR, S_OK, "bstr 1.5"},
      {Number(1e20), VT_BSTR, S_OK, "bstr 1E+20"},
      {Boolean(true), VT_BSTR, S_OK, "bstr -1"},
      {OfType(VT_EMPTY), VT_BSTR, S_OK, "bstr "},
      {OfType(VT_NULL), VT_BSTR, DISP_E_TYPEMISMATCH, "i4 7"},
      {Text(L"same"), VT_BSTR, S_OK, "bstr same"},
      {Text(L"true"), VT_BOOL, S_OK, "bool true"},
      {Text(L"False"), VT_BOOL, S_OK, "bool false"},
      {Text(L"2"), VT_BOOL, S_OK, "bool true"},
      {Text(L"yes"), VT_BOOL, DISP_E_TYPEMISMATCH, "i4 7"},
      {Integer(0), VT_BOOL, S_OK, "bool false"},
      {OfType(VT_EMPTY), VT_BOOL, S_OK, "bool false"},
      {Integer(3), VT_EMPTY, S_OK, "empty"},
      {OfType(VT_EMPTY), VT_NULL, S_OK, "null"},
      {Integer(3), VT_NULL, DISP_E_TYPEMISMATCH, "i4 7"},
      {Integer(3), VT_UNKNOWN, DISP_E_BADVARTYPE, "i4 7"},
  };
  for (const Case& c : cases) {
    VARIANT source = c.source;
    SCOPED_TRACE(Shown(source) + " to " + std::to_string(c.to));
    VARIANT dest = Integer(7);
    EXPECT_EQ(VariantChangeType(&dest, &source, 0, c.to), c.result);
    EXPECT_EQ(Shown(dest), c.shown);
    VariantClear(&dest);

    // In place: the source becomes the value, or stays as it was.
    VARIANT copy;
    VariantInit(&copy);
    ASSERT_EQ(VariantCopy(&copy, &source), S_OK);
    std::string before = Shown(copy);
    EXPECT_EQ(VariantChangeType(&copy, &copy, 0, c.to), c.result);
    EXPECT_EQ(Shown(copy), SUCCEEDED(c.result) ? c.shown : before);
    VariantClear(&copy);
    VariantClear(&source);
  }

  VARIANT alpha = Boolean(false), dest;
  VariantInit(&dest);
  EXPECT_EQ(VariantChangeType(&dest, &alpha, VARIANT_ALPHABOOL, VT_BSTR), S_OK);
  EXPECT_EQ(Shown(dest), "bstr False");
  VariantClear(&dest);
}

TEST(IntArgumentTest, TakesWhatConvertsAndRefusesTheRest) {
  VARIANT argv[3] = {Text(L"200"), Number(12.0), Text(L"wide")};
  DISPPARAMS params{argv, nullptr, 3, 0};
  int value = -5;
  EXPECT_EQ(IntArgument(&params, 0, value), S_OK);
  EXPECT_EQ(value, 200);
  EXPECT_EQ(IntArgument(&params, 1, value), S_OK);
  EXPECT_EQ(value, 12);
  EXPECT_EQ(IntArgument(&params, 2, value), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(value, 12);
  EXPECT_EQ(Shown(argv[0]), "bstr 200");  // the argument itself is not changed
  for (VARIANT& v : argv) VariantClear(&v);
}

TEST(WebUIHandlerTest, HandsOutTheExternalAndFreesItWithTheLastReference) {
  auto* handler = new TWebUIHandler();
  EXPECT_EQ(handler->AddRef(), 1u);  // the window's reference
  auto* external = new TWebExternal();
  handler->External = external;  // takes over the creator's reference

  IDispatch* got = nullptr;
  EXPECT_EQ(handler->GetExternal(&got), S_OK);
  EXPECT_EQ(got, static_cast<IDispatch*>(external));
  EXPECT_EQ(external->AddRef(), 3u);  // the handler's, the browser's, this one
  external->Release();

  EXPECT_EQ(handler->ShowContextMenu(0, nullptr, nullptr, nullptr), S_OK);
  for (HRESULT hr : {handler->GetHostInfo(nullptr), handler->HideUI(), handler->UpdateUI(),
                     handler->EnableModeless(TRUE), handler->TranslateUrl(0, nullptr, nullptr),
                     handler->GetDropTarget(nullptr, nullptr), handler->FilterDataObject(nullptr, nullptr)})
    EXPECT_EQ(hr, E_NOTIMPL);
  void* out = nullptr;
  EXPECT_EQ(handler->QueryInterface(IID_IDispatch, &out), E_NOINTERFACE);
  EXPECT_EQ(handler->QueryInterface(IID_IDocHostUIHandler, &out), S_OK);
  EXPECT_EQ(handler->Release(), 1u);

  // The browser still holds the external after the window's handler is gone.
  EXPECT_EQ(handler->Release(), 0u);
  EXPECT_EQ(got->Release(), 0u);
}

}  // namespace
