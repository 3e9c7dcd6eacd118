// TQuorvexWebGet against the in-process HTTP server: results, progress calls, stop, cache
// modes, addresses as sent, and servers that misbehave.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "Forms.h"
#include "HttpTestServer.h"
#include "QuorvexWebGet.h"
#include "UiTest.h"
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

// Without a length: one call with (FileName, 0, 0) before the body, then one per packet with
// Max 0 and the count so far (a handler pumps its messages and may stop a slow body), then the
// end signal.
TEST_F(QuorvexWebGetTest, UnknownLengthReportsBeforeTheBodyAndAfterEveryPacket) {
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
      std::string url = server.Url("/notice.mms");
      EXPECT_EQ(Fetch(url), int(size));
      EXPECT_TRUE(body_ == HttpTestServer::PatternBody(0, size));
      ASSERT_GE(calls_.size(), 2u);
      EXPECT_EQ(calls_.front(), (Progress{url, 0, 0}));
      EXPECT_EQ(calls_.back(), kEnd);
      int last = 0;
      for (size_t i = 1; i + 1 < calls_.size(); ++i) {
        EXPECT_EQ(calls_[i].fileName, url);
        EXPECT_EQ(calls_[i].max, 0);
        EXPECT_GT(calls_[i].position, last);
        EXPECT_LE(calls_[i].position - last, 4096);
        last = calls_[i].position;
      }
      EXPECT_EQ(last, int(size));
      EXPECT_EQ(get_->AnnouncedLength(), -1);
      EXPECT_EQ(get_->ReceivedBytes(), size);
    }
  }
}

// The handler's Stop after a packet ends the transfer, with a length or without one.
TEST_F(QuorvexWebGetTest, StopFromTheHandlerEndsAfterTheChunkWithoutEndSignal) {
  for (bool announced : {true, false}) {
    SCOPED_TRACE(announced ? "length announced" : "no length");
    HttpTestServer server([announced](const HttpRequest&) {
      HttpReply r = HttpReply::Generated(100000);
      r.contentLength = announced;
      return r;
    });
    get_ = std::make_unique<TQuorvexWebGet>(nullptr);
    get_->OnRecvProgress = [this](TObject*, AnsiString f, int m, int p) {
      calls_.push_back({f.str(), m, p});
      if (p > 0) get_->Stop();
    };
    calls_.clear();
    get_->PacketSize = 1000;
    TMemoryStream stream;
    std::string url = server.Url("/a.ZIP");
    EXPECT_EQ(get_->GetStream(url.c_str(), &stream, false), -1);
    if (announced) {
      EXPECT_EQ(calls_, (std::vector<Progress>{{url, 100000, 1000}}));
    } else {
      EXPECT_EQ(calls_, (std::vector<Progress>{{url, 0, 0}, {url, 0, 1000}}));
    }
    EXPECT_EQ(stream.Size(), 1000);

    // Stopped for good: the next transfer runs one pass and fails silently (only the call
    // before a body of unknown length comes).
    calls_.clear();
    EXPECT_EQ(Fetch(server.Url("/b.ZIP")), -1);
    if (announced) {
      EXPECT_TRUE(calls_.empty());
    } else {
      EXPECT_EQ(calls_, (std::vector<Progress>{{server.Url("/b.ZIP"), 0, 0}}));
    }
  }
}

// The stop every transfer sees: once the program is closing (the application terminating) a
// transfer asks nothing of the server, and one under way ends after the packet in hand without
// the end signal, whatever the server still sends; the time limit ends a dripping body as well.
TEST_F(QuorvexWebGetTest, AClosingProgramOrTheTimeLimitEndsTheTransfer) {
  const long long size = 4000;  // 80 B/s: 50 s in all
  HttpTestServer server([size](const HttpRequest&) {
    HttpReply r = HttpReply::Generated(size);
    r.chunkSize = 8;
    r.chunkDelayMs = 100;
    return r;
  });
  const struct {
    const char* name;
    bool closedBefore, closedAtPacket;
    DWORD timeLimit;
    int requests;
  } cases[] = {
      {"closed before", true, false, 0, 0},
      {"closed at a packet", false, true, 0, 1},
      {"time limit", false, false, 1000, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    uitest::ResetApplication();
    if (c.closedBefore) Application->Terminate();
    onProgress_ = [&] {
      if (c.closedAtPacket) Application->Terminate();
    };
    get_->TimeLimit = c.timeLimit;
    calls_.clear();
    int requests = server.RequestCount();
    long long sent = server.BodyBytesSent();
    EXPECT_EQ(Fetch(server.Url("/drip.ZIP")), -1);
    EXPECT_EQ(server.RequestCount() - requests, c.requests);
    EXPECT_LT(server.BodyBytesSent() - sent, size / 4);
    if (c.closedAtPacket) {
      EXPECT_EQ(calls_.size(), 1u);
    }
    EXPECT_TRUE(std::find(calls_.begin(), calls_.end(), kEnd) == calls_.end());
  }
  uitest::ResetApplication();
}

// Counts what is written and keeps nothing: a body of gigabytes costs no memory or disk.
class CountingStream : public TStream {
 public:
  int Read(void*, int) override { return 0; }
  int Write(const void*, int count) override {
    position_ += count;
    size_ = std::max(size_, position_);
    return count;
  }
  long long Seek(long long offset, int origin) override {
    position_ = origin == soFromBeginning ? offset : origin == soFromCurrent ? position_ + offset : size_ + offset;
    return position_;
  }
  long long Written() const { return size_; }

 private:
  long long position_ = 0;
  long long size_ = 0;
};

// Lengths and counts past 2 GiB (and past 4 GiB) are taken as they are: the result of a whole
// body stays positive, the component tells the true figures, and the 32-bit progress calls
// carry the length as INT_MAX and the count in proportion, INT_MAX only at the last byte.
TEST_F(QuorvexWebGetTest, LengthsPastTwoGiBAreCountedIn64Bits) {
  const struct {
    const char* name;
    long long size;
    long long cutAfter;
    int result;
  } cases[] = {
      {"2.2 GB, whole", 2200000000LL, -1, INT_MAX},
      {"5 GB, cut short", 5000000000LL, 300000, QWG_ERR_TRANSFER},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HttpTestServer server([&c](const HttpRequest&) {
      HttpReply r = HttpReply::Generated(c.size);
      r.cutAfter = c.cutAfter;
      r.chunkSize = 256 * 1024;
      return r;
    });
    calls_.clear();
    get_->PacketSize = 40960;
    CountingStream stream;
    EXPECT_EQ(get_->GetStream(server.Url("/MAP.ZIP").c_str(), &stream, false), c.result);
    long long received = c.cutAfter >= 0 ? c.cutAfter : c.size;
    EXPECT_EQ(stream.Written(), received);
    EXPECT_EQ(get_->AnnouncedLength(), c.size);
    EXPECT_EQ(get_->ReceivedBytes(), received);
    EXPECT_EQ(server.RequestCount(), 1);
    ASSERT_GE(calls_.size(), 2u);
    EXPECT_EQ(calls_.back(), kEnd);
    int last = 0;
    for (size_t i = 0; i + 1 < calls_.size(); ++i) {
      EXPECT_EQ(calls_[i].max, INT_MAX);
      ASSERT_GE(calls_[i].position, last);
      if (i + 2 < calls_.size()) {
        ASSERT_LT(calls_[i].position, INT_MAX) << "call " << i;
      }
      last = calls_[i].position;
    }
    EXPECT_NEAR(double(last) / INT_MAX, double(received) / double(c.size), 1e-6);
    if (c.result > 0) {
      EXPECT_EQ(last, INT_MAX);
    }
  }
}

// A body that trickles in slower than about 1 KiB a second for a whole receive time-out fails
// as a silent server does, whether it announced its length or not; an honest slow body (a few
// KB a second) arrives whole.
TEST_F(QuorvexWebGetTest, ADripEndsAtTheReceiveTimeoutAndAnHonestSlowBodyArrives) {
  struct Timeout {
    explicit Timeout(DWORD ms) { Set(ms); }
    ~Timeout() { Set(30000); }  // the process-wide default again, for the tests that follow
    static void Set(DWORD ms) { InternetSetOptionA(nullptr, INTERNET_OPTION_RECEIVE_TIMEOUT, &ms, sizeof ms); }
  } timeout(2000);  // a bound of 512 bytes a second: the honest body keeps a wide margin
  const struct {
    const char* name;
    long long size;
    bool contentLength;
    bool chunked;
    size_t chunkSize;
    int chunkDelayMs;
    int result;
  } cases[] = {
      // 20 bytes a second: 20 s for the whole body.
      {"drip, announced", 400, true, false, 1, 50, QWG_ERR_TRANSFER},
      {"drip, close-delimited", 400, false, false, 1, 50, QWG_ERR_AVAILABLE},
      {"drip, chunked", 400, false, true, 1, 50, QWG_ERR_AVAILABLE},
      // 4 KB a second for 3 s.
      {"honest slow body", 12000, true, false, 400, 100, 12000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HttpTestServer server([&c](const HttpRequest&) {
      HttpReply r = HttpReply::Generated(c.size);
      r.contentLength = c.contentLength;
      r.chunked = c.chunked;
      r.chunkSize = c.chunkSize;
      r.chunkDelayMs = c.chunkDelayMs;
      return r;
    });
    calls_.clear();
    get_->PacketSize = 4096;
    TMemoryStream stream;
    EXPECT_EQ(get_->GetStream(server.Url("/A.ZIP").c_str(), &stream, false), c.result);
    if (c.result > 0) {
      EXPECT_EQ(get_->ReceivedBytes(), c.size);
    } else {
      EXPECT_LT(get_->ReceivedBytes(), c.size);
      // Every byte that came was reported: the handler could have stopped it.
      ASSERT_GE(calls_.size(), 2u);
      EXPECT_EQ(calls_[calls_.size() - 2].position, int(get_->ReceivedBytes()));
    }
    EXPECT_EQ(calls_.back(), kEnd);
  }
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
