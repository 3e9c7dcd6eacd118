// The archive directory reader of the worker: finding the end record, reading the central
// directory into ZipContents, entry-name conversion and the probe of an arbitrary file.
#include <algorithm>
#include <cstring>
#include <vector>

#include "ZBWrkr.h"
#include "ZipEndRecord.h"
#include "windows.h"

namespace {

// The largest end record with its comment: 22 + 65535.
constexpr int kMaxEOCScan = 65557;
constexpr uint32_t kZip64LocatorSig = 0x07064B50;

uint32_t Sig(const char* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

}  // namespace

int TZBWorker::List() {
  FreeZipContents();
  FirstDataOffset = CentralDirPos = RealFileSize = 0;
  ZipComment = AnsiString();
  MultiPart = false;
  DroppedDirCount = 0;
  ErrCode = 0;
  uint8_t savedHost = 0, savedVersion = 20;
  HostByte = 0;
  VersionByte = 20;
  FileHandle = -1;
  if (!Active) {
    PendingOps << zpoDirRead;
    return ErrCode;
  }

  ZipEndOfCentral eoc = {};
  {
    const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS);
    struct ModeRestorer {
      UINT mode;
      ~ModeRestorer() { SetErrorMode(mode); }
    } restore{oldMode};
    // An executable that only carries the directory of its archive: read the .zip beside it.
    NameInUse = QueryZip(ZipFileName) == (zqExe | zqEOCAtEnd | zqCentralValid | zqEOCFound)
                    ? ChangeFileExt(ZipFileName, ".zip")
                    : ZipFileName;
    try {
      GetLastVolume(NameInUse, eoc, true);
    } catch (const EZipBuilder& e) {
      ReportError(e);
    }
  }
  if (FileHandle == -1) {
    if (FEvents.OnDirUpdate) FEvents.OnDirUpdate(Sender());
    return ErrCode;
  }

  StartWaitCursor();
  bool ok = false;
  {
    // The cursor and the file go back, and a failed read forgets its name, on every way out:
    // also when OnMessage raises while a failure is reported.
    struct After {
      TZBWorker* w;
      const bool& ok;
      ~After() {
        w->StopWaitCursor();
        CloseFileHandle(w->FileHandle);
        if (!ok) {
          w->ZipFileName = AnsiString();
          w->FirstDataOffset = 0;
        }
      }
    } after{this, ok};
    try {
      LastPart = eoc.ThisDiskNo;
      if (LastPart > 0) MultiPart = true;
      if (eoc.ThisDiskNo != eoc.CentralDiskNo) {
        GetNewDisk(eoc.CentralDiskNo);
        ArchiveSize = uint32_t(FileSeek(FileHandle, 0, soFromEnd));
        CentralDirPos = eoc.CentralOffset;
      } else {
        CentralDirPos = ArchiveSize - eoc.CentralSize - 22 - eoc.ZipCommentLen;
      }
      FirstDataOffset = ArchiveSize == 22 ? 0 : ArchiveSize;
      StructureWarning = CentralDirPos != eoc.CentralOffset;
      if (StructureWarning) ShowZipMessage(10203, AnsiString());
      // The engine unpacks the directory a Zip64 end record names, which this reader knows
      // nothing of: what it would list is not what is unpacked.
      if (ZipEndDefersToZip64(eoc.TotalEntries, eoc.CentralSize, eoc.CentralOffset)) {
        uint32_t locator = 0;
        if (EOCPosition >= 20 && FileSeek(FileHandle, EOCPosition - 20, soFromBeginning) >= 0 &&
            FileRead(FileHandle, &locator, 4) == 4 && locator == kZip64LocatorSig)
          throw EZipBuilder::CreateFromId(11015, true);
      }

      if (FileSeek(FileHandle, CentralDirPos, soFromBeginning) < 0) throw EZipBuilder::CreateFromId(10201, true);
      Report(zrNewExtraItem, 9, eoc.TotalEntries, LoadZipStr(11409));
      if (Trace) Report(zrMessage, 0, 0, Format("List - expecting %d files", int(eoc.TotalEntries)));
      ZipContents.reserve(eoc.TotalEntries);

      for (int i = 0; i < eoc.TotalEntries; ++i) {
        ZipCentralHeader ch;
        // Only this fixed header continues in the next part.
        while (FileRead(FileHandle, &ch, sizeof ch) != int(sizeof ch)) {
          if (CurrentPart >= int(eoc.ThisDiskNo)) throw EZipBuilder::CreateFromId(11013, true);
          GetNewDisk(CurrentPart + 1);
        }
        if (ch.HeaderSig != ZIP_CENTRAL_SIG) throw EZipBuilder::CreateFromId(11015, true);
        if (ch.Entry.FileNameLen >= 260) throw EZipBuilder::CreateFromId(11017, true);
        AnsiString stored;
        stored.SetLength(ch.Entry.FileNameLen);
        ReadExact(stored.c_str(), ch.Entry.FileNameLen, 11017);
        VersionByte = ch.Entry.VersionMadeBy;
        HostByte = ch.Entry.HostSystem;
        if (HostByte != 0) {
          savedHost = HostByte;
          savedVersion = VersionByte;
        }
        if (Trace) Report(zrMessage, 0, 0, Format("List - [%d] \"%s\"", i, stored.c_str()));

        auto entry = std::make_unique<ZipDirEntry>();
        static_cast<ZipDirEntryHeader&>(*entry) = ch.Entry;
        entry->FileName = SetSlash(ConvertName(stored, false));
        entry->Encrypted = (ch.Entry.Flags & 1) != 0;
        if (ch.Entry.ExtraLen) {
          entry->ExtraData.SetLength(ch.Entry.ExtraLen);
          if (FileRead(FileHandle, entry->ExtraData.c_str(), ch.Entry.ExtraLen) != ch.Entry.ExtraLen)
            throw EZipBuilder::CreateFromId(10201, true);
        }
        if (ch.Entry.CommentLen) {
          entry->FileComment.SetLength(ch.Entry.CommentLen);
          ReadExact(entry->FileComment.c_str(), ch.Entry.CommentLen, 11022);
        }

        const uint32_t localOffset = entry->LocalHeaderOffset;
        if (!UseDirOnlyEntries && ExtractFileName(entry->FileName).IsEmpty()) {
          ++DroppedDirCount;
          if (Trace) Report(zrMessage, 0, 0, Format("List - dropped dir [%d]", DroppedDirCount));
          entry.reset();
        } else {
          if (Trace)
            Report(zrMessage, 0, 0,
                   Format("List - adding \"%s\" [%s]", entry->FileName.c_str(), entry->FileComment.c_str()));
          ZipContents.push_back(std::move(entry));
          if (FEvents.OnNewName) FEvents.OnNewName(Sender(), i + 1, *ZipContents.back());
        }
        FirstDataOffset = std::min(FirstDataOffset, localOffset);
        Report(zrExtraProgress, 9, 1, LoadZipStr(11409));
        if (Cancel) throw EZipAbort();
      }
      LastPart = eoc.ThisDiskNo;
      ok = true;
    } catch (...) {
      ReportCaught(10202);
    }
    // A handler that raises at the end of the batch fails the read as one raising during it.
    try {
      Report(zrEndOfBatch, 9, 0, AnsiString());
    } catch (...) {
      ok = false;
      ReportCaught(10202);
    }
  }

  if (ok) {
    // Anything placed in front of the archive shifts every stored offset.
    FirstDataOffset += CentralDirPos - eoc.CentralOffset;
    HostByte = savedHost;
    VersionByte = savedVersion;
    ZipComment = ConvertName(RawComment, false);
  }
  if (FEvents.OnDirUpdate) FEvents.OnDirUpdate(Sender());
  return ErrCode;
}

bool TZBWorker::OpenEOC(ZipEndOfCentral& eoc) {
  ZipComment = AnsiString();
  RawComment = AnsiString();
  EOCPosition = 0;
  FileHandle = FileOpen(NameInUse, fmOpenRead | fmShareDenyWrite);
  if (FileHandle == -1) {
    ShowZipMessage(11002, AnsiString());
    return false;
  }
  try {
    uint32_t sig = 0;
    if (FileRead(FileHandle, &sig, 4) == 4 && sig == ZIP_SPAN_SIG && FileRead(FileHandle, &sig, 4) == 4 &&
        sig == ZIP_LOCAL_SIG)
      MultiPart = true;

    const long long pos = FileSeek(FileHandle, -22, soFromEnd);
    const long long size = pos >= 0 ? pos + 22 : 0;
    if (pos < 0 || (size >> 32) != 0) {
      CloseFileHandle(FileHandle);
      if (Verbose) Report(zrMessage, 0, 0, "Opening EOC seek error" + IntToStr(size / 1048576) + "Mb");
      return false;
    }
    ArchiveSize = RealFileSize = uint32_t(size);

    // The engine takes the end record by the same rule, so that it unpacks the directory listed
    // here; an archive with two that could be its own is not valid.
    const int n = int(std::min<long long>(size, kMaxEOCScan));
    std::vector<char> buf(size_t(n) + 1);
    size_t found = 0;
    if (FileSeek(FileHandle, -n, soFromEnd) >= 0) {
      ReadExact(buf.data(), n, 11011);
      if (FindZipEndRecord(reinterpret_cast<const unsigned char*>(buf.data()), size_t(n), found) ==
          ZipEndSearch::Found) {
        const int i = int(found);
        EOCPosition = int(size - n + i);
        std::memcpy(&eoc, &buf[size_t(i)], 22);
        const int len = eoc.ZipCommentLen;
        if (len != 0) RawComment = AnsiString(&buf[size_t(i) + 22], std::min(len, n - i - 22));
        const int end = i + 22 + len;
        if (end != n) {
          ArchiveSize = uint32_t(ArchiveSize + (end - n));
          // A few control or high bytes after the comment are what some tools leave there.
          bool harmless = RealFileSize - ArchiveSize < 512u;
          for (int k = end; harmless && k < n; ++k) harmless = int8_t(buf[size_t(k)]) < 0x2F;
          if (!harmless) ShowZipMessage(10204, AnsiString());
        }
        return true;
      }
    }
  } catch (...) {
  }
  CloseFileHandle(FileHandle);
  return false;
}

void TZBWorker::ReadExact(void* buffer, int count, int id) {
  if (FileRead(FileHandle, buffer, count) != count) throw EZipBuilder::CreateFromId(id, true);
}

AnsiString TZBWorker::ConvertName(const AnsiString& text, bool toOem) {
  const bool convert =
      CodePage == cpOEM ||
      (CodePage == cpAuto && (HostByte == 0 || HostByte == 6 || (HostByte == 11 && VersionByte == 50)));
  if (!convert) return text;
  std::vector<char> buf(size_t(text.Length()) * 2 + 1, '\0');
  // The conversion works on zero-terminated text: a stored zero byte ends the name.
  std::string src(text.c_str(), size_t(text.Length()));
  if (toOem)
    CharToOemA(src.c_str(), buf.data());
  else
    OemToCharA(src.c_str(), buf.data());
  return AnsiString(buf.data());
}

bool TZBWorker::EndsWithSlash(const AnsiString& name) {
  if (name.IsEmpty()) return false;
  const char c = name[name.Length()];
  return c == '/' || c == '\\';
}

int QueryZip(const AnsiString& fileName) {
  int h = FileOpen(fileName, fmOpenRead | fmShareDenyWrite);
  if (h == -1) return -7;
  HandleCloser closer{h};
  try {
    int result = 0;
    char head[4];
    if (FileRead(h, head, 4) != 4) return 0;
    const uint32_t first = Sig(head);
    if ((first & 0xFFFF) == 0x5A4D)
      result |= zqExe;
    else if (first == ZIP_LOCAL_SIG)
      result |= zqLocalFirst;
    else if (first == ZIP_CENTRAL_SIG)
      result |= zqCentralFirst;
    else if (first == ZIP_SPAN_SIG)
      result |= zqSpanFirst;

    const long long pos = FileSeek(h, -22, soFromEnd);
    if (pos < 0) return 0;
    const long long size = pos + 22;

    // Central directory where the end record says, and the local header its first entry names.
    auto testDirectory = [&](const ZipEndOfCentral& eoc) {
      ZipCentralHeader ch;
      if (FileSeek(h, eoc.CentralOffset, soFromBeginning) < 0 || FileRead(h, &ch, sizeof ch) != int(sizeof ch) ||
          ch.HeaderSig != ZIP_CENTRAL_SIG)
        return;
      result |= zqCentralValid;
      if (ch.Entry.DiskStart != eoc.ThisDiskNo) return;
      char local[4];
      if (FileSeek(h, ch.Entry.LocalHeaderOffset, soFromBeginning) >= 0 && FileRead(h, local, 4) == 4 &&
          Sig(local) == ZIP_LOCAL_SIG)
        result |= zqLocalValid;
    };

    ZipEndOfCentral eoc;
    bool atEnd = false;
    if (FileRead(h, &eoc, 22) == 22 && eoc.HeaderSig == ZIP_EOC_SIG) {
      atEnd = true;
      result |= zqEOCFound;
      if (eoc.ZipCommentLen == 0) result |= zqEOCAtEnd;
      if (eoc.ThisDiskNo == eoc.CentralDiskNo) {
        testDirectory(eoc);
        return result;
      }
    }
    result &= ~(zqLocalValid | zqCentralValid | zqEOCFound);
    const int n = int(std::min<long long>(size, kMaxEOCScan));
    std::vector<char> buf(size_t(n) + 1);
    if (FileSeek(h, -n, soFromEnd) >= 0 && FileRead(h, buf.data(), n) == n) {
      for (int i = n - 23; i >= 0; --i) {
        if (Sig(&buf[size_t(i)]) != ZIP_EOC_SIG) continue;
        std::memcpy(&eoc, &buf[size_t(i)], 22);
        result |= zqEOCFound;
        if (size - n + i + 22 + eoc.ZipCommentLen == size) result |= zqEOCAtEnd;
        if (eoc.ThisDiskNo == eoc.CentralDiskNo) {
          testDirectory(eoc);
          break;
        }
        result &= ~(zqLocalValid | zqCentralValid | zqEOCFound);
      }
    }
    if (atEnd) result |= zqEOCFound;
    return result;
  } catch (...) {
    return -9;
  }
}
