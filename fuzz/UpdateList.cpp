// The self-update list "Movrant.inf" as the update component reads it through the
// profile-string functions: whatever the list says, nothing outside the program folder is
// created, changed or deleted. Packages are served by an HTTP server in this process (missing
// when their name starts with "x"); the helper program is never started.
#include <cstdint>
#include <memory>
#include <string>

#include "Forms.h"
#include "FuzzSupport.h"
#include "HttpTestServer.h"
#include "IniFiles.h"
#include "QuorvexWebUpdate.h"
#include "SysUtils.h"
#include "UiTest.h"

using fuzzsupport::Check;
using testsupport::HttpReply;
using testsupport::HttpRequest;
using testsupport::HttpTestServer;
namespace fs = std::filesystem;

namespace {

class TTestUpdate : public TQuorvexWebUpdate {
 public:
  TTestUpdate(AnsiString dir) : TQuorvexWebUpdate(nullptr), dir_(dir) {}
  AnsiString GetProgramDir() override { return dir_; }

 private:
  AnsiString dir_;
};

struct World {
  std::unique_ptr<HttpTestServer> server;
  fs::path program, list;
  World() {
    auto& root = fuzzsupport::Root::Get();
    program = root.Drive() / "Movrant";
    list = root.Drive() / "temp" / "list.inf";
    server = std::make_unique<HttpTestServer>([](const HttpRequest& r) {
      std::string name = r.path.substr(r.path.rfind('/') + 1);
      if (name.empty() || name[0] == 'x') return HttpReply::Status(404, "Not Found");
      return HttpReply::Text("package " + name);
    });
    setenv("WINPLAT_CONNECT_TO", server->ConnectTo("update.quorvex.example").c_str(), 1);
    uitest::SetMessageBoxHook([](const AnsiString&, const AnsiString&, int) { return IDOK; });
    // Files beside and above the program folder that the list must not reach.
    fuzzsupport::WriteUnix(root.Drive() / "Other" / "keep.txt", "keep");
    fuzzsupport::WriteUnix(root.Drive() / "Other" / "Movrant.exe", "other program");
    fuzzsupport::WriteUnix(root.Drive() / "readme.txt", "readme");
  }
  void ResetProgram() {
    std::error_code ec;
    fs::remove_all(program, ec);
    fuzzsupport::WriteUnix(program / "Movrant.ini", "[UPDATE]\r\n");
    fuzzsupport::WriteUnix(program / "data" / "map.dat", "map");
    fuzzsupport::WriteUnix(program / "Skin.bmp", "BM");
  }
};

// A picture of drive C: without the program folder.
std::map<std::string, std::string> OutsideProgram(std::map<std::string, std::string> picture) {
  for (auto it = picture.begin(); it != picture.end();)
    it = it->first == "Movrant" || it->first.rfind("Movrant/", 0) == 0 ? picture.erase(it) : std::next(it);
  return picture;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static World world;
  auto& root = fuzzsupport::Root::Get();
  world.ResetProgram();
  fuzzsupport::WriteUnix(world.list, std::string(reinterpret_cast<const char*>(data), size));
  const auto before = fuzzsupport::Snapshot(root.Drive());

  const AnsiString program = fuzzsupport::Root::Dos(world.program).c_str();
  SetCurrentDir(program);
  {
    TTestUpdate update(program);
    TIniFile ini(fuzzsupport::Root::Dos(world.list).c_str());
    update.ProcessInfoFile("http://update.quorvex.example/pavo/_Movrant", &ini);
  }
  SetCurrentDir(fuzzsupport::Root::Dos(root.Drive()).c_str());
  uitest::ClearShownBoxes();

  const auto outside = OutsideProgram(before);
  const auto after = OutsideProgram(fuzzsupport::Snapshot(root.Drive()));
  for (const auto& [path, content] : after) {
    auto was = outside.find(path);
    Check(was != outside.end(), "the update list created " + path + " outside the program folder");
    Check(was->second == content, "the update list changed " + path + " outside the program folder");
  }
  for (const auto& [path, content] : outside)
    Check(after.count(path) == 1, "the update list deleted " + path + " outside the program folder");
  return 0;
}
