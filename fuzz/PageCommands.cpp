// The page command bridge (window.external) with arbitrary names and argument lists: the
// input is a program of lookups, calls and fallback changes. Registered names answer 9000 plus
// their first position, whatever their case; unknown ones DISPID_UNKNOWN; a call reaches the
// handler exactly when its DISPID names a registered command, with the name as registered and
// the arguments as given; the reference counts balance.
#include <cstdint>
#include <cwctype>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "SysUtils.h"
#include "WebExternal.h"
#include "windows.h"

using fuzzsupport::Check;

namespace {

const char* const kNames[] = {"__WindowSize", "__WindowBorderStyle", "__WindowPositionStyle", "__WindowClose",
                              "__CallUpdater", "__SetVisible", "__Test", "__StartUpdate", "__PauseUpdate",
                              "__ExitUpdater", "__windowsize"};
const int kNameCount = int(sizeof kNames / sizeof kNames[0]);

// A fallback that answers 77 for every name and counts what reaches it.
class Fallback : public IDispatch {
 public:
  LONG refs = 1;
  int lookups = 0, calls = 0;
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
  HRESULT WINAPI Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    ++calls;
    return 0x1234;
  }
};

class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool More() const { return at_ < size_; }
  uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  uint32_t Word32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t(Byte()) << (8 * i);
    return v;
  }
  // A name: a length, then characters of one byte (mostly letters of the names), two bytes or
  // three bytes (beyond the Unicode range as well).
  std::wstring Name() {
    std::wstring name;
    int length = Byte() % 24;
    for (int i = 0; i < length && More(); ++i) {
      uint8_t kind = Byte();
      if (kind < 0xC0) {
        name.push_back(wchar_t(kind));
      } else if (kind < 0xF0) {
        name.push_back(wchar_t(Byte() | (Byte() << 8)));
      } else {
        name.push_back(wchar_t(Byte() | (Byte() << 8) | (Byte() << 16)));
      }
      if (name.back() == 0) name.back() = L'_';
    }
    return name;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

// The registered position a script's name must find: the first equal without case, by the
// same conversion the bridge makes.
int Expected(const std::wstring& name) {
  AnsiString ansi;
  if (!name.empty()) {
    int bytes = WideCharToMultiByte(CP_ACP, 0, name.data(), int(name.size()), nullptr, 0, nullptr, nullptr);
    std::string text(size_t(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0) WideCharToMultiByte(CP_ACP, 0, name.data(), int(name.size()), text.data(), bytes, nullptr, nullptr);
    ansi = AnsiString(text);
  }
  for (int i = 0; i < kNameCount; ++i)
    if (CompareText(ansi, kNames[i]) == 0) return i;
  return -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Reader in(data, size);
  Fallback fallback;
  TWebExternal* external = new TWebExternal();
  for (const char* name : kNames) external->AddName(name);
  bool withFallback = false;
  AnsiString lastName;
  std::vector<LONG> lastArgs;
  int handled = 0;
  external->OnInvoke = [&](TWebExternal* sender, AnsiString name, DISPPARAMS* params, VARIANT* result) {
    Check(sender == external, "the handler was called for another object");
    ++handled;
    lastName = name;
    lastArgs.clear();
    // The first script argument is rgvarg[cArgs - 1].
    for (UINT i = params ? params->cArgs : 0; i > 0; --i) lastArgs.push_back(params->rgvarg[i - 1].lVal);
    if (result) VariantInit(result);
    return HRESULT(0x42);
  };

  while (in.More()) {
    switch (in.Byte() % 4) {
      case 0: {  // lookup of up to four names
        std::vector<std::wstring> names(1 + in.Byte() % 4);
        for (auto& name : names) name = in.Name();
        std::vector<LPOLESTR> raw;
        for (auto& name : names) raw.push_back(name.data());
        std::vector<DISPID> ids(names.size(), 0);
        int lookups = fallback.lookups;
        HRESULT hr = external->GetIDsOfNames(IID_NULL, raw.data(), UINT(raw.size()), LOCALE_USER_DEFAULT, ids.data());
        bool unknown = false;
        for (size_t i = names.size(); i > 0; --i) {
          int k = Expected(names[i - 1]);
          // With a fallback, an unknown name lets it write every slot, earlier ones included.
          if (k >= 0) {
            if (!(withFallback && unknown)) Check(ids[i - 1] == 9000 + k, "a registered name got the wrong DISPID");
          } else {
            unknown = true;
            if (!withFallback) Check(ids[i - 1] == DISPID_UNKNOWN, "an unknown name got a DISPID");
          }
        }
        if (!withFallback) Check((hr == DISP_E_UNKNOWNNAME) == unknown, "the lookup's result is wrong");
        if (!withFallback) Check(fallback.lookups == lookups, "a lookup reached a fallback that was not set");
        break;
      }
      case 1: {  // a call with up to 12 integer arguments
        DISPID id = in.Byte() < 200 ? DISPID(9000 + in.Byte() % 16) : DISPID(in.Word32());
        bool nullIid = in.Byte() != 0xFF;
        std::vector<VARIANT> args(in.Byte() % 13);
        std::vector<LONG> given;
        for (auto& arg : args) {
          VariantInit(&arg);
          arg.vt = VT_I4;
          arg.lVal = LONG(in.Word32());
        }
        for (size_t i = args.size(); i > 0; --i) given.push_back(args[i - 1].lVal);
        DISPPARAMS params{args.empty() ? nullptr : args.data(), nullptr, UINT(args.size()), 0};
        VARIANT result;
        VariantInit(&result);
        int before = handled, calls = fallback.calls;
        HRESULT hr = external->Invoke(id, nullIid ? IID_NULL : IID_IDispatch, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                      &params, in.Byte() % 2 ? &result : nullptr, nullptr, nullptr);
        const bool registered = id >= 9000 && id - 9000 < kNameCount;
        if (!nullIid) {
          Check(hr == DISP_E_UNKNOWNINTERFACE && handled == before, "a call with an interface was not refused");
        } else if (registered) {
          Check(hr == 0x42 && handled == before + 1, "a registered command did not reach the handler");
          Check(lastName == kNames[id - 9000], "the handler got another name");
          Check(lastArgs == given, "the handler got other arguments");
        } else {
          Check(handled == before, "an unregistered DISPID reached the handler");
          if (id < 9000 && withFallback)
            Check(hr == 0x1234 && fallback.calls == calls + 1, "a call below 9000 did not reach the fallback");
          else
            Check(hr == S_OK, "an unregistered DISPID was not ignored");
        }
        break;
      }
      case 2:  // the fallback set or taken away
        withFallback = in.Byte() % 2;
        external->SetFallback(withFallback ? &fallback : nullptr);
        break;
      case 3: {  // references and interfaces
        void* out = nullptr;
        HRESULT hr = external->QueryInterface(in.Byte() % 2 ? IID_IDispatch : IID_NULL, &out);
        if (hr == S_OK) external->Release();
        break;
      }
    }
  }
  external->SetFallback(nullptr);
  Check(fallback.refs == 1, "the bridge kept a reference on its fallback");
  Check(external->Release() == 0, "the bridge's references do not balance");
  return 0;
}
