#include "QuorvexWebGet.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "Forms.h"
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
// 64 bits: a Content-Length past 2 GiB is a length, not a bad one.
long long QueryNumber(HINTERNET url, DWORD level, bool& ok) {
  char text[128];
  DWORD length = sizeof text;
  DWORD index = 0;
  ok = HttpQueryInfoA(url, level, text, &length, &index) != FALSE;
  if (!ok) return 0;
  return StrToInt64Def(AnsiString(text, int(length)).Trim(), 0);
}

int Clamp32(long long n) { return n > INT_MAX ? INT_MAX : int(n); }

// What a progress call carries of a length and a count in its 32-bit arguments: as they are up
// to INT_MAX; past it the length is INT_MAX and the count in proportion, reaching INT_MAX only
// when the whole length has arrived. Without a length: 0 and the count.
void EventValues(long long length, long long total, int& max, int& position) {
  if (length < 0) {
    max = 0;
    position = Clamp32(total);
  } else if (length <= INT_MAX) {
    max = int(length);
    position = Clamp32(total);
  } else {
    max = INT_MAX;
    position = total >= length ? INT_MAX : int(std::min<long double>((long double)total * INT_MAX / length, INT_MAX - 1));
  }
}

// A body received into memory, in pieces, so that a growing body is never copied; the block
// handed over is the only copy. With an announced length the one piece is that block.
class MemoryBody {
 public:
  explicit MemoryBody(long long expected) {
    if (expected > 0) AddPiece(size_t(expected));
  }
  // False when the body would grow past QWG_MEMORY_LIMIT.
  bool Append(const char* data, size_t count) {
    if (size_ + count > size_t(QWG_MEMORY_LIMIT)) return false;
    while (count > 0) {
      if (pieces_.empty() || pieces_.back().used == pieces_.back().size)
        AddPiece(std::clamp(size_, kSmallestPiece, kLargestPiece));
      Piece& piece = pieces_.back();
      size_t n = std::min(count, piece.size - piece.used);
      std::memcpy(piece.data.get() + piece.used, data, n);
      piece.used += n;
      size_ += n;
      data += n;
      count -= n;
    }
    return true;
  }
  // A block of exactly the received bytes (new[]); the pieces go as they are copied.
  char* Release() {
    if (pieces_.size() == 1 && pieces_[0].used == pieces_[0].size) return pieces_[0].data.release();
    std::unique_ptr<char[]> block(new char[size_]);
    size_t at = 0;
    for (Piece& piece : pieces_) {
      std::memcpy(block.get() + at, piece.data.get(), piece.used);
      at += piece.used;
      piece.data.reset();
    }
    return block.release();
  }
  // Writes the body at the stream's position, sized once beforehand so that a memory stream
  // does not grow (and copy itself) chunk by chunk; the pieces go as they are written.
  void WriteTo(TStream* stream) {
    if (size_ == 0) return;
    long long at = stream->Position();
    if (stream->Size() < at + (long long)size_) {
      stream->SetSize(at + (long long)size_);
      stream->SetPosition(at);
    }
    for (Piece& piece : pieces_) {
      if (piece.used > 0) stream->WriteBuffer(piece.data.get(), int(piece.used));
      piece.data.reset();
    }
  }

 private:
  static constexpr size_t kSmallestPiece = 64 * 1024;
  static constexpr size_t kLargestPiece = 1024 * 1024;
  struct Piece {
    std::unique_ptr<char[]> data;
    size_t size = 0;
    size_t used = 0;
  };
  void AddPiece(size_t size) { pieces_.push_back({std::unique_ptr<char[]>(new char[size]), size, 0}); }
  std::vector<Piece> pieces_;
  size_t size_ = 0;
};

class LockGuard {
 public:
  explicit LockGuard(TCriticalSection* lock) : lock_(lock) { lock_->Acquire(); }
  ~LockGuard() { lock_->Release(); }

 private:
  TCriticalSection* lock_;
};

}  // namespace

bool ProgramClosing() {
  if (Application->GetTerminated()) return true;
  if (Application->GetMainForm()) return false;
  // Before the main window the program is its modal dialog: once that is cancelled, the
  // start-up ends with it.
  for (int i = 0; i < Screen->GetFormCount(); ++i) {
    TCustomForm* form = Screen->Form(i);
    if (form->IsModal() && form->GetModalResult() == mrCancel) return true;
  }
  return false;
}

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

bool TQuorvexWebGet::Ended() const {
  return ProgramClosing() || (TimeLimit != 0 && GetTickCount() - FStarted >= TimeLimit);
}

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
  FLength = -1;
  FReceived = 0;
  FStarted = GetTickCount();
  // After a close nothing more is fetched.
  if (ProgramClosing()) return QWG_ERR_TRANSFER;

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
    if (Ended()) return QWG_ERR_CONNECT;
    h.url = InternetOpenUrlA(h.session, requestUrl.c_str(), nullptr, 0, flags, 0);
    if (!h.url) return QWG_ERR_CONNECT;
  }

  // 5. Only a 200 reply is taken.
  bool ok = false;
  long long status = QueryNumber(h.url, HTTP_QUERY_STATUS_CODE, ok);
  if (!ok) return QWG_ERR_TRANSFER;
  if (status != 200) return QWG_ERR_STATUS;

  // 6. The announced length, when there is one.
  long long length = -1;
  long long announced = QueryNumber(h.url, HTTP_QUERY_CONTENT_LENGTH, ok);
  if (ok) {
    length = announced;
    if (length < 1) return QWG_ERR_LENGTH;
    FLength = length;
  } else if (OnRecvProgress) {
    OnRecvProgress(this, fileName, 0, 0);
  }

  // 7. The target and the chunk buffer. A packet size below 1 would read nothing (or fail
  // the allocation), so one byte is the least. The memory limit holds for the memory form and
  // for a memory stream (the login reply); a body announced past it is not read at all.
  bool inMemory = !stream || dynamic_cast<TCustomMemoryStream*>(stream) != nullptr;
  bool tooLarge = inMemory && length > QWG_MEMORY_LIMIT;
  std::unique_ptr<MemoryBody> memory;
  if (inMemory) memory = std::make_unique<MemoryBody>(tooLarge ? 0 : length);
  DWORD packet = PacketSize < 1 ? 1 : DWORD(PacketSize);
  std::unique_ptr<char[]> chunk(new char[packet]);
  long long total = 0;
  bool available = true;
  bool ended = false;

  // 8. The read loop; one pass always runs.
  do {
    if (tooLarge) break;
    DWORD waiting = 0;
    if (!InternetQueryDataAvailable(h.url, &waiting, 0, 0)) {
      available = false;
      break;
    }
    DWORD n = waiting > packet ? packet : waiting;
    DWORD read = 0;
    if (!InternetReadFile(h.url, chunk.get(), n, &read) || read == 0) break;
    if (memory) {
      if (!memory->Append(chunk.get(), read)) {
        tooLarge = true;
        break;
      }
    } else {
      stream->WriteBuffer(chunk.get(), int(read));
    }
    total += read;
    FReceived = total;
    // Also without a length: a slow body must not keep the caller from its messages.
    if (OnRecvProgress && !FStop) {
      int max, position;
      EventValues(length, total, max, position);
      OnRecvProgress(this, fileName, max, position);
    }
    // Whatever the server still sends: a close (the handler lets the messages in) or the time
    // limit ends the transfer here.
    ended = Ended();
  } while (!FStop && !ended);

  // A memory stream gets what arrived in one write.
  chunk.reset();
  if (memory && stream) memory->WriteTo(stream);

  // 9. The result; the memory form hands over a block of exactly the received bytes.
  int result;
  if (tooLarge || FStop || ended || (length != -1 && (!available || length != total))) {
    result = QWG_ERR_TRANSFER;
  } else if (!available) {
    result = QWG_ERR_AVAILABLE;
  } else {
    if (!stream) {
      if (total >= 1) *buffer = memory->Release();
    } else {
      stream->SetPosition(0);
    }
    result = Clamp32(total);
  }

  // 10. Free the own stream; close the URL, then the session.
  memory.reset();
  h.Close();

  // 11. The end signal.
  if (OnRecvProgress && !FStop && !ended) OnRecvProgress(this, "", 0, 0);
  return result;
}
