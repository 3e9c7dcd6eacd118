// FindResourceA & co over the "winres" section of a loaded module. Handles are pointers into
// the mapped section, so they stay valid while the module is loaded and need no bookkeeping.
#include <algorithm>

#include "ElfSection.h"
#include "ResourceTable.h"
#include "winbase.h"
#include "winplat.h"

using namespace winplat::res;

namespace {

// The module's table as mapped in memory; false with the error set when it has none.
bool ModuleSection(HMODULE module, Section& section) {
  winplat::ModuleImage image;
  if (!winplat::GetModuleImage(module, image)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  ElfSection elf;
  const std::string file = image.program ? std::string("/proc/self/exe") : image.path;
  if (FindElfSection(file, winres::kSectionName, elf) != ElfResult::Found || !elf.loaded) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return false;
  }
  section.begin = reinterpret_cast<const unsigned char*>(image.bias + elf.address);
  section.size = size_t(elf.size);
  return true;
}

}  // namespace

HRSRC WINAPI FindResourceA(HMODULE hModule, LPCSTR lpName, LPCSTR lpType) {
  if (!lpName || !lpType) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  Section section;
  if (!ModuleSection(hModule, section)) return nullptr;
  DWORD error = 0;
  const winres::Entry* e = FindEntry(section, MakeKey(lpType), MakeKey(lpName), error);
  if (!e) {
    SetLastError(error);
    return nullptr;
  }
  return reinterpret_cast<HRSRC>(const_cast<winres::Entry*>(e));
}

HGLOBAL WINAPI LoadResource(HMODULE, HRSRC hResInfo) {
  if (!hResInfo) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  const auto* e = reinterpret_cast<const winres::Entry*>(hResInfo);
  return const_cast<unsigned char*>(EntryData(*e));
}

LPVOID WINAPI LockResource(HGLOBAL hResData) { return hResData; }

DWORD WINAPI SizeofResource(HMODULE, HRSRC hResInfo) {
  if (!hResInfo) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return reinterpret_cast<const winres::Entry*>(hResInfo)->size;
}

// Resources live as long as their module; there is nothing to release.
BOOL WINAPI FreeResource(HGLOBAL) { return FALSE; }

BOOL WINAPI EnumResourceNamesA(HMODULE hModule, LPCSTR lpType, ENUMRESNAMEPROCA lpEnumFunc, LONG_PTR lParam) {
  if (!lpType || !lpEnumFunc) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Section section;
  if (!ModuleSection(hModule, section)) return FALSE;
  Key type = MakeKey(lpType);
  std::vector<const winres::Entry*> found;
  for (const winres::Entry* e : Entries(section))
    if (TypeMatches(*e, type)) found.push_back(e);
  if (found.empty()) {
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return FALSE;
  }
  // Named resources first in name order, then integer ids ascending, as Windows lists them.
  std::stable_sort(found.begin(), found.end(), [](const winres::Entry* a, const winres::Entry* b) {
    if (!a->nameId != !b->nameId) return !a->nameId;
    if (a->nameId) return a->nameId < b->nameId;
    return std::string_view(EntryName(*a)) < std::string_view(EntryName(*b));
  });
  for (const winres::Entry* e : found) {
    LPSTR name = e->nameId ? MAKEINTRESOURCEA(e->nameId) : const_cast<LPSTR>(EntryName(*e));
    if (!lpEnumFunc(hModule, lpType, name, lParam)) {
      SetLastError(ERROR_RESOURCE_ENUM_USER_STOP);
      return FALSE;
    }
  }
  return TRUE;
}
