#include "ResourceTable.h"

#include <cstring>

#include "winbase.h"

namespace winplat::res {
namespace {

char Upper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }

// Offset from the entry to a point inside [lo, hi).
bool Inside(const winres::Entry* e, int32_t off, size_t length, const unsigned char* lo, const unsigned char* hi) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(e) + off;
  return off > 0 && p >= lo && p <= hi && length <= size_t(hi - p);
}

bool StringInside(const winres::Entry* e, int32_t off, const unsigned char* lo, const unsigned char* hi) {
  if (!Inside(e, off, 1, lo, hi)) return false;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(e) + off;
  return std::memchr(p, 0, size_t(hi - p)) != nullptr;
}

bool EntrySound(const winres::Entry* e, const unsigned char* lo, const unsigned char* hi) {
  if (e->typeId ? e->typeId > 0xFFFF : !StringInside(e, e->typeName, lo, hi)) return false;
  if (e->nameId ? e->nameId > 0xFFFF : !StringInside(e, e->nameName, lo, hi)) return false;
  return e->size == 0 || Inside(e, e->data, e->size, lo, hi);
}

}  // namespace

Key MakeKey(LPCSTR text) {
  Key key;
  if (IS_INTRESOURCE(text)) {
    key.id = LOWORD(reinterpret_cast<ULONG_PTR>(text));
    return key;
  }
  if (text[0] == '#') {
    unsigned long v = 0;
    const char* p = text + 1;
    while (*p >= '0' && *p <= '9' && v <= 0xFFFF) v = v * 10 + unsigned(*p++ - '0');
    if (!*p && p != text + 1 && v >= 1 && v <= 0xFFFF) {
      key.id = uint16_t(v);
      return key;
    }
  }
  for (const char* p = text; *p; ++p) key.name += Upper(*p);
  return key;
}

std::vector<const winres::Entry*> Entries(const Section& section) {
  std::vector<const winres::Entry*> out;
  const unsigned char* p = section.begin;
  const unsigned char* end = section.begin + section.size;
  while (size_t(end - p) >= sizeof(winres::BlockHeader)) {
    winres::BlockHeader h;
    std::memcpy(&h, p, sizeof h);
    if (std::memcmp(h.magic, winres::kBlockMagic, 4) != 0) {
      static const unsigned char zeros[winres::kAlign] = {};
      if (std::memcmp(p, zeros, winres::kAlign) != 0) break;  // not padding: the rest is unknown
      p += winres::kAlign;
      continue;
    }
    if (h.size < sizeof h || h.size % winres::kAlign || h.size > size_t(end - p)) break;
    const unsigned char* blockEnd = p + h.size;
    if (h.count > (h.size - sizeof h) / sizeof(winres::Entry)) break;
    auto* entries = reinterpret_cast<const winres::Entry*>(p + sizeof h);
    for (uint32_t i = 0; i < h.count; ++i)
      if (EntrySound(&entries[i], p, blockEnd)) out.push_back(&entries[i]);
    p = blockEnd;
  }
  return out;
}

bool TypeMatches(const winres::Entry& e, const Key& type) {
  if (type.id) return e.typeId == type.id;
  return !e.typeId && type.name == reinterpret_cast<const char*>(&e) + e.typeName;
}

bool NameMatches(const winres::Entry& e, const Key& name) {
  if (name.id) return e.nameId == name.id;
  return !e.nameId && name.name == reinterpret_cast<const char*>(&e) + e.nameName;
}

const char* EntryName(const winres::Entry& e) {
  return e.nameId ? nullptr : reinterpret_cast<const char*>(&e) + e.nameName;
}

const unsigned char* EntryData(const winres::Entry& e) { return reinterpret_cast<const unsigned char*>(&e) + e.data; }

const winres::Entry* FindEntry(const Section& section, const Key& type, const Key& name, DWORD& error) {
  bool typeSeen = false;
  for (const winres::Entry* e : Entries(section)) {
    if (!TypeMatches(*e, type)) continue;
    typeSeen = true;
    if (NameMatches(*e, name)) return e;
  }
  error = typeSeen ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND;
  return nullptr;
}

}  // namespace winplat::res
