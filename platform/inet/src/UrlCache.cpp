// The URL cache: one file per URL holding the status line, the headers and the complete body
// of a 200 response.
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "inetplat.h"
#include "internet.h"

namespace inet {

namespace {

const char kMagic[] = "MOVRANT-URLCACHE 1";
constexpr DWORD kCachedChunk = 64 * 1024;

std::string EntryName(const std::string& url) {
  // FNV-1a: stable across runs and builds, unlike std::hash.
  uint64_t h = 1469598103934665603ULL;
  for (unsigned char c : url) {
    h ^= c;
    h *= 1099511628211ULL;
  }
  char name[32];
  std::snprintf(name, sizeof name, "%016llx.entry", static_cast<unsigned long long>(h));
  return name;
}

// Header values and URLs are kept one per line; a line break inside would break the entry.
bool OneLine(const std::string& s) { return s.find('\n') == std::string::npos && s.find('\r') == std::string::npos; }

class CachedRequest : public Request {
 public:
  explicit CachedRequest(const CacheEntry& entry) : file_(entry.file), left_(entry.bodySize) {
    response_ = entry.response;
  }

  bool Available(DWORD& count, DWORD&) override {
    count = left_ > kCachedChunk ? kCachedChunk : DWORD(left_);
    return true;
  }

  bool Read(char* buffer, DWORD count, DWORD& read, DWORD& error) override {
    if (count > left_) count = DWORD(left_);
    read = DWORD(std::fread(buffer, 1, count, file_.get()));
    left_ -= read;
    if (read < count && std::ferror(file_.get())) {
      error = ERROR_INTERNET_INTERNAL_ERROR;
      return false;
    }
    return true;
  }

 private:
  std::shared_ptr<std::FILE> file_;
  long long left_;
};

}  // namespace

std::optional<CacheEntry> CacheEntry::Lookup(const std::string& url) {
  std::string dir = winplat::InternetCacheDir();
  if (dir.empty()) return std::nullopt;
  std::string path = dir + "/" + EntryName(url);
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return std::nullopt;
  CacheEntry entry;
  // The entry is read through this handle only, so a newer entry renamed over it meanwhile
  // does not mix with this one.
  entry.file.reset(f, &std::fclose);
  bool ok = false;
  bool sawUrl = false;
  char* line = nullptr;
  size_t cap = 0;
  ssize_t len;
  int lineNo = 0;
  while ((len = getline(&line, &cap, f)) > 0) {
    std::string s(line, size_t(len));
    if (!s.empty() && s.back() == '\n') s.pop_back();
    if (lineNo++ == 0) {
      if (s != kMagic) break;
      continue;
    }
    if (s.empty()) {
      ok = sawUrl && entry.response.status == 200;
      break;
    }
    if (s.rfind("url ", 0) == 0) {
      if (s.substr(4) != url) break;  // another URL with the same name
      sawUrl = true;
    } else if (s.rfind("status ", 0) == 0) {
      char* end = nullptr;
      entry.response.status = int(std::strtol(s.c_str() + 7, &end, 10));
      entry.response.statusText = *end == ' ' ? std::string(end + 1) : std::string();
    } else if (s.rfind("header ", 0) == 0) {
      size_t colon = s.find(':', 7);
      if (colon == std::string::npos) continue;
      std::string value = s.substr(colon + 1);
      if (!value.empty() && value[0] == ' ') value.erase(0, 1);
      entry.response.headers.push_back({s.substr(7, colon - 7), value});
    }
  }
  std::free(line);
  if (ok) {
    entry.bodyOffset = std::ftell(f);
    std::fseek(f, 0, SEEK_END);
    entry.bodySize = std::ftell(f) - entry.bodyOffset;
  }
  if (!ok || entry.bodyOffset < 0 || entry.bodySize < 0) return std::nullopt;
  return entry;
}

std::unique_ptr<CacheWriter> CacheWriter::Begin(const std::string& url, const Response& response) {
  std::string dir = winplat::InternetCacheDir();
  if (dir.empty() || !OneLine(url)) return nullptr;
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  static std::atomic<unsigned> counter{0};
  std::unique_ptr<CacheWriter> w(new CacheWriter());
  w->url_ = url;
  w->finalPath_ = dir + "/" + EntryName(url);
  w->tempPath_ = w->finalPath_ + ".tmp." + std::to_string(getpid()) + "." + std::to_string(counter.fetch_add(1));
  w->file_ = std::fopen(w->tempPath_.c_str(), "wb");
  if (!w->file_) return nullptr;
  std::string head = std::string(kMagic) + "\nurl " + url + "\nstatus " + std::to_string(response.status) + " " +
                     response.statusText + "\n";
  for (const Header& h : response.headers)
    if (OneLine(h.name) && OneLine(h.value)) head += "header " + h.name + ": " + h.value + "\n";
  head += "\n";
  if (std::fwrite(head.data(), 1, head.size(), w->file_) != head.size()) w->failed_ = true;
  return w;
}

CacheWriter::~CacheWriter() {
  if (file_) {
    std::fclose(file_);
    std::remove(tempPath_.c_str());
  }
}

bool CacheWriter::Append(const char* data, size_t size) {
  if (failed_ || !file_) return false;
  if (std::fwrite(data, 1, size, file_) != size) {
    failed_ = true;
    return false;
  }
  written_ += (long long)size;
  return true;
}

bool CacheWriter::Commit() {
  if (!file_) return false;
  bool ok = !failed_ && std::fflush(file_) == 0;
  ok = std::fclose(file_) == 0 && ok;
  file_ = nullptr;
  if (ok && std::rename(tempPath_.c_str(), finalPath_.c_str()) == 0) return true;
  std::remove(tempPath_.c_str());
  return false;
}

std::unique_ptr<Request> OpenCachedRequest(const CacheEntry& entry, DWORD& error) {
  if (!entry.file || std::fseek(entry.file.get(), long(entry.bodyOffset), SEEK_SET) != 0) {
    error = ERROR_FILE_NOT_FOUND;
    return nullptr;
  }
  return std::make_unique<CachedRequest>(entry);
}

}  // namespace inet

namespace winplat {

std::string InternetCacheDir() {
  if (const char* dir = std::getenv("WINPLAT_CACHE_DIR"); dir && *dir) return dir;
  if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && *xdg) return std::string(xdg) + "/movrant";
  if (const char* home = std::getenv("HOME"); home && *home) return std::string(home) + "/.cache/movrant";
  return std::string();
}

}  // namespace winplat
