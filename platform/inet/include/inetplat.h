// What the HTTP layer adds beyond WinINet: figures for tests and the place of the URL cache.
#pragma once
#include <string>
#include <vector>

namespace winplat {

// Sockets the HTTP layer has opened since the process started; each one is a connect attempt.
unsigned long InternetConnectAttempts();

// Calls of InternetOpenUrlA since the process started, whatever their outcome.
unsigned long InternetUrlOpens();

// Folder of the URL cache: WINPLAT_CACHE_DIR, else $XDG_CACHE_HOME/movrant, else
// $HOME/.cache/movrant (UTF-8, read at every use).
std::string InternetCacheDir();

// The one proxy of the HTTP transfers and of the embedded browser, as Windows has one: the first
// of http_proxy and HTTP_PROXY that is set and not empty, "[scheme://][user:password@]host[:port]"
// (scheme http and port 80 when left out; user and password percent-decoded), with the hosts
// that go round it from no_proxy, else NO_PROXY (entries separated by ","). Loopback addresses
// always go round it. Read at every use.
struct InternetProxySetting {
  std::string scheme;  // lower case; empty when there is no proxy
  std::string host;    // an IPv6 address keeps its brackets
  int port = 80;
  std::string user;
  std::string password;
  // no_proxy's entries in lower case, each a name or address without the "*." or "." before it
  // and the "." after it, or "*"
  std::vector<std::string> bypass;

  bool Set() const { return !host.empty(); }
  // Whether a request for this host (lower case) goes round the proxy: a loopback address, or a
  // no_proxy entry naming it or a domain above it ("*" names every host).
  bool Bypasses(const std::string& requestHost) const;
  // "scheme://host:port", without the credentials.
  std::string Server() const;
};
InternetProxySetting InternetProxy();

}  // namespace winplat
