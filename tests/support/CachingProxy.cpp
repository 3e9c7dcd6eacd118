#include "CachingProxy.h"

#include <strings.h>

#include <cstring>
#include <utility>

namespace testsupport {

namespace {

std::string Base64(const std::string& in) {
  static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < in.size(); i += 3) {
    unsigned v = (unsigned char)in[i] << 16;
    if (i + 1 < in.size()) v |= (unsigned char)in[i + 1] << 8;
    if (i + 2 < in.size()) v |= (unsigned char)in[i + 2];
    out += digits[(v >> 18) & 63];
    out += digits[(v >> 12) & 63];
    out += i + 1 < in.size() ? digits[(v >> 6) & 63] : '=';
    out += i + 2 < in.size() ? digits[v & 63] : '=';
  }
  return out;
}

bool Contains(const std::string& value, const char* word) { return strcasestr(value.c_str(), word) != nullptr; }

std::string ReplyHeader(const HttpReply& r, const char* name) {
  for (const auto& [n, v] : r.headers)
    if (strcasecmp(n.c_str(), name) == 0) return v;
  return std::string();
}

}  // namespace

CachingProxy::CachingProxy(HttpTestServer::Handler origin)
    : origin_(std::move(origin)), server_([this](const HttpRequest& req) { return Answer(req); }) {}

std::string CachingProxy::HostPort() const { return "127.0.0.1:" + std::to_string(Port()); }

std::string CachingProxy::Url(const std::string& user, const std::string& password) const {
  return "http://" + (user.empty() ? std::string() : user + ":" + password + "@") + HostPort();
}

void CachingProxy::RequireCredentials(const std::string& user, const std::string& password) {
  std::lock_guard<std::mutex> guard(lock_);
  credentials_ = "Basic " + Base64(user + ":" + password);
}

void CachingProxy::Hold(const std::string& url, HttpReply copy) {
  std::lock_guard<std::mutex> guard(lock_);
  copies_[url] = std::move(copy);
}

std::vector<HttpRequest> CachingProxy::Forwarded() const {
  std::lock_guard<std::mutex> guard(lock_);
  return forwarded_;
}

int CachingProxy::Refused() const {
  std::lock_guard<std::mutex> guard(lock_);
  return refused_;
}

HttpReply CachingProxy::Answer(const HttpRequest& req) {
  std::unique_lock<std::mutex> guard(lock_);
  if (!credentials_.empty() && req.Header("Proxy-Authorization") != credentials_) {
    ++refused_;
    HttpReply r = HttpReply::Status(407, "Proxy Authentication Required");
    r.headers.push_back({"Proxy-Authenticate", "Basic realm=\"company proxy\""});
    return r;
  }
  std::string control = req.Header("Cache-Control");
  bool toOrigin =
      Contains(control, "no-cache") || Contains(control, "max-age=0") || Contains(req.Header("Pragma"), "no-cache");
  auto copy = copies_.find(req.target);
  if (!toOrigin && copy != copies_.end()) {
    std::string since = req.Header("If-Modified-Since");
    std::string tag = req.Header("If-None-Match");
    bool unchanged = (!since.empty() && since == ReplyHeader(copy->second, "Last-Modified")) ||
                     (!tag.empty() && tag == ReplyHeader(copy->second, "ETag"));
    if (!unchanged) return copy->second;
    HttpReply r = HttpReply::Status(304, "Not Modified");
    r.body.clear();
    r.contentLength = false;
    return r;
  }
  forwarded_.push_back(req);
  HttpTestServer::Handler origin = origin_;
  guard.unlock();
  HttpReply reply = origin(req);
  guard.lock();
  if (reply.status == 200) copies_[req.target] = reply;
  return reply;
}

}  // namespace testsupport
