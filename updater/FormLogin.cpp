#include "FormLogin.h"

#include <shellapi.h>
#include <windows.h>

#include <functional>
#include <memory>

#include "DataModuleMaster.h"
#include "IniFiles.h"
#include "QuorvexUtil.h"
#include "QuorvexWebUpdate.h"
#include "SysUtils.h"

TfrmLogin* frmLogin = nullptr;

namespace {

const TColor kSilver = TColor(0xC0C0C0);
const TColor kRed = TColor(0x0000FF);
const int kRestartResult = 4;

const char* const kNoConnection =
    "기본 정보를 받아올수 없습니다.\nMovrant는 인터넷이 연결된 상태에서만 사용이 가능합니다.";

// A transfer's progress that keeps the dialog alive and ends the transfer at its next packet
// once closing() holds.
TRecvProgress StoppedWhen(std::function<bool()> closing) {
  return [closing = std::move(closing)](TObject* Sender, AnsiString, int, int) {
    Application->ProcessMessages();
    if (closing())
      if (auto* get = dynamic_cast<TQuorvexWebGet*>(Sender)) get->Stop();
  };
}

}  // namespace

TfrmLogin::TfrmLogin(TComponent* Owner) : TForm(Owner) {
  ReadLayout({VCL_FIELD(imgFrameLogin), VCL_FIELD(edtID), VCL_FIELD(edtPassword), VCL_FIELD(cbxAutoLogin),
              VCL_FIELD(lblAutoLogin), VCL_FIELD(btnLogin), VCL_FIELD(btnCancel), VCL_FIELD(btnHomePage),
              VCL_FIELD(lvlVersion), VCL_FIELD(lblStatus), VCL_FIELD(lvlDataVersion1), VCL_FIELD(lvlDataVersion2),
              VCL_FIELD(lvlDataVersion3), VCL_FIELD(lblFile), VCL_FIELD(pbDownload), VCL_FIELD(Timer1),
              VCL_HANDLER(FormCreate), VCL_HANDLER(FormShow), VCL_HANDLER(FormClose), VCL_HANDLER(Timer1Timer),
              VCL_HANDLER(btnLoginClick), VCL_HANDLER(btnCancelClick), VCL_HANDLER(edtIDKeyDown),
              VCL_HANDLER(edtPasswordKeyDown), VCL_HANDLER(imgFrameLoginMouseDown), VCL_HANDLER(lblAutoLoginClick),
              VCL_HANDLER(btnHomePageClick)});

  cbxAutoLogin->Checked = dmMaster->AutoLogin;
  if (dmMaster->AutoLogin) edtID->Text = dmMaster->SavedID;
  lvlVersion->Caption = "Ver : " + GetFileVersionString(Application->ExeName, "FileVersion");
  imgFrameLogin->Picture->Bitmap->LoadFromResourceName(HInstance, "FRAME_LOGIN");
  btnHomePage->Glyph->LoadFromResourceName(HInstance, "HOME_PAGE");
  lvlVersion->Left = 404;
  lvlVersion->Font->Color = kSilver;
  lblStatus->Left = 116;
  lblStatus->Font->Color = kSilver;
  BringToFront();
  DoubleBuffered = true;
}

void TfrmLogin::FormCreate(TObject*) {
  if (dmMaster->CheckConnection()) {
    ShowVersions();
  } else {
    lvlDataVersion1->Font->Color = kRed;
    lvlDataVersion1->Caption = "인터넷이 연결되지 않았습니다.";
    lvlDataVersion2->Visible = false;
    lvlDataVersion3->Visible = false;
  }
}

void TfrmLogin::FormShow(TObject*) {
  if (ParamCount() >= 1 && ParamStr(1) == "-r") {
    EnableInputs();
    BringToFront();
    return;
  }
  Timer1->Interval = 1000;
  Timer1->Enabled = true;
  BringToFront();
}

void TfrmLogin::FormClose(TObject*, TCloseAction&) {}

void TfrmLogin::ShowVersions() {
  // Read before the dialog is shown, when the user has nothing to close: the file gets a time
  // limit of its own.
  std::unique_ptr<TMemIniFile> ini(LoadInfoFile(URL_VERSION_FILE, nullptr, QWG_EARLY_FILE_LIMIT));
  if (ini) {
    lvlDataVersion1->Font->Color = TColor(0);
    lvlDataVersion2->Visible = true;
    lvlDataVersion3->Visible = true;
    lvlDataVersion1->Caption = Format("프로그램 : %s", ini->ReadString("VERSION", "VER", "").c_str());
    lvlDataVersion2->Caption = Format("맵데이터 : %s년 %s월", ini->ReadString("MAP", "YEAR", "").c_str(),
                                      ini->ReadString("MAP", "MONTH", "").c_str());
    lvlDataVersion3->Caption =
        Format("안전운행 : %s년 %s월 %s차", ini->ReadString("CAMERA", "YEAR", "").c_str(),
               ini->ReadString("CAMERA", "MONTH", "").c_str(), ini->ReadString("CAMERA", "COUNT", "").c_str());
    return;
  }
  const char* const missing[] = {"프로그램 버전 없음.", "맵데이터 버전 없음.", "안전운행 버전 없음."};
  TLabel* const labels[] = {lvlDataVersion1, lvlDataVersion2, lvlDataVersion3};
  for (int i = 0; i < 3; ++i) {
    labels[i]->Visible = true;
    labels[i]->Font->Color = kRed;
    labels[i]->Caption = missing[i];
  }
}

void TfrmLogin::Timer1Timer(TObject*) {
  Timer1->Enabled = false;
  auto update = std::make_unique<TQuorvexWebUpdate>(this);
  bool restart = false;
  if (dmMaster->CheckConnection()) {
    update->OnRestart = [this](TObject* Sender) { OnUpdateRestart(Sender); };
    update->OnRecvProgress = [this](TObject* Sender, AnsiString FileName, int Max, int Position) {
      OnUpdateProgress(Sender, FileName, Max, Position);
    };
    update->OnInfoFile = [this](TObject* Sender, AnsiString Message) { OnUpdateInfoFile(Sender, Message); };
    update->UseCache = false;
    update->Execute(dmMaster->UpdateUrl + "/" + "Movrant.inf");
    restart = update->IsRestart();
    lblFile->Visible = false;
    pbDownload->Visible = false;
  } else {
    Application->MessageBox(kNoConnection, PROGRAM_TITLE, MB_ICONERROR);
    ModalResult = mrCancel;
    restart = false;
  }
  if (restart)
    ModalResult = kRestartResult;
  else
    EnableInputs();
}

bool TfrmLogin::CloseAsked() { return ModalResult != mrNone || Application->Terminated; }

void TfrmLogin::OnUpdateProgress(TObject*, AnsiString FileName, int Max, int Position) {
  AnsiString name = GetURLFileName(FileName);
  if (name != "Movrant.inf" && Max != 0) {
    if (!lblFile->Visible) lblFile->Visible = true;
    if (!pbDownload->Visible) {
      pbDownload->Visible = true;
      Invalidate();
      Update();
    }
    lblFile->Caption = "File : " + StringReplace(name.UpperCase(), ".CAB", "", rfReplaceAll);
    pbDownload->Max = Max;
    pbDownload->Position = Position;
    pbDownload->Update();
    lblFile->Update();
  }
  Application->ProcessMessages();
}

void TfrmLogin::OnUpdateRestart(TObject*) {}

void TfrmLogin::OnUpdateInfoFile(TObject*, AnsiString) {}

void TfrmLogin::EnableInputs() {
  edtID->Enabled = true;
  edtPassword->Enabled = true;
  btnLogin->Enabled = true;
  btnCancel->Enabled = true;
  cbxAutoLogin->Enabled = true;
  if (dmMaster->AutoLogin)
    edtPassword->SetFocus();
  else
    edtID->SetFocus();
}

void TfrmLogin::SetStatus(AnsiString text) {
  if (text.IsEmpty()) {
    lblStatus->Caption = "";
    lblStatus->Visible = false;
  } else {
    lblStatus->Caption = text;
    lblStatus->Visible = true;
  }
  lblStatus->Update();
}

void TfrmLogin::btnCancelClick(TObject*) { ModalResult = mrCancel; }

void TfrmLogin::edtIDKeyDown(TObject*, WORD& Key, TShiftState) {
  if (Key == VK_RETURN) edtPassword->SetFocus();
}

void TfrmLogin::edtPasswordKeyDown(TObject*, WORD& Key, TShiftState) {
  if (Key == VK_RETURN) btnLogin->Click();
}

void TfrmLogin::imgFrameLoginMouseDown(TObject*, TMouseButton Button, TShiftState, int, int) {
  if (Button != mbLeft) return;
  ReleaseCapture();
  SendMessage(Handle, WM_SYSCOMMAND, 0xF012, 0);
}

void TfrmLogin::lblAutoLoginClick(TObject*) { cbxAutoLogin->Checked = !cbxAutoLogin->Checked; }

void TfrmLogin::btnHomePageClick(TObject*) {
  ShellExecuteA(Handle, "open", URL_HOME_PAGE, nullptr, "", SW_SHOWNORMAL);
}

// ------------------------------------------------------------------ the login

void TfrmLogin::btnLoginClick(TObject*) {
  AnsiString finalText;
  int finalFlags = 0;
  TWinControl* focus = nullptr;
  bool cursorChanged = false;
  TCursor oldCursor = crDefault;

  btnLogin->Enabled = false;
  btnCancel->Enabled = false;
  cbxAutoLogin->Enabled = false;
  lblAutoLogin->Enabled = false;
  edtID->Enabled = false;
  edtPassword->Enabled = false;

  std::unique_ptr<TMemoryStream> stream;
  std::unique_ptr<TStringList> lines, fields;
  // The end block of every path: cursor, message, status, controls, focus.
  auto finish = [&]() {
    lines.reset();
    fields.reset();
    stream.reset();
    if (cursorChanged) Screen->Cursor = oldCursor;
    if (!finalText.IsEmpty()) Application->MessageBox(finalText.c_str(), PROGRAM_TITLE, finalFlags);
    SetStatus("");
    btnLogin->Enabled = true;
    btnCancel->Enabled = true;
    cbxAutoLogin->Enabled = true;
    lblAutoLogin->Enabled = true;
    edtID->Enabled = true;
    edtPassword->Enabled = true;
    if (focus) focus->SetFocus();
  };

  // Steps up to the end block; every "return" goes on to it.
  auto run = [&]() {
    if (!dmMaster->CheckConnection()) {
      finalText = kNoConnection;
      finalFlags = MB_ICONERROR;
      ModalResult = mrNone;
      return;
    }
    oldCursor = Screen->Cursor;
    Screen->Cursor = crHourGlass;
    cursorChanged = true;
    SetStatus("정보 파일을 받아 오는중.....");

    AnsiString id = edtID->Text;
    AnsiString password = edtPassword->Text;
    if (id.Length() < 2) {
      finalText = "유효한 사용자 ID를 입력하세요.";
      finalFlags = MB_ICONWARNING;
      focus = edtID;
      ModalResult = mrNone;
      return;
    }
    if (password.Length() < 2) {
      finalText = "유효한 사용자 암호(Password)를 입력하세요.";
      finalFlags = MB_ICONWARNING;
      focus = edtPassword;
      ModalResult = mrNone;
      return;
    }

    // Both values encoded whole ("&", "=" and "?" included), so that the service reads them as
    // typed; the address is then sent as it is.
    AnsiString address =
        Format(URL_LOGIN_CHECK, URLEncodeQueryValue(id).c_str(), URLEncodeQueryValue(password).c_str());
    stream = std::make_unique<TMemoryStream>();
    SetStatus("Login Check 중.....");
    // The address carries the password: it must never reach the HTTP cache on disk. A close
    // asked while the reply comes ends the login without a word: the dialog goes.
    int n = DownloadToStream(address, stream.get(), false, true, StoppedWhen([this] { return CloseAsked(); }));
    // A close asked while no packet came (the header lines) is seen here.
    Application->ProcessMessages();
    if (CloseAsked()) return;
    if (n < 1) {
      finalText = kNoConnection;
      finalFlags = MB_ICONERROR;
      ModalResult = mrNone;
      return;
    }

    lines = std::make_unique<TStringList>();
    stream->SetPosition(0);
    lines->LoadFromStream(stream.get());
    if (lines->Count() == 0 || lines->Get(0).Pos("#!#") != 1) {
      finalText = "기본 정보를 받아올수 없습니다.\n잠시 후에 다시 접속해 주세요.";
      finalFlags = MB_ICONERROR;
      ModalResult = mrNone;
      return;
    }

    fields = std::make_unique<TStringList>();
    AnsiString header = StringReplace(lines->Get(0), "#!#", "", rfReplaceAll);
    fields->SetText(StringReplace(header, "|", "\n", rfReplaceAll));
    int code = 0;
    bool codeRead = fields->Count() >= 2;
    if (codeRead) {
      try {
        code = StrToInt(fields->Get(0));
      } catch (const EConvertError&) {
        // Outside the protocol: reported like a header with too few fields.
        codeRead = false;
      }
    }
    if (!codeRead) {
      finalText = "기본 정보에 오류가 있습니다.\n잠시 후에 다시 접속해 주세요.";
      finalFlags = MB_ICONERROR;
      ModalResult = mrNone;
      return;
    }

    ModalResult = mrNone;
    AnsiString message = fields->Get(1);
    switch (code) {
      case 100:
      case 101:
      case 301:
        finalText = message;
        finalFlags = MB_ICONWARNING;
        focus = edtID;
        break;
      case 102:
        finalText = message;
        finalFlags = MB_ICONWARNING;
        focus = edtPassword;
        break;
      case 200:
        ModalResult = mrOk;
        break;
      case 600:
        ShellExecuteA(Handle, "open", URL_CERTIFY_PAGE, nullptr, "", SW_SHOWNORMAL);
        finalText = message;
        finalFlags = MB_ICONWARNING;
        focus = edtID;
        break;
      default:
        finalText = Format("%s\n- 결과코드 : %d", message.c_str(), code);
        finalFlags = MB_ICONWARNING;
        break;
    }
    if (code != 200) {
      return;
    }

    // Login completion.
    dmMaster->SaveLogin(cbxAutoLogin->Checked, id, password);
    int fieldCount = fields->Count();
    if (fieldCount < 3 || lines->Count() != 4) {
      finalText = "고객님의 단말이 등록되어 있지 않습니다.";
      finalFlags = MB_ICONWARNING;
      return;
    }
    dmMaster->CameraUrl = StringReplace(lines->Get(1), "#!#", "", rfReplaceAll);
    dmMaster->InfoBaseUrl = StringReplace(lines->Get(3), "#!#", "", rfReplaceAll);

    // A close asked while the files come ends the login without a word (an earlier file may
    // have set mrOk already); a file that is still arriving is stopped at its next packet.
    auto closing = [this] { return ModalResult == mrCancel || Application->Terminated; };
    AnsiString failures;
    for (int i = 2; i < fieldCount; ++i) {
      AnsiString entry = fields->Get(i);
      if (entry.IsEmpty()) {
        Application->MessageBox(FormatStr("잘못된 단말 정보가 들어 있습니다.").c_str(), PROGRAM_TITLE, MB_ICONERROR);
        continue;
      }
      int percent = int(double(i + 1) / double(fieldCount) * 100 + 0.5);
      SetStatus(Format("정보 파일을 받아 오는중.....[%d %%]", percent));
      Application->ProcessMessages();
      if (closing()) break;
      TMemIniFile* ini = nullptr;
      try {
        ini = LoadInfoFile(dmMaster->InfoBaseUrl + "/" + entry, StoppedWhen(closing));
      } catch (const Exception&) {
        Application->MessageBox(Format("단말정보를 받는 중 Error가 발생 했습니다.[%s]", entry.c_str()).c_str(),
                                PROGRAM_TITLE, MB_ICONERROR);
        break;
      }
      if (closing()) {
        std::unique_ptr<TMemIniFile> discarded(ini);
        break;
      }
      bool added = false;
      if (ini) {
        try {
          // A file whose macros expand past the limits is refused like one not received.
          added = dmMaster->AddInfoFile(ini);
        } catch (const Exception&) {
          Application->MessageBox(
              Format("단말정보를 처리 하는 중 Error가 발생 했습니다.[%s]", entry.c_str()).c_str(), PROGRAM_TITLE,
              MB_ICONERROR);
          break;
        }
      }
      if (added) {
        ModalResult = mrOk;
      } else {
        if (!failures.IsEmpty()) failures += "\n";
        failures += Format("%d. %s", i, entry.c_str());
        AnsiString text = "단말 기본 정보를 받아올 수 없습니다.\nInfo File : " + failures;
        Application->MessageBox(text.c_str(), PROGRAM_TITLE, MB_ICONERROR);
      }
    }
    finalText = "";
  };

  try {
    run();
  } catch (...) {
    finish();
    throw;
  }
  finish();
}
