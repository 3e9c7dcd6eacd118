// The vendor's web service, served locally on 127.0.0.1 from a site folder: the login check,
// the download notices, and the files of every vendor host.
#pragma once
#include <map>
#include <memory>
#include <optional>
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
  // The body of Sorvel's event code file (kEventCodePath) in place of the site's file.
  std::optional<std::string> eventCode;
};

// Sorvel's event code file.
extern const char* const kEventCodePath;
// The event code file that announces an index: "#!#" and the index.
std::string EventCode(long long index);

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

  // Changes Options::eventCode while the service runs (nullopt: the site's file again).
  void SetEventCode(std::optional<std::string> code);
  // Every request so far as host and target ("splash.quorvex.example/pavo/splash/index.html").
  std::vector<std::string> Requests() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Code page 949 <-> UTF-8 for the texts the service reads and sends.
std::string Utf8ToCp949(const std::string& text);
std::string Cp949ToUtf8(const std::string& text);

}  // namespace vendor
