#include "QuorvexWebGet.h"

#include "QuorvexUtil.h"
#include "windows.h"
#include "wininet.h"

namespace {

// Closes the transfer's handles on every way out, the URL before the session.
struct InetHandles {
  HINTERNET session = nullptr;
  HINTERNET url = nullptr;
  void CloseUrl() {
    if (url) InternetCloseHandle(url);
    url = nullptr;
  }
  void Close() {
    CloseUrl();
    if (session) InternetCloseHandle(session);
    session = nullptr;
  }
  ~InetHandles() { Close(); }
};

// The text of a header query read as a decimal number; `ok` is false when the header is absent.
int QueryNumber(HINTERNET url, DWORD level, bool& ok) {
  char text[128];
  DWORD length = sizeof text;
  DWORD index = 0;
  ok = HttpQueryInfoA(url, level, text, &length, &index) != FALSE;
  if (!ok) return 0;
  return StrToIntDef(AnsiString(text, int(length)).Trim(), 0);
}

class LockGuard {
 public:
  explicit LockGuard(TCriticalSection* lock) : lock_(lock) { lock_->Acquire(); }
  ~LockGuard() { lock_->Release(); }

 private:
  TCriticalSection* lock_;
};

}  // namespace

TQuorvexWebGet::TQuorvexWebGet(TComponent* Owner)
    : TComponent(Owner), FLock(std::make_unique<TCriticalSection>()), FAgentName("QuorvexWebGet") {
  DWORD conns = 100;
  InternetSetOptionA(nullptr, INTERNET_OPTION_MAX_CONNS_PER_1_0_SERVER, &conns, sizeof conns);
  InternetSetOptionA(nullptr, INTERNET_OPTION_MAX_CONNS_PER_SERVER, &conns, sizeof conns);
}

TQuorvexWebGet::~TQuorvexWebGet() {
  // Waits for a transfer of another thread; the lock is released before it goes, since a
  // held lock must not be destroyed.
  FLock->Acquire();
  FLock->Release();
  FLock.reset();
}

void TQuorvexWebGet::SetAgentName(AnsiString value) { FAgentName = "QuorvexWebGet - " + value; }

int TQuorvexWebGet::GetBuffer(AnsiString url, char*& buffer, bool fromCache) {
  LockGuard guard(FLock.get());
  return DoGet(url, &buffer, nullptr, fromCache);
}

int TQuorvexWebGet::GetStream(AnsiString url, TStream* stream, bool fromCache) {
  LockGuard guard(FLock.get());
  return DoGet(url, nullptr, stream, fromCache);
}

void TQuorvexWebGet::Stop() { FStop = true; }

void TQuorvexWebGet::DoError(AnsiString message) {
  if (OnError) OnError(this, message);
}

int TQuorvexWebGet::DoGet(AnsiString url, char** buffer, TStream* stream, bool fromCache) {
  // 1. The name reported to the progress handler, and the address as requested.
  AnsiString fileName = url;
  for (int i = 1; i <= fileName.Length(); ++i)
    if (fileName[i] == '\\') fileName[i] = '/';
  AnsiString requestUrl = EncodeAddress ? URLEncode(fileName) : fileName;
  if (buffer) *buffer = nullptr;

  // 2. The session.
  InetHandles h;
  h.session = InternetOpenA(FAgentName.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr,
                            fromCache ? INTERNET_FLAG_OFFLINE : 0);
  if (!h.session) return QWG_ERR_OPEN;

  // 3. Connect time-out and retries; the receive and send time-outs keep their defaults.
  DWORD timeout = 5000;
  InternetSetOptionA(h.session, INTERNET_OPTION_CONNECT_TIMEOUT, &timeout, sizeof timeout);
  DWORD retries = 5;
  InternetSetOptionA(h.session, INTERNET_OPTION_CONNECT_RETRIES, &retries, sizeof retries);

  // 4. Open the URL: once from the cache, or twice over the network.
  DWORD flags;
  if (fromCache)
    flags = 0;
  else if (UseCache)
    flags = INTERNET_FLAG_RESYNCHRONIZE;
  else
    flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;
  h.url = InternetOpenUrlA(h.session, requestUrl.c_str(), nullptr, 0, flags, 0);
  if (!h.url) {
    if (fromCache) return QWG_ERR_CACHE;
    h.url = InternetOpenUrlA(h.session, requestUrl.c_str(), nullptr, 0, flags, 0);
    if (!h.url) return QWG_ERR_CONNECT;
  }

  // 5. Only a 200 reply is taken.
  bool ok = false;
  int status = QueryNumber(h.url, HTTP_QUERY_STATUS_CODE, ok);
  if (!ok) return QWG_ERR_TRANSFER;
  if (status != 200) return QWG_ERR_STATUS;

  // 6. The announced length, when there is one.
  int length = -1;
  int announced = QueryNumber(h.url, HTTP_QUERY_CONTENT_LENGTH, ok);
  if (ok) {
    length = announced;
    if (length < 1) return QWG_ERR_LENGTH;
  } else if (OnRecvProgress) {
    OnRecvProgress(this, fileName, 0, 0);
  }

  // 7. The target and the chunk buffer. A packet size below 1 would read nothing (or fail
  // the allocation), so one byte is the least.
  std::unique_ptr<TMemoryStream> memory;
  TStream* target = stream;
  if (!stream) {
    memory = std::make_unique<TMemoryStream>();
    target = memory.get();
  }
  DWORD packet = PacketSize < 1 ? 1 : DWORD(PacketSize);
  std::unique_ptr<char[]> chunk(new char[packet]);
  int total = 0;

  // 8. The read loop; one pass always runs.
  do {
    DWORD available = 0;
    if (!InternetQueryDataAvailable(h.url, &available, 0, 0)) {
      total = QWG_ERR_AVAILABLE;
      break;
    }
    DWORD n = available > packet ? packet : available;
    DWORD read = 0;
    if (!InternetReadFile(h.url, chunk.get(), n, &read) || read == 0) break;
    target->WriteBuffer(chunk.get(), int(read));
    total += int(read);
    if (length >= 0 && OnRecvProgress && !FStop) OnRecvProgress(this, fileName, length, total);
  } while (!FStop);

  // 9. The result; the memory form hands over a block of exactly the received bytes.
  chunk.reset();
  int result;
  if ((length != -1 && length != total) || FStop) {
    result = QWG_ERR_TRANSFER;
  } else {
    if (memory) {
      if (total >= 1) {
        long long size = memory->Size();
        std::unique_ptr<char[]> block(new char[size_t(size)]);
        memory->SetPosition(0);
        memory->ReadBuffer(block.get(), int(size));
        *buffer = block.release();
      }
    } else {
      stream->SetPosition(0);
    }
    result = total;
  }

  // 10. Free the own stream; close the URL, then the session.
  memory.reset();
  h.Close();

  // 11. The end signal.
  if (OnRecvProgress && !FStop) OnRecvProgress(this, "", 0, 0);
  return result;
}
