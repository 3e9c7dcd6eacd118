// Joining the parts of a split archive into one ordinary archive, the name table of the join,
// and the worker's activation.
#include <algorithm>
#include <exception>

#include "ZBWrkr.h"
#include "windows.h"

// ---------------------------------------------------------------- name table

TMZipDataList::TMZipDataList(int count) {
  SetCapacity(count);
  for (int i = 0; i < count; ++i) {
    auto rec = std::make_unique<TMZipDataRec>();
    Add(rec.get());
    rec.release();  // the list owns its records from here on
  }
}

TMZipDataList::~TMZipDataList() {
  for (int i = Count() - 1; i >= 0; --i) Delete(i);
}

void TMZipDataList::Notify(void* ptr, TListNotification action) {
  if (action == lnDeleted) delete static_cast<TMZipDataRec*>(ptr);
}

TMZipDataRec* TMZipDataList::Items(int index) const {
  if (index < 0 || index >= Count()) throw ERangeError("Index out of range");
  return static_cast<TMZipDataRec*>(Get(index));
}

int TMZipDataList::IndexOf(const AnsiString& name) const {
  for (int i = 0; i < Count(); ++i)
    if (CompareText(Items(i)->Name, name) == 0) return i;
  throw EZipBuilder::Create("A local header not found in internal structure");
}

int TMZipDataList::IndexOfUnplaced(const AnsiString& name) const {
  for (int i = 0; i < Count(); ++i)
    if (Items(i)->NewOffset < 0 && CompareText(Items(i)->Name, name) == 0) return i;
  return IndexOf(name);
}

// ---------------------------------------------------------------- join

namespace {

// The current position of a handle equals its end.
bool AtEnd(int h) {
  const long long pos = FileSeek(h, 0, soFromCurrent);
  const long long end = FileSeek(h, 0, soFromEnd);
  FileSeek(h, pos, soFromBeginning);
  return pos >= 0 && pos == end;
}

}  // namespace

void TZBWorker::WriteWithProgress(const void* buffer, int count, int id) {
  if (FileWrite(OutputHandle, buffer, count) != count) throw EZipBuilder::CreateFromId(id, true);
  if (WriteKind == 1)
    Report(zrExtraProgress, 0, count, AnsiString());
  else if (WriteKind == 2)
    Report(zrProgress, 0, count, AnsiString());
}

void TZBWorker::CopyData(uint8_t* buffer, uint32_t count, int id) {
  while (count != 0) {
    const int chunk = int(std::min<uint32_t>(count, uint32_t(BufferSize)));
    int got = FileRead(FileHandle, buffer, chunk);
    if (got < 0) got = 0;
    if (got < chunk) {
      if (!AtEnd(FileHandle)) throw EZipBuilder::CreateFromId(id, true);
      // Data missing after the last part: the set is cut short.
      if (CurrentPart >= int(LastPart)) throw EZipBuilder::CreateFromId(id, true);
      GetNewDisk(CurrentPart + 1);
    }
    WriteWithProgress(buffer, got, id);
    count -= uint32_t(got);
  }
}

int TZBWorker::ReadSpan(const AnsiString& archive, AnsiString& output) {
  DriveRoot = ExtractFileDrive(ExpandFileName(archive)) + "\\";
  HardDrive = IsHardDrive();
  CurrentPart = -1;
  NewDisk = false;
  WriteKind = 0;
  ErrCode = 0;
  NameInUse = archive;
  FileHandle = -1;
  OutputHandle = -1;
  InEngineRun = true;
  StartWaitCursor();
  CopyBuffer.assign(size_t(BufferSize), 0);
  std::unique_ptr<TMZipDataList> list;
  int result = 0;
  bool lastOpened = true;
  // The end runs on every way out, also when a handler raises while a failure is reported:
  // no part or output stays open and no partial archive stays in the temporary folder.
  struct JoinEnd {
    TZBWorker* w;
    std::unique_ptr<TMZipDataList>& list;
    AnsiString& output;
    const int& result;
    const int raising = std::uncaught_exceptions();
    ~JoinEnd() {
      const bool failed = result != 0 || std::uncaught_exceptions() > raising;
      w->CopyBuffer.clear();
      w->CopyBuffer.shrink_to_fit();
      list.reset();
      CloseFileHandle(w->FileHandle);
      if (w->OutputHandle != -1) {
        FileSetDate(w->OutputHandle, w->SourceDate);
        CloseFileHandle(w->OutputHandle);
        if (failed) {
          DeleteFile(output);
          output = AnsiString();
        }
      }
      w->InEngineRun = false;
      w->StopWaitCursor();
    }
  } end{this, list, output, result};

  try {
    if (!ExtractFileName(output).IsEmpty()) {
      EraseFile(output, HowToDelete);
      output = ChangeFileExt(output, ".zip");
    } else {
      output = MakeTempFileName(AnsiString(), AnsiString());
      if (output.IsEmpty()) throw EZipBuilder::CreateFromId(11027, true);
    }

    ZipEndOfCentral eoc;
    if (GetLastVolume(NameInUse, eoc, false) == -1) {
      lastOpened = false;
    } else {
      OutputHandle = FileCreate(output);
      if (OutputHandle == -1) throw EZipBuilder::CreateFromId(11009, true);
      SourceDate = FileGetDate(FileHandle);

      LastPart = eoc.ThisDiskNo;
      if (eoc.ThisDiskNo != eoc.CentralDiskNo) GetNewDisk(eoc.CentralDiskNo);
      if (FileSeek(FileHandle, eoc.CentralOffset, soFromBeginning) < 0) throw EZipBuilder::CreateFromId(11008, true);

      const int entries = eoc.TotalEntries;
      list = std::make_unique<TMZipDataList>(entries);
      long long total = (long long)eoc.ZipCommentLen + eoc.CentralSize + 22;

      // A central header, continued in the next part when this one has ended.
      auto readCentral = [&](ZipCentralHeader& ch, AnsiString& name, bool onlyAtEnd) {
        int got = FileRead(FileHandle, &ch, sizeof ch);
        if (got != int(sizeof ch)) {
          if (CurrentPart >= int(LastPart) || (onlyAtEnd && !AtEnd(FileHandle)))
            throw EZipBuilder::CreateFromId(11013, true);
          GetNewDisk(CurrentPart + 1);
          ReadExact(&ch, sizeof ch, 11013);
        }
        if (ch.HeaderSig != ZIP_CENTRAL_SIG) throw EZipBuilder::CreateFromId(11015, true);
        if (ch.Entry.FileNameLen >= 260) throw EZipBuilder::CreateFromId(11017, true);
        name.SetLength(ch.Entry.FileNameLen);
        ReadExact(name.c_str(), ch.Entry.FileNameLen, 11017);
      };

      for (int i = 0; i < entries; ++i) {
        if (Cancel) throw EZipAbort();
        ZipCentralHeader ch;
        AnsiString name;
        readCentral(ch, name, false);
        TMZipDataRec* rec = list->Items(i);
        rec->Name = name;
        rec->CompressedSize = ch.Entry.CompressedSize;
        total += 30 + ch.Entry.FileNameLen + ch.Entry.ExtraLen + (long long)ch.Entry.CompressedSize;
        if (ch.Entry.Flags & 8) total += 16;
        if (FileSeek(FileHandle, ch.Entry.ExtraLen + ch.Entry.CommentLen, soFromCurrent) < 0)
          throw EZipBuilder::CreateFromId(11008, true);
      }

      GetNewDisk(0);
      Report(zrNewExtraItem, 10, total, LoadZipStr(11410));
      WriteKind = 1;
      uint32_t sig = 0;
      if (FileRead(FileHandle, &sig, 4) != 4 || sig != ZIP_SPAN_SIG) throw EZipBuilder::CreateFromId(11031, true);

      uint8_t* buf = CopyBuffer.data();
      for (int i = 0; i < entries; ++i) {
        if (Cancel) throw EZipAbort();
        ZipLocalHeader lh;
        if (FileRead(FileHandle, &lh, sizeof lh) != int(sizeof lh)) {
          if (!AtEnd(FileHandle) || CurrentPart >= int(LastPart)) throw EZipBuilder::CreateFromId(11012, true);
          GetNewDisk(CurrentPart + 1);
          ReadExact(&lh, sizeof lh, 11012);
        }
        if (lh.HeaderSig != ZIP_LOCAL_SIG) throw EZipBuilder::CreateFromId(11014, true);
        AnsiString name;
        name.SetLength(lh.FileNameLen);
        ReadExact(name.c_str(), lh.FileNameLen, 11016);
        // Names that differ only in case each keep their own record.
        TMZipDataRec* rec = list->Items(list->IndexOfUnplaced(name));
        rec->NewOffset = FileSeek(OutputHandle, 0, soFromCurrent);
        Report(zrMessage, 0, 0, LoadZipStr(10105) + SetSlash(name));
        WriteWithProgress(&lh, sizeof lh, 11028);
        WriteWithProgress(name.c_str(), lh.FileNameLen, 11028);
        CopyData(buf, lh.ExtraLen, 11018);
        CopyData(buf, lh.CompressedSize ? lh.CompressedSize : rec->CompressedSize, 11021);
        if (lh.Flag & 8) CopyData(buf, 16, 11020);
      }

      long long centralOffset = FileSeek(OutputHandle, 0, soFromCurrent);
      for (int i = 0; i < entries; ++i) {
        if (Cancel) throw EZipAbort();
        ZipCentralHeader ch;
        AnsiString name;
        readCentral(ch, name, true);
        if (i == 0) centralOffset = FileSeek(OutputHandle, 0, soFromCurrent);
        // The directory is read in the same order as before: entry i is record i.
        TMZipDataRec* rec = CompareText(list->Items(i)->Name, name) == 0 ? list->Items(i)
                                                                          : list->Items(list->IndexOf(name));
        ch.Entry.LocalHeaderOffset = uint32_t(rec->NewOffset);
        ch.Entry.DiskStart = 0;
        WriteWithProgress(&ch, sizeof ch, 11029);
        WriteWithProgress(name.c_str(), ch.Entry.FileNameLen, 11029);
        CopyData(buf, ch.Entry.ExtraLen, 11019);
        CopyData(buf, ch.Entry.CommentLen, 11022);
      }

      eoc.ThisDiskNo = 0;
      eoc.CentralDiskNo = 0;
      // One part now: all entries are on it.
      eoc.CentralEntries = eoc.TotalEntries;
      eoc.CentralOffset = uint32_t(centralOffset);
      WriteWithProgress(&eoc, sizeof eoc, 11030);
      if (FileSeek(FileHandle, 22, soFromCurrent) < 0) throw EZipBuilder::CreateFromId(11008, true);
      CopyData(buf, eoc.ZipCommentLen, 11023);
    }
  } catch (...) {
    result = ReportCaught(11024);
  }
  if (!lastOpened) result = -9;
  return result;
}

void TZBWorker::SetActive(bool value) {
  if (value == Active) return;
  Active = value;
  if (value) {
    // A directory read empties the shown comment: keep the one waiting to be written.
    const AnsiString pendingComment = ZipComment;
    if (PendingOps.Contains(zpoDirRead)) List();
    if (PendingOps.Contains(zpoCommentWrite)) WriteZipComment(pendingComment);
  }
  PendingOps.Clear();
}
