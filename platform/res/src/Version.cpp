// VERSION.DLL subset: the version record (type 16, name 1) of any file of ours, read from the
// "winres" section of the file named (a DOS path).
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "ElfSection.h"
#include "ResourceTable.h"
#include "winbase.h"
#include "winplat.h"
#include "winver.h"

static_assert(sizeof(VS_FIXEDFILEINFO) == sizeof(winres::VersionHeader::fixed), "fixed block layout");

using namespace winplat::res;

namespace {

bool SoundVersion(const unsigned char* data, size_t size) {
  winres::VersionHeader h;
  if (size < sizeof h) return false;
  std::memcpy(&h, data, sizeof h);
  return std::memcmp(h.magic, winres::kVersionMagic, 4) == 0 && h.size >= sizeof h && h.size <= size;
}

// The version record's bytes; false with the error set when the file has none.
bool ReadVersion(LPCSTR fileName, std::vector<unsigned char>& out) {
  if (!fileName || !*fileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  std::string path = winplat::DosToUnix(fileName);
  if (path.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  ElfSection elf;
  switch (FindElfSection(path, winres::kSectionName, elf)) {
    case ElfResult::Found:
      break;
    case ElfResult::Unreadable:
      SetLastError(errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND);
      return false;
    default:
      SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
      return false;
  }
  std::vector<unsigned char> bytes;
  if (!ReadElfSection(path, elf, bytes)) {
    SetLastError(ERROR_READ_FAULT);
    return false;
  }
  Key type, name;
  type.id = winres::kVersionType;
  name.id = winres::kVersionName;
  DWORD error = 0;
  const winres::Entry* e = FindEntry(Section{bytes.data(), bytes.size()}, type, name, error);
  if (!e || !SoundVersion(EntryData(*e), e->size)) {
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return false;
  }
  winres::VersionHeader h;
  std::memcpy(&h, EntryData(*e), sizeof h);
  out.assign(EntryData(*e), EntryData(*e) + h.size);
  return true;
}

bool SameText(const char* a, size_t length, const char* b) {
  if (std::strlen(b) != length) return false;
  for (size_t i = 0; i < length; ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = char(x - 32);
    if (y >= 'a' && y <= 'z') y = char(y - 32);
    if (x != y) return false;
  }
  return true;
}

}  // namespace

DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR lptstrFilename, LPDWORD lpdwHandle) {
  if (lpdwHandle) *lpdwHandle = 0;
  std::vector<unsigned char> data;
  if (!ReadVersion(lptstrFilename, data)) return 0;
  return DWORD(data.size());
}

BOOL WINAPI GetFileVersionInfoA(LPCSTR lptstrFilename, DWORD, DWORD dwLen, LPVOID lpData) {
  std::vector<unsigned char> data;
  if (!lpData) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!ReadVersion(lptstrFilename, data)) return FALSE;
  // A shortened block would let VerQueryValueA read past the caller's buffer.
  if (dwLen < data.size()) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(lpData, data.data(), data.size());
  return TRUE;
}

BOOL WINAPI VerQueryValueA(LPCVOID pBlock, LPCSTR lpSubBlock, LPVOID* lplpBuffer, PUINT puLen) {
  if (puLen) *puLen = 0;
  if (!pBlock || !lpSubBlock || !lplpBuffer) return FALSE;
  const auto* base = static_cast<const unsigned char*>(pBlock);
  winres::VersionHeader h;
  std::memcpy(&h, base, sizeof h);
  if (std::memcmp(h.magic, winres::kVersionMagic, 4) != 0 || h.size < sizeof h) return FALSE;

  std::vector<std::pair<const char*, size_t>> parts;
  for (const char* p = lpSubBlock; *p;) {
    if (*p == '\\') {
      ++p;
      continue;
    }
    const char* start = p;
    while (*p && *p != '\\') ++p;
    parts.push_back({start, size_t(p - start)});
  }
  auto answer = [&](const void* value, UINT length) {
    *lplpBuffer = const_cast<void*>(value);
    if (puLen) *puLen = length;
    return TRUE;
  };
  auto* header = reinterpret_cast<const winres::VersionHeader*>(base);
  if (parts.empty()) return answer(header->fixed, UINT(sizeof(VS_FIXEDFILEINFO)));
  if (parts.size() == 2 && SameText(parts[0].first, parts[0].second, "VarFileInfo") &&
      SameText(parts[1].first, parts[1].second, "Translation"))
    return answer(&header->translation, 4);
  if (parts.size() != 3 || !SameText(parts[0].first, parts[0].second, "StringFileInfo")) return FALSE;
  char table[9];
  std::snprintf(table, sizeof table, "%04X%04X", h.translation & 0xFFFF, h.translation >> 16);
  if (!SameText(parts[1].first, parts[1].second, table)) return FALSE;

  const char* p = reinterpret_cast<const char*>(base) + sizeof h;
  const char* end = reinterpret_cast<const char*>(base) + h.size;
  for (uint32_t i = 0; i < h.stringCount && p < end; ++i) {
    const char* name = p;
    const char* nameEnd = static_cast<const char*>(std::memchr(name, 0, size_t(end - name)));
    if (!nameEnd) return FALSE;
    const char* value = nameEnd + 1;
    const char* valueEnd = value < end ? static_cast<const char*>(std::memchr(value, 0, size_t(end - value))) : nullptr;
    if (!valueEnd) return FALSE;
    if (SameText(parts[2].first, parts[2].second, name)) return answer(value, UINT(valueEnd - value + 1));
    p = valueEnd + 1;
  }
  return FALSE;
}
