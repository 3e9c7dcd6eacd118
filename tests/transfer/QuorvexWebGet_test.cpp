// TQuorvexWebGet against the in-process HTTP server: results, progress calls, stop, cache
// modes, addresses as sent, and servers that misbehave.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <future>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "HttpTestServer.h"
#include "QuorvexWebGet.h"
#include "inetplat.h"
#include "wininet.h"
#include "winplat.h"

using testsupport::HttpReply;
using testsupport::HttpRequest;
using testsupport::HttpTestServer;

namespace {

struct Progress {
  std::string fileName;
  int max;
  int position;
  bool operator==(const Progress& o) const {
    return fileName == o.fileName && max == o.max && position == o.position;
  }
};

std::ostream& operator<<(std::ostream& os, const Progress& p) {
  return os << "(\"" << p.fileName << "\", " << p.max << ", " << p.position << ")";
}

const Progress kEnd{"", 0, 0};

class QuorvexWebGetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("qwg-test-" + std::to_string(getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    setenv("WINPLAT_CACHE_DIR", (dir_ / "cache").c_str(), 1);
    unsetenv("WINPLAT_CONNECT_TO");
    get_ = std::make_unique<TQuorvexWebGet>(nullptr);
    get_->OnRecvProgress = [this](TObject* sender, AnsiString fileName, int max, int position) {
      EXPECT_EQ(sender, get_.get());
      calls_.push_back({fileName.str(), max, position});
      if (onProgress_) onProgress_();
    };
  }
  void TearDown() override {
    get_.reset();
    std::filesystem::remove_all(dir_);
  }

  // GetBuffer; the body (empty when no block was handed over) goes to body_.
  int Fetch(const std::string& url, bool fromCache = false) {
    char* buffer = reinterpret_cast<char*>(this);  // must be cleared by the call
    int n = get_->GetBuffer(url.c_str(), buffer, fromCache);
    body_.clear();
    if (n >= 1) {
      EXPECT_NE(buffer, nullptr);
      body_.assign(buffer, size_t(n));
    } else {
      EXPECT_EQ(buffer, nullptr) << "a block with result " << n;
    }
    delete[] buffer;
    return n;
  }

  std::filesystem::path dir_;
  std::unique_ptr<TQuorvexWebGet> get_;
  std::vector<Progress> calls_;
  std::function<void()> onProgress_;
  std::string body_;
};

TEST_F(QuorvexWebGetTest, MemoryFormHandsBackExactlyTheBody) {
  std::string data("a\0b\r\n\xff\x81z", 8);
  data += HttpTestServer::PatternBody(0, 10000);
  HttpTestServer server([&](const HttpRequest&) { return HttpReply::Text(data); });
  get_->PacketSize = 4096;
  ASSERT_EQ(Fetch(server.Url("/model/PAVO.ini")), int(data.size()));
  EXPECT_TRUE(body_ == data);
  std::string url = server.Url("/model/PAVO.ini");
  int size = int(data.size());
  EXPECT_EQ(calls_, (std::vector<Progress>{{url, size, 4096}, {url, size, 8192}, {url, size, size}, kEnd}));
}

TEST_F(QuorvexWebGetTest, PositionGrowsToMaxInPackets) {
  HttpTestServer server([](const HttpRequest&) {
    HttpReply r = HttpReply::Generated(1000000);
    r.chunkSize = 30000;
    return r;
  });
  get_->PacketSize = 40960;
  ASSERT_EQ(Fetch(server.Url("/big.ZIP")), 1000000);
  EXPECT_TRUE(body_ == HttpTestServer::PatternBody(0, 1000000));
  ASSERT_GE(calls_.size(), 1000000u / 40960 + 2);
  EXPECT_EQ(calls_.back(), kEnd);
  int last = 0;
  for (size_t i = 0; i + 1 < calls_.size(); ++i) {
    EXPECT_EQ(calls_[i].max, 1000000);
    EXPECT_GT(calls_[i].position, last);
    EXPECT_LE(calls_[i].position - last, 40960);
    last = calls_[i].position;
  }
  EXPECT_EQ(last, 1000000);
}

TEST_F(QuorvexWebGetTest, StreamFormWritesAtThePositionAndRewinds) {
  HttpTestServer server([](const HttpRequest&) { return HttpReply::Text("payload"); });
  TMemoryStream stream;
  stream.WriteBuffer("XYZ", 3);
  ASSERT_EQ(get_->GetStream(server.Url("/f").c_str(), &stream, false), 7);
  EXPECT_EQ(stream.Position(), 0);
  ASSERT_EQ(stream.Size(), 10);
  EXPECT_EQ(std::string(static_cast<char*>(stream.Memory()), 10), "XYZpayload");
}

TEST_F(QuorvexWebGetTest, FailedStreamTransferLeavesTheStreamWhereWritingEnded) {
  HttpTestServer server([](const HttpRequest&) {
    HttpReply r = HttpReply::Generated(5000);
    r.cutAfter = 1200;
    return r;
  });
  TMemoryStream stream;
  EXPECT_EQ(get_->GetStream(server.Url("/f").c_str(), &stream, false), -1);
  EXPECT_EQ(stream.Size(), 1200);
  EXPECT_EQ(stream.Position(), 1200);
}

// Replies that end a transfer with a result code. `before` is whether the (FileName, 0, 0)
// call of an unknown length comes first; `chunks` whether per-packet calls and the end
// signal follow.
TEST_F(QuorvexWebGetTest, ResultCodes) {
  struct Case {
    const char* name;
    std::function<HttpReply()> reply;
    int result;
    bool progress;  // any progress call at all
  };
  auto status = [](int code) { return [code] { return HttpReply::Status(code, "Status"); }; };
  auto generated = [](long long size, auto change) {
    return [size, change] {
      HttpReply r = HttpReply::Generated(size);
      change(r);
      return r;
    };
  };
  const Case cases[] = {
      {"zero length", [] { return HttpReply::Text(""); }, -13, false},
      {"404", status(404), -12, false},
      {"500", status(500), -12, false},
      {"302 without a target", status(302), -12, false},
      {"short body", generated(50000, [](HttpReply& r) { r.cutAfter = 20000; }), -1, true},
      {"reset in the body", generated(50000,
                                      [](HttpReply& r) {
                                        r.cutAfter = 20000;
                                        r.reset = true;
                                        r.chunkSize = 10000;
                                        r.chunkDelayMs = 20;
                                      }),
       -1, true},
      {"cut chunked body", generated(50000,
                                     [](HttpReply& r) {
                                       r.chunked = true;
                                       r.cutAfter = 20000;
                                     }),
       -100, true},
      {"more than announced", generated(3000, [](HttpReply& r) { r.contentLengthText = "1000"; }), 1000, true},
      {"non-numeric length", generated(3000, [](HttpReply& r) { r.contentLengthText = "abc"; }), -11, false},
      {"negative length", generated(3000, [](HttpReply& r) { r.contentLengthText = "-7"; }), -11, false},
      {"garbage instead of headers", generated(10, [](HttpReply& r) { r.rawHead = "<html>garbage\r\n\r\n"; }),
       -11, false},
      {"header line without a colon", generated(10,
                                                [](HttpReply& r) {
                                                  r.rawHead =
                                                      "HTTP/1.1 200 OK\r\nnonsense here\r\nContent-Length: "
                                                      "10\r\n\r\n";
                                                }),
       -11, false},
      {"control bytes in the headers", generated(10,
                                                 [](HttpReply& r) {
                                                   r.rawHead =
                                                       "HTTP/1.1 200 OK\r\n\x01\x02: \x7f\r\nContent-Length: "
                                                       "10\r\n\r\n";
                                                 }),
       10, true},
      {"status line without a code", generated(10, [](HttpReply& r) { r.rawHead = "HTTP/1.1 OK\r\n\r\n"; }), -11,
       false},
      {"no reply at all", generated(10, [](HttpReply& r) { r.sendHead = false; }), -11, false},
      {"slow body", generated(20000,
                              [](HttpReply& r) {
                                r.chunkSize = 2000;
                                r.chunkDelayMs = 10;
                              }),
       20000, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HttpTestServer server([&c](const HttpRequest&) { return c.reply(); });
    calls_.clear();
    get_ = std::make_unique<TQuorvexWebGet>(nullptr);
    get_->OnRecvProgress = [this](TObject*, AnsiString f, int m, int p) { calls_.push_back({f.str(), m, p}); };
    get_->PacketSize = 4096;
    EXPECT_EQ(Fetch(server.Url("/x")), c.result);
    EXPECT_EQ(!calls_.empty(), c.progress) << ::testing::PrintToString(calls_);
    if (c.progress && !calls_.empty()) {
      EXPECT_EQ(calls_.back(), kEnd);
    }
  }
}

TEST_F(QuorvexWebGetTest, UnknownLengthReportsOnceBeforeAndEndsWithTheCount) {
  for (bool chunked : {false, true}) {
    SCOPED_TRACE(chunked ? "chunked" : "close-delimited");
    for (long long size : {0LL, 50000LL}) {
      HttpTestServer server([&](const HttpRequest&) {
        HttpReply r = HttpReply::Generated(size);
        r.contentLength = false;
        r.chunked = chunked;
        r.chunkSize = 5000;
        return r;
      });
      calls_.clear();
      get_->PacketSize = 4096;
      EXPECT_EQ(Fetch(server.Url("/notice.mms")), int(size));
      EXPECT_TRUE(body_ == HttpTestServer::PatternBody(0, size));
      EXPECT_EQ(calls_, (std::vector<Progress>{{server.Url("/notice.mms"), 0, 0}, kEnd}));
    }
  }
}

TEST_F(QuorvexWebGetTest, StopFromTheHandlerEndsAfterTheChunkWithoutEndSignal) {
  HttpTestServer server([](const HttpRequest&) { return HttpReply::Generated(100000); });
  get_->PacketSize = 1000;
  onProgress_ = [this] { get_->Stop(); };
  TMemoryStream stream;
  EXPECT_EQ(get_->GetStream(server.Url("/a.ZIP").c_str(), &stream, false), -1);
  ASSERT_EQ(calls_.size(), 1u);
  EXPECT_EQ(calls_[0], (Progress{server.Url("/a.ZIP"), 100000, 1000}));
  EXPECT_EQ(stream.Size(), 1000);

  // Stopped for good: the next transfer runs one pass and fails silently.
  onProgress_ = nullptr;
  calls_.clear();
  EXPECT_EQ(Fetch(server.Url("/b.ZIP")), -1);
  EXPECT_TRUE(calls_.empty());
}

TEST_F(QuorvexWebGetTest, UnreachablePortFailsAfterExactlyTwoOpenAttempts) {
  std::string url = "http://127.0.0.1:" + std::to_string(HttpTestServer::UnusedPort()) + "/x.ini";
  unsigned long before = winplat::InternetConnectAttempts();
  unsigned long opens = winplat::InternetUrlOpens();
  EXPECT_EQ(Fetch(url), -11);
  EXPECT_EQ(winplat::InternetConnectAttempts() - before, 2u);
  EXPECT_EQ(winplat::InternetUrlOpens() - opens, 2u);
  EXPECT_TRUE(calls_.empty());
}

TEST_F(QuorvexWebGetTest, CacheModes) {
  int version = 1;
  HttpTestServer server([&version](const HttpRequest& req) { return HttpReply::Versioned(req, version); });
  std::string url = server.Url("/pavo/_Movrant/Version.inf");

  // Cache-only with an empty cache: -14 after one attempt, nothing sent.
  unsigned long opens = winplat::InternetUrlOpens();
  EXPECT_EQ(Fetch(url, true), -14);
  EXPECT_EQ(winplat::InternetUrlOpens() - opens, 1u);
  EXPECT_EQ(server.RequestCount(), 0);
  EXPECT_TRUE(calls_.empty());

  // Without UseCache nothing is kept.
  EXPECT_EQ(Fetch(url), 9);
  EXPECT_EQ(Fetch(url, true), -14);

  // With UseCache the copy is kept, revalidated and served.
  get_->UseCache = true;
  EXPECT_EQ(Fetch(url), 9);
  EXPECT_EQ(Fetch(url), 9);
  EXPECT_EQ(server.Requests().back().Header("If-None-Match"), "\"v1\"");
  EXPECT_EQ(body_, "version 1");
  version = 2;
  EXPECT_EQ(Fetch(url), 9);
  EXPECT_EQ(body_, "version 2");
  int sent = server.RequestCount();
  EXPECT_EQ(Fetch(url, true), 9);
  EXPECT_EQ(body_, "version 2");
  EXPECT_EQ(server.RequestCount(), sent);
}

TEST_F(QuorvexWebGetTest, AddressIsSentWithSlashesAndEncoded) {
  HttpTestServer server([](const HttpRequest&) { return HttpReply::Text("ok"); });
  std::string base = server.Url("");
  EXPECT_EQ(Fetch(base + "\\pavo\\model\\A B%.ini"), 2);
  ASSERT_EQ(server.RequestCount(), 1);
  EXPECT_EQ(server.Requests()[0].target, "/pavo/model/A+B%25.ini");
  EXPECT_EQ(calls_.front().fileName, base + "/pavo/model/A B%.ini");

  // The notice's double quotes and a Korean (code page 949) value arrive percent-encoded.
  EXPECT_EQ(Fetch(base + "/pavoTrelm/pavoChkDown.mms?D1=\"데모\"&D5=M"), 2);
  EXPECT_EQ(server.Requests()[1].target, "/pavoTrelm/pavoChkDown.mms?D1=%22%b5%a5%b8%f0%22&D5=M");
}

TEST_F(QuorvexWebGetTest, AgentName) {
  HttpTestServer server([](const HttpRequest&) { return HttpReply::Text("ok"); });
  EXPECT_EQ(get_->AgentName(), "QuorvexWebGet");
  Fetch(server.Url("/"));
  get_->SetAgentName("Movrant");
  EXPECT_EQ(get_->AgentName(), "QuorvexWebGet - Movrant");
  Fetch(server.Url("/"));
  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].Header("User-Agent"), "QuorvexWebGet");
  EXPECT_EQ(requests[1].Header("User-Agent"), "QuorvexWebGet - Movrant");
}

TEST_F(QuorvexWebGetTest, ErrorEventOnlyThroughDoError) {
  HttpTestServer server([](const HttpRequest&) { return HttpReply::Status(404, "Not Found"); });
  std::vector<std::string> errors;
  get_->DoError("ignored without a handler");
  get_->OnError = [&](TObject* sender, AnsiString message) {
    EXPECT_EQ(sender, get_.get());
    errors.push_back(message.str());
  };
  EXPECT_EQ(Fetch(server.Url("/")), -12);
  EXPECT_TRUE(errors.empty());
  get_->DoError("message");
  EXPECT_EQ(errors, std::vector<std::string>{"message"});
}

// A stream that refuses to write, as a full disk does.
class FullStream : public TMemoryStream {
 public:
  int Write(const void*, int) override { return 0; }
};

TEST_F(QuorvexWebGetTest, WriteFailurePassesToTheCallerAndReleasesTheLock) {
  HttpTestServer server([](const HttpRequest&) { return HttpReply::Generated(10000); });
  FullStream full;
  EXPECT_THROW(get_->GetStream(server.Url("/a").c_str(), &full, false), EWriteError);

  // Another thread gets the instance: the lock was released on the way out.
  std::promise<int> done;
  std::future<int> result = done.get_future();
  std::thread other([&] {
    char* buffer = nullptr;
    int n = get_->GetBuffer(server.Url("/b").c_str(), buffer, false);
    delete[] buffer;
    done.set_value(n);
  });
  if (result.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    ADD_FAILURE() << "the lock is still held";
    std::_Exit(1);
  }
  other.join();
  EXPECT_EQ(result.get(), 10000);
}

// A server that sends its header lines one at a time ends as a silent one does.
TEST_F(QuorvexWebGetTest, SilentServerEndsAtTheReceiveTimeout) {
  DWORD timeout = 400;
  ASSERT_TRUE(InternetSetOptionA(nullptr, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout));
  HttpTestServer server([](const HttpRequest&) {
    HttpReply r = HttpReply::Generated(10000);
    r.cutAfter = 100;
    r.hang = true;
    return r;
  });
  EXPECT_EQ(Fetch(server.Url("/")), -1);
  EXPECT_EQ(calls_.back(), kEnd);

  for (int lineDelayMs : {0, 150}) {
    SCOPED_TRACE(lineDelayMs ? "header lines paced" : "no headers");
    server.SetHandler([lineDelayMs](const HttpRequest&) {
      HttpReply r = HttpReply::Generated(10);
      r.hang = true;
      r.sendHead = lineDelayMs > 0;
      for (int i = 0; i < 40; ++i) r.headers.push_back({"X-Line", std::to_string(i)});
      r.headerLineDelayMs = lineDelayMs;
      return r;
    });
    calls_.clear();
    EXPECT_EQ(Fetch(server.Url("/")), QWG_ERR_CONNECT);
    EXPECT_TRUE(calls_.empty());
  }
  timeout = 30000;  // the process-wide default again, for the tests that follow in this process
  InternetSetOptionA(nullptr, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout);
}

// A body read into memory ends at QWG_MEMORY_LIMIT: past it, announced or not, even endless,
// the transfer fails as a broken reply does, into a block or a memory stream. A file stream
// takes any size.
TEST_F(QuorvexWebGetTest, MemoryFormRefusesBodiesPastTheLimit) {
  const long long limit = QWG_MEMORY_LIMIT;
  const long long endless = 1LL << 40;
  struct Case {
    const char* name;
    long long size;
    bool contentLength;
    bool chunked;
    int result;
  };
  const Case cases[] = {
      {"at the limit, announced", limit, true, false, QWG_MEMORY_LIMIT},
      {"at the limit, close-delimited", limit, false, false, QWG_MEMORY_LIMIT},
      {"past the limit, announced", limit + 1, true, false, QWG_ERR_TRANSFER},
      {"past the limit, close-delimited", limit + 1, false, false, QWG_ERR_TRANSFER},
      {"past the limit, chunked", limit + 1, false, true, QWG_ERR_TRANSFER},
      {"endless, close-delimited", endless, false, false, QWG_ERR_TRANSFER},
      {"endless, chunked", endless, false, true, QWG_ERR_TRANSFER},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HttpTestServer server([&c](const HttpRequest&) {
      HttpReply r = HttpReply::Generated(c.size);
      r.contentLength = c.contentLength;
      r.chunked = c.chunked;
      return r;
    });
    calls_.clear();
    get_->PacketSize = 4096;
    EXPECT_EQ(Fetch(server.Url("/PAVO.ini")), c.result);
    if (c.result > 0) {
      EXPECT_TRUE(body_ == HttpTestServer::PatternBody(0, c.size));
    }
    ASSERT_FALSE(calls_.empty());
    EXPECT_EQ(calls_.back(), kEnd);
    TMemoryStream stream;
    EXPECT_EQ(get_->GetStream(server.Url("/login.asp").c_str(), &stream, false), c.result);
    EXPECT_LE(stream.Size(), limit);
    server.Stop();
    // Reading stopped at the limit: what the server got out is the limit and what the
    // buffers on the way hold.
    EXPECT_LT(server.BodyBytesSent(), limit + (64 << 20));
  }

  HttpTestServer server([&](const HttpRequest&) {
    HttpReply r = HttpReply::Generated(limit + 4096);
    r.contentLength = false;
    return r;
  });
  std::filesystem::create_directories(dir_);
  {
    TFileStream stream(winplat::UnixToDos((dir_ / "a.ZIP").string()).c_str(), fmCreate);
    EXPECT_EQ(get_->GetStream(server.Url("/a.ZIP").c_str(), &stream, false), QWG_MEMORY_LIMIT + 4096);
  }
  EXPECT_EQ(std::filesystem::file_size(dir_ / "a.ZIP"), uintmax_t(limit + 4096));
}

TEST_F(QuorvexWebGetTest, OwnedComponentGoesWithItsOwner) {
  auto owner = std::make_unique<TComponent>(nullptr);
  auto* get = new TQuorvexWebGet(owner.get());
  EXPECT_EQ(owner->ComponentCount(), 1);
  EXPECT_EQ(owner->Components(0), get);
  EXPECT_EQ(get->PacketSize, 1024);
  EXPECT_FALSE(get->UseCache);
  owner.reset();  // frees the component; the sanitizers see a leak or a double free otherwise
}

}  // namespace
