#include "DataModuleMaster.h"

#include <windows.h>

#include <algorithm>

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

// An entry's name read as UTF-8 and converted to the code page; empty when it is no UTF-8.
std::string Utf8Name(const std::string& name) {
  int wide = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name.data(), int(name.size()), nullptr, 0);
  if (wide <= 0) return "";
  std::wstring text(size_t(wide), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, name.data(), int(name.size()), text.data(), wide);
  int size = WideCharToMultiByte(CP_ACP, 0, text.data(), wide, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return "";
  std::string ansi(size_t(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), wide, ansi.data(), size, nullptr, nullptr);
  return ansi;
}

// Where the engine writes an entry of that name below folder: "." and empty steps dropped,
// ".." taken back; "" for a name it refuses (absolute, a drive or stream, a zero byte, out of
// the folder) or one that names the folder itself.
AnsiString EntryTarget(const AnsiString& folder, const std::string& name) {
  const std::string refused(":\0", 2);
  if (name.empty() || name[0] == '\\' || name[0] == '/' || name.find_first_of(refused) != std::string::npos) return "";
  std::vector<std::string> steps;
  for (size_t start = 0; start <= name.size();) {
    size_t end = std::min(name.find_first_of("\\/", start), name.size());
    std::string step = name.substr(start, end - start);
    if (step == "..") {
      if (steps.empty()) return "";
      steps.pop_back();
    } else if (!step.empty() && step != ".") {
      steps.push_back(step);
    }
    start = end + 1;
  }
  if (steps.empty()) return "";
  std::string path = ExcludeTrailingBackslash(folder).str();
  for (const std::string& step : steps) path += "\\" + step;
  return path.c_str();
}

const char* const kRegistryBase = "Software\\Delmaro";
const char* const kRegistryKey = "Movrant for Pavo";

// The program's key under HKEY_CURRENT_USER, created when missing; null when it cannot be opened.
std::unique_ptr<TRegIniFile> OpenSettingsKey() {
  auto reg = std::make_unique<TRegIniFile>(kRegistryBase, KEY_ALL_ACCESS);
  if (!reg->CurrentKey() || !reg->OpenKey(kRegistryKey, true)) return nullptr;
  return reg;
}

}  // namespace

// True when unpacking the listed archive into folder would create, replace or delete one of
// the program's own files, by any name an entry may be written under: as listed, read as
// UTF-8, or the Unicode path of its extra field (0x7075). An archive without a listing is
// refused too: its entries are unknown; and so is one whose listing dropped folder entries,
// which the engine makes all the same, or was read from another file.
bool ReachesProgramFiles(const TZBWorker& listing, const AnsiString& folder) {
  const auto& contents = listing.ZipContents;
  if (contents.empty() || listing.DroppedDirCount > 0) return true;
  // The engine unpacks the file given: a listing read from another one (the ".zip" beside an
  // executable that seems to carry only its directory) tells nothing of what it writes.
  if (listing.LastPart == 0 && !SamePath(listing.NameInUse, listing.ZipFileName)) return true;
  for (const auto& entry : contents) {
    if (!entry) continue;
    std::vector<std::string> names = {entry->FileName.str(), Utf8Name(entry->FileName.str())};
    const std::string& extra = entry->ExtraData.str();
    for (size_t at = 0; at + 4 <= extra.size();) {
      unsigned id = uint8_t(extra[at]) | uint8_t(extra[at + 1]) << 8;
      size_t len = uint8_t(extra[at + 2]) | uint8_t(extra[at + 3]) << 8;
      if (at + 4 + len > extra.size()) break;
      if (id == 0x7075 && len > 5 && extra[at + 4] == 1) names.push_back(Utf8Name(extra.substr(at + 9, len - 5)));
      at += 4 + len;
    }
    // Each name once: the program's files are told by what a path leads to, which takes a look
    // at every folder on the way.
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    for (const std::string& name : names) {
      AnsiString target = EntryTarget(folder, name);
      if (!target.IsEmpty() && IsProgramOwnFile(target)) return true;
    }
  }
  return false;
}

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

namespace {

// The transfers of the data module keep the windows alive, also for a caller without a progress
// of its own, so that a close asked meanwhile reaches the program and ends the transfer; the
// messages are let in once more afterwards, for a close asked while no packet came (the header
// lines), before the caller goes on.
template <class Run>
int Transfer(TQuorvexWebGet& get, TRecvProgress progress, Run run) {
  if (progress)
    get.OnRecvProgress = std::move(progress);
  else
    get.OnRecvProgress = [](TObject*, AnsiString, int, int) { Application->ProcessMessages(); };
  int n = run();
  Application->ProcessMessages();
  return n;
}

}  // namespace

TMemIniFile* LoadInfoFile(AnsiString url, TRecvProgress progress, unsigned int timeLimit) {
  AnsiString name = GetURLFileName(url);
  auto get = std::make_unique<TQuorvexWebGet>(nullptr);
  get->UseCache = true;
  get->PacketSize = 4096;
  get->TimeLimit = timeLimit;
  char* buffer = nullptr;
  int n = Transfer(*get, std::move(progress), [&] { return get->GetBuffer(url, buffer, false); });
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

int DownloadToStream(AnsiString url, TStream* stream, bool useCache, bool encoded, TRecvProgress progress) {
  if (!stream) return -1;
  stream->SetSize(0);
  auto get = std::make_unique<TQuorvexWebGet>(nullptr);
  get->UseCache = useCache;
  get->EncodeAddress = !encoded;
  get->PacketSize = 4096;
  return Transfer(*get, std::move(progress), [&] { return get->GetStream(url, stream, false); });
}

int DownloadToMemory(AnsiString url, char** buffer) {
  if (!buffer) return -1;
  auto get = std::make_unique<TQuorvexWebGet>(nullptr);
  get->UseCache = true;
  get->PacketSize = 4096;
  return Transfer(*get, nullptr, [&] { return get->GetBuffer(url, *buffer, false); });
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
    // The engine makes folder entries too: the check below must see them.
    ZipBuilder->UseDirOnlyEntries = true;
    ZipBuilder->ZipFileName = zipFile;
    ZipBuilder->ExtrBaseDir = folder;
    ZipBuilder->Unattended = true;
    ZipBuilder->ExtrOptions = ExtrOpts() << ExtrDirNames << ExtrOverWrite;
    // Camera data never write over the program itself, whatever folder the user chose: such an
    // archive stays packed.
    if (!ReachesProgramFiles(*ZipBuilder->Worker, folder) && ZipBuilder->Extract() == 0 && deleteAfter)
      DeleteFile(zipFile);
  } catch (...) {
    // Callers judge the outcome by the files that appear.
  }
  SetCurrentDir(RootPath);
}
