#include "VendorService.h"

#include <httplib.h>
#include <iconv.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace vendor {

namespace {

const char kLoginPath[] = "/pavoTrelm/pavoChkRegist.mms";
const char kUsage[] =
    "usage: vendor-service --site DIR --port N [--log FILE] [--no-content-length PATH] "
    "[--throttle PATH:BYTES_PER_SECOND] [--fail PATH:COUNT] [--event-index N]";
const char kNoticePath[] = "/pavoTrelm/pavoChkDown.mms";

std::string Convert(const std::string& text, const char* to, const char* from) {
  iconv_t cd = iconv_open(to, from);
  if (cd == iconv_t(-1)) return text;
  std::string out;
  std::vector<char> buf(text.size() * 2 + 16);
  char* in = const_cast<char*>(text.data());
  size_t inLeft = text.size();
  while (inLeft > 0) {
    char* o = buf.data();
    size_t oLeft = buf.size();
    size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
    out.append(buf.data(), size_t(o - buf.data()));
    if (r == size_t(-1) && errno != E2BIG) {  // a byte that has no counterpart
      out += '?';
      ++in;
      --inLeft;
    }
  }
  iconv_close(cd);
  return out;
}

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return std::string();
  size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// users.ini: one section per user ID with PASSWORD and REPLY1, REPLY2, ... (the lines of the
// login reply); [*unknown] and [*password] hold the replies for an unknown ID and a wrong
// password.
struct User {
  std::string password;
  std::vector<std::string> reply;
};

std::map<std::string, User> ReadUsers(const std::string& path) {
  std::map<std::string, User> users;
  std::ifstream in(path);
  std::string line, section;
  std::map<int, std::string> lines;
  auto flush = [&] {
    if (section.empty()) return;
    User& u = users[section];
    for (auto& [n, text] : lines) u.reply.push_back(text);
    lines.clear();
  };
  while (std::getline(in, line)) {
    line = Trim(line);
    if (line.empty() || line[0] == ';') continue;
    if (line.front() == '[' && line.back() == ']') {
      flush();
      section = Lower(Trim(line.substr(1, line.size() - 2)));
      users[section];
      continue;
    }
    size_t eq = line.find('=');
    if (eq == std::string::npos || section.empty()) continue;
    std::string key = Lower(Trim(line.substr(0, eq)));
    std::string value = Trim(line.substr(eq + 1));
    if (key == "password")
      users[section].password = value;
    else if (key.rfind("reply", 0) == 0)
      lines[std::atoi(key.c_str() + 5)] = value;
  }
  flush();
  return users;
}

bool IsText(const std::string& ext) {
  static const std::set<std::string> text = {".html", ".htm", ".txt", ".ini", ".inf", ".mms", ".css", ".js"};
  return text.count(ext) != 0;
}

std::string MimeType(const std::string& ext) {
  if (ext == ".html" || ext == ".htm") return "text/html; charset=euc-kr";
  if (ext == ".css") return "text/css; charset=euc-kr";
  if (ext == ".js") return "application/javascript; charset=euc-kr";
  if (IsText(ext)) return "text/plain; charset=euc-kr";
  if (ext == ".zip") return "application/zip";
  if (ext == ".png") return "image/png";
  if (ext == ".gif") return "image/gif";
  if (ext == ".jpg" || ext == ".jpeg") return "image/jpeg";
  return "application/octet-stream";
}

std::string HttpDate(std::time_t t) {
  char buf[64];
  std::tm tm{};
  gmtime_r(&t, &tm);
  std::strftime(buf, sizeof buf, "%a, %d %b %Y %H:%M:%S GMT", &tm);
  return buf;
}

// A request path as folder components; false for anything that could leave the site.
bool SafeComponents(const std::string& path, std::vector<std::string>& parts) {
  if (path.empty() || path[0] != '/') return false;
  if (path.find('\\') != std::string::npos || path.find('\0') != std::string::npos) return false;
  std::stringstream in(path);
  std::string part;
  while (std::getline(in, part, '/')) {
    if (part.empty()) continue;
    if (part == "." || part == "..") return false;
    parts.push_back(part);
  }
  return true;
}

}  // namespace

const char* const kEventCodePath = "/pavo/splash/SorvelEvent_Code.txt";

std::string EventCode(long long index) { return "#!#" + std::to_string(index) + "\r\n"; }

std::string Utf8ToCp949(const std::string& text) { return Convert(text, "CP949", "UTF-8"); }
std::string Cp949ToUtf8(const std::string& text) { return Convert(text, "UTF-8", "CP949"); }

bool ParseArguments(int argc, char** argv, Options& options, std::string& message) {
  const std::string usage = kUsage;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    std::string v;
    if (arg == "--help" || arg == "-h") {
      message = usage;
      return false;
    } else if (arg == "--site" && value(v)) {
      options.site = v;
    } else if (arg == "--port" && value(v)) {
      char* end = nullptr;
      long port = std::strtol(v.c_str(), &end, 10);
      if (v.empty() || *end || port < 0 || port > 65535) {
        message = "vendor-service: bad port " + v;
        return false;
      }
      options.port = int(port);
    } else if (arg == "--log" && value(v)) {
      options.log = v;
    } else if (arg == "--no-content-length" && value(v)) {
      options.noContentLength.insert(v);
    } else if (arg == "--throttle" && value(v)) {
      size_t colon = v.rfind(':');
      char* end = nullptr;
      long long bps = colon == std::string::npos ? 0 : std::strtoll(v.c_str() + colon + 1, &end, 10);
      if (colon == std::string::npos || colon == 0 || *end || bps < 1) {
        message = "vendor-service: bad throttle " + v + " (PATH:BYTES_PER_SECOND)";
        return false;
      }
      options.throttle[v.substr(0, colon)] = bps;
    } else if (arg == "--fail" && value(v)) {
      size_t colon = v.rfind(':');
      char* end = nullptr;
      long count = colon == std::string::npos ? 0 : std::strtol(v.c_str() + colon + 1, &end, 10);
      if (colon == std::string::npos || colon == 0 || *end || count < 1) {
        message = "vendor-service: bad fail " + v + " (PATH:COUNT)";
        return false;
      }
      options.failFirst[v.substr(0, colon)] = int(count);
    } else if (arg == "--event-index" && value(v)) {
      char* end = nullptr;
      long long index = std::strtoll(v.c_str(), &end, 10);
      if (v.empty() || *end) {
        message = "vendor-service: bad event index " + v;
        return false;
      }
      options.eventCode = EventCode(index);
    } else {
      message = "vendor-service: unknown or incomplete argument " + arg + "\n" + usage;
      return false;
    }
  }
  if (options.site.empty()) {
    message = usage;
    return false;
  }
  if (!fs::is_directory(options.site)) {
    message = "vendor-service: no site folder " + options.site;
    return false;
  }
  return true;
}

struct Service::Impl {
  Options options;
  std::unique_ptr<httplib::Server> server;
  std::thread thread;
  int port = 0;
  std::mutex logLock;
  mutable std::mutex stateLock;  // eventCode and requests
  std::vector<std::string> requests;

  void Log(const std::string& line) {
    std::lock_guard<std::mutex> guard(logLock);
    std::cerr << "vendor-service: " << line << std::endl;
  }

  void Notice(const httplib::Request& req) {
    std::string line = "D1=" + Cp949ToUtf8(req.get_param_value("D1")) + " D4=" +
                       Cp949ToUtf8(req.get_param_value("D4")) + " D5=" + Cp949ToUtf8(req.get_param_value("D5"));
    Log("notice " + line);
    if (options.log.empty()) return;
    std::lock_guard<std::mutex> guard(logLock);
    std::ofstream out(options.log, std::ios::app);
    out << line << "\n";
  }

  // The first requests of a path named by --fail fail.
  bool FailNow(const std::string& path) {
    std::lock_guard<std::mutex> guard(logLock);
    auto it = options.failFirst.find(path);
    if (it == options.failFirst.end() || it->second <= 0) return false;
    --it->second;
    return true;
  }

  std::string LoginReply(const httplib::Request& req) {
    std::map<std::string, User> users = ReadUsers((fs::path(options.site) / "users.ini").string());
    std::string id = Lower(Cp949ToUtf8(req.get_param_value("D1")));
    std::string password = Cp949ToUtf8(req.get_param_value("D2"));
    const User* reply = nullptr;
    auto it = id.empty() || id[0] == '*' ? users.end() : users.find(id);
    if (it == users.end()) {
      if (users.count("*unknown")) reply = &users["*unknown"];
    } else if (it->second.password != password) {
      if (users.count("*password")) reply = &users["*password"];
    } else {
      reply = &it->second;
    }
    std::string text;
    if (reply)
      for (const std::string& line : reply->reply) text += line + "\r\n";
    if (text.empty()) text = "#!#999|users.ini has no reply for this case|\r\n";
    return Utf8ToCp949(text);
  }

  // The file of a request: site/<host>/<path>, or for a host without a folder of its own the
  // first host folder that has the path. Directories answer with their index.html.
  fs::path Resolve(const std::string& host, const std::vector<std::string>& parts) {
    auto inHost = [&](const fs::path& root) {
      fs::path p = root;
      for (const std::string& part : parts) p /= part;
      if (fs::is_directory(p)) p /= "index.html";
      return fs::is_regular_file(p) ? p : fs::path();
    };
    fs::path site(options.site);
    if (!host.empty() && host.find('/') == std::string::npos && host != "." && host != ".." &&
        fs::is_directory(site / host))
      return inHost(site / host);
    std::vector<fs::path> hosts;
    for (const auto& e : fs::directory_iterator(site))
      if (e.is_directory()) hosts.push_back(e.path());
    std::sort(hosts.begin(), hosts.end());
    for (const fs::path& h : hosts)
      if (fs::path p = inHost(h); !p.empty()) return p;
    return fs::path();
  }

  void Serve(const httplib::Request& req, httplib::Response& res) {
    std::string host = Lower(req.get_header_value("Host"));
    if (size_t colon = host.find(':'); colon != std::string::npos) host.erase(colon);
    std::string body;
    bool isFile = false;
    fs::path file;
    std::string mime = "text/plain; charset=euc-kr";
    std::optional<std::string> eventCode;
    {
      std::lock_guard<std::mutex> guard(stateLock);
      requests.push_back(host + req.target);
      eventCode = options.eventCode;
    }

    if (FailNow(req.path)) {
      res.status = 500;
      res.set_content("Internal Server Error", "text/plain");
      Log("GET " + host + req.path + " 500");
      return;
    }
    if (req.path == kLoginPath) {
      body = LoginReply(req);
    } else if (req.path == kNoticePath) {
      Notice(req);
      body = "#!#OK\r\n";
    } else if (req.path == kEventCodePath && eventCode) {
      // No Last-Modified: a cached copy is never taken for the current code.
      body = *eventCode;
    } else {
      std::vector<std::string> parts;
      if (!SafeComponents(req.path, parts) || (file = Resolve(host, parts)).empty()) {
        res.status = 404;
        res.set_content("Not Found", "text/plain");
        Log("GET " + host + req.path + " 404");
        return;
      }
      std::string ext = Lower(file.extension().string());
      mime = MimeType(ext);
      std::time_t mtime = 0;
      struct stat st {};
      if (::stat(file.c_str(), &st) == 0) mtime = st.st_mtime;
      std::string modified = HttpDate(mtime);
      res.set_header("Last-Modified", modified);
      if (req.get_header_value("If-Modified-Since") == modified) {
        res.status = 304;
        Log("GET " + host + req.path + " 304");
        return;
      }
      if (IsText(ext)) {
        std::ifstream in(file, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        body = Utf8ToCp949(ss.str());
      } else {
        isFile = true;
      }
    }
    Log("GET " + host + req.target + " 200");

    long long size = isFile ? (long long)fs::file_size(file) : (long long)body.size();
    auto throttle = options.throttle.find(req.path);
    long long bps = throttle == options.throttle.end() ? 0 : throttle->second;
    bool noLength = options.noContentLength.count(req.path) != 0;
    if (!isFile && bps == 0 && !noLength) {
      res.set_content(body, mime);
      return;
    }
    // Bodies that stream: files, throttled or unannounced replies.
    auto source = std::make_shared<std::ifstream>();
    if (isFile) source->open(file, std::ios::binary);
    auto text = std::make_shared<std::string>(std::move(body));
    auto send = [source, text, isFile, bps, size](size_t offset, size_t length, httplib::DataSink& sink) {
      size_t slice = bps > 0 ? size_t(std::max<long long>(1, bps / 20)) : size_t(64 * 1024);
      size_t n = std::min({length, slice, size_t(size - (long long)offset)});
      std::vector<char> chunk(n);
      if (isFile) {
        source->seekg((std::streamoff)offset);
        source->read(chunk.data(), (std::streamsize)n);
        if (size_t(source->gcount()) != n) return false;
      } else {
        std::copy_n(text->data() + offset, n, chunk.data());
      }
      if (!sink.write(chunk.data(), n)) return false;
      if (bps > 0) std::this_thread::sleep_for(std::chrono::microseconds((long long)n * 1000000 / bps));
      return true;
    };
    if (noLength) {
      res.set_chunked_content_provider(mime, [send, size](size_t offset, httplib::DataSink& sink) {
        if ((long long)offset >= size) {
          sink.done();
          return true;
        }
        return send(offset, size_t(size) - offset, sink);
      });
    } else {
      res.set_content_provider(size_t(size), mime, send);
    }
  }
};

Service::Service(Options options) : impl_(std::make_unique<Impl>()) { impl_->options = std::move(options); }

Service::~Service() { Stop(); }


bool Service::Start(std::string& message) {
  impl_->server = std::make_unique<httplib::Server>();
  Impl* impl = impl_.get();
  impl->server->Get(".*", [impl](const httplib::Request& req, httplib::Response& res) { impl->Serve(req, res); });
  if (impl->options.port == 0) {
    impl->port = impl->server->bind_to_any_port("127.0.0.1");
  } else {
    impl->port = impl->server->bind_to_port("127.0.0.1", impl->options.port) ? impl->options.port : -1;
  }
  if (impl->port <= 0) {
    message = "vendor-service: cannot listen on 127.0.0.1:" + std::to_string(impl->options.port);
    return false;
  }
  impl->thread = std::thread([impl] { impl->server->listen_after_bind(); });
  return true;
}

int Service::Port() const { return impl_->port; }

void Service::SetEventCode(std::optional<std::string> code) {
  std::lock_guard<std::mutex> guard(impl_->stateLock);
  impl_->options.eventCode = std::move(code);
}

std::vector<std::string> Service::Requests() const {
  std::lock_guard<std::mutex> guard(impl_->stateLock);
  return impl_->requests;
}

void Service::Stop() {
  if (impl_->server) impl_->server->stop();
  if (impl_->thread.joinable()) impl_->thread.join();
}

}  // namespace vendor
