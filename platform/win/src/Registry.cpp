// The registry functions over the per-user registry file. Only HKEY_CURRENT_USER exists here;
// the other roots answer ERROR_ACCESS_DENIED.
#include <cstring>
#include "Internal.h"
#include "RegistryStore.h"

namespace winplat {

namespace {

struct KeyObject : Object {
  std::string path;
};

// "\a\\b\" -> "a\b"
std::string CleanSubKey(LPCSTR subKey) {
  std::string out;
  if (!subKey) return out;
  for (const char* p = subKey; *p; ++p) {
    if (*p == '\\' && (out.empty() || out.back() == '\\')) continue;
    out += *p;
  }
  while (!out.empty() && out.back() == '\\') out.pop_back();
  return out;
}

// The key path a handle stands for; false with the error to return when it stands for none.
bool KeyPath(HKEY key, std::string& path, LONG& error) {
  if (key == HKEY_CURRENT_USER) {
    path.clear();
    return true;
  }
  if (key == HKEY_LOCAL_MACHINE || key == HKEY_CLASSES_ROOT || key == HKEY_USERS) {
    error = ERROR_ACCESS_DENIED;
    return false;
  }
  auto object = Lookup<KeyObject>(static_cast<HANDLE>(key));
  if (!object) {
    error = ERROR_INVALID_HANDLE;
    return false;
  }
  path = object->path;
  return true;
}

std::string Join(const std::string& base, const std::string& sub) {
  if (base.empty()) return sub;
  if (sub.empty()) return base;
  return base + "\\" + sub;
}

RegValue* FindValue(RegKey& key, LPCSTR name) {
  std::string wanted = name ? name : "";
  for (RegValue& v : key.values)
    if (SameKeyName(v.name, wanted)) return &v;
  return nullptr;
}

// Copies bytes into a caller's buffer with the size rules of the registry functions.
LONG CopyData(const std::string& data, LPBYTE buffer, LPDWORD size) {
  if (!size) return buffer ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
  DWORD available = *size;
  *size = static_cast<DWORD>(data.size());
  if (!buffer) return ERROR_SUCCESS;
  if (available < data.size()) return ERROR_MORE_DATA;
  memcpy(buffer, data.data(), data.size());
  return ERROR_SUCCESS;
}

// Names: the length without the zero; too small when the zero does not fit.
LONG CopyName(const std::string& name, LPSTR buffer, LPDWORD chars) {
  if (!buffer || !chars) return ERROR_INVALID_PARAMETER;
  if (*chars <= name.size()) return ERROR_MORE_DATA;
  memcpy(buffer, name.c_str(), name.size() + 1);
  *chars = static_cast<DWORD>(name.size());
  return ERROR_SUCCESS;
}

HKEY NewKeyHandle(const std::string& path) {
  auto object = std::make_shared<KeyObject>();
  object->path = path;
  return static_cast<HKEY>(AddHandle(object));
}

}  // namespace

}  // namespace winplat

using namespace winplat;

LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult) {
  (void)ulOptions;
  (void)samDesired;
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  std::string base;
  LONG error;
  if (!KeyPath(hKey, base, error)) return error;
  RegStore store = LoadRegistry();
  RegKey* key = store.Find(Join(base, CleanSubKey(lpSubKey)));
  if (!key) return ERROR_FILE_NOT_FOUND;
  *phkResult = NewKeyHandle(key->path);
  return ERROR_SUCCESS;
}

LONG WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions,
                            REGSAM samDesired, void* lpSecurityAttributes, PHKEY phkResult,
                            LPDWORD lpdwDisposition) {
  (void)Reserved;
  (void)lpClass;
  (void)dwOptions;
  (void)samDesired;
  (void)lpSecurityAttributes;
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  std::string base;
  LONG error;
  if (!KeyPath(hKey, base, error)) return error;
  std::string path = Join(base, CleanSubKey(lpSubKey));
  bool created = false;
  std::string actual;
  LONG rc = ChangeRegistry([&](RegStore& store, bool& changed) -> LONG {
    if (!base.empty() && !store.Find(base)) return ERROR_KEY_DELETED;
    if (RegKey* key = store.Find(path)) {
      actual = key->path;
      return ERROR_SUCCESS;
    }
    actual = store.Create(path).path;
    created = changed = true;
    return ERROR_SUCCESS;
  });
  if (rc != ERROR_SUCCESS) return rc;
  *phkResult = NewKeyHandle(actual);
  if (lpdwDisposition) *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return ERROR_SUCCESS;
}

LONG WINAPI RegCloseKey(HKEY hKey) {
  if (hKey == HKEY_CURRENT_USER || hKey == HKEY_LOCAL_MACHINE || hKey == HKEY_CLASSES_ROOT || hKey == HKEY_USERS)
    return ERROR_SUCCESS;
  if (!Lookup<KeyObject>(static_cast<HANDLE>(hKey))) return ERROR_INVALID_HANDLE;
  RemoveHandle(static_cast<HANDLE>(hKey));
  return ERROR_SUCCESS;
}

LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                             LPDWORD lpcbData) {
  (void)lpReserved;
  std::string path;
  LONG error;
  if (!KeyPath(hKey, path, error)) return error;
  RegStore store = LoadRegistry();
  RegKey* key = store.Find(path);
  if (!key) return ERROR_KEY_DELETED;
  RegValue* value = FindValue(*key, lpValueName);
  if (!value) return ERROR_FILE_NOT_FOUND;
  if (lpType) *lpType = value->type;
  return CopyData(value->data, lpData, lpcbData);
}

LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                           DWORD cbData) {
  (void)Reserved;
  std::string path;
  LONG error;
  if (!KeyPath(hKey, path, error)) return error;
  if (!lpData && cbData) return ERROR_INVALID_PARAMETER;
  if (dwType == REG_DWORD && cbData != 4) return ERROR_INVALID_PARAMETER;
  RegValue value{lpValueName ? lpValueName : "", dwType,
                 std::string(reinterpret_cast<const char*>(lpData ? lpData : reinterpret_cast<const BYTE*>("")), cbData)};
  return ChangeRegistry([&](RegStore& store, bool& changed) -> LONG {
    RegKey* key = store.Find(path);
    if (!key) return ERROR_KEY_DELETED;
    if (RegValue* old = FindValue(*key, lpValueName)) {
      if (old->type == value.type && old->data == value.data) return ERROR_SUCCESS;
      old->type = value.type;
      old->data = value.data;
    } else {
      key->values.push_back(value);
    }
    changed = true;
    return ERROR_SUCCESS;
  });
}

LONG WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
  std::string path;
  LONG error;
  if (!KeyPath(hKey, path, error)) return error;
  return ChangeRegistry([&](RegStore& store, bool& changed) -> LONG {
    RegKey* key = store.Find(path);
    if (!key) return ERROR_KEY_DELETED;
    std::string wanted = lpValueName ? lpValueName : "";
    for (auto it = key->values.begin(); it != key->values.end(); ++it)
      if (SameKeyName(it->name, wanted)) {
        key->values.erase(it);
        changed = true;
        return ERROR_SUCCESS;
      }
    return ERROR_FILE_NOT_FOUND;
  });
}

LONG WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
  std::string base;
  LONG error;
  if (!KeyPath(hKey, base, error)) return error;
  std::string sub = CleanSubKey(lpSubKey);
  if (sub.empty()) return ERROR_INVALID_PARAMETER;
  std::string path = Join(base, sub);
  return ChangeRegistry([&](RegStore& store, bool& changed) -> LONG {
    if (!store.Find(path)) return ERROR_FILE_NOT_FOUND;
    if (!store.SubKeys(path).empty()) return ERROR_ACCESS_DENIED;  // subkeys go first, as on Windows
    store.Remove(path);
    changed = true;
    return ERROR_SUCCESS;
  });
}

LONG WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                          LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
  (void)lpReserved;
  std::string path;
  LONG error;
  if (!KeyPath(hKey, path, error)) return error;
  RegStore store = LoadRegistry();
  if (!store.Find(path)) return ERROR_KEY_DELETED;
  std::vector<std::string> names = store.SubKeys(path);
  if (dwIndex >= names.size()) return ERROR_NO_MORE_ITEMS;
  LONG rc = CopyName(names[dwIndex], lpName, lpcchName);
  if (rc != ERROR_SUCCESS) return rc;
  if (lpClass && lpcchClass && *lpcchClass) {
    lpClass[0] = 0;
    *lpcchClass = 0;
  }
  if (lpftLastWriteTime) GetSystemTimeAsFileTime(lpftLastWriteTime);
  return ERROR_SUCCESS;
}

LONG WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                          LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  (void)lpReserved;
  std::string path;
  LONG error;
  if (!KeyPath(hKey, path, error)) return error;
  RegStore store = LoadRegistry();
  RegKey* key = store.Find(path);
  if (!key) return ERROR_KEY_DELETED;
  if (dwIndex >= key->values.size()) return ERROR_NO_MORE_ITEMS;
  const RegValue& value = key->values[dwIndex];
  LONG rc = CopyName(value.name, lpValueName, lpcchValueName);
  if (rc != ERROR_SUCCESS) return rc;
  if (lpType) *lpType = value.type;
  return CopyData(value.data, lpData, lpcbData);
}

LONG WINAPI RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                             LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                             LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                             LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime) {
  (void)lpReserved;
  std::string path;
  LONG error;
  if (!KeyPath(hKey, path, error)) return error;
  RegStore store = LoadRegistry();
  RegKey* key = store.Find(path);
  if (!key) return ERROR_KEY_DELETED;
  std::vector<std::string> names = store.SubKeys(path);
  DWORD maxSub = 0, maxName = 0, maxData = 0;
  for (const std::string& n : names) maxSub = std::max<DWORD>(maxSub, static_cast<DWORD>(n.size()));
  for (const RegValue& v : key->values) {
    maxName = std::max<DWORD>(maxName, static_cast<DWORD>(v.name.size()));
    maxData = std::max<DWORD>(maxData, static_cast<DWORD>(v.data.size()));
  }
  if (lpClass && lpcchClass && *lpcchClass) lpClass[0] = 0;
  if (lpcchClass) *lpcchClass = 0;
  if (lpcSubKeys) *lpcSubKeys = static_cast<DWORD>(names.size());
  if (lpcbMaxSubKeyLen) *lpcbMaxSubKeyLen = maxSub;
  if (lpcbMaxClassLen) *lpcbMaxClassLen = 0;
  if (lpcValues) *lpcValues = static_cast<DWORD>(key->values.size());
  if (lpcbMaxValueNameLen) *lpcbMaxValueNameLen = maxName;
  if (lpcbMaxValueLen) *lpcbMaxValueLen = maxData;
  if (lpcbSecurityDescriptor) *lpcbSecurityDescriptor = 0;
  if (lpftLastWriteTime) GetSystemTimeAsFileTime(lpftLastWriteTime);
  return ERROR_SUCCESS;
}

LONG WINAPI RegFlushKey(HKEY hKey) {
  std::string path;
  LONG error;
  if (!KeyPath(hKey, path, error)) return error;
  return ERROR_SUCCESS;  // every change is on disk before its function returns
}
