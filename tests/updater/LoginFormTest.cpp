// The login dialog driven offscreen: the login request and every reply rule, the version
// lines, the self-update progress, focus, keys and buttons.
#include <memory>

#include "FormLogin.h"
#include "IniFiles.h"
#include "LoginFixture.h"
#include "wininet.h"

namespace logintest {
namespace {

const char kNoBasicInfo[] =
    "기본 정보를 받아올수 없습니다.\nMovrant는 인터넷이 연결된 상태에서만 사용이 가능합니다.";
const char kFormatError[] = "기본 정보를 받아올수 없습니다.\n잠시 후에 다시 접속해 주세요.";
const char kFieldError[] = "기본 정보에 오류가 있습니다.\n잠시 후에 다시 접속해 주세요.";
const char kNotRegistered[] = "고객님의 단말이 등록되어 있지 않습니다.";

std::string Box(int flags, const std::string& text) { return std::to_string(flags) + "|" + text; }

class LoginFormTest : public Environment {
 protected:
  void SetUp() override {
    Environment::SetUp();
    dm_ = std::make_unique<TdmMaster>(nullptr, 0);
    dm_->ReadSettings();
    form_ = std::make_unique<TfrmLogin>(nullptr);
  }
  void TearDown() override {
    form_.reset();
    dm_.reset();
    Environment::TearDown();
  }

  // Types the inputs and presses the login button; the request and the reply as set up.
  // focus: where the focus is when the button is pressed (the ID box when not given).
  void Login(const std::string& id, const std::string& password, TWinControl* focus = nullptr) {
    form_->EnableInputs();
    if (focus) focus->SetFocus();
    form_->edtID->Text = id.c_str();
    form_->edtPassword->Text = password.c_str();
    form_->ModalResult = mrNone;
    uitest::ClearShownBoxes();
    form_->btnLoginClick(form_->btnLogin);
  }
  void ExpectInputsBack() {
    for (TControl* c : std::initializer_list<TControl*>{form_->btnLogin, form_->btnCancel, form_->cbxAutoLogin,
                                                         form_->lblAutoLogin, form_->edtID, form_->edtPassword})
      EXPECT_TRUE(c->Enabled) << c->Name.str();
    EXPECT_FALSE(form_->lblStatus->Visible);
    EXPECT_EQ(Screen->Cursor, crDefault);
  }
  void Reply(const std::string& body) { login_ = HttpReply::Text(body); }
  int Requested(const std::string& path) {
    int n = 0;
    for (const auto& r : server_->Requests()) n += r.path == path;
    return n;
  }
  // Logs in and closes the modal dialog (TForm::Close gives it mrCancel) once path has been
  // asked for: the login ends without a box, the dialog keeping the close's result.
  void LoginClosedOnceAskedFor(const std::string& path) {
    int before = Requested(path);
    TTimer close(nullptr);
    close.Interval = 1;
    close.OnTimer = [&](TObject*) {
      if (Requested(path) == before) return;
      close.Enabled = false;
      form_->ModalResult = mrCancel;
    };
    close.Enabled = true;
    Login("demo", "pw12");
    EXPECT_FALSE(close.Enabled);
    EXPECT_EQ(form_->ModalResult, mrCancel);
    EXPECT_EQ(Boxes(), std::vector<std::string>{});
    EXPECT_EQ(dm_->InfoFiles->Count(), 0);
    ExpectInputsBack();
  }

  std::unique_ptr<TdmMaster> dm_;
  std::unique_ptr<TfrmLogin> form_;
};

TEST_F(LoginFormTest, ShortInputsAreRefusedBeforeAnyRequest) {
  Reply("#!#100|unknown|\r\n");
  const struct {
    const char* id;
    const char* password;
    std::string box;
    const char* focus;
    int requests;
  } cases[] = {
      {"", "pw12", Box(48, "유효한 사용자 ID를 입력하세요."), "edtID", 0},
      {"a", "pw12", Box(48, "유효한 사용자 ID를 입력하세요."), "edtID", 0},
      {"ab", "", Box(48, "유효한 사용자 암호(Password)를 입력하세요."), "edtPassword", 0},
      {"ab", "p", Box(48, "유효한 사용자 암호(Password)를 입력하세요."), "edtPassword", 0},
      {"ab", "pw", Box(48, "unknown"), "edtID", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.id) + "/" + c.password);
    int before = LoginRequests();
    Login(c.id, c.password);
    EXPECT_EQ(LoginRequests() - before, c.requests);
    EXPECT_EQ(Boxes(), std::vector<std::string>{c.box});
    ASSERT_NE(form_->ActiveControl.get(), nullptr);
    EXPECT_EQ(form_->ActiveControl->Name.str(), c.focus);
    EXPECT_EQ(form_->ModalResult, mrNone);
    ExpectInputsBack();
  }
}

// Each value is encoded once and whole: "&", "=" and "?" cannot end it or add a parameter.
TEST_F(LoginFormTest, TheRequestCarriesTheInputsAsTypedEncoded) {
  Reply("#!#100|x|\r\n");
  const struct {
    const char* id;
    const char* password;
    const char* query;
  } cases[] = {
      {"kim 01", "p&w%1", "D1=kim+01&D2=p%26w%251"},
      {"id&D2=x", "a=b?c", "D1=id%26D2%3dx&D2=a%3db%3fc"},
      {"김철수", "demo1234&anything", "D1=%b1%e8%c3%b6%bc%f6&D2=demo1234%26anything"},
      {"kim01", "%26+", "D1=kim01&D2=%2526%2b"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.query);
    int before = server_->RequestCount();
    Login(c.id, c.password);
    auto requests = server_->Requests();
    ASSERT_EQ(int(requests.size()), before + 1);
    EXPECT_EQ(requests.back().target, std::string("/pavoTrelm/pavoChkRegist.mms?") + c.query);
  }
}

TEST_F(LoginFormTest, EveryReplyRuleAndResultCode) {
  const struct {
    const char* label;
    std::string reply;  // empty: the service answers 404
    std::vector<std::string> boxes;
    const char* focus;  // nullptr: the focus stays where it was
    int modal;
  } cases[] = {
      {"no reply", "", {Box(16, kNoBasicInfo)}, nullptr, mrNone},
      {"empty reply", "\r\n", {Box(16, kFormatError)}, nullptr, mrNone},
      {"marker after a blank", " #!#200|ok|A.ini|\r\n", {Box(16, kFormatError)}, nullptr, mrNone},
      {"marker later", "200#!#|ok|A.ini|\r\n", {Box(16, kFormatError)}, nullptr, mrNone},
      {"one field", "#!#200\r\n", {Box(16, kFieldError)}, nullptr, mrNone},
      {"code not a number", "#!#abc|text|\r\n", {Box(16, kFieldError)}, nullptr, mrNone},
      {"100", "#!#100|없는 ID|\r\n", {Box(48, "없는 ID")}, "edtID", mrNone},
      {"101", "#!#101|중지된 ID|\r\n", {Box(48, "중지된 ID")}, "edtID", mrNone},
      {"102", "#!#102|암호 오류|\r\n", {Box(48, "암호 오류")}, "edtPassword", mrNone},
      {"301", "#!#301|기간 만료|\r\n", {Box(48, "기간 만료")}, "edtID", mrNone},
      {"999", "#!#999|모르는 응답|\r\n", {Box(48, "모르는 응답\n- 결과코드 : 999")}, nullptr, mrNone},
      {"200, 4 lines, two fields", "#!#200|ok|\r\n#!#cam\r\n#!#\r\n#!#base\r\n", {Box(48, kNotRegistered)},
       nullptr, mrOk},
      {"200, 3 lines", "#!#200|ok|A.ini|\r\n#!#cam\r\n#!#\r\n", {Box(48, kNotRegistered)}, nullptr, mrOk},
      {"200, 5 lines", "#!#200|ok|A.ini|\r\n#!#cam\r\n#!#\r\n#!#base\r\nmore\r\n", {Box(48, kNotRegistered)},
       nullptr, mrOk},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    login_ = c.reply.empty() ? HttpReply::Status(404, "Not Found") : HttpReply::Text(c.reply);
    Login("user01", "pw0001", form_->cbxAutoLogin);  // somewhere no rule focuses
    EXPECT_EQ(Boxes(), c.boxes);
    EXPECT_EQ(form_->ModalResult, c.modal);
    ASSERT_NE(form_->ActiveControl.get(), nullptr);
    EXPECT_EQ(form_->ActiveControl->Name.str(), c.focus ? c.focus : "cbxAutoLogin");
    EXPECT_EQ(dm_->InfoFiles->Count(), 0);
    ExpectInputsBack();
  }
}

TEST_F(LoginFormTest, Code600OpensTheCertificationPageBeforeTheMessage) {
  Reply("#!#600|본인 인증이 필요합니다.|\r\n");
  std::vector<std::string> pagesAtBox;
  onBox_ = [this, &pagesAtBox](const AnsiString&) {
    // The browser is a process of its own: give it a moment to report.
    for (int i = 0; i < 100 && BrowserPages().empty(); ++i) Sleep(20);
    pagesAtBox = BrowserPages();
  };
  Login("user01", "pw0001");
  EXPECT_EQ(pagesAtBox, std::vector<std::string>{"http://www.quorvex.example/Pavoproduct/mypage/?mode=my_certify"});
  EXPECT_EQ(Boxes(), std::vector<std::string>{Box(48, "본인 인증이 필요합니다.")});
  EXPECT_EQ(form_->ActiveControl->Name.str(), "edtID");
  EXPECT_EQ(form_->ModalResult, mrNone);
}

TEST_F(LoginFormTest, ASuccessfulLoginStoresTheReplyAndLoadsEveryModelInOrder) {
  Reply("#!#200|ok#!#|A.ini|B.ini|\r\n#!#http://cam.example/Safe#!#Cam.ZIP\r\nunused\r\n"
        "#!#http://trelm.quorvex.example/pavoTrelm/model\r\n");
  files_["/pavoTrelm/model/A.ini"] = "[ENVIRONMENT]\nMODEL_CAPTION=\"A\"\nROOT=r\n[FILE_1]\nX=$ROOT$\n";
  files_["/pavoTrelm/model/B.ini"] = "[ENVIRONMENT]\nMODEL_CAPTION=B\n";
  std::vector<std::string> statuses;
  onFile_ = [this, &statuses](const HttpRequest& r) {
    // The transfer holds the window thread while the service answers: the label is quiet.
    if (r.path.rfind("/pavoTrelm/model/", 0) == 0) statuses.push_back(form_->lblStatus->Caption.get().str());
  };
  form_->cbxAutoLogin->Checked = true;
  Login("kim01", "pw-of-kim");

  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(form_->ModalResult, mrOk);
  EXPECT_EQ(statuses, (std::vector<std::string>{"정보 파일을 받아 오는중.....[75 %]", "정보 파일을 받아 오는중.....[100 %]"}));
  EXPECT_EQ(dm_->UserID.str(), "kim01");
  EXPECT_EQ(dm_->CameraUrl.str(), "http://cam.example/SafeCam.ZIP");
  EXPECT_EQ(dm_->InfoBaseUrl.str(), "http://trelm.quorvex.example/pavoTrelm/model");
  ASSERT_EQ(dm_->InfoFiles->Count(), 2);
  EXPECT_EQ(dm_->InfoFiles->File(0)->ReadString("ENVIRONMENT", "MODEL_CAPTION", "").str(), "A");
  EXPECT_EQ(dm_->InfoFiles->File(0)->ReadString("FILE_1", "X", "").str(), "r");
  EXPECT_EQ(dm_->InfoFiles->File(1)->ReadString("__MANAGE__", "FILENAME", "").str(), "B.ini");
  EXPECT_EQ(Registry("AUTHEN", "AUTOLOGIN"), "1");
  EXPECT_EQ(Registry("AUTHEN", "SAVED_ID"), "kim01");
  ExpectInputsBack();
  // Neither the registry, the HTTP cache nor any folder of the run holds the password.
  EXPECT_TRUE(FilesContaining(root_, "pw-of-kim").empty()) << FilesContaining(root_, "pw-of-kim")[0];
}

TEST_F(LoginFormTest, ModelsThatCannotBeReceivedAreListedByTheirFieldNumber) {
  const struct {
    const char* label;
    std::string header;
    std::vector<std::string> boxes;
    int loaded;
  } cases[] = {
      {"second of three missing", "#!#200|ok|A.ini|GONE.ini|B.ini|",
       {Box(16, "단말 기본 정보를 받아올 수 없습니다.\nInfo File : 3. GONE.ini")}, 2},
      {"first and third missing", "#!#200|ok|GONE.ini|A.ini|LOST.ini|",
       {Box(16, "단말 기본 정보를 받아올 수 없습니다.\nInfo File : 2. GONE.ini"),
        Box(16, "단말 기본 정보를 받아올 수 없습니다.\nInfo File : 2. GONE.ini\n4. LOST.ini")},
       1},
      {"an empty entry", "#!#200|ok||A.ini|", {Box(16, "잘못된 단말 정보가 들어 있습니다.")}, 1},
      {"none of one", "#!#200|ok|GONE.ini|", {Box(16, "단말 기본 정보를 받아올 수 없습니다.\nInfo File : 2. GONE.ini")},
       0},
      // A few hundred bytes whose macros double their value over 27 levels.
      {"macros past the limits", "#!#200|ok|A.ini|DOUBLE.ini|B.ini|",
       {Box(16, "단말 기본 정보를 받아올 수 없습니다.\nInfo File : 3. DOUBLE.ini")}, 2},
  };
  files_["/pavoTrelm/model/A.ini"] = "[ENVIRONMENT]\nMODEL_CAPTION=A\n";
  files_["/pavoTrelm/model/B.ini"] = "[ENVIRONMENT]\nMODEL_CAPTION=B\n";
  std::string doubling = "[ENVIRONMENT]\nMODEL_CAPTION=D\nA1=x\n";
  for (int k = 2; k <= 27; ++k)
    doubling += "A" + std::to_string(k) + "=$A" + std::to_string(k - 1) + "$$A" + std::to_string(k - 1) + "$\n";
  files_["/pavoTrelm/model/DOUBLE.ini"] = doubling;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    dm_ = std::make_unique<TdmMaster>(nullptr, 0);  // a fresh store for each reply
    Reply(c.header + "\r\n#!#cam\r\n#!#\r\n#!#http://trelm.quorvex.example/pavoTrelm/model\r\n");
    Login("kim01", "pw0001");
    EXPECT_EQ(Boxes(), c.boxes);
    EXPECT_EQ(form_->ModalResult, mrOk);  // 200 closes the dialog whatever the models do
    EXPECT_EQ(dm_->InfoFiles->Count(), c.loaded);
  }
}

// A reply that drips a byte every 100 ms (20 s in all), with or without its length: the
// dialog handles its messages meanwhile, and a close asked then ends the login at the next byte,
// without a box, the dialog keeping the close's result.
TEST_F(LoginFormTest, ACloseWhileTheReplyDripsEndsTheLoginAtOnce) {
  std::string body = "#!#200|ok|PAVO_S7.ini|\r\ncamera\r\n\r\ninfo\r\n" + std::string(160, ' ');
  for (bool announced : {true, false}) {
    SCOPED_TRACE(announced ? "length announced" : "no length");
    login_ = HttpReply::Text(body);
    login_.contentLength = announced;
    login_.chunkSize = 1;
    login_.chunkDelayMs = 100;
    long long sentBefore = server_->BodyBytesSent();
    LoginClosedOnceAskedFor("/pavoTrelm/pavoChkRegist.mms");
    EXPECT_LT(server_->BodyBytesSent() - sentBefore, (long long)body.size() / 4);
  }
}

// A reply whose header lines drip (each before the receive time-out, shortened here, ends it):
// the transfer reports no packet, yet a close asked meanwhile ends the login without a box once
// the transfer has failed.
TEST_F(LoginFormTest, ACloseWhileTheReplysHeadersDripEndsTheLoginWithoutABox) {
  login_ = HttpReply::Text("#!#200|ok|A.ini|\r\ncamera\r\n\r\ninfo\r\n");
  login_.headers = {{"X-One", "1"}, {"X-Two", "2"}, {"X-Three", "3"}, {"X-Four", "4"}};
  login_.headerLineDelayMs = 300;
  DWORD timeout = 1000;
  InternetSetOptionA(nullptr, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout);
  LoginClosedOnceAskedFor("/pavoTrelm/pavoChkRegist.mms");
  timeout = 30000;  // the default again, for the tests that follow in this process
  InternetSetOptionA(nullptr, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout);
}

// A model info file that drips after the login reply: a close asked then ends the login at the
// next byte, without a box and without asking for the next file; the close's result stays.
TEST_F(LoginFormTest, ACloseWhileAModelFileDripsEndsTheLoginAtOnce) {
  const std::string reply =
      "#!#200|ok|A.ini|B.ini|\r\ncamera\r\n\r\n#!#http://trelm.quorvex.example/pavoTrelm/model\r\n";
  Reply(reply);
  const std::string file = "[ENVIRONMENT]\nMODEL_CAPTION=A\n" + std::string(200, ';');
  for (bool announced : {true, false}) {
    SCOPED_TRACE(announced ? "length announced" : "no length");
    HttpReply drip = HttpReply::Text(file);
    drip.contentLength = announced;
    drip.chunkSize = 1;
    drip.chunkDelayMs = 100;
    replies_["/pavoTrelm/model/A.ini"] = drip;
    files_["/pavoTrelm/model/B.ini"] = "[ENVIRONMENT]\nMODEL_CAPTION=B\n";
    long long sentBefore = server_->BodyBytesSent();
    int beforeB = Requested("/pavoTrelm/model/B.ini");
    LoginClosedOnceAskedFor("/pavoTrelm/model/A.ini");
    EXPECT_LT(server_->BodyBytesSent() - sentBefore, (long long)(reply.size() + file.size() / 4));
    EXPECT_EQ(Requested("/pavoTrelm/model/B.ini"), beforeB);
  }
}

TEST_F(LoginFormTest, NoConnectionAtTheButtonSendsNothing) {
  Set("WINPLAT_CONNECTION", "offline");
  Reply("#!#200|ok|\r\n");
  Login("kim01", "pw0001");
  EXPECT_EQ(LoginRequests(), 0);
  EXPECT_EQ(Boxes(), std::vector<std::string>{Box(16, kNoBasicInfo)});
  EXPECT_EQ(form_->ModalResult, mrNone);
  ExpectInputsBack();
}

TEST_F(LoginFormTest, VersionLinesFromTheVersionFile) {
  const struct {
    const char* label;
    const char* file;  // nullptr: not on the server
    std::string line1, line2, line3;
    TColor color1;
    bool visible23;
  } cases[] = {
      {"complete", "[VERSION]\nVER=\"1.0.0.1\"\n[MAP]\nYEAR=2026\nMONTH=11\n[camera]\nyear=2026\nMONTH=12\nCOUNT=2\n",
       "프로그램 : 1.0.0.1", "맵데이터 : 2026년 11월", "안전운행 : 2026년 12월 2차", TColor(0), true},
      {"no camera section", "[VERSION]\nVER=2.0\n", "프로그램 : 2.0", "맵데이터 : 년 월", "안전운행 : 년 월 차",
       TColor(0), true},
      {"missing", nullptr, "프로그램 버전 없음.", "맵데이터 버전 없음.", "안전운행 버전 없음.", TColor(0x0000FF), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    files_.clear();
    if (c.file) files_["/pavo/_Movrant/Version.inf"] = c.file;
    TfrmLogin form(nullptr);
    form.FormCreate(&form);
    EXPECT_EQ(form.lvlDataVersion1->Caption.get().str(), c.line1);
    EXPECT_EQ(form.lvlDataVersion2->Caption.get().str(), c.line2);
    EXPECT_EQ(form.lvlDataVersion3->Caption.get().str(), c.line3);
    EXPECT_EQ(form.lvlDataVersion1->Font->Color, c.color1);
    EXPECT_EQ(form.lvlDataVersion2->Visible, c.visible23);
    EXPECT_EQ(form.lvlDataVersion3->Visible, c.visible23);
  }
}

// The version file is read before the dialog is shown, when there is nothing to close: a body
// that drips (80 B/s, above the low-speed bound; 25 s in all) ends at the file's time limit of
// two receive time-outs (6 s here, the layer's clock running ten times faster), and the lines
// report no version.
TEST_F(LoginFormTest, AVersionFileThatDripsEndsAtItsTimeLimit) {
  const std::string file = "[VERSION]\nVER=9.9\n" + std::string(2000, ';');
  HttpReply drip = HttpReply::Text(file);
  drip.chunkSize = 8;
  drip.chunkDelayMs = 100;
  replies_["/pavo/_Movrant/Version.inf"] = drip;
  Set("WINPLAT_TIME_SCALE", "10");
  TfrmLogin form(nullptr);
  form.FormCreate(&form);
  EXPECT_EQ(form.lvlDataVersion1->Caption.get().str(), "프로그램 버전 없음.");
  EXPECT_LT(server_->BodyBytesSent(), (long long)file.size() / 2);
}

TEST_F(LoginFormTest, OfflineAtCreationShowsOneRedLineAndTheCheckEndsTheDialog) {
  Set("WINPLAT_CONNECTION", "offline");
  TfrmLogin form(nullptr);
  form.FormCreate(&form);
  EXPECT_EQ(form.lvlDataVersion1->Caption.get().str(), "인터넷이 연결되지 않았습니다.");
  EXPECT_EQ(form.lvlDataVersion1->Font->Color, TColor(0x0000FF));
  EXPECT_FALSE(form.lvlDataVersion2->Visible);
  EXPECT_FALSE(form.lvlDataVersion3->Visible);
  EXPECT_EQ(server_->RequestCount(), 0);

  form.Timer1->Enabled = true;
  form.Timer1Timer(form.Timer1);
  EXPECT_FALSE(form.Timer1->Enabled);
  EXPECT_EQ(Boxes(), std::vector<std::string>{Box(16, kNoBasicInfo)});
  EXPECT_EQ(form.ModalResult, mrCancel);
  EXPECT_EQ(server_->RequestCount(), 0);
}

TEST_F(LoginFormTest, TheSelfUpdateShowsPackagesOnlyWithAKnownLength) {
  const struct {
    const char* file;
    int max, position;
    bool shown;
    const char* caption;
  } cases[] = {
      {"http://update.quorvex.example/pavo/_Movrant//Movrant.inf", 100, 50, false, ""},
      {"http://update.quorvex.example/pavo/_Movrant/data.zip", 0, 0, false, ""},
      // A packet of a package without a length.
      {"http://update.quorvex.example/pavo/_Movrant/data.zip", 0, 4096, false, ""},
      {"http://update.quorvex.example/pavo/_Movrant/Pkg.Cab", 300, 120, true, "File : PKG"},
      {"http://update.quorvex.example/pavo/_Movrant/a.cab.zip", 10, 10, true, "File : A.ZIP"},
      {"http://update.quorvex.example/pavo/_Movrant/movrant.inf", 10, 5, true, "File : MOVRANT.INF"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    TfrmLogin form(nullptr);
    form.OnUpdateProgress(&form, c.file, c.max, c.position);
    EXPECT_EQ(form.lblFile->Visible, c.shown);
    EXPECT_EQ(form.pbDownload->Visible, c.shown);
    if (c.shown) {
      EXPECT_EQ(form.lblFile->Caption.get().str(), c.caption);
      EXPECT_EQ(form.pbDownload->Max, c.max);
      EXPECT_EQ(form.pbDownload->Position, c.position);
    }
  }
}

TEST_F(LoginFormTest, AKeptIdIsFilledInAndThePasswordGetsTheFocus) {
  for (bool keep : {true, false}) {
    SCOPED_TRACE(keep);
    dm_->AutoLogin = keep;
    dm_->SavedID = "kim01";
    TfrmLogin form(nullptr);
    EXPECT_EQ(form.cbxAutoLogin->Checked, keep);
    EXPECT_EQ(form.edtID->Text.get().str(), keep ? "kim01" : "");
    EXPECT_FALSE(form.edtID->Enabled);
    EXPECT_FALSE(form.btnLogin->Enabled);
    form.EnableInputs();
    for (TControl* c : std::initializer_list<TControl*>{form.edtID, form.edtPassword, form.btnLogin, form.btnCancel,
                                                         form.cbxAutoLogin})
      EXPECT_TRUE(c->Enabled) << c->Name.str();
    EXPECT_EQ(form.ActiveControl->Name.str(), keep ? "edtPassword" : "edtID");
    EXPECT_EQ(form.lvlVersion->Caption.get().str(), "Ver : 1.0.0.1");
  }
}

TEST_F(LoginFormTest, KeysButtonsAndTheSaveIdLabel) {
  Reply("#!#100|x|\r\n");
  form_->EnableInputs();
  WORD key = 'A';
  form_->edtIDKeyDown(form_->edtID, key, TShiftState());
  EXPECT_EQ(form_->ActiveControl->Name.str(), "edtID");
  key = VK_RETURN;
  form_->edtIDKeyDown(form_->edtID, key, TShiftState());
  EXPECT_EQ(form_->ActiveControl->Name.str(), "edtPassword");

  form_->edtID->Text = "kim01";
  form_->edtPassword->Text = "pw0001";
  key = VK_RETURN;
  form_->edtPasswordKeyDown(form_->edtPassword, key, TShiftState());
  EXPECT_EQ(LoginRequests(), 1);

  bool before = form_->cbxAutoLogin->Checked;
  form_->lblAutoLoginClick(form_->lblAutoLogin);
  EXPECT_EQ(form_->cbxAutoLogin->Checked, !before);
  form_->lblAutoLoginClick(form_->lblAutoLogin);
  EXPECT_EQ(form_->cbxAutoLogin->Checked, before);

  form_->btnHomePageClick(form_->btnHomePage);
  for (int i = 0; i < 100 && BrowserPages().empty(); ++i) Sleep(20);
  EXPECT_EQ(BrowserPages(), std::vector<std::string>{"http://www.quorvex.example/"});

  form_->btnCancelClick(form_->btnCancel);
  EXPECT_EQ(form_->ModalResult, mrCancel);
}

TEST_F(LoginFormTest, TheSkinHasTheStatedSizes) {
  EXPECT_EQ(form_->ClientWidth, 542);
  EXPECT_EQ(form_->ClientHeight, 250);
  EXPECT_EQ(form_->BorderStyle, bsNone);
  TBitmap* frame = form_->imgFrameLogin->Picture->Bitmap;
  EXPECT_EQ(frame->Width, 542);
  EXPECT_EQ(frame->Height, 250);
  EXPECT_EQ(form_->btnHomePage->Glyph->Width, 372);
  EXPECT_EQ(form_->btnHomePage->Glyph->Height, 11);
  for (TTrelmSpeedButton* b : {form_->btnLogin, form_->btnCancel}) {
    EXPECT_EQ(b->Glyph->Width, 4 * 71);
    EXPECT_EQ(b->Glyph->Height, 27);
    EXPECT_EQ(b->NumGlyphs, 4);
  }
  EXPECT_EQ(form_->edtPassword->PasswordChar, '*');
  EXPECT_EQ(form_->lvlVersion->Left, 404);
  EXPECT_EQ(form_->lblStatus->Left, 116);
  EXPECT_EQ(form_->lvlVersion->Font->Color, TColor(0xC0C0C0));
  EXPECT_TRUE(form_->DoubleBuffered);
}

}  // namespace
}  // namespace logintest
