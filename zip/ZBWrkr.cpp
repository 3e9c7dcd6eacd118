#include "ZBWrkr.h"

#include <new>

#include "Forms.h"

const AddStoreExts& DefaultStoreSuffixes() {
  static const AddStoreExts suffixes = [] {
    AddStoreExts s;
    for (int e = assGIF; e <= assAVI; ++e)
      if (e != assEXT) s << AddStoreSuffix(e);
    return s;
  }();
  return suffixes;
}

TZBWorker::TZBWorker(TComponent* owner) : TZBDynamicBind(owner) {
  FSpecArgs = std::make_unique<TStringList>();
  FSpecArgsExcl = std::make_unique<TStringList>();
  OwnerWindow = Application->Handle;
  CommandHandle = 0;
  Closing = false;
  PendingOps.Clear();
  Active = false;
  InEngineRun = false;

  RealFileSize = FirstDataOffset = CentralDirPos = 0;
  MultiPart = false;
  ZipComment = AnsiString();
  SetDefaults();

  ZipStream = std::make_unique<TZipStream>();
}

TZBWorker::~TZBWorker() {
  // No report or callback may reach the component while it is being torn down.
  Closing = true;
  Abort();
  FreeZipContents();
}

void TZBWorker::SetDefaults() {
  ZipFileName = AnsiString();
  Password = AnsiString();
  PasswordReqCount = 1;
  SuccessCount = 0;
  AddCompLevel = 9;
  Unattended = false;
  KeepFreeOnDisk1 = KeepFreeOnAllDisks = 0;
  MaxVolumeSize = 0;
  MinFreeVolumeSize = 65536;
  CodePage = cpAuto;
  HowToDelete = htdAllowUndo;
  AddStoreSuffixes = DefaultStoreSuffixes();
  DroppedDirCount = 0;
  BufferSize = 65536;
  SpanOptions.Clear();
  ConfirmErase = true;
}

void TZBWorker::SetCancel(bool flag) {
  if (flag == Cancel) return;
  TZBCore::SetCancel(flag);
}

void TZBWorker::Start() { TZBCore::Start(); }

void TZBWorker::FreeZipContents() { ZipContents.clear(); }

void TZBWorker::Clear() {
  Closing = true;
  Abort();
  Cancel = true;
  FreeZipContents();

  Reentered = false;
  PendingOps.Clear();
  RealFileSize = CentralDirPos = FirstDataOffset = 0;
  ZipComment = AnsiString();
  MultiPart = false;

  FSpecArgs->Clear();
  FSpecArgsExcl->Clear();
  InEngineRun = false;
  HardDrive = false;
  UseDirOnlyEntries = false;
  SetDefaults();

  Reset();
}

void TZBWorker::SetZipFileName(const AnsiString& name) {
  ZipFileName = name;
  List();
}

void TZBWorker::SetPasswordReqCount(uint32_t n) {
  if (n == PasswordReqCount) return;
  PasswordReqCount = n < 15u ? n : 15u;
}

void TZBWorker::SetExtAddStoreSuffixes(const AnsiString& text) {
  if (text.IsEmpty()) {
    ExtSuffixList = AnsiString();
    AddStoreSuffixes >> assEXT;
    return;
  }
  AnsiString list;
  const int len = text.Length();
  int i = 1;
  while (i <= len) {
    if (text[i] != '.') list += '.';
    while (i <= len) {
      const char c = text[i++];
      if (c == ',' || c == ';' || c == ':') {
        list += ':';
        break;
      }
      list += c;
    }
  }
  if (list[list.Length()] != ':') list += ':';
  ExtSuffixList = list.LowerCase();
  AddStoreSuffixes << assEXT;
}

int TZBWorker::ReportCaught(int otherId) {
  try {
    throw;
  } catch (const EZipBuilder& e) {
    ReportError(e);
    return -7;
  } catch (const std::bad_alloc&) {
    ShowZipMessage(10103, AnsiString());
    return -8;
  } catch (const EOutOfMemory&) {
    ShowZipMessage(10103, AnsiString());
    return -8;
  } catch (const std::exception& e) {
    ShowZipMessage(otherId, e.what());
    return -9;
  } catch (...) {
    ShowZipMessage(otherId, AnsiString());
    return -9;
  }
}
