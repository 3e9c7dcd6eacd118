#include "DataModuleMaster.h"

#include <memory>

#include "Classes.h"
#include "ConnectionState.h"
#include "FormWebBrowser.h"
#include "QuorvexWebGet.h"
#include "Registry.h"
#include "SysUtils.h"

const char* const URL_EVENT_CODE = "http://update.quorvex.example/pavo/splash/SorvelEvent_Code.txt";

TdmMaster* dmMaster = nullptr;
TfrmWebBrowser* frmWebBrowser = nullptr;

namespace {

const int kConnectionTries = 120;
const char* const kEventMarker = "#!#";

}  // namespace

TdmMaster::TdmMaster(TComponent* Owner) : TDataModule(Owner) {
  ReadLayout({});
  SetCurrentDir(ExtractFileDir(Application->ExeName));

  // No window exists yet: the wait blocks without pumping messages.
  for (int tries = 0; !IsConnected() && tries < kConnectionTries; ++tries) Sleep(1000);

  if (IsConnected() && CheckShowSplash()) Application->CreateForm(frmWebBrowser);
}

bool TdmMaster::IsConnected() { return GetConnectionState() != 0; }

int TdmMaster::GetEventIndex() {
  char* received = nullptr;
  int size;
  {
    auto get = std::make_unique<TQuorvexWebGet>(nullptr);
    get->UseCache = true;
    get->PacketSize = 4096;
    // No window exists yet, so nothing can be closed: the file gets a time limit of its own.
    get->TimeLimit = QWG_EARLY_FILE_LIMIT;
    size = get->GetBuffer(URL_EVENT_CODE, received, false);
  }
  if (size <= 0) return -1;
  std::unique_ptr<char[]> block(received);

  auto lines = std::make_unique<TStringList>();
  lines->SetText(AnsiString(block.get(), size));
  if (lines->Count() == 0) return -1;
  AnsiString first = lines->Strings(0);
  if (first.Pos(kEventMarker) != 1) return -1;
  return StringReplace(first, kEventMarker, "", rfReplaceAll).ToIntDef(-1);
}

bool TdmMaster::CheckShowSplash() {
  int index = GetEventIndex();
  bool show = false;
  int stored = 0;
  if (index > 0) {
    auto reg = std::make_unique<TRegIniFile>("Software\\Delmaro");
    if (reg->OpenKey("Movrant for Pavo", true)) {
      stored = reg->ReadInteger("SORVEL", "EVENTINDEX", 0);
      if (stored < index) {
        reg->WriteInteger("SORVEL", "EVENTINDEX", index);
        show = true;
      }
    }
  }
  if (ParamCount() >= 1 && (UpperCase(ParamStr(1)) == "/FORCE" || UpperCase(ParamStr(2)) == "/FORCE")) show = true;
  return show;
}
