// What a caller of the WinINet subset sees: handles, options, status and headers, reading,
// faults of the server, time-outs, the URL cache and the connection state.
#include <gtest/gtest.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "CachingProxy.h"
#include "HttpTestServer.h"
#include "inetplat.h"
#include "windows.h"
#include "wininet.h"

using testsupport::CachingProxy;
using testsupport::HttpReply;
using testsupport::HttpRequest;
using testsupport::HttpTestServer;

namespace {

class InternetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("inet-test-" + std::to_string(getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    setenv("WINPLAT_CACHE_DIR", (dir_ / "cache").c_str(), 1);
    unsetenv("WINPLAT_CONNECT_TO");
  }
  void TearDown() override {
    for (HINTERNET h : {url_, session_})
      if (h) InternetCloseHandle(h);
    std::filesystem::remove_all(dir_);
  }

  HINTERNET Session(DWORD flags = 0) {
    session_ = InternetOpenA("InetTest", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, flags);
    return session_;
  }
  HINTERNET Open(const std::string& url, DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE) {
    if (!session_) Session();
    url_ = InternetOpenUrlA(session_, url.c_str(), nullptr, 0, flags, 0);
    return url_;
  }
  void CloseUrl() {
    if (url_) InternetCloseHandle(url_);
    url_ = nullptr;
  }
  void SetSessionOption(DWORD option, DWORD value) {
    ASSERT_TRUE(InternetSetOptionA(session_, option, &value, sizeof value));
  }

  static std::string Query(HINTERNET h, DWORD level) {
    char buf[256];
    DWORD len = sizeof buf;
    if (!HttpQueryInfoA(h, level, buf, &len, nullptr)) return "<error " + std::to_string(GetLastError()) + ">";
    return std::string(buf, len);
  }

  // Reads the whole body the way the download component does; false when a call failed.
  static bool ReadAll(HINTERNET h, std::string& body, DWORD& error, DWORD packet = 4096) {
    std::string chunk(packet, '\0');
    for (;;) {
      DWORD avail = 0;
      if (!InternetQueryDataAvailable(h, &avail, 0, 0)) {
        error = GetLastError();
        return false;
      }
      DWORD n = avail > packet ? packet : avail;
      DWORD read = 0;
      if (!InternetReadFile(h, chunk.data(), n, &read)) {
        error = GetLastError();
        return false;
      }
      if (read == 0) return true;
      body.append(chunk.data(), read);
    }
  }

  std::filesystem::path dir_;
  HINTERNET session_ = nullptr;
  HINTERNET url_ = nullptr;
};

TEST_F(InternetTest, FetchesBodyStatusAndHeaders) {
  HttpTestServer server([](const HttpRequest&) {
    HttpReply r = HttpReply::Text("hello world");
    r.headers.push_back({"Content-Type", "text/plain"});
    return r;
  });
  ASSERT_NE(Open(server.Url("/a/b.txt?x=1")), nullptr) << GetLastError();
  EXPECT_EQ(Query(url_, HTTP_QUERY_STATUS_CODE), "200");
  EXPECT_EQ(Query(url_, HTTP_QUERY_CONTENT_LENGTH), "11");
  EXPECT_EQ(Query(url_, HTTP_QUERY_CONTENT_TYPE), "text/plain");
  std::string body;
  DWORD error = 0;
  ASSERT_TRUE(ReadAll(url_, body, error, 4));
  EXPECT_EQ(body, "hello world");
  ASSERT_EQ(server.RequestCount(), 1);
  HttpRequest req = server.Requests()[0];
  EXPECT_EQ(req.method, "GET");
  EXPECT_EQ(req.target, "/a/b.txt?x=1");
  EXPECT_EQ(req.Header("User-Agent"), "InetTest");
}

TEST_F(InternetTest, QueryInfoCopiesTextAndReportsMissingOrSmallBuffers) {
  HttpTestServer server([](const HttpRequest&) {
    HttpReply r = HttpReply::Text("12345");
    r.contentLength = false;  // ended by the close
    return r;
  });
  ASSERT_NE(Open(server.Url("/")), nullptr);
  char buf[8];
  DWORD len = sizeof buf;
  EXPECT_FALSE(HttpQueryInfoA(url_, HTTP_QUERY_CONTENT_LENGTH, buf, &len, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_HTTP_HEADER_NOT_FOUND));

  len = 3;  // "200" needs 4 bytes with its terminator
  EXPECT_FALSE(HttpQueryInfoA(url_, HTTP_QUERY_STATUS_CODE, buf, &len, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(len, 4u);
  len = 4;
  ASSERT_TRUE(HttpQueryInfoA(url_, HTTP_QUERY_STATUS_CODE, buf, &len, nullptr));
  EXPECT_EQ(len, 3u);
  EXPECT_STREQ(buf, "200");

  DWORD number = 0;
  len = sizeof number;
  ASSERT_TRUE(HttpQueryInfoA(url_, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &number, &len, nullptr));
  EXPECT_EQ(number, 200u);

  len = sizeof buf;
  EXPECT_FALSE(HttpQueryInfoA(url_, 9999, buf, &len, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_HTTP_INVALID_QUERY_REQUEST));

  std::string body;
  DWORD error = 0;
  ASSERT_TRUE(ReadAll(url_, body, error));
  EXPECT_EQ(body, "12345");
}

// Numbers of headers in 32 or 64 bits: a length past 4 GiB is read whole in 64 bits, and the
// 32-bit form answers the largest number rather than a wrapped small one.
TEST_F(InternetTest, QueryInfoNumbersPastFourGiB) {
  const struct {
    const char* length;
    DWORD narrow;
    ULONGLONG wide;
  } cases[] = {
      {"2200000000", 2200000000u, 2200000000ull},
      {"5000000000", 0xFFFFFFFFu, 5000000000ull},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.length);
    HttpTestServer server([&c](const HttpRequest&) {
      HttpReply r = HttpReply::Generated(10);
      r.contentLengthText = c.length;
      return r;
    });
    ASSERT_NE(Open(server.Url("/MAP.ZIP")), nullptr) << GetLastError();
    EXPECT_EQ(Query(url_, HTTP_QUERY_CONTENT_LENGTH), c.length);
    DWORD narrow = 0;
    DWORD len = sizeof narrow;
    ASSERT_TRUE(HttpQueryInfoA(url_, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &narrow, &len, nullptr));
    EXPECT_EQ(len, sizeof narrow);
    EXPECT_EQ(narrow, c.narrow);
    ULONGLONG wide = 0;
    len = sizeof narrow;  // too small for 64 bits
    EXPECT_FALSE(HttpQueryInfoA(url_, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER64, &wide, &len, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(len, sizeof wide);
    ASSERT_TRUE(HttpQueryInfoA(url_, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER64, &wide, &len, nullptr));
    EXPECT_EQ(wide, c.wide);
    CloseUrl();
  }
}

TEST_F(InternetTest, ReportsTheStatusOfEveryReplyWithItsBody) {
  struct Case {
    int status;
    const char* reason;
  };
  for (Case c : {Case{404, "Not Found"}, Case{500, "Internal Server Error"}, Case{403, "Forbidden"},
                 Case{204, "No Content"}}) {
    SCOPED_TRACE(c.status);
    HttpTestServer server([c](const HttpRequest&) {
      HttpReply r = HttpReply::Status(c.status, c.reason);
      if (c.status == 204) r.body.clear();
      return r;
    });
    ASSERT_NE(Open(server.Url("/x")), nullptr) << GetLastError();
    EXPECT_EQ(Query(url_, HTTP_QUERY_STATUS_CODE), std::to_string(c.status));
    EXPECT_EQ(Query(url_, HTTP_QUERY_STATUS_TEXT), c.reason);
    std::string body;
    DWORD error = 0;
    EXPECT_TRUE(ReadAll(url_, body, error));
    EXPECT_EQ(body, c.status == 204 ? "" : c.reason);
    CloseUrl();
  }
}

TEST_F(InternetTest, FollowsRedirectsUnlessTold) {
  HttpTestServer server([](const HttpRequest& req) {
    if (req.path == "/old") {
      HttpReply r = HttpReply::Status(302, "Found");
      r.headers.push_back({"Location", "/new"});
      return r;
    }
    return HttpReply::Text("moved here");
  });
  ASSERT_NE(Open(server.Url("/old")), nullptr) << GetLastError();
  EXPECT_EQ(Query(url_, HTTP_QUERY_STATUS_CODE), "200");
  std::string body;
  DWORD error = 0;
  ASSERT_TRUE(ReadAll(url_, body, error));
  EXPECT_EQ(body, "moved here");
  EXPECT_EQ(server.RequestCount(), 2);
  CloseUrl();

  ASSERT_NE(Open(server.Url("/old"), INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_AUTO_REDIRECT), nullptr);
  EXPECT_EQ(Query(url_, HTTP_QUERY_STATUS_CODE), "302");
  EXPECT_EQ(Query(url_, HTTP_QUERY_LOCATION), "/new");
}

TEST_F(InternetTest, EndlessRedirectsFail) {
  HttpTestServer server([](const HttpRequest&) {
    HttpReply r = HttpReply::Status(302, "Found");
    r.headers.push_back({"Location", "/again"});
    return r;
  });
  EXPECT_EQ(Open(server.Url("/again")), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_HTTP_REDIRECT_FAILED));
}

TEST_F(InternetTest, ReadsBodiesWithoutLengthAndChunked) {
  const std::string big = HttpTestServer::PatternBody(0, 300000);
  for (bool chunked : {false, true}) {
    SCOPED_TRACE(chunked ? "chunked" : "close-delimited");
    HttpTestServer server([&](const HttpRequest&) {
      HttpReply r = HttpReply::Text(big);
      r.contentLength = false;
      r.chunked = chunked;
      r.chunkSize = 7000;
      return r;
    });
    ASSERT_NE(Open(server.Url("/")), nullptr);
    std::string body;
    DWORD error = 0;
    ASSERT_TRUE(ReadAll(url_, body, error, 40960));
    EXPECT_EQ(body.size(), big.size());
    EXPECT_TRUE(body == big);
    CloseUrl();
  }
}

TEST_F(InternetTest, ReadFileFillsTheBufferAcrossPackets) {
  HttpTestServer server([](const HttpRequest&) {
    HttpReply r = HttpReply::Generated(100000);
    r.chunkSize = 1000;
    return r;
  });
  ASSERT_NE(Open(server.Url("/")), nullptr);
  std::string buf(60000, '\0');
  DWORD read = 0;
  ASSERT_TRUE(InternetReadFile(url_, buf.data(), DWORD(buf.size()), &read));
  EXPECT_EQ(read, 60000u);
  EXPECT_TRUE(buf == HttpTestServer::PatternBody(0, 60000));
  ASSERT_TRUE(InternetReadFile(url_, buf.data(), DWORD(buf.size()), &read));
  EXPECT_EQ(read, 40000u);
  ASSERT_TRUE(InternetReadFile(url_, buf.data(), DWORD(buf.size()), &read));
  EXPECT_EQ(read, 0u);
}

// Bodies several times the transfer's buffer go round it many times, stopping and starting the
// transfer; every byte must come out once and in order, to the reader and to the cache.
TEST_F(InternetTest, LargeBodiesArriveIntactWhateverThePacketSize) {
  const long long size = 3 * 1024 * 1024 + 4321;
  const std::string expected = HttpTestServer::PatternBody(0, size);
  struct Case {
    DWORD packet;
    bool chunked;
    size_t serverChunk;
  };
  for (Case c : {Case{997, false, 64 * 1024}, Case{40960, false, 30000}, Case{40960, true, 100000},
                 Case{700001, false, 256 * 1024}, Case{4096, true, 1500}}) {
    SCOPED_TRACE(::testing::Message() << "packet " << c.packet << (c.chunked ? " chunked" : ""));
    HttpTestServer server([&](const HttpRequest&) {
      HttpReply r = HttpReply::Generated(size);
      r.chunked = c.chunked;
      r.chunkSize = c.serverChunk;
      return r;
    });
    std::string url = server.Url("/big.ZIP");
    ASSERT_NE(Open(url, INTERNET_FLAG_RELOAD), nullptr) << GetLastError();
    std::string body;
    DWORD error = 0;
    ASSERT_TRUE(ReadAll(url_, body, error, c.packet)) << error;
    EXPECT_EQ(body.size(), expected.size());
    EXPECT_TRUE(body == expected);
    CloseUrl();

    url_ = InternetOpenUrlA(session_, url.c_str(), nullptr, 0, INTERNET_FLAG_FROM_CACHE, 0);
    ASSERT_NE(url_, nullptr) << GetLastError();
    std::string cached;
    ASSERT_TRUE(ReadAll(url_, cached, error, c.packet)) << error;
    EXPECT_TRUE(cached == expected);
    CloseUrl();
  }
}

// A body that ends before its Content-Length ends the reading like a complete one: the caller
// sees the short count. Without a length to compare with, a cut chunked body and a reset are
// failures.
TEST_F(InternetTest, BodyEndingEarly) {
  struct Case {
    const char* name;
    bool chunked;
    bool reset;
    bool readOk;
    DWORD error;
  };
  for (Case c : {Case{"short with length", false, false, true, 0},
                 Case{"short chunked", true, false, false, ERROR_INTERNET_CONNECTION_ABORTED},
                 Case{"reset with length", false, true, false, ERROR_INTERNET_CONNECTION_RESET}}) {
    SCOPED_TRACE(c.name);
    HttpTestServer server([c](const HttpRequest&) {
      HttpReply r = HttpReply::Generated(50000);
      r.chunked = c.chunked;
      r.cutAfter = 20000;
      r.reset = c.reset;
      r.chunkSize = 10000;
      r.chunkDelayMs = c.reset ? 20 : 0;
      return r;
    });
    ASSERT_NE(Open(server.Url("/")), nullptr) << GetLastError();
    std::string body;
    DWORD error = 0;
    EXPECT_EQ(ReadAll(url_, body, error), c.readOk);
    EXPECT_EQ(error, c.error);
    EXPECT_LE(body.size(), 20000u);
    if (c.readOk) {
      EXPECT_EQ(body.size(), 20000u);
    }
    CloseUrl();
  }
}

TEST_F(InternetTest, MoreBytesThanAnnouncedAreNotDelivered) {
  HttpTestServer server([](const HttpRequest&) {
    HttpReply r = HttpReply::Text("0123456789abcdef");
    r.contentLengthText = "10";
    return r;
  });
  ASSERT_NE(Open(server.Url("/")), nullptr);
  std::string body;
  DWORD error = 0;
  ASSERT_TRUE(ReadAll(url_, body, error));
  EXPECT_EQ(body, "0123456789");
}

TEST_F(InternetTest, BrokenRepliesFailTheOpen) {
  struct Case {
    const char* name;
    std::string head;
    bool sendHead;
    DWORD error;
  };
  for (const Case& c : {Case{"not http", "garbage garbage\r\n\r\n", true, ERROR_HTTP_INVALID_SERVER_RESPONSE},
                        Case{"negative length", "HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\n", true,
                             ERROR_HTTP_INVALID_SERVER_RESPONSE},
                        Case{"nothing", "", false, ERROR_INTERNET_CONNECTION_ABORTED}}) {
    SCOPED_TRACE(c.name);
    HttpTestServer server([&c](const HttpRequest&) {
      HttpReply r;
      r.rawHead = c.head;
      r.sendHead = c.sendHead;
      r.body.clear();
      return r;
    });
    EXPECT_EQ(Open(server.Url("/")), nullptr);
    EXPECT_EQ(GetLastError(), c.error);
  }
}

TEST_F(InternetTest, UnreachablePortFailsWithOneConnectAttempt) {
  int port = HttpTestServer::UnusedPort();
  Session();
  unsigned long before = winplat::InternetConnectAttempts();
  EXPECT_EQ(Open("http://127.0.0.1:" + std::to_string(port) + "/x"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INTERNET_CANNOT_CONNECT));
  EXPECT_EQ(winplat::InternetConnectAttempts() - before, 1u);
}

// A server that sends a header line now and then is as silent as one that sends nothing: the
// time-out bounds the headers as a whole.
TEST_F(InternetTest, ReceiveTimeoutEndsASilentServer) {
  struct Case {
    const char* name;
    bool headers;
    int headerLineDelayMs;
  };
  for (Case c : {Case{"before the headers", false, 0}, Case{"in the body", true, 0},
                 Case{"header lines paced", false, 100}}) {
    SCOPED_TRACE(c.name);
    HttpTestServer server([c](const HttpRequest&) {
      HttpReply r = HttpReply::Generated(100000);
      r.cutAfter = 1000;
      r.hang = true;
      if (c.headerLineDelayMs > 0) {
        // 60 lines over 6 s, each well within the time-out.
        for (int i = 0; i < 60; ++i) r.headers.push_back({"X-Line", std::to_string(i)});
        r.headerLineDelayMs = c.headerLineDelayMs;
      } else {
        r.sendHead = c.headers;
      }
      return r;
    });
    Session();
    SetSessionOption(INTERNET_OPTION_RECEIVE_TIMEOUT, 300);
    auto start = std::chrono::steady_clock::now();
    HINTERNET h = Open(server.Url("/"));
    DWORD error = 0;
    if (c.headers) {
      ASSERT_NE(h, nullptr);
      std::string body;
      EXPECT_FALSE(ReadAll(url_, body, error));
      EXPECT_EQ(body.size(), 1000u);
    } else {
      EXPECT_EQ(h, nullptr);
      error = GetLastError();
    }
    EXPECT_EQ(error, DWORD(ERROR_INTERNET_TIMEOUT));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    CloseUrl();
    InternetCloseHandle(session_);
    session_ = nullptr;
  }
}

// A body slower than about 1 KiB a second for a whole receive time-out ends as a silent one
// does, although every byte would restart the time-out; an honest slow body arrives, and so
// does a fast one whose reader stops reading for longer than the time-out.
TEST_F(InternetTest, ReceiveTimeoutEndsADripButNotASlowBodyOrASlowReader) {
  const struct {
    const char* name;
    long long size;
    bool contentLength;
    size_t chunkSize;
    int chunkDelayMs;
    int readerPauseMs;  // once, after the first packet
    bool arrives;
    DWORD timeoutMs = 1000;
  } cases[] = {
      {"a byte every 50 ms, announced", 400, true, 1, 50, 0, false},
      {"a byte every 50 ms, close-delimited", 400, false, 1, 50, 0, false},
      {"4 KB a second", 12000, true, 400, 100, 0, true, 2000},
      {"a reader that pauses", 4 << 20, true, 64 * 1024, 0, 2500, true},
      // The bound is about 1 KiB in a receive time-out, not 1 KiB a second: 600 bytes a second
      // for longer than a 4 s time-out get through, 20 bytes a second do not.
      {"600 bytes a second, a 4 s time-out", 4800, true, 60, 100, 0, true, 4000},
      {"a byte every 50 ms, a 2 s time-out", 400, true, 1, 50, 0, false, 2000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HttpTestServer server([&c](const HttpRequest&) {
      HttpReply r = HttpReply::Generated(c.size);
      r.contentLength = c.contentLength;
      r.chunkSize = c.chunkSize;
      r.chunkDelayMs = c.chunkDelayMs;
      return r;
    });
    Session();
    SetSessionOption(INTERNET_OPTION_RECEIVE_TIMEOUT, c.timeoutMs);
    ASSERT_NE(Open(server.Url("/A.ZIP")), nullptr) << GetLastError();
    std::string body, chunk(4096, '\0');
    DWORD error = 0;
    bool ok = true;
    for (;;) {
      DWORD avail = 0, read = 0;
      if (!InternetQueryDataAvailable(url_, &avail, 0, 0) ||
          !InternetReadFile(url_, chunk.data(), std::min<DWORD>(avail, 4096), &read)) {
        ok = false;
        error = GetLastError();
        break;
      }
      if (read == 0) break;
      if (body.empty() && c.readerPauseMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(c.readerPauseMs));
      body.append(chunk.data(), read);
    }
    if (c.arrives) {
      EXPECT_TRUE(ok) << error;
      EXPECT_TRUE(body == HttpTestServer::PatternBody(0, c.size));
    } else {
      EXPECT_FALSE(ok);
      EXPECT_EQ(error, DWORD(ERROR_INTERNET_TIMEOUT));
      EXPECT_LT((long long)body.size(), c.size);
    }
    CloseUrl();
    InternetCloseHandle(session_);
    session_ = nullptr;
  }
}

// The transfer pauses while nobody reads: a huge body does not pile up in memory.
TEST_F(InternetTest, UnreadBodyStaysInBoundedBuffers) {
  HttpTestServer server([](const HttpRequest&) { return HttpReply::Generated(1LL << 30); });
  ASSERT_NE(Open(server.Url("/")), nullptr);
  DWORD avail = 0;
  for (int i = 0; i < 20; ++i) {
    ASSERT_TRUE(InternetQueryDataAvailable(url_, &avail, 0, 0));
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_GT(avail, 0u);
  EXPECT_LT(server.BodyBytesSent(), 64LL << 20);
  std::string buf(avail, '\0');
  DWORD read = 0;
  ASSERT_TRUE(InternetReadFile(url_, buf.data(), avail, &read));
  EXPECT_TRUE(buf.substr(0, read) == HttpTestServer::PatternBody(0, read));
  CloseUrl();
  server.Stop();
}

TEST_F(InternetTest, ConnectToMapsHostNames) {
  HttpTestServer server([](const HttpRequest&) { return HttpReply::Text("mapped"); });
  setenv("WINPLAT_CONNECT_TO", ("other.example:80:127.0.0.1:1," + server.ConnectTo("trelm.quorvex.example")).c_str(),
         1);
  ASSERT_NE(Open("http://trelm.quorvex.example/pavoTrelm/x"), nullptr) << GetLastError();
  std::string body;
  DWORD error = 0;
  ASSERT_TRUE(ReadAll(url_, body, error));
  EXPECT_EQ(body, "mapped");
  EXPECT_EQ(server.Requests().at(0).Header("Host"), "trelm.quorvex.example");
}

// The proxy setting, one for the transfers and the browser: either spelling of the name, an
// address with or without scheme, port and credentials, and the hosts that go round it.
TEST(ProxySetting, ReadFromEitherSpelling) {
  struct Case {
    const char* lower;
    const char* upper;
    const char* noProxy;
    const char* server;  // "" when there is no proxy
    const char* user;
    const char* password;
    std::vector<std::string> bypass;
  };
  for (const Case& c : {
           Case{nullptr, nullptr, nullptr, "", "", "", {}},
           Case{"http://proxy.corp:3128", nullptr, nullptr, "http://proxy.corp:3128", "", "", {}},
           Case{nullptr, "http://proxy.corp:3128/", nullptr, "http://proxy.corp:3128", "", "", {}},
           Case{nullptr, "Proxy.Corp", nullptr, "http://proxy.corp:80", "", "", {}},
           Case{"", "10.0.0.1:8080", nullptr, "http://10.0.0.1:8080", "", "", {}},
           Case{"http://first:1", "http://second:2", nullptr, "http://first:1", "", "", {}},
           Case{nullptr, "http://us%40er:p%3Ass@w@[fd00::1]:3128", nullptr, "http://[fd00::1]:3128", "us@er",
                "p:ss@w", {}},
           Case{"http://proxy.corp:bad", nullptr, nullptr, "", "", "", {}},
           Case{"http://proxy.corp:8080", nullptr, " .Corp.example, 10.1.2.3 ,,", "http://proxy.corp:8080", "", "",
                {"corp.example", "10.1.2.3"}},
           Case{"http://proxy.corp:8080", nullptr, "*.corp.example,intra.example.,*,.", "http://proxy.corp:8080", "",
                "", {"corp.example", "intra.example", "*"}},
       }) {
    SCOPED_TRACE(std::string(c.lower ? c.lower : "-") + " / " + (c.upper ? c.upper : "-"));
    for (auto [name, value] : {std::pair{"http_proxy", c.lower}, std::pair{"HTTP_PROXY", c.upper},
                               std::pair{"no_proxy", c.noProxy}, std::pair{"NO_PROXY", (const char*)nullptr}}) {
      if (value)
        setenv(name, value, 1);
      else
        unsetenv(name);
    }
    winplat::InternetProxySetting proxy = winplat::InternetProxy();
    EXPECT_EQ(proxy.Set() ? proxy.Server() : "", c.server);
    EXPECT_EQ(proxy.user, c.user);
    EXPECT_EQ(proxy.password, c.password);
    EXPECT_EQ(proxy.bypass, c.bypass);
  }

  // Hosts round the proxy: loopback, and what no_proxy names with the domains below it.
  setenv("http_proxy", "proxy.corp:3128", 1);
  for (auto [noProxy, host, bypassed] : {std::tuple{"", "localhost", true},
                                         std::tuple{"", "127.0.0.1", true},
                                         std::tuple{"", "[::1]", true},
                                         std::tuple{"", "update.quorvex.example", false},
                                         std::tuple{".corp.example,10.1.2.3", "corp.example", true},
                                         std::tuple{".corp.example,10.1.2.3", "www.corp.example", true},
                                         std::tuple{"corp.example", "www.corp.example", true},
                                         std::tuple{"corp.example", "badcorp.example", false},
                                         std::tuple{".corp.example,10.1.2.3", "10.1.2.3", true},
                                         std::tuple{".corp.example,10.1.2.3", "10.1.2.30", false},
                                         std::tuple{"*.corp.example", "www.corp.example", true},
                                         std::tuple{"corp.example.", "www.corp.example", true},
                                         std::tuple{"", "127.corp.example", false},
                                         std::tuple{"", "127.0.0.2", true},
                                         std::tuple{"*", "update.quorvex.example", true}}) {
    SCOPED_TRACE(std::string(noProxy) + " / " + host);
    setenv("no_proxy", noProxy, 1);
    EXPECT_EQ(winplat::InternetProxy().Bypasses(host), bypassed);
  }
  for (const char* name : {"http_proxy", "HTTP_PROXY", "no_proxy"}) unsetenv(name);
}

// Preconfigured access follows the layer's proxy setting whichever spelling names it, with the
// credentials of its address; the hosts of no_proxy or NO_PROXY, loopback addresses and direct
// access go round it.
TEST_F(InternetTest, PreconfiguredAccessFollowsTheProxySettingInEitherSpelling) {
  struct Env {
    ~Env() {
      for (const char* name : {"http_proxy", "HTTP_PROXY", "no_proxy", "NO_PROXY"}) unsetenv(name);
      unsetenv("WINPLAT_CONNECT_TO");
    }
  } restore;
  CachingProxy proxy([](const HttpRequest&) { return HttpReply::Text("via proxy"); });
  proxy.RequireCredentials("navi user", "p@ss:word");
  HttpTestServer origin([](const HttpRequest&) { return HttpReply::Text("direct"); });
  const std::string address = "navi%20user:p%40ss%3Aword@" + proxy.HostPort();
  const std::string far = "http://update.quorvex.example/pavo/_Movrant/Version.inf";
  // Sent round the proxy, the far host reaches the origin through the host mapping.
  setenv("WINPLAT_CONNECT_TO", origin.ConnectTo("update.quorvex.example").c_str(), 1);
  struct Case {
    const char* name;
    const char* variable;
    std::string value;
    const char* bypassVariable;
    const char* bypass;
    std::string url;
    const char* body;
    DWORD access = INTERNET_OPEN_TYPE_PRECONFIG;
  };
  for (const Case& c : {
           Case{"lower case", "http_proxy", "http://" + address, nullptr, nullptr, far, "via proxy"},
           Case{"capitals", "HTTP_PROXY", "http://" + address, nullptr, nullptr, far, "via proxy"},
           Case{"capitals without scheme", "HTTP_PROXY", address, nullptr, nullptr, far, "via proxy"},
           Case{"bypassed in capitals", "HTTP_PROXY", "http://" + address, "NO_PROXY", "quorvex.example", far,
                "direct"},
           Case{"bypassed", "http_proxy", "http://" + address, "no_proxy", ".quorvex.example", far, "direct"},
           Case{"bypassed address", "http_proxy", "http://" + address, "no_proxy", "127.0.0.1", origin.Url("/x"),
                "direct"},
           Case{"loopback", "http_proxy", "http://" + address, nullptr, nullptr, origin.Url("/x"), "direct"},
           Case{"direct access", "http_proxy", "http://" + address, nullptr, nullptr, far, "direct",
                INTERNET_OPEN_TYPE_DIRECT},
       }) {
    SCOPED_TRACE(c.name);
    for (const char* name : {"http_proxy", "HTTP_PROXY", "no_proxy", "NO_PROXY"}) unsetenv(name);
    setenv(c.variable, c.value.c_str(), 1);
    if (c.bypassVariable) setenv(c.bypassVariable, c.bypass, 1);
    session_ = InternetOpenA("InetTest", c.access, nullptr, nullptr, 0);
    ASSERT_NE(session_, nullptr);
    ASSERT_NE(Open(c.url), nullptr) << GetLastError();
    EXPECT_EQ(Query(url_, HTTP_QUERY_STATUS_CODE), "200");
    std::string body;
    DWORD error = 0;
    ASSERT_TRUE(ReadAll(url_, body, error));
    EXPECT_EQ(body, c.body);
    CloseUrl();
    InternetCloseHandle(session_);
    session_ = nullptr;
  }
  EXPECT_EQ(proxy.Refused(), 0);  // the credentials went with the first request
  ASSERT_EQ(proxy.Forwarded().size(), 3u);
  for (const HttpRequest& r : proxy.Forwarded()) EXPECT_EQ(r.target, far);  // asked for the whole address
  EXPECT_EQ(origin.RequestCount(), 5);
}

TEST_F(InternetTest, HandlesAndOptions) {
  DWORD value = 100;
  EXPECT_TRUE(InternetSetOptionA(nullptr, INTERNET_OPTION_MAX_CONNS_PER_1_0_SERVER, &value, sizeof value));
  EXPECT_TRUE(InternetSetOptionA(nullptr, INTERNET_OPTION_MAX_CONNS_PER_SERVER, &value, sizeof value));
  ASSERT_NE(Session(), nullptr);
  EXPECT_TRUE(InternetSetOptionA(session_, INTERNET_OPTION_CONNECT_TIMEOUT, &value, sizeof value));
  EXPECT_TRUE(InternetSetOptionA(session_, INTERNET_OPTION_CONNECT_RETRIES, &value, sizeof value));
  EXPECT_FALSE(InternetSetOptionA(session_, INTERNET_OPTION_CONNECT_TIMEOUT, &value, 2));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INTERNET_BAD_OPTION_LENGTH));
  EXPECT_FALSE(InternetSetOptionA(session_, 9999, &value, sizeof value));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INTERNET_INVALID_OPTION));
  HINTERNET bogus = reinterpret_cast<HINTERNET>(uintptr_t(0x1234));
  EXPECT_FALSE(InternetSetOptionA(bogus, INTERNET_OPTION_CONNECT_TIMEOUT, &value, sizeof value));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));

  DWORD avail = 0;
  EXPECT_FALSE(InternetQueryDataAvailable(session_, &avail, 0, 0));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INTERNET_INCORRECT_HANDLE_TYPE));

  EXPECT_EQ(InternetOpenUrlA(session_, "ftp://127.0.0.1/x", nullptr, 0, 0, 0), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INTERNET_UNRECOGNIZED_SCHEME));
  EXPECT_EQ(InternetOpenUrlA(session_, "no url at all", nullptr, 0, 0, 0), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INTERNET_UNRECOGNIZED_SCHEME));

  // Closing the session closes its open URLs.
  HttpTestServer server([](const HttpRequest&) { return HttpReply::Text("x"); });
  ASSERT_NE(Open(server.Url("/")), nullptr);
  EXPECT_TRUE(InternetCloseHandle(session_));
  session_ = nullptr;
  EXPECT_FALSE(InternetQueryDataAvailable(url_, &avail, 0, 0));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(InternetCloseHandle(url_));
  url_ = nullptr;
}

// ------------------------------------------------------------------ cache

class CacheTest : public InternetTest {
 protected:
  // Opens and reads in one go; the body, or "<fail code>" when the open failed.
  std::string Fetch(const std::string& url, DWORD flags, DWORD sessionFlags = 0) {
    HINTERNET s = InternetOpenA("InetTest", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, sessionFlags);
    HINTERNET h = InternetOpenUrlA(s, url.c_str(), nullptr, 0, flags, 0);
    std::string body;
    if (!h) {
      body = "<fail " + std::to_string(GetLastError()) + ">";
    } else {
      status = Query(h, HTTP_QUERY_STATUS_CODE);
      DWORD error = 0;
      if (!ReadAll(h, body, error)) body = "<read fail " + std::to_string(error) + ">";
      InternetCloseHandle(h);
    }
    InternetCloseHandle(s);
    return body;
  }
  std::string status;
};

TEST_F(CacheTest, OfflineServesOnlyFromTheCache) {
  HttpTestServer server([](const HttpRequest&) { return HttpReply::Text("cached body"); });
  std::string url = server.Url("/file.ini");
  const std::string missing = "<fail " + std::to_string(ERROR_FILE_NOT_FOUND) + ">";
  EXPECT_EQ(Fetch(url, 0, INTERNET_FLAG_OFFLINE), missing);
  EXPECT_EQ(server.RequestCount(), 0);

  EXPECT_EQ(Fetch(url, INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE), "cached body");
  EXPECT_EQ(Fetch(url, 0, INTERNET_FLAG_OFFLINE), missing);

  EXPECT_EQ(Fetch(url, INTERNET_FLAG_RELOAD), "cached body");
  EXPECT_EQ(server.RequestCount(), 2);
  server.Stop();
  EXPECT_EQ(Fetch(url, 0, INTERNET_FLAG_OFFLINE), "cached body");
  EXPECT_EQ(status, "200");
  EXPECT_EQ(Fetch(url, INTERNET_FLAG_FROM_CACHE), "cached body");
}

TEST_F(CacheTest, ResynchronizeRevalidatesTheCopy) {
  int version = 1;
  HttpTestServer server([&version](const HttpRequest& req) { return HttpReply::Versioned(req, version); });
  std::string url = server.Url("/Version.inf");
  EXPECT_EQ(Fetch(url, INTERNET_FLAG_RESYNCHRONIZE), "version 1");
  EXPECT_FALSE(server.Requests().back().HasHeader("If-None-Match"));

  EXPECT_EQ(Fetch(url, INTERNET_FLAG_RESYNCHRONIZE), "version 1");  // 304: from the cache
  EXPECT_EQ(status, "200");
  HttpRequest second = server.Requests().back();
  EXPECT_EQ(second.Header("If-None-Match"), "\"v1\"");
  EXPECT_EQ(second.Header("If-Modified-Since"), "Tue, 01 Dec 2026 10:00:00 GMT");

  version = 2;
  EXPECT_EQ(Fetch(url, INTERNET_FLAG_RESYNCHRONIZE), "version 2");
  EXPECT_EQ(Fetch(url, 0, INTERNET_FLAG_OFFLINE), "version 2");

  // RELOAD sends no validators.
  EXPECT_EQ(Fetch(url, INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE), "version 2");
  EXPECT_FALSE(server.Requests().back().HasHeader("If-None-Match"));
}

// Behind a caching proxy that still holds last month's copies: a reload goes to the origin
// (Cache-Control and Pragma no-cache) and a revalidation is checked there (max-age=0 beside the
// validators), so the newly published version arrives; an unchanged file still comes from the
// local cache after the origin's 304.
TEST_F(CacheTest, ThroughACachingProxyReloadAndResynchronizeReachTheOrigin) {
  struct Env {
    ~Env() { unsetenv("http_proxy"); }
  } restore;
  int version = 1;
  CachingProxy proxy([&version](const HttpRequest& req) { return HttpReply::Versioned(req, version); });
  setenv("http_proxy", proxy.Url().c_str(), 1);
  struct Case {
    const char* name;
    DWORD flags;
    int published;  // the origin's version at the second run
    const char* control;
    const char* pragma;
    bool validators;
  };
  const DWORD reload = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;
  for (const Case& c : {Case{"reload", reload, 2, "no-cache", "no-cache", false},
                        Case{"pragma no-cache", INTERNET_FLAG_PRAGMA_NOCACHE, 2, "no-cache", "no-cache", true},
                        Case{"resynchronize", INTERNET_FLAG_RESYNCHRONIZE, 2, "max-age=0", "", true},
                        Case{"resynchronize, unchanged", INTERNET_FLAG_RESYNCHRONIZE, 1, "max-age=0", "", true},
                        Case{"plain", 0, 2, "", "", true}}) {
    SCOPED_TRACE(c.name);
    std::string url = std::string("http://update.quorvex.example/pavo/") + c.name + ".inf";
    std::replace(url.begin(), url.end(), ' ', '-');
    version = 1;
    EXPECT_EQ(Fetch(url, c.flags), "version 1");  // the first run; the proxy keeps its copy
    version = c.published;
    size_t forwarded = proxy.Forwarded().size();
    std::string expected = c.flags == 0 ? "version 1" : "version " + std::to_string(c.published);
    EXPECT_EQ(Fetch(url, c.flags), expected);
    EXPECT_EQ(status, "200");
    HttpRequest second = proxy.Requests().back();
    EXPECT_EQ(second.target, url);
    EXPECT_EQ(second.Header("Cache-Control"), c.control);
    EXPECT_EQ(second.Header("Pragma"), c.pragma);
    EXPECT_EQ(second.HasHeader("If-None-Match"), c.validators);
    EXPECT_EQ(second.HasHeader("If-Modified-Since"), c.validators);
    // Without a flag the proxy may answer for the origin, as with WinINet.
    EXPECT_EQ(proxy.Forwarded().size(), forwarded + (c.flags == 0 ? 0 : 1));
  }

  // Nothing kept here (a first run), an old copy in the proxy: the origin's version all the same.
  const std::string fresh = "http://update.quorvex.example/pavo/first-run.inf";
  proxy.Hold(fresh, HttpReply::Versioned(HttpRequest(), 1));
  version = 2;
  EXPECT_EQ(Fetch(fresh, INTERNET_FLAG_RESYNCHRONIZE), "version 2");
  EXPECT_EQ(proxy.Requests().back().Header("Cache-Control"), "max-age=0");
}

// Headers the caller gives itself are not doubled.
TEST_F(CacheTest, CallersCacheHeadersAreKept) {
  HttpTestServer server([](const HttpRequest&) { return HttpReply::Text("x"); });
  HINTERNET s = Session();
  const char* headers = "cache-control: max-age=10\r\nX-Other: 1\r\n";
  url_ = InternetOpenUrlA(s, server.Url("/f").c_str(), headers, DWORD(-1), INTERNET_FLAG_RELOAD, 0);
  ASSERT_NE(url_, nullptr) << GetLastError();
  HttpRequest req = server.Requests().at(0);
  int controls = 0;
  for (const auto& [name, value] : req.headers)
    if (strcasecmp(name.c_str(), "Cache-Control") == 0) ++controls;
  EXPECT_EQ(controls, 1);
  EXPECT_EQ(req.Header("Cache-Control"), "max-age=10");
  EXPECT_EQ(req.Header("Pragma"), "no-cache");
}

TEST_F(CacheTest, OnlyCompleteOkBodiesAreKept) {
  struct Case {
    const char* name;
    HttpReply reply;
  };
  HttpReply notFound = HttpReply::Status(404, "Not Found");
  HttpReply cut = HttpReply::Generated(50000);
  cut.cutAfter = 10000;
  HttpReply noStore = HttpReply::Text("secret");
  noStore.headers.push_back({"Cache-Control", "no-store"});
  HttpReply cutChunked = HttpReply::Generated(50000);
  cutChunked.chunked = true;
  cutChunked.cutAfter = 10000;
  for (const Case& c : {Case{"404", notFound}, Case{"short body", cut}, Case{"no-store", noStore},
                        Case{"cut chunked", cutChunked}}) {
    SCOPED_TRACE(c.name);
    HttpTestServer server([&c](const HttpRequest&) { return c.reply; });
    std::string url = server.Url("/f");
    Fetch(url, INTERNET_FLAG_RELOAD);
    EXPECT_EQ(Fetch(url, 0, INTERNET_FLAG_OFFLINE), "<fail " + std::to_string(ERROR_FILE_NOT_FOUND) + ">");
  }
}

TEST_F(CacheTest, BodyLeftUnreadIsNotKept) {
  HttpTestServer server([](const HttpRequest&) { return HttpReply::Generated(200000); });
  std::string url = server.Url("/big");
  ASSERT_NE(Open(url, INTERNET_FLAG_RELOAD), nullptr);
  char buf[1000];
  DWORD read = 0;
  ASSERT_TRUE(InternetReadFile(url_, buf, sizeof buf, &read));
  CloseUrl();
  EXPECT_EQ(Fetch(url, 0, INTERNET_FLAG_OFFLINE), "<fail " + std::to_string(ERROR_FILE_NOT_FOUND) + ">");
  std::filesystem::path cache = dir_ / "cache";
  for (const auto& e : std::filesystem::directory_iterator(cache)) ADD_FAILURE() << "left over: " << e.path();
}

// ------------------------------------------------------------------ connection state

TEST(ConnectedState, ForcedByTheEnvironment) {
  struct Case {
    const char* value;
    BOOL result;
    DWORD flags;
    const char* name;
  };
  for (Case c : {Case{"lan", TRUE, INTERNET_CONNECTION_LAN, "LAN"}, Case{"offline", FALSE, 0, ""},
                 Case{"configured", FALSE, INTERNET_CONNECTION_CONFIGURED, ""},
                 // A connection that comes after a while: before and after its offline period.
                 Case{"offline:86400000", FALSE, 0, ""}, Case{"offline:0", TRUE, INTERNET_CONNECTION_LAN, "LAN"}}) {
    SCOPED_TRACE(c.value);
    setenv("WINPLAT_CONNECTION", c.value, 1);
    DWORD flags = 0xFFFF;
    char name[1024] = "junk";
    EXPECT_EQ(InternetGetConnectedStateEx(&flags, name, sizeof name, 0), c.result);
    EXPECT_EQ(flags, c.flags);
    EXPECT_STREQ(name, c.name);
  }
  unsetenv("WINPLAT_CONNECTION");
  DWORD flags = 0xFFFF;
  BOOL connected = InternetGetConnectedStateEx(&flags, nullptr, 0, 0);
  EXPECT_EQ(connected != FALSE, flags == INTERNET_CONNECTION_LAN);
}

}  // namespace
