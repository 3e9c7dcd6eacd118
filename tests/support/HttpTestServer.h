// An HTTP server inside the test process, on 127.0.0.1 with a port chosen by the system. Each
// request is answered by a handler, which can also inject faults: any status, no or a false
// Content-Length, garbage headers, a body cut short, a reset, a slow body, no answer at all.
// Every reply ends its connection.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace testsupport {

struct HttpRequest {
  std::string method;
  std::string target;  // as sent: path and query
  std::string path;    // the target before "?"
  std::string query;   // the target after "?"
  std::vector<std::pair<std::string, std::string>> headers;
  // The first header of that name (ignoring case); empty when absent.
  std::string Header(const std::string& name) const;
  bool HasHeader(const std::string& name) const;
};

struct HttpReply {
  int status = 200;
  std::string reason = "OK";
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  long long generatedSize = -1;   // >= 0: a body of that many PatternByte bytes instead of `body`
  bool contentLength = true;      // announce the body's length
  std::string contentLengthText;  // announce this text as the Content-Length instead
  bool chunked = false;           // chunked transfer coding (no Content-Length)
  bool sendHead = true;           // false: no status line and headers at all
  std::string rawHead;            // sent verbatim instead of the status line and headers
  long long cutAfter = -1;        // end the connection after this many body bytes
  bool reset = false;             // end the connection with a reset instead of a close
  bool hang = false;              // after what was sent, keep the connection open silently
  size_t chunkSize = 64 * 1024;   // bytes per write
  int chunkDelayMs = 0;           // pause before each write of the body
  int headDelayMs = 0;            // pause before the status line
  int headerLineDelayMs = 0;      // pause before each line after the status line

  static HttpReply Text(std::string body, int status = 200);
  static HttpReply Generated(long long size);
  static HttpReply Status(int status, std::string reason);
  // "version N" with the entity tag "vN" (and a fixed Last-Modified), or 304 without a body when
  // the request already holds that tag: a server whose copy can be revalidated.
  static HttpReply Versioned(const HttpRequest& req, int version);
};

class HttpTestServer {
 public:
  using Handler = std::function<HttpReply(const HttpRequest&)>;

  explicit HttpTestServer(Handler handler);
  ~HttpTestServer();
  HttpTestServer(const HttpTestServer&) = delete;
  HttpTestServer& operator=(const HttpTestServer&) = delete;

  int Port() const { return port_; }
  // "http://127.0.0.1:<port>" followed by path.
  std::string Url(const std::string& path) const;
  // "host:80:127.0.0.1:<port>", for WINPLAT_CONNECT_TO.
  std::string ConnectTo(const std::string& host) const;

  std::vector<HttpRequest> Requests() const;
  int RequestCount() const;
  int ConnectionCount() const { return connections_.load(); }
  // Body bytes handed to the sockets so far, over all connections.
  long long BodyBytesSent() const { return bodyBytesSent_.load(); }
  void SetHandler(Handler handler);

  // Stops accepting, ends every open connection and waits for the workers.
  void Stop();

  // Byte i of a generated body.
  static uint8_t PatternByte(long long i) { return uint8_t(i % 251); }
  static std::string PatternBody(long long offset, long long size);
  // A port on 127.0.0.1 where nothing listens (bound and released at once).
  static int UnusedPort();

 private:
  void AcceptLoop();
  void Serve(int fd);
  bool Send(int fd, const char* data, size_t size);
  bool Wait(int ms);  // false when the server stops meanwhile

  Handler handler_;
  mutable std::mutex lock_;
  std::vector<HttpRequest> requests_;
  std::vector<int> openFds_;
  std::vector<std::thread> workers_;
  std::vector<std::thread::id> finished_;  // workers that have ended, to be joined
  std::thread acceptor_;
  int listenFd_ = -1;
  int wakePipe_[2] = {-1, -1};
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> connections_{0};
  std::atomic<long long> bodyBytesSent_{0};
};

}  // namespace testsupport
