#include "Classes.h"
#include "windows.h"

namespace {

void* LockNamed(void* instance, const char* name, const char* type, long long& size) {
  HMODULE module = static_cast<HMODULE>(instance);
  HRSRC info = FindResourceA(module, name, type);
  HGLOBAL data = info ? LoadResource(module, info) : nullptr;
  void* bytes = data ? LockResource(data) : nullptr;
  if (!bytes) return nullptr;
  size = SizeofResource(module, info);
  return bytes;
}

}  // namespace

TResourceStream::TResourceStream(void* instance, const AnsiString& resName, const char* resType) {
  long long size = 0;
  void* bytes = LockNamed(instance, resName.c_str(), resType, size);
  if (!bytes) throw EResNotFound("Resource " + resName + " not found");
  SetPointer(bytes, size);
}

TResourceStream::TResourceStream(void* instance, int resId, const char* resType) {
  long long size = 0;
  void* bytes = LockNamed(instance, MAKEINTRESOURCEA(resId), resType, size);
  if (!bytes) throw EResNotFound("Resource #" + IntToStr(resId) + " not found");
  SetPointer(bytes, size);
}

int TResourceStream::Write(const void*, int) { throw EStreamError("Can't write to a read-only resource stream"); }
