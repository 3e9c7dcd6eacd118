// COM basics shared by the shell and the browser interfaces.
#include <atomic>

#include "unknwn.h"

const IID IID_NULL = {0x00000000, 0x0000, 0x0000, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}};
const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

LONG WINAPI InterlockedIncrement(LONG volatile* Addend) {
  return std::atomic_ref<LONG>(*const_cast<LONG*>(Addend)).fetch_add(1) + 1;
}

LONG WINAPI InterlockedDecrement(LONG volatile* Addend) {
  return std::atomic_ref<LONG>(*const_cast<LONG*>(Addend)).fetch_sub(1) - 1;
}
