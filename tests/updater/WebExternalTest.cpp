// The page command bridge without a browser: names to DISPIDs, Invoke's answers, the fallback,
// reference counts and the UI handler's answers.
#include <gtest/gtest.h>

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
