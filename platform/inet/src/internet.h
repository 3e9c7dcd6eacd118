// The objects behind the WinINet handles: sessions, network requests over libcurl and
// requests answered from the URL cache.
#pragma once
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "winbase.h"
#include "wininet.h"

namespace inet {

struct Header {
  std::string name;
  std::string value;
};

// Status line and headers of the final response of a request.
struct Response {
  int status = 0;
  std::string statusText;
  std::vector<Header> headers;

  // The index-th header of that name (names compared ignoring case), or null.
  const std::string* Find(const std::string& name, DWORD index = 0) const;
  bool Has(const std::string& name) const { return Find(name) != nullptr; }
};

// Settings a request inherits from its session.
struct RequestSettings {
  std::string agent;
  DWORD accessType = INTERNET_OPEN_TYPE_PRECONFIG;
  std::string proxy;
  std::string proxyBypass;
  DWORD connectTimeoutMs = 60000;
  DWORD connectRetries = 5;
  DWORD receiveTimeoutMs = 30000;
  DWORD sendTimeoutMs = 30000;
};

// The body side of an open request. Every call blocks until it can answer; a failure leaves a
// WinINet error code in `error`.
class Request {
 public:
  virtual ~Request() = default;
  const Response& response() const { return response_; }
  // Bytes that can be read without waiting; 0 only at the end of the body.
  virtual bool Available(DWORD& count, DWORD& error) = 0;
  // Fills up to `count` bytes; 0 bytes read means the end of the body.
  virtual bool Read(char* buffer, DWORD count, DWORD& read, DWORD& error) = 0;

 protected:
  Response response_;
};

// Opens a request: from the cache, over the network, or both (revalidation). Null with a
// WinINet error code when no response could be had.
std::unique_ptr<Request> OpenRequest(const RequestSettings& settings, bool offline, const std::string& url,
                                     const std::string& extraHeaders, DWORD flags, DWORD& error);

// ------------------------------------------------------------------ cache

// One complete 200 response kept on disk.
class CacheEntry {
 public:
  static std::optional<CacheEntry> Lookup(const std::string& url);
  Response response;
  std::shared_ptr<std::FILE> file;  // open on the entry
  long long bodyOffset = 0;
  long long bodySize = 0;
};

// Writes a response to a temporary file next to the entries; Commit renames it into place, so a
// reader never sees a half-written entry. Destroyed uncommitted, the file is removed.
class CacheWriter {
 public:
  static std::unique_ptr<CacheWriter> Begin(const std::string& url, const Response& response);
  ~CacheWriter();
  bool Append(const char* data, size_t size);
  long long Written() const { return written_; }
  bool Commit();

 private:
  CacheWriter() = default;
  std::string url_;
  std::string tempPath_;
  std::string finalPath_;
  std::FILE* file_ = nullptr;
  long long written_ = 0;
  bool failed_ = false;
};

// Serves a cache entry as the body of a request.
std::unique_ptr<Request> OpenCachedRequest(const CacheEntry& entry, DWORD& error);

// ------------------------------------------------------------------ network

// Sockets opened so far (connect attempts), for tests.
unsigned long ConnectAttempts();

// A GET over libcurl's multi interface, pulled by the caller: Open runs the transfer until the
// final status line and headers are in; reads drain a bounded buffer that the transfer refills,
// the transfer pausing while the buffer is full.
class NetworkRequest : public Request {
 public:
  static std::unique_ptr<NetworkRequest> Open(const RequestSettings& settings, const std::string& url,
                                              const std::vector<std::string>& headers, DWORD flags,
                                              DWORD& error);
  ~NetworkRequest() override;
  // The body read from now on also goes to the cache; it is kept only when it arrives complete.
  void WriteCache(std::unique_ptr<CacheWriter> writer) { cache_ = std::move(writer); }
  bool Available(DWORD& count, DWORD& error) override;
  bool Read(char* buffer, DWORD count, DWORD& read, DWORD& error) override;

 private:
  struct Transfer;
  NetworkRequest();
  // At the end of the body: true for a clean end (also a body cut short of its announced
  // length, which the caller sees as a short count), false with the error otherwise.
  bool End(DWORD& error);
  std::unique_ptr<Transfer> t_;
  std::unique_ptr<CacheWriter> cache_;
};

}  // namespace inet
