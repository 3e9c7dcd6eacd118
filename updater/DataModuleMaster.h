// TdmMaster: Movrant's data module. Its constructor is the whole start-up; afterwards it is the
// run-wide store of settings, login values and model info files.
#pragma once
#include <functional>
#include <memory>
#include <vector>

#include "Classes.h"
#include "ConnectionState.h"
#include "Forms.h"

class TMemIniFile;
class TZipBuilder;
class TZBWorker;

// Addresses of the vendor's web service.
extern const char* const URL_LOGIN_CHECK;   // format with user ID and password
extern const char* const URL_DOWNLOAD_NOTICE;
extern const char* const URL_VERSION_FILE;
extern const char* const URL_UPDATE_DEFAULT;
extern const char* const URL_HELP_DEFAULT;
extern const char* const URL_HOME_PAGE;
extern const char* const URL_CERTIFY_PAGE;

extern const char* const PROGRAM_TITLE;  // "Movrant for Pavo"

// The model info files of the run; the list frees them.
class TInfoFileList : public TList {
 public:
  ~TInfoFileList() override;
  TMemIniFile* File(int index) const { return static_cast<TMemIniFile*>(Get(index)); }

 protected:
  void Notify(void* ptr, TListNotification action) override;
};

class TdmMaster : public TDataModule {
 public:
  explicit TdmMaster(TComponent* Owner);
  // The store without the start-up (the class library's CreateNew), for tests of its parts.
  TdmMaster(TComponent* Owner, int Dummy);
  ~TdmMaster() override;

  void DataModuleDestroy(TObject* Sender);

  bool CheckConnection();
  void ReadSettings();
  void SaveLogin(bool save, AnsiString id, AnsiString password);
  void SetRootPath(AnsiString dir);
  AnsiString EnsureFolder(AnsiString base, AnsiString sub);
  // Takes ownership of ini, also when expanding its macros fails. False when its macros expand
  // past the limits of ExpandMacros: the file is freed and not added, like one never received.
  bool AddInfoFile(TMemIniFile* ini);
  void NotifyServer(AnsiString kind, AnsiString fileName);
  void UnzipTo(AnsiString zipFile, AnsiString folder, bool deleteAfter);

  TZipBuilder* ZipBuilder = nullptr;  // owned as a component; extraction only

  std::unique_ptr<TInfoFileList> InfoFiles;
  AnsiString HelpUrl;
  bool UseDownloadCache = false;
  AnsiString RootPath;
  AnsiString UpdateUrl;
  AnsiString UserID;
  AnsiString CameraUrl;
  AnsiString InfoBaseUrl;
  bool AutoLogin = false;
  AnsiString SavedID;
};

extern TdmMaster* dmMaster;


// The progress event of a transfer: Max 0 without a length.
using TRecvProgress = std::function<void(TObject* Sender, AnsiString FileName, int Max, int Position)>;
// One model info file (or the version file) from url, parsed in memory; null when nothing came.
// progress, when given, is the transfer's OnRecvProgress (called after every packet); timeLimit,
// when not 0, the milliseconds the whole transfer may take (TQuorvexWebGet::TimeLimit).
TMemIniFile* LoadInfoFile(AnsiString url, TRecvProgress progress = nullptr, unsigned int timeLimit = 0);
// useCache false keeps the reply and its address out of the HTTP cache on disk; encoded true
// sends url as it is (its values encoded with URLEncodeQueryValue); progress, when given, is the
// transfer's OnRecvProgress (called after every packet).
int DownloadToStream(AnsiString url, TStream* stream, bool useCache = true, bool encoded = false,
                     TRecvProgress progress = nullptr);
// True when unpacking the archive that listing read into folder would create, replace or delete
// one of the program's own files; also for an archive without a listing, or one whose listing
// left out folder entries (list with UseDirOnlyEntries) or was read from another file.
bool ReachesProgramFiles(const TZBWorker& listing, const AnsiString& folder);
// buffer receives a new[] block without a terminating zero, owned by the caller.
int DownloadToMemory(AnsiString url, char** buffer);
