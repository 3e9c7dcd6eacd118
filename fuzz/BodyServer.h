// The vendor's service as a fuzz target needs it: an HTTP server in this process that answers
// every request with the current input, reached through the layer's host mapping.
#pragma once
#include <stdlib.h>

#include <memory>
#include <mutex>
#include <string>

#include "HttpTestServer.h"

namespace fuzzsupport {

class BodyServer {
 public:
  explicit BodyServer(const std::string& host)
      : server_(std::make_unique<testsupport::HttpTestServer>([this](const testsupport::HttpRequest&) {
          std::lock_guard<std::mutex> hold(lock_);
          return testsupport::HttpReply::Text(body_);
        })) {
    setenv("WINPLAT_CONNECT_TO", server_->ConnectTo(host).c_str(), 1);
  }
  void Answer(std::string body) {
    std::lock_guard<std::mutex> hold(lock_);
    body_ = std::move(body);
  }

 private:
  std::mutex lock_;
  std::string body_;
  std::unique_ptr<testsupport::HttpTestServer> server_;
};

}  // namespace fuzzsupport
