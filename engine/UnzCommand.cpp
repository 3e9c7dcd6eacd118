#include "UnzCommand.h"

#include <cctype>
#include <cstdarg>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include "UnzNames.h"
#include "windows.h"

namespace zbe {

namespace {

// Progress goes out at least this often (bytes of content) so that a cancel is felt quickly.
constexpr uint64_t kProgressStep = 256 * 1024;
// Password requests for one entry, whatever the handler answers as repeat count.
constexpr int kMaxPasswordRequests = 16;

std::string Fmt(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string Fmt(const char* fmt, ...) {
  char buf[1024];
  va_list args;
  va_start(args, fmt);
  std::vsnprintf(buf, sizeof buf, fmt, args);
  va_end(args);
  return buf;
}

std::string WithoutTrailingSlash(const std::string& path) {
  std::string p = path;
  while (p.size() > 3 && p.back() == '\\') p.pop_back();
  return p;
}

bool IsFolder(const std::string& path) {
  DWORD attrs = GetFileAttributesA(WithoutTrailingSlash(path).c_str());
  return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The existing file's last write time as a DOS date and time (local time), for freshen and update.
bool ExistingDosDateTime(const std::string& path, uint32_t& dosDateTime) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  FILETIME written, local;
  WORD date = 0, time = 0;
  bool ok = GetFileTime(h, nullptr, nullptr, &written) && FileTimeToLocalFileTime(&written, &local) &&
            FileTimeToDosDateTime(&local, &date, &time);
  CloseHandle(h);
  if (ok) dosDateTime = (static_cast<uint32_t>(date) << 16) | time;
  return ok;
}

// Closes the temporary file and removes it unless the extraction committed it.
struct TempFile {
  HANDLE handle = INVALID_HANDLE_VALUE;
  std::string path;
  bool keep = false;
  bool Close() {
    bool ok = true;
    if (handle != INVALID_HANDLE_VALUE) ok = CloseHandle(handle) != FALSE;
    handle = INVALID_HANDLE_VALUE;
    return ok;
  }
  ~TempFile() {
    Close();
    if (!keep && !path.empty()) DeleteFileA(path.c_str());
  }
};

}  // namespace

bool ValidUnzipParams(const UnzipParams* p) {
  if (!p) return false;
  if (p->Version < ZB_MIN_ENGINE_VERSION || p->Version > ZB_MAX_ENGINE_VERSION) return false;
  if (p->EndMark != ZB_PARAMS_END_MARK) return false;
  if (!p->ArchiveName || !p->ArchiveName[0]) return false;
  if (p->SpecCount < 0 || (p->SpecCount > 0 && !p->FileSpecs)) return false;
  return true;
}

UnzCommand::UnzCommand(const UnzipParams& params, uint32_t handle, const std::atomic<bool>& abort)
    : params_(params), handle_(handle), abort_(abort) {
  if (params_.Password && params_.Password[0])
    passwords_.emplace_back(params_.Password, strnlen(params_.Password, ZB_PASSWORD_MAX));
}

bool UnzCommand::Call(int32_t action, int32_t arg, const std::string* text, int64_t size, int32_t arg2,
                      int32_t arg3) {
  if (!Polled()) return false;
  return Send(action, arg, text, size, arg2, arg3) && Polled();
}

bool UnzCommand::Send(int32_t action, int32_t arg, const std::string* text, int64_t size, int32_t arg2,
                      int32_t arg3) {
  if (!params_.Callback) return true;
  std::memset(&record_, 0, sizeof record_);
  record_.Handle = params_.Handle;
  record_.Caller = params_.Caller;
  record_.ActionCode = action;
  record_.ErrorCode = arg;
  record_.FileName = text ? text->c_str() : "";
  record_.FileSize = size;
  record_.Arg2 = arg2;
  record_.Arg3 = arg3;
  int32_t answer = params_.Callback(params_.Caller, &record_);
  if (answer != ZB_CB_CONTINUE) {
    if (stop_ == Stop::None) stop_ = answer == ZB_CB_HANDLER_FAILED ? Stop::Handler : Stop::Cancel;
    return false;
  }
  return true;
}

bool UnzCommand::Polled() {
  if (stop_ == Stop::None && abort_.load(std::memory_order_relaxed)) stop_ = Stop::Abort;
  return stop_ == Stop::None;
}

void UnzCommand::Message(int32_t code, const std::string& text) { Call(zacMessage, code, &text); }

void UnzCommand::Verbose(const std::string& text) {
  if (params_.Verbose || params_.Trace) Message(zemNone, text);
}

void UnzCommand::Trace(const std::string& text) {
  if (params_.Trace) Message(zemNone, text);
}

void UnzCommand::Skip(const std::string& name, ZBSkipType type, int32_t code, const std::string& text) {
  if (code != zemNone)
    Message(code, text);
  else
    Verbose(text);
  Call(zacSkipped, code, &name, 0, static_cast<int32_t>(type) + 1);
}

int32_t UnzCommand::Run() {
  Call(zacCommandHandle, static_cast<int32_t>(handle_));

  if (params_.ExtractDir && params_.ExtractDir[0]) {
    base_.assign(params_.ExtractDir, strnlen(params_.ExtractDir, ZB_EXTRACT_DIR_SIZE - 1));
  } else {
    char buf[MAX_PATH + 1];
    DWORD n = GetCurrentDirectoryA(sizeof buf, buf);
    if (n > 0 && n < sizeof buf) base_.assign(buf, n);
  }
  if (!base_.empty() && base_.back() != '\\') base_ += '\\';

  int32_t failure = 0;
  std::string detail;
  if (stop_ != Stop::None) {
    // cancelled at once
  } else if (!params_.Test && !IsFolder(base_)) {
    Message(zemTarget, Fmt("Extract folder %s does not exist", base_.c_str()));
    failure = ZB_ERR_TARGET;
  } else if (!source_.Open(params_.ArchiveName)) {
    Message(zemArchive, Fmt("Cannot open %s (error %u)", params_.ArchiveName, static_cast<unsigned>(GetLastError())));
    failure = ZB_ERR_ARCHIVE;
  } else if (ReadDirectory(source_, archive_, detail) != ZReadResult::Ok) {
    Message(zemArchive, Fmt("Cannot read %s: %s", params_.ArchiveName, detail.c_str()));
    failure = ZB_ERR_ARCHIVE;
  }

  if (failure == 0 && stop_ == Stop::None) {
    Trace(Fmt("%s: %zu entries, %lld bytes in front", params_.ArchiveName, archive_.entries.size(),
              static_cast<long long>(archive_.shift)));
    std::vector<size_t> selected;
    std::vector<std::string> names;
    uint64_t total = 0;
    int32_t files = 0;  // folders are made, not counted: the count matches the items reported
    for (size_t i = 0; i < archive_.entries.size(); ++i) {
      const ZEntry& e = archive_.entries[i];
      std::string name = EntryNameToAnsi(e);
      if (e.IsDirectory() && !params_.DirNames) continue;
      if (params_.SpecCount > 0) {
        bool wanted = false;
        for (int32_t s = 0; s < params_.SpecCount && !wanted; ++s)
          wanted = params_.FileSpecs[s].FileSpec && MatchSpec(params_.FileSpecs[s].FileSpec, name);
        if (!wanted) continue;
      }
      selected.push_back(i);
      names.push_back(std::move(name));
      total += e.size;
      if (!e.IsDirectory()) ++files;
    }
    Call(zacCount, files);
    Call(zacSize, 0, nullptr, static_cast<int64_t>(total));
    std::vector<size_t> ahead;
    for (size_t i : selected)
      if (Prefetcher::Suits(archive_.entries[i])) ahead.push_back(i);
    if (!ahead.empty()) {
      // A handle of its own, on the same file as far as can be told.
      auto own = std::make_unique<FileSource>();
      if (own->Open(params_.ArchiveName) && own->Size() == source_.Size())
        prefetch_ = std::make_unique<Prefetcher>(std::move(own), archive_, std::move(ahead));
    }
    for (size_t k = 0; k < selected.size() && Polled(); ++k) {
      ProcessEntry(selected[k], archive_.entries[selected[k]], names[k]);
      if (prefetch_) prefetch_->Release(selected[k]);
    }
    prefetch_.reset();
    if (stop_ == Stop::None)
      Verbose(Fmt("%d file(s) %s", processed_, params_.Test ? "tested" : "extracted"));
  }

  // The end of the batch goes out whatever happened, so progress displays close; its answer
  // changes nothing any more.
  Stop stopped = stop_;
  Send(zacEndOfBatch, 0);
  switch (stopped) {
    case Stop::Cancel: return ZB_ERR_CANCELLED;
    case Stop::Abort: return ZB_ERR_ABORTED;
    case Stop::Handler: return ZB_ERR_HANDLER;
    case Stop::None: break;
  }
  return failure != 0 ? failure : processed_;
}

void UnzCommand::ProcessEntry(size_t index, const ZEntry& entry, const std::string& ansiName) {
  std::string name = ansiName;
  if (!Call(zacExtName, 0, &name)) return;
  if (record_.ActionCode == ZB_REPLY_YES && params_.Callback) {
    std::string changed(record_.Reply, strnlen(record_.Reply, ZB_REPLY_TEXT_MAX));
    if (!changed.empty()) name = changed;
  }

  std::string rel;
  // A file cannot take the extract folder's place.
  if (!SafeRelativeName(name, rel) || (rel.empty() && !entry.IsDirectory())) {
    Skip(name, zskUnsafeName, zemUnsafeName, Fmt("Skipped %s: the name leads outside the extract folder", name.c_str()));
    return;
  }
  if (rel.empty()) return;  // the extract folder itself, which exists
  if (entry.IsDirectory()) {
    if (params_.Test) return;
    if (!ForceFolders(base_ + rel))
      Skip(name, zskWriteError, zemWrite, Fmt("Cannot create folder %s", (base_ + rel).c_str()));
    else
      Trace(Fmt("Folder %s", rel.c_str()));
    return;
  }
  if (!IsSupportedMethod(entry.method) || (entry.flags & 0x0040) != 0) {
    Skip(name, zskUnsupported, zemUnsupported,
         Fmt("Skipped %s: compression method %u is not supported", name.c_str(), entry.method));
    return;
  }
  if (!params_.DirNames) rel.erase(0, NamePartStart(rel));
  std::string path = base_ + rel;

  if (!params_.Test) {
    DWORD attrs = GetFileAttributesA(path.c_str());
    if (attrs != INVALID_FILE_ATTRIBUTES) {
      if (attrs & FILE_ATTRIBUTE_DIRECTORY) {
        Skip(name, zskWriteError, zemWrite, Fmt("Cannot extract %s: a folder of that name exists", name.c_str()));
        return;
      }
      uint32_t existing = 0;
      bool entryNewer = !ExistingDosDateTime(path, existing) || entry.DosDateTime() > existing;
      bool update = params_.Update != 0, freshen = params_.Freshen != 0 && !update;
      if ((update || freshen) && !entryNewer) {
        Skip(name, update ? zskNotNewer : zskFreshen, zemNone, Fmt("Skipped %s: the existing file is not older", name.c_str()));
        return;
      }
      int32_t wanted = (update || freshen || params_.OverWrite) ? 1 : 0;
      if (!Call(zacOverwrite, wanted, &name, 0, static_cast<int32_t>(index), entryNewer ? 1 : 2)) return;
      bool overwrite = wanted != 0;
      if (params_.Callback && record_.ActionCode == ZB_REPLY_YES) overwrite = true;
      if (params_.Callback && record_.ActionCode == ZB_REPLY_NO) overwrite = false;
      if (!overwrite) {
        Skip(name, zskNoOverwrite, zemNone, Fmt("Skipped %s: the file exists", name.c_str()));
        return;
      }
    } else if (params_.Freshen && !params_.Update) {
      Skip(name, zskFreshen, zemNone, Fmt("Skipped %s: no file to freshen", name.c_str()));
      return;
    }
  }

  uint64_t dataOffset = 0;
  std::string detail;
  if (!LocateData(source_, archive_, entry, dataOffset, detail)) {
    Skip(name, zskDamaged, zemDamaged, Fmt("Cannot extract %s: %s", name.c_str(), detail.c_str()));
    return;
  }
  std::unique_ptr<ZCryptKeys> keys;
  if (entry.IsEncrypted() && !ObtainKeys(entry, name, dataOffset, keys)) return;
  if (!Call(zacItem, 0, &name, static_cast<int64_t>(entry.size))) return;
  if (params_.Test)
    TestEntry(index, entry, name, dataOffset, keys.get());
  else
    ExtractTo(index, entry, name, path, dataOffset, keys.get());
}

bool UnzCommand::ObtainKeys(const ZEntry& entry, const std::string& name, uint64_t& dataOffset,
                            std::unique_ptr<ZCryptKeys>& keys) {
  unsigned char header[kCryptHeaderSize];
  if (entry.compressedSize < kCryptHeaderSize || !source_.ReadAt(dataOffset, header, kCryptHeaderSize)) {
    Skip(name, zskDamaged, zemDamaged, Fmt("Cannot extract %s: encryption header missing", name.c_str()));
    return false;
  }
  auto trial = std::make_unique<ZCryptKeys>(std::string());
  for (size_t i = 0; i < passwords_.size(); ++i) {
    if (CheckPassword(header, entry, passwords_[i], *trial)) {
      std::string pw = passwords_[i];
      passwords_.erase(passwords_.begin() + static_cast<long>(i));
      passwords_.insert(passwords_.begin(), pw);
      dataOffset += kCryptHeaderSize;
      keys = std::move(trial);
      return true;
    }
  }
  uint32_t left = params_.PwdReqCount;
  for (int asked = 0; !noMorePasswords_ && left > 0 && asked < kMaxPasswordRequests; ++asked) {
    if (!Call(zacPassword, static_cast<int32_t>(left), &name)) return false;
    if (!params_.Callback) break;
    int32_t code = record_.ActionCode;
    if (code == ZB_REPLY_NO_TO_ALL) noMorePasswords_ = true;
    if (code != ZB_REPLY_YES) break;
    std::string pw(record_.Reply, strnlen(record_.Reply, ZB_PASSWORD_MAX));
    uint32_t repeat = static_cast<uint32_t>(record_.ErrorCode);
    if (!pw.empty() && CheckPassword(header, entry, pw, *trial)) {
      passwords_.insert(passwords_.begin(), pw);
      dataOffset += kCryptHeaderSize;
      keys = std::move(trial);
      return true;
    }
    Verbose(Fmt("Wrong password for %s", name.c_str()));
    left = repeat > 0 ? repeat - 1 : 0;
  }
  Skip(name, zskBadPassword, zemPassword, Fmt("Skipped %s: no valid password", name.c_str()));
  return false;
}

bool UnzCommand::ProgressSink(size_t n) {
  pendingProgress_ += n;
  if (pendingProgress_ >= kProgressStep) return FlushProgress();
  return Polled();
}

bool UnzCommand::FlushProgress() {
  if (pendingProgress_ == 0) return Polled();
  uint64_t n = pendingProgress_;
  pendingProgress_ = 0;
  return Call(zacProgress, 0, nullptr, static_cast<int64_t>(n));
}

bool UnzCommand::ReportCrc(const std::string& name, uint32_t found, uint32_t expected) {
  if (!Call(zacCRCError, static_cast<int32_t>(found), &name, 0, static_cast<int32_t>(expected))) return false;
  bool keep = !params_.Test && params_.Callback && record_.ActionCode == ZB_REPLY_YES;
  if (!keep) {
    Skip(name, zskBadCRC, zemCRC,
         Fmt("CRC error in %s: found %08X, expected %08X", name.c_str(), static_cast<unsigned>(found),
             static_cast<unsigned>(expected)));
    return false;
  }
  Verbose(Fmt("%s extracted despite a CRC error, as asked", name.c_str()));
  return true;
}

DecodeOutcome UnzCommand::DecodeData(size_t index, const ZEntry& entry, uint64_t dataOffset, ZCryptKeys* keys,
                                     const DecodeSink& sink) {
  DecodeOutcome o;
  if (!keys && prefetch_ && prefetch_->Deliver(index, sink, o)) return o;
  return decoder_.Decode(source_, dataOffset, entry, keys, sink);
}

bool UnzCommand::TestEntry(size_t index, const ZEntry& entry, const std::string& name, uint64_t dataOffset,
                           ZCryptKeys* keys) {
  DecodeOutcome o = DecodeData(index, entry, dataOffset, keys,
                               [this](const unsigned char*, size_t n) { return ProgressSink(n); });
  if (o.result != DecodeResult::Stopped && !FlushProgress()) return false;
  switch (o.result) {
    case DecodeResult::Ok:
      ++processed_;
      Verbose(Fmt("Tested %s: OK", name.c_str()));
      return true;
    case DecodeResult::CrcMismatch:
      return ReportCrc(name, o.crc, entry.crc);
    case DecodeResult::Stopped:
      return false;
    case DecodeResult::Damaged:
    case DecodeResult::ReadError:
      Skip(name, zskDamaged, zemDamaged, Fmt("Error in %s: %s", name.c_str(), o.detail.c_str()));
      return false;
  }
  return false;
}

std::string UnzCommand::TempNameFor(const std::string& path) {
  size_t cut = NamePartStart(path);
  std::string base = path.substr(cut);
  std::string ext;
  size_t dot = base.rfind('.');
  // Keep the extension: the layer decides by it whether a file is a program.
  if (dot != std::string::npos && dot > 0 && base.size() - dot <= 16) ext = base.substr(dot);
  // "~zb<writer's process id>-<number>": a writer killed before its rename leaves the name,
  // by which a later run knows the file is nobody's. CREATE_NEW settles clashes between runs
  // of one process; the tick count only makes them rare.
  if (tempCounter_ == 0) {
    tempCounter_ = GetTickCount() & 0xFFFFF;
    tempPrefix_ = Fmt("~zb%lu-", static_cast<unsigned long>(GetCurrentProcessId()));
  }
  return path.substr(0, cut) + tempPrefix_ + Fmt("%x", static_cast<unsigned>(++tempCounter_)) + ext;
}

void UnzCommand::RemoveEndedWritersTemporaries(const std::string& folder) {
  if (!cleaned_.insert(folder).second) return;
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA((folder + "~zb*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return;
  const DWORD self = GetCurrentProcessId();
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    // "~zb", the decimal process id, "-", the hexadecimal number, the extension if any.
    const char* p = found.cFileName + 3;
    char* end = nullptr;
    unsigned long pid = std::strtoul(p, &end, 10);
    if (end == p || *p < '0' || *p > '9' || *end != '-' || pid == 0 || pid > 0x7FFFFFFF || pid == self) continue;
    const char* number = end + 1;
    std::strtoul(number, &end, 16);
    if (end == number || !std::isxdigit(static_cast<unsigned char>(*number)) || (*end != '\0' && *end != '.'))
      continue;
    // Only a writer that is certainly gone: a process that cannot be opened for want of rights
    // still runs.
    HANDLE writer = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    if (writer) {
      CloseHandle(writer);
      continue;
    }
    if (GetLastError() != ERROR_INVALID_PARAMETER) continue;
    // The id is looked up in this process namespace only: a writer in another one, or on
    // another machine sharing the folder, looks ended. Its file is still open without
    // FILE_SHARE_DELETE, and the delete refuses it wherever the writer runs, as on Windows.
    std::string stale = folder + found.cFileName;
    if (DeleteFileA(stale.c_str()))
      Trace(Fmt("Removed %s, left by an ended run", stale.c_str()));
  } while (FindNextFileA(find, &found));
  FindClose(find);
}

bool UnzCommand::ExtractTo(size_t index, const ZEntry& entry, const std::string& name, const std::string& path,
                           uint64_t dataOffset, ZCryptKeys* keys) {
  size_t cut = NamePartStart(path);
  if (!ForceFolders(path.substr(0, cut))) {
    Skip(name, zskWriteError, zemWrite, Fmt("Cannot create the folder of %s", path.c_str()));
    return false;
  }
  RemoveEndedWritersTemporaries(path.substr(0, cut));
  TempFile temp;
  for (int tries = 0; tries < 100 && temp.handle == INVALID_HANDLE_VALUE; ++tries) {
    std::string candidate = TempNameFor(path);
    temp.handle = CreateFileA(candidate.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (temp.handle != INVALID_HANDLE_VALUE) {
      temp.path = candidate;
      break;
    }
    DWORD err = GetLastError();
    if (err != ERROR_FILE_EXISTS && err != ERROR_ALREADY_EXISTS) break;
  }
  if (temp.handle == INVALID_HANDLE_VALUE) {
    Skip(name, zskWriteError, zemWrite,
         Fmt("Cannot create a file beside %s (error %u)", path.c_str(), static_cast<unsigned>(GetLastError())));
    return false;
  }

  DWORD writeError = 0;
  bool writeFailed = false;
  auto sink = [&](const unsigned char* data, size_t size) {
    while (size > 0) {
      DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
      DWORD written = 0;
      if (!WriteFile(temp.handle, data, chunk, &written, nullptr) || written != chunk) {
        writeError = GetLastError();
        writeFailed = true;
        return false;
      }
      data += chunk;
      size -= chunk;
      if (!ProgressSink(chunk)) return false;
    }
    return true;
  };
  DecodeOutcome o = DecodeData(index, entry, dataOffset, keys, sink);
  if (o.result != DecodeResult::Stopped && !FlushProgress()) return false;
  switch (o.result) {
    case DecodeResult::Ok:
      break;
    case DecodeResult::CrcMismatch:
      if (!ReportCrc(name, o.crc, entry.crc)) return false;
      break;
    case DecodeResult::Stopped:
      if (writeFailed)
        Skip(name, zskWriteError, zemWrite,
             Fmt("Cannot write %s (error %u)", path.c_str(), static_cast<unsigned>(writeError)));
      return false;
    case DecodeResult::Damaged:
    case DecodeResult::ReadError:
      Skip(name, zskDamaged, zemDamaged, Fmt("Cannot extract %s: %s", name.c_str(), o.detail.c_str()));
      return false;
  }

  FILETIME local, utc;
  if (DosDateTimeToFileTime(entry.dosDate, entry.dosTime, &local) && LocalFileTimeToFileTime(&local, &utc))
    SetFileTime(temp.handle, nullptr, nullptr, &utc);
  if (!temp.Close()) {
    Skip(name, zskWriteError, zemWrite,
         Fmt("Cannot write %s (error %u)", path.c_str(), static_cast<unsigned>(GetLastError())));
    return false;
  }
  if (!MoveFileExA(temp.path.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    Skip(name, zskWriteError, zemWrite,
         Fmt("Cannot replace %s (error %u)", path.c_str(), static_cast<unsigned>(GetLastError())));
    return false;
  }
  temp.keep = true;
  ++processed_;
  Verbose(Fmt("Extracted %s", name.c_str()));
  return true;
}

bool UnzCommand::ForceFolders(const std::string& folderPath) {
  // Folders below the extract folder only; the extract folder itself exists.
  std::string path = WithoutTrailingSlash(folderPath);
  if (path.size() + 1 <= base_.size()) return true;
  // Most entries go to a folder that an earlier one has made or found already.
  if (folders_.count(path)) return true;
  for (size_t pos = base_.size(); pos <= path.size(); ++pos) {
    if (pos < path.size() && path[pos] != '\\') continue;
    std::string sub = path.substr(0, pos);
    if (folders_.count(sub)) continue;
    DWORD attrs = GetFileAttributesA(sub.c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES) {
      if (!CreateDirectoryA(sub.c_str(), nullptr) && !IsFolder(sub)) return false;
    } else if ((attrs & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      return false;
    }
    folders_.insert(sub);
  }
  return true;
}

}  // namespace zbe
