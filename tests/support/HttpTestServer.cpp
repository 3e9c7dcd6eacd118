#include "HttpTestServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace testsupport {

namespace {

// Generated bodies are sent straight out of this block: byte i of the body is at i % 251.
const std::string& PatternBlock() {
  static const std::string block = HttpTestServer::PatternBody(0, 251 + 256 * 1024);
  return block;
}

}  // namespace

std::string HttpRequest::Header(const std::string& name) const {
  for (const auto& [n, v] : headers)
    if (strcasecmp(n.c_str(), name.c_str()) == 0) return v;
  return std::string();
}

bool HttpRequest::HasHeader(const std::string& name) const {
  for (const auto& h : headers)
    if (strcasecmp(h.first.c_str(), name.c_str()) == 0) return true;
  return false;
}

HttpReply HttpReply::Text(std::string body, int status) {
  HttpReply r;
  r.status = status;
  r.reason = status == 200 ? "OK" : "Status";
  r.body = std::move(body);
  return r;
}

HttpReply HttpReply::Versioned(const HttpRequest& req, int version) {
  std::string etag = "\"v" + std::to_string(version) + "\"";
  if (req.Header("If-None-Match") == etag) {
    HttpReply r = Status(304, "Not Modified");
    r.body.clear();
    r.contentLength = false;
    return r;
  }
  HttpReply r = Text("version " + std::to_string(version));
  r.headers.push_back({"ETag", etag});
  r.headers.push_back({"Last-Modified", "Tue, 01 Dec 2026 10:00:00 GMT"});
  return r;
}

HttpReply HttpReply::Generated(long long size) {
  HttpReply r;
  r.generatedSize = size;
  return r;
}

HttpReply HttpReply::Status(int status, std::string reason) {
  HttpReply r;
  r.status = status;
  r.reason = std::move(reason);
  r.body = r.reason;
  return r;
}

std::string HttpTestServer::PatternBody(long long offset, long long size) {
  std::string s(size_t(size), '\0');
  for (long long i = 0; i < size; ++i) s[size_t(i)] = char(PatternByte(offset + i));
  return s;
}

int HttpTestServer::UnusedPort() {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  socklen_t len = sizeof addr;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
    throw std::runtime_error("UnusedPort: cannot bind");
  ::close(fd);
  return ntohs(addr.sin_port);
}

HttpTestServer::HttpTestServer(Handler handler) : handler_(std::move(handler)) {
  PatternBlock();
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0) throw std::runtime_error("HttpTestServer: socket");
  int one = 1;
  ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  socklen_t len = sizeof addr;
  if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(listenFd_, 64) != 0 ||
      ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
    throw std::runtime_error("HttpTestServer: bind");
  port_ = ntohs(addr.sin_port);
  if (::pipe2(wakePipe_, O_CLOEXEC) != 0) throw std::runtime_error("HttpTestServer: pipe");
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

HttpTestServer::~HttpTestServer() { Stop(); }

std::string HttpTestServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::string HttpTestServer::ConnectTo(const std::string& host) const {
  return host + ":80:127.0.0.1:" + std::to_string(port_);
}

std::vector<HttpRequest> HttpTestServer::Requests() const {
  std::lock_guard<std::mutex> guard(lock_);
  return requests_;
}

int HttpTestServer::RequestCount() const {
  std::lock_guard<std::mutex> guard(lock_);
  return int(requests_.size());
}

void HttpTestServer::SetHandler(Handler handler) {
  std::lock_guard<std::mutex> guard(lock_);
  handler_ = std::move(handler);
}

void HttpTestServer::Stop() {
  if (stopping_.exchange(true)) return;
  char c = 0;
  (void)!::write(wakePipe_[1], &c, 1);
  if (acceptor_.joinable()) acceptor_.join();
  std::vector<std::thread> workers;
  {
    std::lock_guard<std::mutex> guard(lock_);
    for (int fd : openFds_) ::shutdown(fd, SHUT_RDWR);
    workers.swap(workers_);
  }
  for (std::thread& t : workers) t.join();
  ::close(listenFd_);
  ::close(wakePipe_[0]);
  ::close(wakePipe_[1]);
}

void HttpTestServer::AcceptLoop() {
  while (!stopping_) {
    pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) continue;
    if (fds[1].revents) break;
    if (!(fds[0].revents & POLLIN)) continue;
    int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    ++connections_;
    std::lock_guard<std::mutex> guard(lock_);
    // A worker that has ended still holds its stack until it is joined: a server that answers
    // many requests (a fuzzer's) would run out of memory maps.
    for (std::thread::id id : finished_) {
      auto it = std::find_if(workers_.begin(), workers_.end(), [id](const std::thread& t) { return t.get_id() == id; });
      if (it != workers_.end()) {
        it->join();
        workers_.erase(it);
      }
    }
    finished_.clear();
    openFds_.push_back(fd);
    workers_.emplace_back([this, fd] { Serve(fd); });
  }
}

bool HttpTestServer::Wait(int ms) {
  pollfd p = {wakePipe_[0], POLLIN, 0};
  return ::poll(&p, 1, ms) == 0 && !stopping_;
}

bool HttpTestServer::Send(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n <= 0) return false;
    data += n;
    size -= size_t(n);
  }
  return true;
}

void HttpTestServer::Serve(int fd) {
  // The request: everything up to the blank line after the headers.
  std::string in;
  char buf[4096];
  size_t end = std::string::npos;
  while ((end = in.find("\r\n\r\n")) == std::string::npos && in.size() < 65536) {
    pollfd p = {fd, POLLIN, 0};
    if (::poll(&p, 1, 100) == 0) {
      if (stopping_) break;
      continue;
    }
    ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    in.append(buf, size_t(n));
  }
  HttpReply reply;
  bool haveRequest = end != std::string::npos;
  if (haveRequest) {
    HttpRequest req;
    size_t lineEnd = in.find("\r\n");
    std::string first = in.substr(0, lineEnd);
    size_t sp1 = first.find(' ');
    size_t sp2 = first.find(' ', sp1 + 1);
    req.method = first.substr(0, sp1);
    req.target = sp1 == std::string::npos ? std::string() : first.substr(sp1 + 1, sp2 - sp1 - 1);
    size_t q = req.target.find('?');
    req.path = req.target.substr(0, q);
    req.query = q == std::string::npos ? std::string() : req.target.substr(q + 1);
    size_t pos = lineEnd + 2;
    while (pos < end) {
      size_t e = in.find("\r\n", pos);
      std::string line = in.substr(pos, e - pos);
      size_t colon = line.find(':');
      if (colon != std::string::npos) {
        std::string value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(' '));
        req.headers.emplace_back(line.substr(0, colon), value);
      }
      pos = e + 2;
    }
    Handler handler;
    {
      std::lock_guard<std::mutex> guard(lock_);
      requests_.push_back(req);
      handler = handler_;
    }
    reply = handler(req);
  }

  bool ok = haveRequest;
  if (ok && reply.headDelayMs > 0) ok = Wait(reply.headDelayMs);
  long long size = reply.generatedSize >= 0 ? reply.generatedSize : (long long)reply.body.size();
  if (ok && reply.sendHead) {
    std::string head = reply.rawHead;
    if (head.empty()) {
      head = "HTTP/1.1 " + std::to_string(reply.status) + " " + reply.reason + "\r\n";
      for (const auto& [n, v] : reply.headers) head += n + ": " + v + "\r\n";
      if (reply.chunked)
        head += "Transfer-Encoding: chunked\r\n";
      else if (!reply.contentLengthText.empty())
        head += "Content-Length: " + reply.contentLengthText + "\r\n";
      else if (reply.contentLength)
        head += "Content-Length: " + std::to_string(size) + "\r\n";
      head += "Connection: close\r\n\r\n";
    }
    // Line by line when the lines are paced.
    for (size_t pos = 0; ok && pos < head.size();) {
      size_t lineEnd = reply.headerLineDelayMs > 0 ? head.find("\r\n", pos) : std::string::npos;
      size_t next = lineEnd == std::string::npos ? head.size() : lineEnd + 2;
      if (pos > 0) ok = Wait(reply.headerLineDelayMs);
      ok = ok && Send(fd, head.data() + pos, next - pos);
      pos = next;
    }
  }
  long long limit = reply.cutAfter >= 0 ? std::min(reply.cutAfter, size) : size;
  long long sent = 0;
  while (ok && reply.sendHead && sent < limit) {
    if (reply.chunkDelayMs > 0 && !Wait(reply.chunkDelayMs)) break;
    size_t n = size_t(std::min<long long>((long long)reply.chunkSize, limit - sent));
    const char* data;
    if (reply.generatedSize >= 0) {
      n = std::min(n, size_t(256 * 1024));
      data = PatternBlock().data() + sent % 251;
    } else {
      data = reply.body.data() + sent;
    }
    if (reply.chunked) {
      char len[32];
      std::snprintf(len, sizeof len, "%zx\r\n", n);
      ok = Send(fd, len, std::strlen(len));
    }
    ok = ok && Send(fd, data, n);
    if (ok) bodyBytesSent_ += (long long)n;
    if (reply.chunked) ok = ok && Send(fd, "\r\n", 2);
    sent += (long long)n;
  }
  if (ok && reply.chunked && sent == size && reply.cutAfter < 0) Send(fd, "0\r\n\r\n", 5);
  if (reply.hang) {
    while (Wait(50)) {
      pollfd p = {fd, POLLIN, 0};
      if (::poll(&p, 1, 0) > 0 && ::recv(fd, buf, sizeof buf, MSG_DONTWAIT) == 0) break;  // the client left
    }
  }
  if (reply.reset) {
    linger l{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
  } else {
    ::shutdown(fd, SHUT_WR);
    // Let the client read what was sent before the socket goes (a close with unread input
    // would reset the connection).
    for (int i = 0; i < 20 && Wait(0); ++i) {
      pollfd p = {fd, POLLIN, 0};
      if (::poll(&p, 1, 50) > 0 && ::recv(fd, buf, sizeof buf, 0) <= 0) break;
    }
  }
  ::close(fd);
  std::lock_guard<std::mutex> guard(lock_);
  openFds_.erase(std::remove(openFds_.begin(), openFds_.end(), fd), openFds_.end());
  finished_.push_back(std::this_thread::get_id());
}

}  // namespace testsupport
