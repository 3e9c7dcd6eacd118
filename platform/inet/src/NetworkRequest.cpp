// Network requests: libcurl's multi interface driven from the caller's thread.
#include <curl/curl.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "inetplat.h"
#include "internet.h"

namespace inet {

namespace {

std::atomic<unsigned long> g_connectAttempts{0};

// Room for the body between the transfer and the reader. The transfer pauses while it is
// full, so memory stays bounded whatever the body size.
constexpr size_t kBufferCapacity = 512 * 1024;
constexpr long kCurlBufferSize = 128 * 1024;
constexpr long kMaxRedirects = 30;
// A body that moves less than this in a whole receive time-out ends as a silent server does: a
// server that drips a byte now and then must not hold the caller for ever, while an honest slow
// link still gets through.
constexpr long kLowSpeedBytesPerTimeout = 1024;

using Clock = std::chrono::steady_clock;

struct CurlGlobal {
  CurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
};

void EnsureCurl() {
  static CurlGlobal global;
  (void)global;
}

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r' || s[b] == '\n')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r' || s[e - 1] == '\n')) --e;
  return s.substr(b, e - b);
}

DWORD MapCurlError(CURLcode code) {
  switch (code) {
    case CURLE_OK:
      return ERROR_SUCCESS;
    case CURLE_UNSUPPORTED_PROTOCOL:
      // The scheme was checked before: this is a reply without a status line (HTTP/0.9).
      return ERROR_HTTP_INVALID_SERVER_RESPONSE;
    case CURLE_URL_MALFORMAT:
      return ERROR_INTERNET_INVALID_URL;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return ERROR_INTERNET_NAME_NOT_RESOLVED;
    case CURLE_COULDNT_CONNECT:
      return ERROR_INTERNET_CANNOT_CONNECT;
    case CURLE_OPERATION_TIMEDOUT:
      return ERROR_INTERNET_TIMEOUT;
    case CURLE_TOO_MANY_REDIRECTS:
      return ERROR_HTTP_REDIRECT_FAILED;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_BAD_CONTENT_ENCODING:
    case CURLE_HTTP2:
    case CURLE_HTTP3:
      return ERROR_HTTP_INVALID_SERVER_RESPONSE;
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
      return ERROR_INTERNET_CONNECTION_ABORTED;
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
      return ERROR_INTERNET_CONNECTION_RESET;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
      return ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
    case CURLE_ABORTED_BY_CALLBACK:
      return ERROR_INTERNET_OPERATION_CANCELLED;
    default:
      return ERROR_INTERNET_INTERNAL_ERROR;
  }
}

// WINPLAT_CONNECT_TO: libcurl connect-to entries separated by ",".
curl_slist* ConnectToList() {
  const char* env = std::getenv("WINPLAT_CONNECT_TO");
  if (!env) return nullptr;
  curl_slist* list = nullptr;
  std::string all(env);
  size_t start = 0;
  while (start <= all.size()) {
    size_t comma = all.find(',', start);
    if (comma == std::string::npos) comma = all.size();
    std::string entry = Trim(all.substr(start, comma - start));
    if (!entry.empty()) list = curl_slist_append(list, entry.c_str());
    start = comma + 1;
  }
  return list;
}

// The host of a URL in lower case; empty when it has none.
std::string UrlHost(const std::string& url) {
  std::string host;
  if (CURLU* u = curl_url()) {
    char* part = nullptr;
    if (curl_url_set(u, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK &&
        curl_url_get(u, CURLUPART_HOST, &part, 0) == CURLUE_OK) {
      host = part;
      curl_free(part);
    }
    curl_url_cleanup(u);
  }
  for (char& c : host) c = char(std::tolower((unsigned char)c));
  return host;
}

}  // namespace

unsigned long ConnectAttempts() { return g_connectAttempts.load(); }

struct NetworkRequest::Transfer {
  CURLM* multi = nullptr;
  CURL* easy = nullptr;
  curl_slist* headerList = nullptr;
  curl_slist* connectTo = nullptr;
  bool attached = false;

  // Body bytes waiting for the reader: `buffered` bytes from `head`, wrapping round at the end
  // of `data`, so that no byte is moved inside the buffer.
  std::vector<char> data;
  size_t head = 0;
  size_t buffered = 0;
  bool paused = false;

  // The response being received; `final` once its headers are complete and it is not a
  // redirect that libcurl follows.
  Response block;
  bool blockHasLocation = false;
  bool final = false;
  bool followRedirects = true;

  bool done = false;
  CURLcode result = CURLE_OK;
  DWORD failure = ERROR_SUCCESS;  // set when the layer itself ends the transfer

  DWORD connectRetries = 5;
  unsigned long socketsOpened = 0;
  DWORD receiveTimeoutMs = 30000;
  Clock::time_point lastActivity = Clock::now();
  // Until the final headers are in, the time-out bounds the whole wait since the connection
  // stood: a server that sends a line now and then must not hold the caller for ever.
  std::optional<Clock::time_point> connectedAt;

  size_t Buffered() const { return buffered; }
  size_t Room() const { return data.size() - buffered; }

  void Put(const char* p, size_t n) {
    size_t at = (head + buffered) % data.size();
    size_t first = std::min(n, data.size() - at);
    std::memcpy(data.data() + at, p, first);
    std::memcpy(data.data(), p + first, n - first);
    buffered += n;
  }

  // Hands the oldest n (<= buffered) bytes to `use` in at most two pieces.
  template <class Use>
  void Take(size_t n, Use use) {
    size_t first = std::min(n, data.size() - head);
    use(data.data() + head, first);
    if (n > first) use(data.data(), n - first);
    head = (head + n) % data.size();
    buffered -= n;
    if (buffered == 0) head = 0;
  }

  ~Transfer() {
    if (easy) {
      if (attached) curl_multi_remove_handle(multi, easy);
      curl_easy_cleanup(easy);
    }
    if (multi) curl_multi_cleanup(multi);
    curl_slist_free_all(headerList);
    curl_slist_free_all(connectTo);
  }

  static size_t OnHeader(char* ptr, size_t size, size_t nitems, void* user) {
    auto* t = static_cast<Transfer*>(user);
    size_t n = size * nitems;
    t->lastActivity = Clock::now();
    std::string line(ptr, n);
    if (line.rfind("HTTP/", 0) == 0) {
      t->block = Response();
      t->blockHasLocation = false;
      t->socketsOpened = 0;  // connected: a redirect's new connection gets its own attempts
      size_t sp = line.find(' ');
      if (sp != std::string::npos) {
        size_t sp2 = line.find(' ', sp + 1);
        t->block.statusText = sp2 == std::string::npos ? std::string() : Trim(line.substr(sp2 + 1));
      }
      return n;
    }
    if (line == "\r\n" || line == "\n") {
      long code = 0;
      curl_easy_getinfo(t->easy, CURLINFO_RESPONSE_CODE, &code);
      t->block.status = int(code);
      bool informational = code >= 100 && code < 200;
      bool redirect = t->followRedirects && code >= 300 && code < 400 && code != 304 && t->blockHasLocation;
      if (!informational && !redirect) t->final = true;
      return n;
    }
    if ((line[0] == ' ' || line[0] == '\t') && !t->block.headers.empty()) {
      t->block.headers.back().value += " " + Trim(line);
      return n;
    }
    size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0) return n;  // not a header; ignored
    Header h{Trim(line.substr(0, colon)), Trim(line.substr(colon + 1))};
    if (strcasecmp(h.name.c_str(), "Location") == 0) t->blockHasLocation = true;
    t->block.headers.push_back(std::move(h));
    return n;
  }

  static size_t OnWrite(char* ptr, size_t size, size_t nmemb, void* user) {
    auto* t = static_cast<Transfer*>(user);
    size_t n = size * nmemb;
    if (n == 0) return 0;
    t->lastActivity = Clock::now();
    if (n > t->Room()) {
      if (t->Buffered() > 0) {
        t->paused = true;
        return CURL_WRITEFUNC_PAUSE;
      }
      t->data.resize(n);  // a single delivery larger than the buffer (libcurl flushing held data)
    }
    t->Put(ptr, n);
    // Stop receiving while the next delivery might not fit: refused, libcurl would copy it into
    // a buffer of its own and hand it over again.
    if (!t->paused && t->Room() < size_t(kCurlBufferSize)) {
      t->paused = true;
      curl_easy_pause(t->easy, CURLPAUSE_RECV);
    }
    return n;
  }

  // Every socket is one connect attempt. INTERNET_OPTION_CONNECT_RETRIES bounds the number of
  // addresses of a host that are tried.
  static curl_socket_t OnOpenSocket(void* user, curlsocktype purpose, struct curl_sockaddr* address) {
    auto* t = static_cast<Transfer*>(user);
    if (purpose != CURLSOCKTYPE_IPCXN) return CURL_SOCKET_BAD;
    DWORD limit = t->connectRetries == 0 ? 1 : t->connectRetries;
    if (t->socketsOpened >= limit) return CURL_SOCKET_BAD;
    ++t->socketsOpened;
    g_connectAttempts.fetch_add(1);
    int fd = ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
    return fd < 0 ? CURL_SOCKET_BAD : fd;
  }

  // One round of the multi engine, waiting at most waitMs for the sockets.
  void Pump(int waitMs) {
    int running = 0;
    curl_multi_perform(multi, &running);
    Collect();
    if (done) return;
    if (waitMs > 0) {
      curl_multi_poll(multi, nullptr, 0, waitMs, nullptr);
      curl_multi_perform(multi, &running);
      Collect();
    }
  }

  void Collect() {
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi, &left)) {
      if (msg->msg == CURLMSG_DONE && msg->easy_handle == easy) {
        done = true;
        result = msg->data.result;
      }
    }
  }

  void Resume() {
    if (paused && !done) {
      paused = false;
      curl_easy_pause(easy, CURLPAUSE_CONT);  // may deliver held data at once
    }
  }

  // The receive time-out counts only while the caller waits and the connection stands.
  bool TimedOut(Clock::time_point waitStart) {
    curl_off_t connectTime = 0;
    curl_easy_getinfo(easy, CURLINFO_CONNECT_TIME_T, &connectTime);
    if (connectTime == 0) return false;  // still connecting: libcurl's connect time-out applies
    Clock::time_point since = lastActivity > waitStart ? lastActivity : waitStart;
    if (!final) {
      if (!connectedAt) connectedAt = Clock::now();
      since = *connectedAt;
    }
    return Clock::now() - since > std::chrono::milliseconds(receiveTimeoutMs);
  }

  void Fail(DWORD error) {
    if (done) return;
    done = true;
    failure = error;
    if (attached) {
      curl_multi_remove_handle(multi, easy);
      attached = false;
    }
  }

  // Runs until `ready` holds or the transfer ends.
  template <class Ready>
  void RunUntil(Ready ready) {
    Clock::time_point waitStart = Clock::now();
    while (!ready() && !done) {
      Resume();
      if (ready() || done) break;
      Pump(50);
      if (!ready() && !done && TimedOut(waitStart)) Fail(ERROR_INTERNET_TIMEOUT);
    }
  }
};

NetworkRequest::NetworkRequest() : t_(std::make_unique<Transfer>()) {}
NetworkRequest::~NetworkRequest() = default;

std::unique_ptr<NetworkRequest> NetworkRequest::Open(const RequestSettings& settings, const std::string& url,
                                                     const std::vector<std::string>& headers, DWORD flags,
                                                     DWORD& error) {
  EnsureCurl();
  std::unique_ptr<NetworkRequest> req(new NetworkRequest());
  Transfer& t = *req->t_;
  t.data.resize(kBufferCapacity);
  t.multi = curl_multi_init();
  t.easy = curl_easy_init();
  if (!t.multi || !t.easy) {
    error = ERROR_INTERNET_INTERNAL_ERROR;
    return nullptr;
  }
  t.connectRetries = settings.connectRetries;
  t.receiveTimeoutMs = settings.receiveTimeoutMs == 0 ? 0xFFFFFFFF : settings.receiveTimeoutMs;
  t.followRedirects = (flags & INTERNET_FLAG_NO_AUTO_REDIRECT) == 0;

  CURL* e = t.easy;
  curl_easy_setopt(e, CURLOPT_URL, url.c_str());
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, t.followRedirects ? 1L : 0L);
  curl_easy_setopt(e, CURLOPT_MAXREDIRS, kMaxRedirects);
  curl_easy_setopt(e, CURLOPT_BUFFERSIZE, kCurlBufferSize);
  if (!settings.agent.empty()) curl_easy_setopt(e, CURLOPT_USERAGENT, settings.agent.c_str());
  if (settings.connectTimeoutMs != 0 && settings.connectTimeoutMs != 0xFFFFFFFF)
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, long(settings.connectTimeoutMs));
  if (t.receiveTimeoutMs != 0xFFFFFFFF) {
    // libcurl measures in whole seconds: the time-out rounded up, at least one.
    long seconds = std::max(1L, long((uint64_t(t.receiveTimeoutMs) + 999) / 1000));
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, std::max(1L, kLowSpeedBytesPerTimeout / seconds));
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, seconds);
  }
  // Proxies: the preconfigured one is the layer's setting, which the browser takes too; libcurl
  // must not read the environment by rules of its own (it ignores HTTP_PROXY). The host mapping
  // is for the hosts the layer connects to itself: a proxy is asked for the vendor's names as
  // they are, as the browser asks it, not through a tunnel to the mapped address.
  bool throughProxy = false;
  if (settings.accessType == INTERNET_OPEN_TYPE_DIRECT) {
    curl_easy_setopt(e, CURLOPT_PROXY, "");
  } else if (settings.accessType == INTERNET_OPEN_TYPE_PRECONFIG) {
    winplat::InternetProxySetting proxy = winplat::InternetProxy();
    throughProxy = proxy.Set() && !proxy.Bypasses(UrlHost(url));
    curl_easy_setopt(e, CURLOPT_PROXY, throughProxy ? proxy.Server().c_str() : "");
    if (throughProxy) {
      if (!proxy.user.empty()) {
        curl_easy_setopt(e, CURLOPT_PROXYUSERNAME, proxy.user.c_str());
        curl_easy_setopt(e, CURLOPT_PROXYPASSWORD, proxy.password.c_str());
      }
      // For the hosts of redirects.
      std::string bypass = "localhost,127.0.0.0/8,::1";
      for (const std::string& host : proxy.bypass) bypass += "," + host;
      curl_easy_setopt(e, CURLOPT_NOPROXY, bypass.c_str());
    }
  } else if (settings.accessType == INTERNET_OPEN_TYPE_PROXY) {
    curl_easy_setopt(e, CURLOPT_PROXY, settings.proxy.c_str());
    std::string bypass = settings.proxyBypass;
    for (char& c : bypass)
      if (c == ';' || c == ' ') c = ',';
    curl_easy_setopt(e, CURLOPT_NOPROXY, bypass.c_str());
  }
  if (!throughProxy) {
    t.connectTo = ConnectToList();
    if (t.connectTo) curl_easy_setopt(e, CURLOPT_CONNECT_TO, t.connectTo);
  }
  for (const std::string& h : headers) t.headerList = curl_slist_append(t.headerList, h.c_str());
  if (t.headerList) curl_easy_setopt(e, CURLOPT_HTTPHEADER, t.headerList);
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &Transfer::OnHeader);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, &t);
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Transfer::OnWrite);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, &t);
  curl_easy_setopt(e, CURLOPT_OPENSOCKETFUNCTION, &Transfer::OnOpenSocket);
  curl_easy_setopt(e, CURLOPT_OPENSOCKETDATA, &t);

  if (curl_multi_add_handle(t.multi, e) != CURLM_OK) {
    error = ERROR_INTERNET_INTERNAL_ERROR;
    return nullptr;
  }
  t.attached = true;
  t.RunUntil([&t] { return t.final; });
  if (!t.final) {
    // Ended before a complete response: a libcurl failure, or the layer's time-out.
    if (t.failure != ERROR_SUCCESS)
      error = t.failure;
    else if (t.result != CURLE_OK)
      error = MapCurlError(t.result);
    else
      error = ERROR_HTTP_INVALID_SERVER_RESPONSE;
    return nullptr;
  }
  req->response_ = t.block;
  return req;
}

bool NetworkRequest::End(DWORD& error) {
  Transfer& t = *t_;
  if (t.failure != ERROR_SUCCESS) {
    error = t.failure;
    cache_.reset();
    return false;
  }
  // A body cut short of its Content-Length ends like a complete one: the reader sees the
  // short count. Without a Content-Length (chunked) a cut body is a failure.
  bool clean = t.result == CURLE_OK || (t.result == CURLE_PARTIAL_FILE && response_.Has("Content-Length"));
  if (!clean) {
    error = MapCurlError(t.result);
    cache_.reset();
    return false;
  }
  if (cache_) {
    const std::string* length = response_.Find("Content-Length");
    bool complete = t.result == CURLE_OK && response_.status == 200 &&
                    (!length || std::strtoll(length->c_str(), nullptr, 10) == cache_->Written());
    if (complete) cache_->Commit();
    cache_.reset();
  }
  return true;
}

bool NetworkRequest::Available(DWORD& count, DWORD& error) {
  Transfer& t = *t_;
  // Keep the socket drained while the reader works through the buffer, but only when a whole
  // delivery of libcurl fits: a paused delivery costs libcurl an extra copy.
  if (!t.done && t.Room() >= size_t(kCurlBufferSize)) {
    t.Resume();
    if (!t.paused && !t.done) t.Pump(0);
  }
  t.RunUntil([&t] { return t.Buffered() > 0; });
  if (t.Buffered() > 0) {
    count = DWORD(t.Buffered());
    return true;
  }
  count = 0;
  return End(error);
}

bool NetworkRequest::Read(char* buffer, DWORD count, DWORD& read, DWORD& error) {
  Transfer& t = *t_;
  read = 0;
  while (read < count) {
    t.RunUntil([&t] { return t.Buffered() > 0; });
    size_t n = t.Buffered();
    if (n == 0) {
      if (read > 0) return true;  // the end or the failure is reported by the next call
      return End(error);
    }
    if (n > count - read) n = count - read;
    t.Take(n, [&](const char* piece, size_t size) {
      std::memcpy(buffer + read, piece, size);
      if (cache_ && !cache_->Append(piece, size)) cache_.reset();
      read += DWORD(size);
    });
  }
  return true;
}

}  // namespace inet
