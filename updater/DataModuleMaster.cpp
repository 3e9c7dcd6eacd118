#include "DataModuleMaster.h"

#include <windows.h>

#include "FormLogin.h"
#include "FormMain.h"
#include "IniFiles.h"
#include "QuorvexUtil.h"
#include "QuorvexWebGet.h"
#include "Registry.h"
#include "SysUtils.h"
#include "ZipBuilder.h"

const char* const URL_LOGIN_CHECK = "http://trelm.quorvex.example/pavoTrelm/pavoChkRegist.mms?D1=%s&D2=%s";
const char* const URL_DOWNLOAD_NOTICE = "http://trelm.quorvex.example/pavoTrelm/pavoChkDown.mms";
const char* const URL_VERSION_FILE = "http://update.quorvex.example/pavo/_Movrant/Version.inf";
const char* const URL_UPDATE_DEFAULT = "http://update.quorvex.example/pavo/_Movrant/";
const char* const URL_HELP_DEFAULT = "http://www.quorvex.example/Pavoproduct/customer/?mode=trelm";
const char* const URL_HOME_PAGE = "http://www.quorvex.example/";
const char* const URL_CERTIFY_PAGE = "http://www.quorvex.example/Pavoproduct/mypage/?mode=my_certify";
const char* const PROGRAM_TITLE = "Movrant for Pavo";

TdmMaster* dmMaster = nullptr;

namespace {

const char* const kRegistryBase = "Software\\Delmaro";
const char* const kRegistryKey = "Movrant for Pavo";

// The program's key under HKEY_CURRENT_USER, created when missing; null when it cannot be opened.
std::unique_ptr<TRegIniFile> OpenSettingsKey() {
  auto reg = std::make_unique<TRegIniFile>(kRegistryBase, KEY_ALL_ACCESS);
  if (!reg->CurrentKey() || !reg->OpenKey(kRegistryKey, true)) return nullptr;
  return reg;
}

}  // namespace

TdmMaster::TdmMaster(TComponent* Owner) : TDataModule(Owner), InfoFiles(std::make_unique<TInfoFileList>()) {
  OnDestroy = [this](TObject* Sender) { DataModuleDestroy(Sender); };
  dmMaster = this;
  ZipBuilder = new TZipBuilder(this);
  SetCurrentDir(ExtractFileDir(Application->ExeName));

  // With the longer title the search below cannot find this instance itself.
  Application->Title = AnsiString(PROGRAM_TITLE) + " Running..";
  if (ActivatePrevInstance(PROGRAM_TITLE)) return;
  Application->Title = PROGRAM_TITLE;

  ReadSettings();
  if (CheckConnection()) {
    frmLogin = new TfrmLogin(Application);
    int result = frmLogin->ShowModal();
    delete frmLogin;
    frmLogin = nullptr;
    if (result == mrOk) Application->CreateForm(frmMain);
  } else {
    AnsiString name;
    int state = GetConnectionState(&name);
    if (name.IsEmpty()) name = "없음";
    AnsiString text = Format(
        "Connection Name : %s [Type:%d]\n현재 인터넷에 연결되어 있지 않습니다.\nMovrant는 인터넷이 연결된 "
        "상태에서만 사용이 가능합니다.",
        name.c_str(), state);
    Application->MessageBox(text.c_str(), PROGRAM_TITLE, MB_ICONERROR);
  }
}

TdmMaster::TdmMaster(TComponent* Owner, int Dummy)
    : TDataModule(Owner, Dummy), InfoFiles(std::make_unique<TInfoFileList>()) {
  OnDestroy = [this](TObject* Sender) { DataModuleDestroy(Sender); };
  dmMaster = this;
  ZipBuilder = new TZipBuilder(this);
}

TdmMaster::~TdmMaster() {
  // The handler needs the module's fields, which are gone by the time the base destructor runs.
  if (OnDestroy) {
    TNotifyEvent destroy = std::move(OnDestroy);
    OnDestroy = nullptr;
    destroy(this);
  }
  if (dmMaster == this) dmMaster = nullptr;
}

void TdmMaster::DataModuleDestroy(TObject*) { InfoFiles.reset(); }

void TInfoFileList::Notify(void* ptr, TListNotification action) {
  if (action == lnDeleted) delete static_cast<TMemIniFile*>(ptr);
}

TInfoFileList::~TInfoFileList() { Clear(); }

bool TdmMaster::CheckConnection() { return GetConnectionState() != 0; }

void TdmMaster::ReadSettings() {
  {
    TMemIniFile ini(".\\Movrant.ini");
    HelpUrl = ini.ReadString("HELP", "URL", URL_HELP_DEFAULT);
    UseDownloadCache = ini.ReadBool("DOWNLOAD", "USECACHE", false);
    UpdateUrl = ini.ReadString("UPDATE", "URL", URL_UPDATE_DEFAULT);
  }

  AnsiString root = GetCurrentDir();
  if (auto reg = OpenSettingsKey()) {
    root = reg->ReadString("DOWNLOAD", "ROOTPATH", GetCurrentDir());
    AutoLogin = reg->ReadBool("AUTHEN", "AUTOLOGIN", false);
    SavedID = reg->ReadString("AUTHEN", "SAVED_ID", "");
  }
  // An empty stored root names no folder: start from the program folder as on a first start.
  if (root.IsEmpty()) root = GetCurrentDir();
  SetRootPath(root);
}

void TdmMaster::SaveLogin(bool save, AnsiString id, AnsiString) {
  UserID = id;
  if (auto reg = OpenSettingsKey()) {
    reg->WriteBool("AUTHEN", "AUTOLOGIN", save);
    reg->WriteString("AUTHEN", "SAVED_ID", save ? id : AnsiString());
  }
}

void TdmMaster::SetRootPath(AnsiString dir) {
  EnsureFolder(dir, "");
  if (dir.IsEmpty() || !DirectoryExists(dir)) return;
  if (auto reg = OpenSettingsKey()) reg->WriteString("DOWNLOAD", "ROOTPATH", dir);
  RootPath = dir;
  SetCurrentDir(dir);
}

AnsiString TdmMaster::EnsureFolder(AnsiString base, AnsiString sub) {
  AnsiString path = base.IsEmpty() ? sub : ExpandFileName(base + "\\" + sub);
  // An empty path names no folder and cannot be created: answer "" instead of an error.
  if (path.IsEmpty()) return "";
  if (!DirectoryExists(path)) {
    bool made = false;
    try {
      made = ForceDirectories(path);
    } catch (const Exception&) {
      made = false;
    }
    if (!made) path = "";
  }
  return path;
}

// ------------------------------------------------------------------ model info files, transfers

TMemIniFile* LoadInfoFile(AnsiString url) {
  AnsiString name = GetURLFileName(url);
  auto get = std::make_unique<TQuorvexWebGet>(nullptr);
  get->UseCache = true;
  get->PacketSize = 4096;
  char* buffer = nullptr;
  int n = get->GetBuffer(url, buffer, false);
  if (n < 1) return nullptr;

  std::unique_ptr<char[]> block(buffer);
  std::string text(block.get(), size_t(n));
  block.reset();
  std::erase(text, '"');
  TStringList lines;
  lines.SetText(AnsiString(std::move(text)));
  auto ini = std::make_unique<TMemIniFile>("");
  ini->SetStrings(&lines);
  ini->WriteString("__MANAGE__", "FILENAME", name);
  return ini.release();
}

bool TdmMaster::AddInfoFile(TMemIniFile* ini) {
  std::unique_ptr<TMemIniFile> owned(ini);
  TMacroMap* map = CreateMacroMap();
  try {
    ExpandIniMacros(map, owned.get(), "ENVIRONMENT");
  } catch (const EMacroLimit&) {
    FreeMacroMap(map);
    return false;
  } catch (...) {
    FreeMacroMap(map);
    throw;
  }
  InfoFiles->Add(owned.get());
  owned.release();
  FreeMacroMap(map);
  return true;
}

int DownloadToStream(AnsiString url, TStream* stream, bool useCache, bool encoded,
                     std::function<void(TObject* Sender, AnsiString FileName, int Max, int Position)> progress) {
  if (!stream) return -1;
  stream->SetSize(0);
  auto get = std::make_unique<TQuorvexWebGet>(nullptr);
  get->UseCache = useCache;
  get->EncodeAddress = !encoded;
  get->PacketSize = 4096;
  get->OnRecvProgress = std::move(progress);
  return get->GetStream(url, stream, false);
}

int DownloadToMemory(AnsiString url, char** buffer) {
  if (!buffer) return -1;
  auto get = std::make_unique<TQuorvexWebGet>(nullptr);
  get->UseCache = true;
  get->PacketSize = 4096;
  return get->GetBuffer(url, *buffer, false);
}

void TdmMaster::NotifyServer(AnsiString kind, AnsiString fileName) {
  AnsiString url =
      Format("%s?D1=\"%s\"&D4=\"%s\"&D5=%s", URL_DOWNLOAD_NOTICE, UserID.c_str(), fileName.c_str(), kind.c_str());
  char* buffer = nullptr;
  int n = DownloadToMemory(url, &buffer);
  if (n > 0) delete[] buffer;
}

void TdmMaster::UnzipTo(AnsiString zipFile, AnsiString folder, bool deleteAfter) {
  if (!FileExists(zipFile)) return;
  EnsureFolder("", folder);
  try {
    ZipBuilder->FSpecArgs->Clear();
    ZipBuilder->ZipFileName = zipFile;
    ZipBuilder->ExtrBaseDir = folder;
    ZipBuilder->Unattended = true;
    ZipBuilder->ExtrOptions = ExtrOpts() << ExtrDirNames << ExtrOverWrite;
    if (ZipBuilder->Extract() == 0 && deleteAfter) DeleteFile(zipFile);
  } catch (...) {
    // Callers judge the outcome by the files that appear.
  }
  SetCurrentDir(RootPath);
}
