// The login reply through the real login dialog: the vendor's service (an HTTP server in this
// process) answers the login check with the input; the model info files it names are served
// as one small file, or missing when the name starts with "x". Whatever the reply, the
// handler must end orderly: inputs enabled again, the cursor back, the status hidden, and the
// data module holding nothing from a reply other than 200.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "DataModuleMaster.h"
#include "FormLogin.h"
#include "Forms.h"
#include "FuzzSupport.h"
#include "HttpTestServer.h"
#include "UiTest.h"

using fuzzsupport::Check;
using testsupport::HttpReply;
using testsupport::HttpRequest;
using testsupport::HttpTestServer;

namespace {

const char kInfoFile[] =
    "[ENVIRONMENT]\r\nROOT=C:\\Navi\r\n[MODEL]\r\nNAME=Pavo\r\nPATH=$ROOT$\\map\r\n[FILE_1]\r\nNAME=map.zip\r\n";

struct World {
  std::mutex lock;
  std::string reply;
  std::unique_ptr<HttpTestServer> server;
  std::unique_ptr<TdmMaster> dm;
  std::unique_ptr<TfrmLogin> form;

  World() {
    auto& root = fuzzsupport::Root::Get();
    // The certification page goes to the browser: a stand-in that does nothing.
    fuzzsupport::WriteUnix(root.Path() / "bin" / "xdg-open", "#!/bin/sh\nexit 0\n");
    std::filesystem::permissions(root.Path() / "bin" / "xdg-open", std::filesystem::perms::owner_all);
    const char* path = getenv("PATH");
    setenv("PATH", ((root.Path() / "bin").string() + ":" + (path ? path : "/usr/bin:/bin")).c_str(), 1);

    server = std::make_unique<HttpTestServer>([this](const HttpRequest& r) {
      std::lock_guard<std::mutex> hold(lock);
      if (r.path == "/pavoTrelm/pavoChkRegist.mms") return HttpReply::Text(reply);
      std::string name = r.path.substr(r.path.rfind('/') + 1);
      if (name.empty() || name[0] == 'x') return HttpReply::Status(404, "Not Found");
      return HttpReply::Text(kInfoFile);
    });
    std::string map;
    for (const char* host : {"trelm.quorvex.example", "update.quorvex.example", "www.quorvex.example"})
      map += (map.empty() ? "" : ",") + server->ConnectTo(host);
    setenv("WINPLAT_CONNECT_TO", map.c_str(), 1);

    SetCurrentDir(fuzzsupport::Root::Dos(root.Drive()).c_str());
    uitest::SetMessageBoxHook([](const AnsiString&, const AnsiString&, int) { return IDOK; });
    dm = std::make_unique<TdmMaster>(nullptr, 0);
    dm->ReadSettings();
    form = std::make_unique<TfrmLogin>(nullptr);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static World world;
  {
    std::lock_guard<std::mutex> hold(world.lock);
    world.reply.assign(reinterpret_cast<const char*>(data), size);
  }
  TfrmLogin* form = world.form.get();
  TdmMaster* dm = world.dm.get();
  dm->InfoFiles->Clear();
  dm->UserID = "";
  dm->CameraUrl = "";
  dm->InfoBaseUrl = "";
  uitest::ClearShownBoxes();

  form->EnableInputs();
  form->edtID->Text = "demo";
  form->edtPassword->Text = "demo1234";
  form->ModalResult = mrNone;
  form->btnLoginClick(form->btnLogin);

  for (TControl* c : {static_cast<TControl*>(form->btnLogin), static_cast<TControl*>(form->btnCancel),
                      static_cast<TControl*>(form->cbxAutoLogin), static_cast<TControl*>(form->lblAutoLogin),
                      static_cast<TControl*>(form->edtID), static_cast<TControl*>(form->edtPassword)})
    Check(c->Enabled, "an input stays disabled after the login");
  Check(!form->lblStatus->Visible, "the status stays visible after the login");
  Check(Screen->Cursor == crDefault, "the cursor is not restored after the login");
  if (form->ModalResult != mrOk) {
    Check(dm->InfoFiles->Count() == 0 && dm->UserID.IsEmpty(), "a refused login left values in the data module");
  }
  uitest::ClearShownBoxes();
  return 0;
}
