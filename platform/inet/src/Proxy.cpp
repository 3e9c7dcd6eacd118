// The proxy setting shared by the HTTP transfers and the embedded browser.
#include <cctype>
#include <cstdlib>

#include "inetplat.h"

namespace winplat {

namespace {

const char* FirstSet(const char* lower, const char* upper) {
  for (const char* name : {lower, upper}) {
    const char* value = std::getenv(name);
    if (value && *value) return value;
  }
  return nullptr;
}

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower((unsigned char)c));
  return s;
}

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return std::string();
  return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

std::string PercentDecoded(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && std::isxdigit((unsigned char)s[i + 1]) &&
        std::isxdigit((unsigned char)s[i + 2])) {
      out += char(std::strtol(s.substr(i + 1, 2).c_str(), nullptr, 16));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

// A no_proxy entry as a name or address the request's host is compared with: ".corp.example",
// "*.corp.example" and "corp.example." all name corp.example and the domains below it; a lone
// "*" names every host.
std::string BypassName(std::string entry) {
  if (entry == "*") return entry;
  size_t start = entry.find_first_not_of("*.");
  if (start == std::string::npos) return std::string();
  entry.erase(0, start);
  while (!entry.empty() && entry.back() == '.') entry.pop_back();
  return entry;
}

bool IsLoopback(const std::string& host) {
  if (host == "localhost" || host == "[::1]" || host == "::1") return true;
  return host.rfind("127.", 0) == 0 && host.find_first_not_of("0123456789.") == std::string::npos;
}

}  // namespace

std::string InternetProxySetting::Server() const { return scheme + "://" + host + ":" + std::to_string(port); }

bool InternetProxySetting::Bypasses(const std::string& requestHost) const {
  if (IsLoopback(requestHost)) return true;
  for (const std::string& entry : bypass) {
    if (entry == "*") return true;
    if (requestHost == entry) return true;
    if (requestHost.size() > entry.size() &&
        requestHost.compare(requestHost.size() - entry.size(), entry.size(), entry) == 0 &&
        requestHost[requestHost.size() - entry.size() - 1] == '.')
      return true;
  }
  return false;
}

InternetProxySetting InternetProxy() {
  InternetProxySetting proxy;
  const char* value = FirstSet("http_proxy", "HTTP_PROXY");
  if (!value) return proxy;
  std::string rest = Trim(value);
  std::string scheme = "http";
  if (size_t sep = rest.find("://"); sep != std::string::npos) {
    scheme = Lower(rest.substr(0, sep));
    rest = rest.substr(sep + 3);
  }
  rest = rest.substr(0, rest.find('/'));  // a path after the address means nothing to a proxy
  if (size_t at = rest.rfind('@'); at != std::string::npos) {
    std::string credentials = rest.substr(0, at);
    rest = rest.substr(at + 1);
    size_t colon = credentials.find(':');
    proxy.user = PercentDecoded(credentials.substr(0, colon));
    if (colon != std::string::npos) proxy.password = PercentDecoded(credentials.substr(colon + 1));
  }
  std::string host = rest;
  size_t portAt = rest.rfind(':');
  if (portAt != std::string::npos && rest.find(']', portAt) == std::string::npos &&
      (rest[0] == '[' || rest.find(':') == portAt)) {
    host = rest.substr(0, portAt);
    std::string port = rest.substr(portAt + 1);
    char* end = nullptr;
    long number = std::strtol(port.c_str(), &end, 10);
    if (port.empty() || *end || number < 1 || number > 65535) return InternetProxySetting();
    proxy.port = int(number);
  }
  if (host.empty() || host == "[]") return InternetProxySetting();
  proxy.scheme = scheme;
  proxy.host = Lower(host);
  if (const char* bypass = FirstSet("no_proxy", "NO_PROXY")) {
    std::string all = bypass;
    for (size_t start = 0; start <= all.size();) {
      size_t comma = all.find(',', start);
      if (comma == std::string::npos) comma = all.size();
      std::string entry = BypassName(Lower(Trim(all.substr(start, comma - start))));
      if (!entry.empty()) proxy.bypass.push_back(entry);
      start = comma + 1;
    }
  }
  return proxy;
}

}  // namespace winplat
