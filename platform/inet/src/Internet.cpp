// The WinINet entry points: handles, options, opening URLs, header queries and reading.
#include <strings.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>

#include "inetplat.h"
#include "internet.h"
#include "winbase.h"

namespace inet {

const std::string* Response::Find(const std::string& name, DWORD index) const {
  for (const Header& h : headers)
    if (strcasecmp(h.name.c_str(), name.c_str()) == 0 && index-- == 0) return &h.value;
  return nullptr;
}

namespace {

struct Object {
  virtual ~Object() = default;
};

struct Session : Object {
  RequestSettings settings;
  bool offline = false;
  std::set<HINTERNET> children;
};

struct UrlHandle : Object {
  std::unique_ptr<Request> request;
  HINTERNET parent = nullptr;
};

// Process-wide defaults (options set on a null handle), taken over by new sessions.
struct Defaults {
  RequestSettings settings;
  DWORD maxConnsPerServer = 2;
  DWORD maxConnsPer10Server = 4;
};

std::mutex g_lock;
std::map<HINTERNET, std::shared_ptr<Object>> g_handles;
std::atomic<unsigned long> g_urlOpens{0};
Defaults g_defaults;
unsigned long g_nextHandle = 0;

HINTERNET AddHandle(std::shared_ptr<Object> object) {
  // Handles are small numbers, never dereferenced by callers; 0 stays the failure value.
  HINTERNET h = reinterpret_cast<HINTERNET>(static_cast<uintptr_t>(0xCC0000 + ++g_nextHandle));
  g_handles[h] = std::move(object);
  return h;
}

template <class T>
std::shared_ptr<T> Get(HINTERNET h, DWORD& error) {
  std::lock_guard<std::mutex> guard(g_lock);
  auto it = g_handles.find(h);
  if (it == g_handles.end()) {
    error = ERROR_INVALID_HANDLE;
    return nullptr;
  }
  auto object = std::dynamic_pointer_cast<T>(it->second);
  if (!object) error = ERROR_INTERNET_INCORRECT_HANDLE_TYPE;
  return object;
}

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

std::vector<std::string> SplitHeaders(const char* headers, DWORD length) {
  std::vector<std::string> out;
  if (!headers) return out;
  std::string all = length == DWORD(-1) ? std::string(headers) : std::string(headers, length);
  size_t start = 0;
  while (start < all.size()) {
    size_t end = all.find('\n', start);
    if (end == std::string::npos) end = all.size();
    std::string line = all.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) out.push_back(line);
    start = end + 1;
  }
  return out;
}

bool KnownScheme(const std::string& url, DWORD& error) {
  size_t sep = url.find("://");
  if (sep == std::string::npos || sep == 0) {
    error = ERROR_INTERNET_UNRECOGNIZED_SCHEME;
    return false;
  }
  std::string scheme = url.substr(0, sep);
  if (strcasecmp(scheme.c_str(), "http") != 0 && strcasecmp(scheme.c_str(), "https") != 0) {
    error = ERROR_INTERNET_UNRECOGNIZED_SCHEME;
    return false;
  }
  if (url.size() == sep + 3) {
    error = ERROR_INTERNET_INVALID_URL;
    return false;
  }
  return true;
}

}  // namespace

std::unique_ptr<Request> OpenRequest(const RequestSettings& settings, bool offline, const std::string& url,
                                     const std::string& extraHeaders, DWORD flags, DWORD& error) {
  std::vector<std::string> headers = SplitHeaders(extraHeaders.c_str(), DWORD(extraHeaders.size()));
  if (offline || (flags & INTERNET_FLAG_FROM_CACHE)) {
    std::optional<CacheEntry> entry = CacheEntry::Lookup(url);
    if (!entry) {
      error = ERROR_FILE_NOT_FOUND;
      return nullptr;
    }
    return OpenCachedRequest(*entry, error);
  }
  // Without RELOAD a cached copy is revalidated: a 304 answer serves it.
  std::optional<CacheEntry> entry;
  bool conditional = false;
  if (!(flags & INTERNET_FLAG_RELOAD)) {
    entry = CacheEntry::Lookup(url);
    if (entry) {
      if (const std::string* etag = entry->response.Find("ETag")) {
        headers.push_back("If-None-Match: " + *etag);
        conditional = true;
      }
      if (const std::string* modified = entry->response.Find("Last-Modified")) {
        headers.push_back("If-Modified-Since: " + *modified);
        conditional = true;
      }
    }
  }
  // A proxy between must not answer from its own copy: a reload goes to the origin, and a
  // revalidation is checked there, not against a copy the proxy still counts fresh.
  auto addUnlessGiven = [&headers](const char* name, const char* value) {
    size_t length = std::strlen(name);
    for (const std::string& h : headers)
      if (h.size() > length && h[length] == ':' && strncasecmp(h.c_str(), name, length) == 0) return;
    headers.push_back(std::string(name) + ": " + value);
  };
  if (flags & (INTERNET_FLAG_RELOAD | INTERNET_FLAG_PRAGMA_NOCACHE)) {
    addUnlessGiven("Cache-Control", "no-cache");
    addUnlessGiven("Pragma", "no-cache");
  } else if (flags & INTERNET_FLAG_RESYNCHRONIZE) {
    addUnlessGiven("Cache-Control", "max-age=0");
  }
  std::unique_ptr<NetworkRequest> net = NetworkRequest::Open(settings, url, headers, flags, error);
  if (!net) return nullptr;
  if (conditional && net->response().status == 304) return OpenCachedRequest(*entry, error);
  if (!(flags & INTERNET_FLAG_NO_CACHE_WRITE) && net->response().status == 200) {
    const std::string* control = net->response().Find("Cache-Control");
    if (!control || !strcasestr(control->c_str(), "no-store"))
      net->WriteCache(CacheWriter::Begin(url, net->response()));
  }
  return net;
}

}  // namespace inet

using namespace inet;

HINTERNET WINAPI InternetOpenA(LPCSTR lpszAgent, DWORD dwAccessType, LPCSTR lpszProxy, LPCSTR lpszProxyBypass,
                               DWORD dwFlags) {
  if (dwAccessType != INTERNET_OPEN_TYPE_PRECONFIG && dwAccessType != INTERNET_OPEN_TYPE_DIRECT &&
      dwAccessType != INTERNET_OPEN_TYPE_PROXY) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (dwAccessType == INTERNET_OPEN_TYPE_PROXY && (!lpszProxy || !*lpszProxy)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto session = std::make_shared<Session>();
  std::lock_guard<std::mutex> guard(g_lock);
  session->settings = g_defaults.settings;
  session->settings.agent = lpszAgent ? lpszAgent : "";
  session->settings.accessType = dwAccessType;
  if (dwAccessType == INTERNET_OPEN_TYPE_PROXY) {
    session->settings.proxy = lpszProxy;
    session->settings.proxyBypass = lpszProxyBypass ? lpszProxyBypass : "";
  }
  session->offline = (dwFlags & INTERNET_FLAG_OFFLINE) != 0;
  return AddHandle(std::move(session));
}

BOOL WINAPI InternetSetOptionA(HINTERNET hInternet, DWORD dwOption, LPVOID lpBuffer, DWORD dwBufferLength) {
  DWORD* target = nullptr;
  std::shared_ptr<Session> session;
  DWORD error = ERROR_SUCCESS;
  if (hInternet) {
    session = Get<Session>(hInternet, error);
    if (!session) return Fail(error);
  }
  std::lock_guard<std::mutex> guard(g_lock);
  RequestSettings& settings = session ? session->settings : g_defaults.settings;
  switch (dwOption) {
    case INTERNET_OPTION_CONNECT_TIMEOUT:
      target = &settings.connectTimeoutMs;
      break;
    case INTERNET_OPTION_CONNECT_RETRIES:
      target = &settings.connectRetries;
      break;
    case INTERNET_OPTION_SEND_TIMEOUT:
    case INTERNET_OPTION_DATA_SEND_TIMEOUT:
      target = &settings.sendTimeoutMs;
      break;
    case INTERNET_OPTION_RECEIVE_TIMEOUT:
    case INTERNET_OPTION_DATA_RECEIVE_TIMEOUT:
      target = &settings.receiveTimeoutMs;
      break;
    case INTERNET_OPTION_MAX_CONNS_PER_SERVER:
      target = &g_defaults.maxConnsPerServer;
      break;
    case INTERNET_OPTION_MAX_CONNS_PER_1_0_SERVER:
      target = &g_defaults.maxConnsPer10Server;
      break;
    default:
      return Fail(ERROR_INTERNET_INVALID_OPTION);
  }
  if (!lpBuffer) return Fail(ERROR_INVALID_PARAMETER);
  if (dwBufferLength != sizeof(DWORD)) return Fail(ERROR_INTERNET_BAD_OPTION_LENGTH);
  std::memcpy(target, lpBuffer, sizeof(DWORD));
  return TRUE;
}

HINTERNET WINAPI InternetOpenUrlA(HINTERNET hInternet, LPCSTR lpszUrl, LPCSTR lpszHeaders, DWORD dwHeadersLength,
                                  DWORD dwFlags, DWORD_PTR) {
  g_urlOpens.fetch_add(1);
  DWORD error = ERROR_SUCCESS;
  std::shared_ptr<Session> session = Get<Session>(hInternet, error);
  if (!session) {
    SetLastError(error);
    return nullptr;
  }
  if (!lpszUrl) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::string url(lpszUrl);
  if (!KnownScheme(url, error)) {
    SetLastError(error);
    return nullptr;
  }
  std::string headers;
  if (lpszHeaders)
    headers = dwHeadersLength == DWORD(-1) ? std::string(lpszHeaders) : std::string(lpszHeaders, dwHeadersLength);
  RequestSettings settings;
  bool offline;
  {
    std::lock_guard<std::mutex> guard(g_lock);
    settings = session->settings;
    offline = session->offline;
  }
  std::unique_ptr<Request> request = OpenRequest(settings, offline, url, headers, dwFlags, error);
  if (!request) {
    SetLastError(error);
    return nullptr;
  }
  auto handle = std::make_shared<UrlHandle>();
  handle->request = std::move(request);
  handle->parent = hInternet;
  std::lock_guard<std::mutex> guard(g_lock);
  if (!g_handles.count(hInternet)) {  // the session was closed meanwhile
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  HINTERNET h = AddHandle(std::move(handle));
  session->children.insert(h);
  return h;
}

BOOL WINAPI HttpQueryInfoA(HINTERNET hRequest, DWORD dwInfoLevel, LPVOID lpBuffer, LPDWORD lpdwBufferLength,
                           LPDWORD lpdwIndex) {
  DWORD error = ERROR_SUCCESS;
  std::shared_ptr<UrlHandle> handle = Get<UrlHandle>(hRequest, error);
  if (!handle) return Fail(error);
  if (!lpdwBufferLength) return Fail(ERROR_INVALID_PARAMETER);
  const Response& r = handle->request->response();
  DWORD index = lpdwIndex ? *lpdwIndex : 0;
  std::string value;
  bool isHeader = false;
  switch (dwInfoLevel & HTTP_QUERY_HEADER_MASK) {
    case HTTP_QUERY_STATUS_CODE:
      if (index != 0) return Fail(ERROR_HTTP_HEADER_NOT_FOUND);
      value = std::to_string(r.status);
      break;
    case HTTP_QUERY_STATUS_TEXT:
      if (index != 0) return Fail(ERROR_HTTP_HEADER_NOT_FOUND);
      value = r.statusText;
      break;
    case HTTP_QUERY_RAW_HEADERS_CRLF:
      if (index != 0) return Fail(ERROR_HTTP_HEADER_NOT_FOUND);
      value = "HTTP/1.1 " + std::to_string(r.status) + " " + r.statusText + "\r\n";
      for (const Header& h : r.headers) value += h.name + ": " + h.value + "\r\n";
      value += "\r\n";
      break;
    default: {
      static const std::map<DWORD, const char*> names = {
          {HTTP_QUERY_CONTENT_TYPE, "Content-Type"},   {HTTP_QUERY_CONTENT_LENGTH, "Content-Length"},
          {HTTP_QUERY_LAST_MODIFIED, "Last-Modified"}, {HTTP_QUERY_LOCATION, "Location"},
          {HTTP_QUERY_ETAG, "ETag"},
      };
      auto it = names.find(dwInfoLevel & HTTP_QUERY_HEADER_MASK);
      if (it == names.end()) return Fail(ERROR_HTTP_INVALID_QUERY_REQUEST);
      const std::string* found = r.Find(it->second, index);
      if (!found) return Fail(ERROR_HTTP_HEADER_NOT_FOUND);
      value = *found;
      isHeader = true;
    }
  }
  if (dwInfoLevel & (HTTP_QUERY_FLAG_NUMBER | HTTP_QUERY_FLAG_NUMBER64)) {
    bool wide = (dwInfoLevel & HTTP_QUERY_FLAG_NUMBER64) != 0;
    DWORD size = wide ? sizeof(ULONGLONG) : sizeof(DWORD);
    if (!lpBuffer || *lpdwBufferLength < size) {
      *lpdwBufferLength = size;
      return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    // A number too large for the width answers the largest one, never a wrapped small number
    // (a Content-Length past 4 GiB must not read as a short body).
    ULONGLONG number = std::strtoull(value.c_str(), nullptr, 10);
    if (wide) {
      std::memcpy(lpBuffer, &number, sizeof number);
    } else {
      DWORD narrow = number > 0xFFFFFFFFull ? 0xFFFFFFFFu : DWORD(number);
      std::memcpy(lpBuffer, &narrow, sizeof narrow);
    }
    *lpdwBufferLength = size;
  } else {
    if (!lpBuffer || *lpdwBufferLength < value.size() + 1) {
      *lpdwBufferLength = DWORD(value.size() + 1);
      return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(lpBuffer, value.c_str(), value.size() + 1);
    *lpdwBufferLength = DWORD(value.size());
  }
  if (isHeader && lpdwIndex) ++*lpdwIndex;
  return TRUE;
}

BOOL WINAPI InternetQueryDataAvailable(HINTERNET hFile, LPDWORD lpdwNumberOfBytesAvailable, DWORD, DWORD_PTR) {
  DWORD error = ERROR_SUCCESS;
  std::shared_ptr<UrlHandle> handle = Get<UrlHandle>(hFile, error);
  if (!handle) return Fail(error);
  if (!lpdwNumberOfBytesAvailable) return Fail(ERROR_INVALID_PARAMETER);
  DWORD count = 0;
  if (!handle->request->Available(count, error)) {
    *lpdwNumberOfBytesAvailable = 0;
    return Fail(error);
  }
  *lpdwNumberOfBytesAvailable = count;
  return TRUE;
}

BOOL WINAPI InternetReadFile(HINTERNET hFile, LPVOID lpBuffer, DWORD dwNumberOfBytesToRead,
                             LPDWORD lpdwNumberOfBytesRead) {
  DWORD error = ERROR_SUCCESS;
  std::shared_ptr<UrlHandle> handle = Get<UrlHandle>(hFile, error);
  if (!handle) return Fail(error);
  if (!lpdwNumberOfBytesRead || (!lpBuffer && dwNumberOfBytesToRead > 0)) return Fail(ERROR_INVALID_PARAMETER);
  *lpdwNumberOfBytesRead = 0;
  if (dwNumberOfBytesToRead == 0) return TRUE;
  DWORD read = 0;
  if (!handle->request->Read(static_cast<char*>(lpBuffer), dwNumberOfBytesToRead, read, error)) return Fail(error);
  *lpdwNumberOfBytesRead = read;
  return TRUE;
}

BOOL WINAPI InternetCloseHandle(HINTERNET hInternet) {
  // Closing a session closes its open URLs too. The objects die outside the lock: a transfer
  // shuts down its connection there.
  std::vector<std::shared_ptr<Object>> dying;
  {
    std::lock_guard<std::mutex> guard(g_lock);
    auto it = g_handles.find(hInternet);
    if (it == g_handles.end()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    if (auto* session = dynamic_cast<Session*>(it->second.get())) {
      for (HINTERNET child : session->children) {
        auto c = g_handles.find(child);
        if (c != g_handles.end()) {
          dying.push_back(std::move(c->second));
          g_handles.erase(c);
        }
      }
    } else if (auto* url = dynamic_cast<UrlHandle*>(it->second.get())) {
      auto p = g_handles.find(url->parent);
      if (p != g_handles.end())
        if (auto* parent = dynamic_cast<Session*>(p->second.get())) parent->children.erase(hInternet);
    }
    dying.push_back(std::move(it->second));
    g_handles.erase(it);
  }
  dying.clear();
  return TRUE;
}

namespace winplat {
unsigned long InternetConnectAttempts() { return inet::ConnectAttempts(); }
unsigned long InternetUrlOpens() { return inet::g_urlOpens.load(); }
}  // namespace winplat
