// TQuorvexWebGet: fetches one URL with an HTTP GET over WinINet into a new memory block or into
// the caller's stream, with progress events and an integer result.
#pragma once
#include <functional>
#include <memory>

#include "Classes.h"
#include "windef.h"

// Results of GetBuffer, GetStream and DoGet below 0 (0 or more: bytes received).
enum {
  QWG_ERR_TRANSFER = -1,       // status unreadable, byte count differs from Content-Length, or stopped
  QWG_ERR_OPEN = -10,          // InternetOpenA failed
  QWG_ERR_CONNECT = -11,       // InternetOpenUrlA failed twice
  QWG_ERR_STATUS = -12,        // status code not 200
  QWG_ERR_LENGTH = -13,        // Content-Length given and below 1
  QWG_ERR_CACHE = -14,         // InternetOpenUrlA failed in cache-only mode
  QWG_ERR_AVAILABLE = -100,    // InternetQueryDataAvailable failed, length unknown
};

// The largest body GetBuffer or a memory stream takes: past it the transfer fails with
// QWG_ERR_TRANSFER. The files read into memory are small texts; a file stream takes any size.
constexpr int QWG_MEMORY_LIMIT = 16 * 1024 * 1024;

// The time limit (TimeLimit) of a small file read while no window is shown yet: the user has
// nothing to close, so the transfer ends by itself after about two receive time-outs.
constexpr DWORD QWG_EARLY_FILE_LIMIT = 60000;

// The user has asked the program to end: the application is terminating, or, while no main
// window exists, the modal window the program runs in has been cancelled. Every transfer asks
// before it starts and after each packet and ends once it holds, whoever started it.
bool ProgramClosing();

class TQuorvexWebGet : public TComponent {
 public:
  explicit TQuorvexWebGet(TComponent* Owner);
  ~TQuorvexWebGet() override;

  // The caller owns the block (delete[]); it is handed over only with a result of 1 or more.
  // A count past INT_MAX is answered as INT_MAX, so that a success stays positive; the true
  // count is ReceivedBytes().
  int GetBuffer(AnsiString url, char*& buffer, bool fromCache);
  // Writes at the stream's current position; the stream must not be null.
  int GetStream(AnsiString url, TStream* stream, bool fromCache);
  // Ends the transfer after the current chunk; the instance stays stopped.
  void Stop();
  void DoError(AnsiString message);

  // The transfer in hand (or the last one) in 64 bits: its announced length (-1 when none was
  // announced) and the bytes received so far. Lengths past INT_MAX reach OnRecvProgress scaled
  // down to 32 bits (Max INT_MAX, Position in proportion, INT_MAX only with the last byte); a
  // handler that counts bytes reads these instead.
  long long AnnouncedLength() const { return FLength; }
  long long ReceivedBytes() const { return FReceived; }

  AnsiString AgentName() const { return FAgentName; }
  void SetAgentName(AnsiString value);

  bool UseCache = false;
  // Every address is URLEncoded before it is sent; false for an address whose parts the caller
  // has encoded already (URLEncodeQueryValue), whose "%" must not be encoded a second time.
  bool EncodeAddress = true;
  // Called after every packet read, whether a length was announced or not (Max 0 then), so
  // that a handler can pump messages and Stop a slow transfer.
  std::function<void(TObject* Sender, AnsiString FileName, int Max, int Position)> OnRecvProgress;
  std::function<void(TObject* Sender, AnsiString Message)> OnError;
  int PacketSize = 1024;
  // Milliseconds of the tick count the whole transfer may take (0: no limit); past them it
  // ends as a stopped one does.
  DWORD TimeLimit = 0;

 protected:
  int DoGet(AnsiString url, char** buffer, TStream* stream, bool fromCache);

 private:
  // The time limit has passed, or the program is closing: the transfer ends.
  bool Ended() const;
  bool FStop = false;
  DWORD FStarted = 0;
  long long FLength = -1;
  long long FReceived = 0;
  std::unique_ptr<TCriticalSection> FLock;
  AnsiString FAgentName;
};
