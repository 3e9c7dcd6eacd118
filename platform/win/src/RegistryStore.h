// The per-user registry file: its text form, reading as far as it is valid, and changes made
// under an exclusive lock and renamed into place.
#pragma once
#include <functional>
#include <string>
#include <vector>
#include "windef.h"

namespace winplat {

struct RegValue {
  std::string name;
  DWORD type = 0;
  std::string data;
};

struct RegKey {
  std::string path;  // "Software\Delmaro" (the root is "")
  std::vector<RegValue> values;
};

struct RegStore {
  std::vector<RegKey> keys;  // always holds the root
  // False when the text stopped being valid before its end mark.
  bool complete = true;

  RegKey* Find(const std::string& path);
  RegKey& Create(const std::string& path);  // with its parents
  std::vector<std::string> SubKeys(const std::string& path) const;  // names, in name order
  bool Remove(const std::string& path);
};

std::string RegistryFile();
std::string RegistryText(const RegStore& store);
RegStore ParseRegistry(const std::string& text);
RegStore LoadRegistry();
// Runs `change` on the current content under the lock; writes the result when it returns
// ERROR_SUCCESS and sets `changed`. Returns the change's result or the writing error.
LONG ChangeRegistry(const std::function<LONG(RegStore&, bool& changed)>& change);

bool SameKeyName(const std::string& a, const std::string& b);

}  // namespace winplat
