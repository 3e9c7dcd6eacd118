// The registry file. Text, one item per line:
//   WINPLAT-REGISTRY 1
//   [Software\Delmaro\Movrant for Pavo]
//   "UserID"=sz:"kim"
//   "Count"=dword:0000000a
//   "Blob"=hex(3):01,02,ff
//   END
// Reading stops at the first line that does not parse, so a file cut short or spoiled keeps
// what comes before. Writing never touches the file in place: the whole text goes to a
// temporary file that is synced and renamed over the old one.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <unordered_map>
#include "Internal.h"
#include "RegistryStore.h"

namespace winplat {

namespace {

const char kHeader[] = "WINPLAT-REGISTRY 1";
const char kEnd[] = "END";

std::string Upper(const std::string& s) {
  std::string out = s;
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return out;
}

std::string Escape(const std::string& s) {
  std::string out;
  for (unsigned char c : s) {
    if (c == '\\' || c == '"') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
      char hex[8];
      snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A quoted string at `pos`; moves `pos` past the closing quote.
bool Unquote(const std::string& line, size_t& pos, std::string& out) {
  if (pos >= line.size() || line[pos] != '"') return false;
  out.clear();
  for (++pos; pos < line.size(); ++pos) {
    char c = line[pos];
    if (c == '"') {
      ++pos;
      return true;
    }
    if (c != '\\') {
      out += c;
      continue;
    }
    if (++pos >= line.size()) return false;
    if (line[pos] == '\\' || line[pos] == '"') {
      out += line[pos];
    } else if (line[pos] == 'x' && pos + 2 < line.size() && HexDigit(line[pos + 1]) >= 0 &&
               HexDigit(line[pos + 2]) >= 0) {
      out += static_cast<char>(HexDigit(line[pos + 1]) * 16 + HexDigit(line[pos + 2]));
      pos += 2;
    } else {
      return false;
    }
  }
  return false;
}

bool ParseHexBytes(const std::string& text, std::string& out) {
  out.clear();
  if (text.empty()) return true;
  size_t i = 0;
  for (;;) {
    if (i + 2 > text.size() || HexDigit(text[i]) < 0 || HexDigit(text[i + 1]) < 0) return false;
    out += static_cast<char>(HexDigit(text[i]) * 16 + HexDigit(text[i + 1]));
    i += 2;
    if (i == text.size()) return true;
    if (text[i] != ',') return false;
    ++i;
  }
}

bool ParseValue(const std::string& line, RegValue& value) {
  size_t pos = 0;
  if (!Unquote(line, pos, value.name)) return false;
  if (line.compare(pos, 1, "=") != 0) return false;
  std::string rest = line.substr(pos + 1);
  if (rest.rfind("sz:", 0) == 0) {
    size_t p = 3;
    std::string text;
    if (!Unquote(rest, p, text) || p != rest.size()) return false;
    value.type = REG_SZ;
    value.data = text + '\0';
    return true;
  }
  if (rest.rfind("dword:", 0) == 0) {
    std::string digits = rest.substr(6);
    if (digits.size() != 8) return false;
    uint32_t v = 0;
    for (char c : digits) {
      if (HexDigit(c) < 0) return false;
      v = v * 16 + HexDigit(c);
    }
    value.type = REG_DWORD;
    value.data.assign(reinterpret_cast<const char*>(&v), 4);
    return true;
  }
  if (rest.rfind("hex(", 0) == 0) {
    size_t close = rest.find("):");
    if (close == std::string::npos || close == 4) return false;
    std::string type = rest.substr(4, close - 4);
    if (type.find_first_not_of("0123456789") != std::string::npos || type.size() > 9) return false;
    value.type = static_cast<DWORD>(strtoul(type.c_str(), nullptr, 10));
    return ParseHexBytes(rest.substr(close + 2), value.data);
  }
  return false;
}

std::string ValueLine(const RegValue& v) {
  std::string line = "\"" + Escape(v.name) + "\"=";
  if ((v.type == REG_SZ) && !v.data.empty() && v.data.back() == '\0' &&
      v.data.find('\0') == v.data.size() - 1) {
    return line + "sz:\"" + Escape(v.data.substr(0, v.data.size() - 1)) + "\"";
  }
  if (v.type == REG_DWORD && v.data.size() == 4) {
    uint32_t d;
    memcpy(&d, v.data.data(), 4);
    char hex[16];
    snprintf(hex, sizeof hex, "%08x", d);
    return line + "dword:" + hex;
  }
  line += "hex(" + std::to_string(v.type) + "):";
  for (size_t i = 0; i < v.data.size(); ++i) {
    char hex[4];
    snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(v.data[i]));
    if (i) line += ',';
    line += hex;
  }
  return line;
}

bool ValidKeyPath(const std::string& path) {
  for (unsigned char c : path)
    if (c < 0x20 || c == '\n') return false;
  return true;
}

std::string Parent(const std::string& path) {
  size_t sep = path.find_last_of('\\');
  return sep == std::string::npos ? "" : path.substr(0, sep);
}

std::string ReadWhole(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return "";
  std::string text = ReadToEnd(fd);
  close(fd);
  return text;
}

}  // namespace

bool SameKeyName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

RegKey* RegStore::Find(const std::string& path) {
  for (RegKey& k : keys)
    if (SameKeyName(k.path, path)) return &k;
  return nullptr;
}

RegKey& RegStore::Create(const std::string& path) {
  if (RegKey* k = Find(path)) return *k;
  if (!path.empty()) Create(Parent(path));
  keys.push_back(RegKey{path, {}});
  return keys.back();
}

std::vector<std::string> RegStore::SubKeys(const std::string& path) const {
  std::vector<std::string> names;
  for (const RegKey& k : keys) {
    if (k.path.empty() || !SameKeyName(Parent(k.path), path)) continue;
    names.push_back(k.path.substr(path.empty() ? 0 : path.size() + 1));
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) { return Upper(a) < Upper(b); });
  return names;
}

bool RegStore::Remove(const std::string& path) {
  for (auto it = keys.begin(); it != keys.end(); ++it)
    if (SameKeyName(it->path, path)) {
      keys.erase(it);
      return true;
    }
  return false;
}

std::string RegistryFile() {
  if (const char* file = getenv("WINPLAT_HKCU"); file && *file) return file;
  std::string config;
  if (const char* xdg = getenv("XDG_CONFIG_HOME"); xdg && *xdg)
    config = xdg;
  else if (const char* home = getenv("HOME"); home && *home)
    config = std::string(home) + "/.config";
  else
    config = "/tmp";
  return config + "/movrant/hkcu.reg";
}

std::string RegistryText(const RegStore& store) {
  std::string text = std::string(kHeader) + "\n";
  for (const RegKey& k : store.keys) {
    if (!k.path.empty() || !k.values.empty()) text += "[" + k.path + "]\n";
    for (const RegValue& v : k.values) text += ValueLine(v) + "\n";
  }
  text += std::string(kEnd) + "\n";
  return text;
}

RegStore ParseRegistry(const std::string& text) {
  RegStore store;
  store.keys.push_back(RegKey{"", {}});
  store.complete = false;
  size_t pos = 0;
  bool first = true;
  RegKey* current = nullptr;
  std::unordered_map<std::string, size_t> currentNames;  // upper-case name -> index in current
  for (;;) {
    size_t eol = text.find('\n', pos);
    if (eol == std::string::npos) break;  // a last line without its end was cut short
    std::string line = text.substr(pos, eol - pos);
    pos = eol + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (first) {
      if (line != kHeader) break;
      first = false;
      continue;
    }
    if (line == kEnd) {
      store.complete = true;
      break;
    }
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      std::string path = line.substr(1, line.size() - 2);
      if (!ValidKeyPath(path) || (!path.empty() && (path.front() == '\\' || path.back() == '\\'))) break;
      current = &store.Create(path);
      currentNames.clear();
      for (size_t i = 0; i < current->values.size(); ++i) currentNames[Upper(current->values[i].name)] = i;
      continue;
    }
    RegValue value;
    if (!current || !ParseValue(line, value)) break;
    auto [it, added] = currentNames.emplace(Upper(value.name), current->values.size());
    if (added)
      current->values.push_back(std::move(value));
    else
      current->values[it->second] = std::move(value);
  }
  if (first && text.empty()) store.complete = true;  // no file yet
  return store;
}

RegStore LoadRegistry() { return ParseRegistry(ReadWhole(RegistryFile())); }

LONG ChangeRegistry(const std::function<LONG(RegStore&, bool& changed)>& change) {
  std::string file = RegistryFile();
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(file).parent_path(), ec);
  int lock = open((file + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (lock < 0) return static_cast<LONG>(ERROR_CANTWRITE);
  while (flock(lock, LOCK_EX) != 0 && errno == EINTR) {
  }
  // Read again under the lock: another program may have written since our last look.
  std::string old = ReadWhole(file);
  RegStore store = ParseRegistry(old);
  bool changed = false;
  LONG result = change(store, changed);
  if (result == ERROR_SUCCESS && changed) {
    if (!store.complete && !old.empty()) {
      // What could not be read is kept aside rather than lost with the rewrite.
      int ignored = 0;
      ReplaceFileContent(file + ".damaged", old, ignored);
    }
    int error = 0;
    if (!ReplaceFileContent(file, RegistryText(store), error)) result = static_cast<LONG>(ERROR_CANTWRITE);
  }
  flock(lock, LOCK_UN);
  close(lock);
  return result;
}

}  // namespace winplat
