#include "UnzNames.h"

#include <vector>
#include "windows.h"

namespace zbe {

namespace {

inline bool IsLead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// Length of the character at i: 2 for a lead byte followed by a trail byte, else 1.
inline size_t CharLen(const std::string& s, size_t i) {
  return IsLead(static_cast<unsigned char>(s[i])) && i + 1 < s.size() ? 2 : 1;
}

std::string Utf8ToAnsi(const std::string& utf8) {
  if (utf8.empty()) return utf8;
  int wlen = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  if (wlen <= 0) return utf8;
  std::wstring wide(static_cast<size_t>(wlen), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), wlen);
  int alen = WideCharToMultiByte(CP_ACP, 0, wide.data(), wlen, nullptr, 0, nullptr, nullptr);
  if (alen <= 0) return utf8;
  std::string ansi(static_cast<size_t>(alen), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), wlen, ansi.data(), alen, nullptr, nullptr);
  return ansi;
}

bool Decodes(UINT codePage, const std::string& text) {
  return MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), nullptr,
                             0) > 0;
}

// Unflagged names that are no code page 949 text but valid UTF-8 come from tools that store
// UTF-8 without saying so (Info-ZIP on Linux, for one); read as code page 949 they would be noise.
bool LooksLikeUnflaggedUtf8(const std::string& raw) {
  bool high = false;
  for (unsigned char c : raw) high = high || c >= 0x80;
  return high && !Decodes(CP_ACP, raw) && Decodes(CP_UTF8, raw);
}

inline unsigned char Fold(unsigned char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c == '/' ? '\\' : c; }

bool MatchFrom(const std::string& p, size_t pi, const std::string& s, size_t si) {
  while (pi < p.size()) {
    unsigned char pc = static_cast<unsigned char>(p[pi]);
    if (pc == '*') {
      while (pi < p.size() && p[pi] == '*') ++pi;
      if (pi == p.size()) return true;
      for (size_t k = si; k <= s.size(); k += (k < s.size() ? CharLen(s, k) : 1))
        if (MatchFrom(p, pi, s, k)) return true;
      return false;
    }
    if (si >= s.size()) return false;
    size_t sl = CharLen(s, si);
    if (pc == '?') {
      ++pi;
      si += sl;
      continue;
    }
    size_t pl = CharLen(p, pi);
    if (pl != sl) return false;
    if (pl == 2) {
      if (p.compare(pi, 2, s, si, 2) != 0) return false;
    } else if (Fold(pc) != Fold(static_cast<unsigned char>(s[si]))) {
      return false;
    }
    pi += pl;
    si += sl;
  }
  return si == s.size();
}

}  // namespace

std::string EntryNameToAnsi(const ZEntry& entry) {
  std::string name;
  if (!entry.unicodeName.empty())
    name = Utf8ToAnsi(entry.unicodeName);
  else if (entry.IsUtf8() || LooksLikeUnflaggedUtf8(entry.rawName))
    name = Utf8ToAnsi(entry.rawName);
  else
    name = entry.rawName;
  for (size_t i = 0; i < name.size(); i += CharLen(name, i))
    if (name[i] == '/') name[i] = '\\';
  return name;
}

size_t NamePartStart(const std::string& path) {
  size_t start = 0;
  for (size_t i = 0; i < path.size(); i += CharLen(path, i))
    if (path[i] == '\\' || path[i] == '/') start = i + 1;
  return start;
}

bool SafeRelativeName(const std::string& name, std::string& relative) {
  relative.clear();
  if (name.empty()) return false;
  if (name[0] == '\\' || name[0] == '/') return false;  // absolute, or a share
  // A zero byte, even as the second byte of a character, would cut the path short where the
  // file is opened: "..\0" would name the folder above, "a.txt\0.exe" another file.
  if (name.find('\0') != std::string::npos) return false;
  std::vector<std::string> parts;
  std::string part;
  auto flush = [&]() -> bool {
    if (part == "..") {
      if (parts.empty()) return false;
      parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    part.clear();
    return true;
  };
  for (size_t i = 0; i < name.size();) {
    size_t len = CharLen(name, i);
    char c = name[i];
    if (len == 1 && c == ':') return false;  // "C:x", "C:\x", "file:stream"
    if (len == 1 && (c == '\\' || c == '/')) {
      if (!flush()) return false;
    } else {
      part.append(name, i, len);
    }
    i += len;
  }
  if (!flush()) return false;
  for (size_t k = 0; k < parts.size(); ++k) {
    if (k) relative += '\\';
    relative += parts[k];
  }
  // Nothing left ("./", "a/../") names the extract folder itself.
  return true;
}

bool MatchSpec(const std::string& spec, const std::string& name) {
  if (spec == "*.*") return true;  // as on Windows: every name, with or without a dot
  if (MatchFrom(spec, 0, name, 0)) return true;
  if (NamePartStart(spec) == 0) {
    std::string base = name.substr(NamePartStart(name));
    return !base.empty() && base.size() != name.size() && MatchFrom(spec, 0, base, 0);
  }
  return false;
}

}  // namespace zbe
