// The profile functions over INI files, with their Windows rules: names ignore case, the first
// section and the first key of a name win, values are trimmed and lose one pair of surrounding
// quotes. A file name without a folder is in the Windows folder, C:\Windows (wherever the drive
// table puts C:). Each version of a file is parsed once; every call still answers as a fresh
// reading of the file would.
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <atomic>
#include <cstring>
#include <fstream>
#include <mutex>
#include <unordered_map>
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

// The spelling that names compare by, so that equal keys are exactly the names SameName finds
// equal: ASCII letters folded, the second byte of a double-byte character kept as it is.
std::string FoldName(const std::string& name) {
  std::string key = name;
  for (size_t i = 0; i < key.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(key[i]);
    if (IsDBCSLeadByte(c) && i + 1 < key.size())
      ++i;
    else if (c >= 'a' && c <= 'z')
      key[i] = static_cast<char>(c - 32);
  }
  return key;
}

std::string ProfilePath(LPCSTR fileName) {
  std::string name = fileName ? fileName : "win.ini";
  if (name.find_first_of("\\/:") == std::string::npos) name = kWindowsFolder + name;
  return DosToUnix(name);
}

// A zero byte ends the text: what follows is no text of the file's.
void CutAtZero(std::string& text) {
  size_t zero = text.find('\0');
  if (zero != std::string::npos) text.resize(zero);
}

std::string ReadText(const std::string& unixPath) {
  std::ifstream in(unixPath, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  CutAtZero(text);
  return text;
}

// Calls `line` with each line of the text, without its line end.
template <class Each>
void ForEachLine(const std::string& text, Each line) {
  size_t pos = 0;
  while (pos < text.size()) {
    size_t eol = text.find('\n', pos);
    if (eol == std::string::npos) eol = text.size();
    std::string raw = text.substr(pos, eol - pos);
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    pos = eol + 1;
    line(std::move(raw));
  }
}

IniLine ClassifyLine(std::string raw) {
  IniLine line;
  line.raw = std::move(raw);
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
  return line;
}

std::vector<IniLine> ParseIni(const std::string& text) {
  std::vector<IniLine> lines;
  ForEachLine(text, [&](std::string raw) { lines.push_back(ClassifyLine(std::move(raw))); });
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

// ---------------------------------------------------------------- what the reads see of a file

// A line of a section that is neither blank nor a comment.
struct Entry {
  bool isKey = false;
  bool firstOfName = false;  // the key line that reads of its name find
  std::string key;           // a key line's name, or the other line's trimmed text
  std::string value;
};

struct ProfileSection {
  std::vector<Entry> entries;
  std::unordered_map<std::string, size_t> keys;  // folded name -> its first key entry

  const Entry* Find(const std::string& key) const {
    auto it = keys.find(FoldName(key));
    return it == keys.end() ? nullptr : &entries[it->second];
  }
};

// One version of a file as the reads see it: only the first section of each name is read.
struct Profile {
  std::string sectionNames;  // every section line's name, each ending in a zero
  std::vector<ProfileSection> sections;
  std::unordered_map<std::string, size_t> index;  // folded name -> its first section

  const ProfileSection* Find(const std::string& section) const {
    auto it = index.find(FoldName(section));
    return it == index.end() ? nullptr : &sections[it->second];
  }
};

std::atomic<unsigned long> g_parsed{0};

std::shared_ptr<const Profile> ParseProfile(const std::string& text) {
  ++g_parsed;
  auto profile = std::make_shared<Profile>();
  ProfileSection* current = nullptr;
  ForEachLine(text, [&](std::string raw) {
    IniLine line = ClassifyLine(std::move(raw));
    if (line.kind == IniLine::Section) {
      profile->sectionNames += line.section;
      profile->sectionNames += '\0';
      current = nullptr;
      if (profile->index.try_emplace(FoldName(line.section), profile->sections.size()).second)
        current = &profile->sections.emplace_back();
      return;
    }
    if (!current) return;
    Entry entry;
    if (line.kind == IniLine::Key) {
      entry.isKey = true;
      entry.firstOfName = current->keys.try_emplace(FoldName(line.key), current->entries.size()).second;
      entry.key = std::move(line.key);
      entry.value = std::move(line.value);
    } else {
      entry.key = Trim(line.raw);
      if (entry.key.empty() || entry.key[0] == ';') return;
    }
    current->entries.push_back(std::move(entry));
  });
  return profile;
}

// ---------------------------------------------------------------- one parse per version

// What tells two versions of a file apart without reading it.
struct FileVersion {
  dev_t device;
  ino_t inode;
  off_t size;
  int64_t changed;  // change time, nanoseconds

  bool operator==(const FileVersion&) const = default;
};

// A change stamps the file with the clock of that moment, cut to the file system's grain (two
// seconds at the coarsest). A file last changed longer ago than that before it was looked at
// shows any later change in its change time; one changed more recently could change again
// under the same time, so its text is read and compared until it has settled.
constexpr int64_t kTimeGrain = 2'000'000'000;
// Files kept parsed, the least recently read going first.
constexpr size_t kCachedFiles = 8;

struct CachedProfile {
  FileVersion version;
  bool settled = false;
  std::string text;  // while not settled: the text it was parsed from
  std::shared_ptr<const Profile> profile;
  unsigned long long lastUse = 0;
};

struct ProfileCache {
  std::mutex mutex;
  std::unordered_map<std::string, CachedProfile> files;
  unsigned long long uses = 0;
};

ProfileCache& Cache() {
  static ProfileCache cache;
  return cache;
}

int64_t Nanoseconds(const timespec& t) { return int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec; }

struct FdCloser {
  int fd;
  ~FdCloser() { close(fd); }
};

std::string ReadAll(int fd) {
  std::string text = ReadToEnd(fd);
  CutAtZero(text);
  return text;
}

const std::shared_ptr<const Profile>& NoProfile() {
  static const std::shared_ptr<const Profile> none = std::make_shared<Profile>();
  return none;
}

std::shared_ptr<const Profile> ReadProfile(const std::string& unixPath) {
  if (unixPath.empty()) return NoProfile();
  ProfileCache& cache = Cache();
  // Taken before the file is looked at: a change after that is stamped later.
  timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  int fd = open(unixPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    std::lock_guard<std::mutex> lock(cache.mutex);
    cache.files.erase(unixPath);
    return NoProfile();
  }
  FdCloser closer{fd};
  struct stat st;
  if (fstat(fd, &st) != 0) return NoProfile();
  if (!S_ISREG(st.st_mode)) return ParseProfile(ReadAll(fd));
  const FileVersion version{st.st_dev, st.st_ino, st.st_size, Nanoseconds(st.st_ctim)};
  const bool settled = Nanoseconds(st.st_ctim) + kTimeGrain <= Nanoseconds(now);

  std::lock_guard<std::mutex> lock(cache.mutex);
  auto it = cache.files.find(unixPath);
  bool same = it != cache.files.end() && it->second.version == version;
  if (!same || !it->second.settled) {
    std::string text = ReadAll(fd);
    same = same && it->second.text == text;
    if (!same) {
      if (it == cache.files.end() && cache.files.size() >= kCachedFiles) {
        auto oldest = cache.files.begin();
        for (auto f = cache.files.begin(); f != cache.files.end(); ++f)
          if (f->second.lastUse < oldest->second.lastUse) oldest = f;
        cache.files.erase(oldest);
      }
      it = cache.files.insert_or_assign(unixPath, CachedProfile{version, false, {}, ParseProfile(text), 0}).first;
    }
    it->second.settled = settled;
    it->second.text = settled ? std::string() : std::move(text);
  }
  it->second.lastUse = ++cache.uses;
  return it->second.profile;
}

// A string into a buffer: cut to nSize-1 characters when too long; returns what was copied.
DWORD CopyString(const std::string& text, LPSTR buffer, DWORD size) {
  if (!buffer || size == 0) return 0;
  size_t n = std::min<size_t>(text.size(), size - 1);
  memcpy(buffer, text.data(), n);
  buffer[n] = 0;
  return static_cast<DWORD>(n);
}

void AddItem(std::string& list, const std::string& item) {
  list += item;
  list += '\0';
}

// Zero-terminated items (`list`, each with its zero) and the empty one that ends them. Cut
// short it still ends in two zeros and the result is nSize-2: the last item that fits in part
// keeps what fits.
DWORD CopyList(const std::string& list, LPSTR buffer, DWORD size) {
  if (!buffer || size == 0) return 0;
  if (list.size() < size) {
    memcpy(buffer, list.data(), list.size());
    buffer[list.size()] = 0;
    if (list.empty() && size > 1) buffer[1] = 0;
    return static_cast<DWORD>(list.size());
  }
  if (size == 1) {
    buffer[0] = 0;
    return 0;
  }
  memcpy(buffer, list.data(), size - 2);
  buffer[size - 2] = 0;
  buffer[size - 1] = 0;
  return size - 2;
}

}  // namespace

unsigned long ProfileTextsParsed() { return g_parsed; }

}  // namespace winplat

using namespace winplat;

DWORD WINAPI GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault,
                                      LPSTR lpReturnedString, DWORD nSize, LPCSTR lpFileName) {
  std::shared_ptr<const Profile> profile = ReadProfile(ProfilePath(lpFileName));
  if (!lpAppName) return CopyList(profile->sectionNames, lpReturnedString, nSize);
  const ProfileSection* section = profile->Find(lpAppName);
  if (!lpKeyName) {
    std::string keys;
    if (section)
      for (const Entry& e : section->entries)
        if (e.isKey && e.firstOfName) AddItem(keys, e.key);
    return CopyList(keys, lpReturnedString, nSize);
  }
  const Entry* key = section ? section->Find(lpKeyName) : nullptr;
  if (!key) {
    // The default loses its trailing blanks.
    std::string fallback = lpDefault ? lpDefault : "";
    while (!fallback.empty() && (fallback.back() == ' ' || fallback.back() == '\t')) fallback.pop_back();
    return CopyString(fallback, lpReturnedString, nSize);
  }
  return CopyString(Unquote(key->value), lpReturnedString, nSize);
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
  std::shared_ptr<const Profile> profile = ReadProfile(ProfilePath(lpFileName));
  std::string items;
  if (const ProfileSection* section = profile->Find(lpAppName))
    for (const Entry& e : section->entries) AddItem(items, e.isKey ? e.key + "=" + e.value : e.key);
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
