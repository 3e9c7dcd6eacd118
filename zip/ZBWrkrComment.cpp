// Replacing the archive comment in place: the comment is the last thing in a zip file, so only
// the end record's length field, the comment bytes and the file's end change.
#include <new>

#include "ZBWrkr.h"

void TZBWorker::WriteZipComment(const AnsiString& comment) {
  bool written = false;
  FileHandle = -1;
  if (!Active) {
    PendingOps << zpoCommentWrite;
    ZipComment = comment;
    return;
  }
  // The archive is closed on every way out, also when OnMessage raises while an error is
  // reported.
  HandleCloser closer{FileHandle};
  try {
    if (ZipFileName.IsEmpty()) throw EZipBuilder::CreateFromId(10102, true);
    ZipEndOfCentral eoc;
    GetLastVolume(ZipFileName, eoc, true);
    ZipComment = comment;
    if (FileHandle != -1) {
      CloseFileHandle(FileHandle);
      const AnsiString oem = ConvertName(comment, true);
      if (oem == RawComment) return;
      const int len = oem.Length();
      // The length field holds 16 bits; a longer comment is refused before anything is written.
      if (len > 65535)
        throw EZipBuilder(LoadZipStr(11030) + ": comment longer than 65535 bytes", 11030, true);
      if ((unsigned long long)len + ArchiveSize + 22 > 4294967294ull) throw EZipBuilder::CreateFromId(10205, true);
      FileHandle = FileOpen(NameInUse, fmOpenReadWrite | fmShareDenyWrite);
      if (FileHandle == -1) throw EZipBuilder::CreateFromId(11002, true);
      if (FileSeek(FileHandle, EOCPosition, soFromBeginning) < 0) throw EZipBuilder::CreateFromId(11008, true);
      ReadExact(&eoc, sizeof eoc, 11011);
      eoc.ZipCommentLen = uint16_t(len);
      if (FileSeek(FileHandle, -22, soFromCurrent) < 0) throw EZipBuilder::CreateFromId(11008, true);
      written = true;
      if (FileWrite(FileHandle, &eoc, sizeof eoc) != int(sizeof eoc)) throw EZipBuilder::CreateFromId(11030, true);
      if (FileWrite(FileHandle, oem.c_str(), len) != len) throw EZipBuilder::CreateFromId(11010, true);
      written = false;
      THandleStream file(FileHandle);
      file.SetSize(file.Position());
    }
  } catch (const EZipBuilder& e) {
    ReportError(e);
    ZipComment = AnsiString();
  } catch (const std::bad_alloc&) {
    ShowZipMessage(10103, AnsiString());
    ZipComment = AnsiString();
  } catch (const EOutOfMemory&) {
    ShowZipMessage(10103, AnsiString());
    ZipComment = AnsiString();
  }
  CloseFileHandle(FileHandle);
  // A half-written record or comment: read the directory again so the view matches the file.
  if (written) List();
}
