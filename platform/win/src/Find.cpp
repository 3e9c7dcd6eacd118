// Directory searches with "*" and "?" patterns that ignore letter case.
#include <dirent.h>
#include <sys/stat.h>
#include <algorithm>
#include <cstring>
#include <vector>
#include "Internal.h"

namespace winplat {

DWORD AttributesOf(const struct stat& st);

namespace {

unsigned char Fold(unsigned char c) { return (c >= 'a' && c <= 'z') ? c - 32 : c; }

size_t CharLength(const std::string& s, size_t i) {
  return (IsDBCSLeadByte(static_cast<BYTE>(s[i])) && i + 1 < s.size()) ? 2 : 1;
}

bool Match(const std::string& p, size_t pi, const std::string& n, size_t ni) {
  while (pi < p.size()) {
    if (p[pi] == '*') {
      while (pi < p.size() && p[pi] == '*') ++pi;
      if (pi == p.size()) return true;
      for (size_t k = ni; k <= n.size(); k += (k < n.size() ? CharLength(n, k) : 1))
        if (Match(p, pi, n, k)) return true;
      return false;
    }
    if (ni >= n.size()) return false;
    if (p[pi] == '?') {
      ++pi;
      ni += CharLength(n, ni);  // one character, even a double-byte one
      continue;
    }
    size_t pl = CharLength(p, pi), nl = CharLength(n, ni);
    if (pl != nl) return false;
    if (pl == 2) {
      if (p.compare(pi, 2, n, ni, 2) != 0) return false;
    } else if (Fold(p[pi]) != Fold(n[ni])) {
      return false;
    }
    pi += pl;
    ni += nl;
  }
  return ni == n.size();
}

struct FindObject : Object {
  std::vector<WIN32_FIND_DATAA> entries;
  size_t next = 0;
};

}  // namespace

bool CaseMatch(const std::string& pattern, const std::string& name) {
  // "*.*" has always meant every name, with or without a dot.
  if (pattern == "*.*" || pattern == "*") return true;
  return Match(pattern, 0, name, 0);
}

}  // namespace winplat

using namespace winplat;

HANDLE WINAPI FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData) {
  if (!lpFileName || !*lpFileName || !lpFindFileData) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::string search = lpFileName;
  size_t sep = search.find_last_of("\\/");
  std::string folder, pattern;
  if (sep == std::string::npos) {
    size_t colon = search.size() >= 2 && search[1] == ':' ? 2 : 0;
    folder = colon ? search.substr(0, 2) : ".";
    pattern = search.substr(colon);
  } else {
    folder = search.substr(0, sep + 1);
    pattern = search.substr(sep + 1);
  }
  if (pattern.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  std::string unixFolder;
  if (!MapPath(folder.c_str(), unixFolder)) return INVALID_HANDLE_VALUE;
  DIR* dir = opendir(unixFolder.c_str());
  if (!dir) {
    SetLastError(errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : ErrnoToError(errno));
    return INVALID_HANDLE_VALUE;
  }
  std::string base = unixFolder == "/" ? "" : unixFolder;
  // The root of a drive has no "." and "..", every other folder has them.
  bool isRoot = NormalizeDos(folder).size() == 3;
  auto found = std::make_shared<FindObject>();
  std::vector<std::pair<std::string, WIN32_FIND_DATAA>> named;
  while (dirent* e = readdir(dir)) {
    std::string unixName = e->d_name;
    if (isRoot && (unixName == "." || unixName == "..")) continue;
    std::string name = Utf8ToCp949(unixName);
    if (name.size() >= MAX_PATH || name.find('\\') != std::string::npos) continue;
    if (!CaseMatch(pattern, name)) continue;
    struct stat st;
    std::string full = base + "/" + unixName;
    if (stat(full.c_str(), &st) != 0 && lstat(full.c_str(), &st) != 0) continue;
    WIN32_FIND_DATAA data{};
    data.dwFileAttributes = AttributesOf(st);
    data.ftCreationTime = UnixToFileTime(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    data.ftLastAccessTime = UnixToFileTime(st.st_atim.tv_sec, st.st_atim.tv_nsec);
    data.ftLastWriteTime = UnixToFileTime(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    if (!S_ISDIR(st.st_mode)) {
      data.nFileSizeHigh = static_cast<DWORD>(static_cast<uint64_t>(st.st_size) >> 32);
      data.nFileSizeLow = static_cast<DWORD>(st.st_size);
    }
    memcpy(data.cFileName, name.c_str(), name.size() + 1);
    std::string key;
    for (char c : name) key += static_cast<char>(toupper(static_cast<unsigned char>(c)));
    named.emplace_back(key, data);
  }
  closedir(dir);
  if (named.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  // Name order without case, as the file systems of that platform list folders.
  std::stable_sort(named.begin(), named.end(), [](const auto& a, const auto& b) {
    if (a.first != b.first) return a.first < b.first;
    return strcmp(a.second.cFileName, b.second.cFileName) < 0;
  });
  for (auto& n : named) found->entries.push_back(n.second);
  *lpFindFileData = found->entries[0];
  found->next = 1;
  return AddHandle(found);
}

BOOL WINAPI FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData) {
  auto found = Lookup<FindObject>(hFindFile);
  if (!found) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (found->next >= found->entries.size()) {
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  *lpFindFileData = found->entries[found->next++];
  return TRUE;
}

BOOL WINAPI FindClose(HANDLE hFindFile) {
  if (!Lookup<FindObject>(hFindFile) || !RemoveHandle(hFindFile)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}
