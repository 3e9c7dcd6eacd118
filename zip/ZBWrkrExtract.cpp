// The extraction driver: checks its inputs, joins a split archive into one temporary file,
// fills the engine's parameter block, runs the engine and reports every failure once.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "ZBWrkr.h"
#include "windows.h"

void TZBWorker::Done() { TZBCore::Done(); }

int TZBWorker::Extract() {
  ExtExtract();
  return ErrCode;
}

void TZBWorker::FillUnzipParams(const AnsiString& archive, UnzipParams& block) {
  block.Handle = Unattended ? nullptr : OwnerWindow;
  block.Caller = this;
  block.Version = ZB_PARAMS_VERSION;
  block.Callback = &TZBWorker::DllCallback;
  block.Trace = Trace ? 1 : 0;
  block.CodePage = int32_t(CodePage);
  block.Reserved24 = 0;
  ParamPassword.assign(Password.c_str(), size_t(std::min(Password.Length(), ZB_PASSWORD_MAX)));
  block.Password = ParamPassword.c_str();
  block.Test = ExtrOptions.Contains(ExtrTest) ? 1 : 0;
  block.Command = ZB_UNZ_COMMAND_EXTRACT;
  block.Verbose = Verbose || Trace ? 1 : 0;
  block.Update = ExtrOptions.Contains(ExtrUpdate) ? 1 : 0;
  block.Freshen = ExtrOptions.Contains(ExtrFreshen) && !ExtrOptions.Contains(ExtrUpdate) ? 1 : 0;
  block.DirNames = ExtrOptions.Contains(ExtrDirNames) ? 1 : 0;
  block.OverWrite = ExtrOptions.Contains(ExtrOverWrite) ? 1 : 0;
  ParamArchive = archive.str();
  block.ArchiveName = ParamArchive.c_str();
  block.PwdReqCount = PasswordReqCount;
}

void TZBWorker::ExtExtract() {
  ErrCode = 0;
  SuccessCount = 0;
  ErrText = AnsiString();
  if (InEngineRun) return;
  InEngineRun = true;
  Cancel = false;
  // The flag is cleared on every way out, also when a handler raises (OnMessage while an error
  // is reported, a progress handler while the directory is read): a flag left set would make
  // every later extract return at once with nothing done.
  struct ExtractingFlag {
    bool& flag;
    ~ExtractingFlag() { flag = false; }
  } extracting{InEngineRun};

  AnsiString joined;  // the temporary single archive of a split set
  try {
    if (ZipFileName.IsEmpty()) throw EZipBuilder::CreateFromId(10102, true);
    if (ZipContents.empty()) {
      List();
      if (ZipContents.empty()) {
        if (ErrCode == 0) throw EZipBuilder::CreateFromId(11002, true);
        return;
      }
      Cancel = false;
    }

    AnsiString folder;
    if (!ExtrBaseDir.IsEmpty() && !ExtrOptions.Contains(ExtrTest)) {
      folder = DelimitPath(ExpandFileName(ExtrBaseDir), true);
      if (ExtrOptions.Contains(ExtrForceDirs)) ForceDirectory(folder);
      if (!DirExists(folder)) throw EZipBuilder::CreateFromIdStr(10504, folder);
      char probe[262] = {};
      if (GetTempFileNameA(folder.c_str(), "tmp", 0, probe) == 0) throw EZipBuilder::CreateFromIdStr(11051, folder);
      DeleteFileA(probe);
      // An archive that cannot fit is refused before anything is written: a few megabytes
      // may expand to gigabytes and fill the drive until a write fails half-way.
      if (FSpecArgs->Count() == 0 || FSpecArgs->Strings(0) == "*.*") {
        unsigned long long need = 0;
        for (const auto& entry : ZipContents)
          if (entry) need += entry->UncompressedSize;
        ULARGE_INTEGER free;
        if (GetDiskFreeSpaceExA(folder.c_str(), &free, nullptr, nullptr) && need > free.QuadPart)
          throw EZipBuilder::CreateFromIdStr(11005, ExtractFileDrive(folder));
      }
    }

    AnsiString archivePath = ZipFileName;
    if (LastPart > 0) {
      AnsiString temp;
      if (!TempDir.IsEmpty()) {
        temp = DelimitPath(TempDir, true);
      } else {
        char path[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, path);
        temp = path;
      }
      const int joinResult = ReadSpan(ZipFileName, temp);
      if (joinResult != 0) {
        // The join tells its failure through ShowZipMessage for some causes, which an unattended
        // component without OnMessage keeps to itself: the run must still fail.
        if (ErrCode == 0) throw EZipBuilder::CreateFromId(joinResult == -8 ? 10103 : 11024, true);
        return;
      }
      joined = temp;
      archivePath = joined;
      InEngineRun = true;
    }

    // The joined copy goes on every way out from here, the engine's failures included.
    struct JoinedFile {
      AnsiString& name;
      ~JoinedFile() {
        if (!name.IsEmpty()) DeleteFile(name);
        name = AnsiString();
      }
    } joinedGuard{joined};

    CheckLoad();

    UnzipParams block;
    std::memset(&block, 0, sizeof block);
    FillUnzipParams(archivePath, block);
    std::vector<char> extractDir;
    if (!folder.IsEmpty()) {
      extractDir.assign(ZB_EXTRACT_DIR_SIZE, '\0');
      std::memcpy(extractDir.data(), folder.c_str(), size_t(std::min(folder.Length(), ZB_EXTRACT_DIR_SIZE - 1)));
      block.ExtractDir = extractDir.data();
    }
    const int specCount = FSpecArgs->Count();
    std::vector<UnzFileSpec> specs(static_cast<size_t>(specCount));
    std::vector<std::string> specTexts(static_cast<size_t>(specCount));
    block.FileSpecs = specCount > 0 ? specs.data() : nullptr;
    if (specCount > 0 && FSpecArgs->Strings(0) != "*.*") {
      for (int i = 0; i < specCount; ++i) {
        specTexts[size_t(i)] = FSpecArgs->Strings(i).str();
        specs[size_t(i)].FileSpec = specTexts[size_t(i)].c_str();
      }
      block.SpecCount = specCount;
    } else {
      block.SpecCount = 0;
    }
    block.EndMark = ZB_PARAMS_END_MARK;
    FailedEventName = AnsiString();

    // Clean-up once the block exists, whether the engine returns or raises.
    struct BlockCleanup {
      TZBWorker* w;
      std::vector<char>& dir;
      ~BlockCleanup() {
        w->CheckRelease();
        w->FSpecArgs->Clear();
        w->ParamPassword.clear();
        w->ParamArchive.clear();
        if (!dir.empty()) SetCurrentDirectoryA(dir.data());
      }
    } cleanup{this, extractDir};

    if (Unattended && Password.IsEmpty() && !FEvents.OnPasswordError) {
      block.PwdReqCount = 0;
      Report(zrMessage, 0, 0, LoadZipStr(10502));
    }
    SuccessCount = UnzExec(&block);
  } catch (const EZipBuilder& e) {
    EZipBuilder failure = e;
    if (!FailedEventName.IsEmpty()) failure.Message = failure.Message + FailedEventName;
    SuccessCount = 0;
    ReportError(failure);
  }
}
