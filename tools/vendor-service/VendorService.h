// The vendor's web service, served locally on 127.0.0.1 from a site folder: the login check,
// the download notices, and the files of every vendor host.
#pragma once
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace vendor {

struct Options {
  std::string site;                       // site folder: one folder per host name, and users.ini
  int port = 0;                           // 0: a port chosen by the system
  std::string log;                        // download notices are appended here (UTF-8)
  std::set<std::string> noContentLength;  // request paths answered without Content-Length
  std::map<std::string, long long> throttle;  // request path -> bytes per second
  std::map<std::string, int> failFirst;       // request path -> how many requests get status 500
};

// Parses the command line; false with a message for the user.
bool ParseArguments(int argc, char** argv, Options& options, std::string& message);

class Service {
 public:
  explicit Service(Options options);
  ~Service();
  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;

  // Binds 127.0.0.1 and serves on a thread of its own; false with a message.
  bool Start(std::string& message);
  int Port() const;
  void Stop();
  // The paths of the requests received so far, in order.
  std::vector<std::string> RequestedPaths() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Code page 949 <-> UTF-8 for the texts the service reads and sends.
std::string Utf8ToCp949(const std::string& text);
std::string Cp949ToUtf8(const std::string& text);

}  // namespace vendor
