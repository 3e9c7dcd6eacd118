// The profile functions over INI files, with their Windows rules: the file is read on every
// call, names ignore case, the first section and the first key of a name win, values are
// trimmed and lose one pair of surrounding quotes. A file name without a folder is in the
// Windows folder, C:\Windows (wherever the drive table puts C:).
#include <sys/stat.h>
#include <cstring>
#include <fstream>
#include <vector>
#include "Internal.h"

namespace winplat {

namespace {

const char kWindowsFolder[] = "C:\\Windows\\";

struct IniLine {
  std::string raw;       // as in the file, without the line end
  std::string section;   // for a section line: its name
  std::string key;       // for a key line: its name (trimmed)
  std::string value;     // and its value (trimmed)
  enum Kind { Other, Section, Key } kind = Other;
};

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

bool SameName(const std::string& a, const std::string& b) { return lstrcmpiA(a.c_str(), b.c_str()) == 0; }

std::string ProfilePath(LPCSTR fileName) {
  std::string name = fileName ? fileName : "win.ini";
  if (name.find_first_of("\\/:") == std::string::npos) name = kWindowsFolder + name;
  return DosToUnix(name);
}

std::string ReadText(const std::string& unixPath) {
  std::ifstream in(unixPath, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // A zero byte ends the text: what follows is no text of the file's.
  size_t zero = text.find('\0');
  if (zero != std::string::npos) text.resize(zero);
  return text;
}

std::vector<IniLine> ParseIni(const std::string& text) {
  std::vector<IniLine> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t eol = text.find('\n', pos);
    if (eol == std::string::npos) eol = text.size();
    IniLine line;
    line.raw = text.substr(pos, eol - pos);
    if (!line.raw.empty() && line.raw.back() == '\r') line.raw.pop_back();
    pos = eol + 1;
    std::string t = Trim(line.raw);
    if (!t.empty() && t[0] == '[') {
      size_t close = t.find(']');
      line.kind = IniLine::Section;
      line.section = Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
    } else if (!t.empty() && t[0] != ';') {
      size_t eq = t.find('=');
      if (eq != std::string::npos) {
        line.kind = IniLine::Key;
        line.key = Trim(t.substr(0, eq));
        line.value = Trim(t.substr(eq + 1));
      }
    }
    lines.push_back(line);
  }
  return lines;
}

// Index of the first section line of that name, or -1.
int FindSection(const std::vector<IniLine>& lines, const std::string& section) {
  for (size_t i = 0; i < lines.size(); ++i)
    if (lines[i].kind == IniLine::Section && SameName(lines[i].section, section)) return static_cast<int>(i);
  return -1;
}

// End of the section that starts at `start`: the next section line or the end.
size_t SectionEnd(const std::vector<IniLine>& lines, int start) {
  size_t i = static_cast<size_t>(start) + 1;
  while (i < lines.size() && lines[i].kind != IniLine::Section) ++i;
  return i;
}

int FindKey(const std::vector<IniLine>& lines, int section, const std::string& key) {
  size_t end = SectionEnd(lines, section);
  for (size_t i = static_cast<size_t>(section) + 1; i < end; ++i)
    if (lines[i].kind == IniLine::Key && SameName(lines[i].key, key)) return static_cast<int>(i);
  return -1;
}

std::string Unquote(const std::string& value) {
  if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
    return value.substr(1, value.size() - 2);
  return value;
}

// A string into a buffer: cut to nSize-1 characters when too long; returns what was copied.
DWORD CopyString(const std::string& text, LPSTR buffer, DWORD size) {
  if (!buffer || size == 0) return 0;
  size_t n = std::min<size_t>(text.size(), size - 1);
  memcpy(buffer, text.data(), n);
  buffer[n] = 0;
  return static_cast<DWORD>(n);
}

// Zero-separated items ending in a double zero; cut short it still ends in two zeros and
// the result is nSize-2.
DWORD CopyList(const std::vector<std::string>& items, LPSTR buffer, DWORD size) {
  if (!buffer || size == 0) return 0;
  if (size == 1) {
    buffer[0] = 0;
    return 0;
  }
  size_t used = 0;
  for (const std::string& item : items) {
    if (used + item.size() + 2 > size) {
      // Only a part of this item fits.
      size_t room = size - 2 - used;
      memcpy(buffer + used, item.data(), room);
      buffer[size - 2] = 0;
      buffer[size - 1] = 0;
      return size - 2;
    }
    memcpy(buffer + used, item.c_str(), item.size() + 1);
    used += item.size() + 1;
  }
  buffer[used] = 0;
  if (used == 0 && size > 1) buffer[1] = 0;
  return static_cast<DWORD>(used);
}

}  // namespace

}  // namespace winplat

using namespace winplat;

DWORD WINAPI GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault,
                                      LPSTR lpReturnedString, DWORD nSize, LPCSTR lpFileName) {
  std::string path = ProfilePath(lpFileName);
  std::vector<IniLine> lines = path.empty() ? std::vector<IniLine>{} : ParseIni(ReadText(path));
  if (!lpAppName) {
    std::vector<std::string> names;
    for (const IniLine& l : lines)
      if (l.kind == IniLine::Section) names.push_back(l.section);
    return CopyList(names, lpReturnedString, nSize);
  }
  int section = FindSection(lines, lpAppName);
  if (!lpKeyName) {
    std::vector<std::string> keys;
    if (section >= 0) {
      size_t end = SectionEnd(lines, section);
      for (size_t i = static_cast<size_t>(section) + 1; i < end; ++i) {
        if (lines[i].kind != IniLine::Key) continue;
        bool seen = false;
        for (const std::string& k : keys) seen = seen || SameName(k, lines[i].key);
        if (!seen) keys.push_back(lines[i].key);
      }
    }
    return CopyList(keys, lpReturnedString, nSize);
  }
  int key = section >= 0 ? FindKey(lines, section, lpKeyName) : -1;
  if (key < 0) {
    // The default loses its trailing blanks.
    std::string fallback = lpDefault ? lpDefault : "";
    while (!fallback.empty() && (fallback.back() == ' ' || fallback.back() == '\t')) fallback.pop_back();
    return CopyString(fallback, lpReturnedString, nSize);
  }
  return CopyString(Unquote(lines[key].value), lpReturnedString, nSize);
}

UINT WINAPI GetPrivateProfileIntA(LPCSTR lpAppName, LPCSTR lpKeyName, INT nDefault, LPCSTR lpFileName) {
  char buffer[64];
  const char* missing = "\x01";
  GetPrivateProfileStringA(lpAppName, lpKeyName, missing, buffer, sizeof buffer, lpFileName);
  if (strcmp(buffer, missing) == 0 || !buffer[0]) return static_cast<UINT>(nDefault);
  // Leading decimal digits with an optional sign; no digits read as 0.
  const char* p = buffer;
  bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  long long value = 0;
  while (*p >= '0' && *p <= '9' && value < 0x100000000LL) value = value * 10 + (*p++ - '0');
  return static_cast<UINT>(negative ? -value : value);
}

DWORD WINAPI GetPrivateProfileSectionA(LPCSTR lpAppName, LPSTR lpReturnedString, DWORD nSize,
                                       LPCSTR lpFileName) {
  if (!lpAppName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string path = ProfilePath(lpFileName);
  std::vector<IniLine> lines = path.empty() ? std::vector<IniLine>{} : ParseIni(ReadText(path));
  std::vector<std::string> items;
  int section = FindSection(lines, lpAppName);
  if (section >= 0) {
    size_t end = SectionEnd(lines, section);
    for (size_t i = static_cast<size_t>(section) + 1; i < end; ++i) {
      std::string t = Trim(lines[i].raw);
      if (t.empty() || t[0] == ';') continue;
      items.push_back(lines[i].kind == IniLine::Key ? lines[i].key + "=" + lines[i].value : t);
    }
  }
  return CopyList(items, lpReturnedString, nSize);
}

DWORD WINAPI GetPrivateProfileSectionNamesA(LPSTR lpszReturnBuffer, DWORD nSize, LPCSTR lpFileName) {
  return GetPrivateProfileStringA(nullptr, nullptr, nullptr, lpszReturnBuffer, nSize, lpFileName);
}

BOOL WINAPI WritePrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString,
                                       LPCSTR lpFileName) {
  if (!lpAppName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::string path = ProfilePath(lpFileName);
  if (path.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  std::string text = ReadText(path);
  // New lines take the file's own line ends.
  std::string eol = text.find("\r\n") != std::string::npos || text.find('\n') == std::string::npos ? "\r\n" : "\n";
  std::vector<IniLine> lines = ParseIni(text);
  std::vector<std::string> out;
  for (const IniLine& l : lines) out.push_back(l.raw);
  int section = FindSection(lines, lpAppName);
  bool changed = true;
  if (!lpKeyName) {
    // Every section of that name goes, so that no later one takes its place.
    changed = false;
    for (int s; (s = FindSection(lines, lpAppName)) >= 0;) {
      size_t end = SectionEnd(lines, s);
      lines.erase(lines.begin() + s, lines.begin() + end);
      out.erase(out.begin() + s, out.begin() + end);
      changed = true;
    }
  } else if (!lpString) {
    int key = section >= 0 ? FindKey(lines, section, lpKeyName) : -1;
    if (key >= 0)
      out.erase(out.begin() + key);
    else
      changed = false;
  } else {
    int key = section >= 0 ? FindKey(lines, section, lpKeyName) : -1;
    if (key >= 0) {
      out[key] = lines[key].key + "=" + lpString;
    } else if (section >= 0) {
      // After the section's last line that is not blank.
      size_t at = SectionEnd(lines, section);
      while (at > static_cast<size_t>(section) + 1 && Trim(out[at - 1]).empty()) --at;
      out.insert(out.begin() + at, std::string(lpKeyName) + "=" + lpString);
    } else {
      if (!out.empty() && !Trim(out.back()).empty()) out.push_back("");
      out.push_back(std::string("[") + lpAppName + "]");
      out.push_back(std::string(lpKeyName) + "=" + lpString);
    }
  }
  if (!changed) return TRUE;
  std::string result;
  for (const std::string& l : out) result += l + eol;
  int error = 0;
  if (!ReplaceFileContent(path, result, error)) {
    SetLastError(error == ENOENT ? ERROR_PATH_NOT_FOUND : ErrnoToError(error));
    return FALSE;
  }
  return TRUE;
}
