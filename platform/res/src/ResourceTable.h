// Reading the blocks of a "winres" section (ResourceFormat.h), from a mapped module or from the
// bytes of a file. Every offset is checked against the section, so a damaged table yields the
// entries that are sound and nothing beyond the section is read.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ResourceFormat.h"
#include "windef.h"

#ifndef ERROR_RESOURCE_ENUM_USER_STOP
#define ERROR_RESOURCE_ENUM_USER_STOP 15106L
#endif

namespace winplat::res {

// A resource type or name as the API takes it: MAKEINTRESOURCE(id), "#123" or a name.
struct Key {
  uint16_t id = 0;   // 0: name is used
  std::string name;  // upper-case
};
Key MakeKey(LPCSTR text);

struct Section {
  const unsigned char* begin = nullptr;
  size_t size = 0;
};

// The sound entries of the section, in table order.
std::vector<const winres::Entry*> Entries(const Section& section);

bool TypeMatches(const winres::Entry& e, const Key& type);
bool NameMatches(const winres::Entry& e, const Key& name);
// The entry's name text (nullptr for an integer name) and data.
const char* EntryName(const winres::Entry& e);
const unsigned char* EntryData(const winres::Entry& e);

// Finds the entry; on failure sets error to ERROR_RESOURCE_TYPE_NOT_FOUND or
// ERROR_RESOURCE_NAME_NOT_FOUND.
const winres::Entry* FindEntry(const Section& section, const Key& type, const Key& name, DWORD& error);

}  // namespace winplat::res
