// The zip engine extracting a mutated archive into a folder: whatever the archive holds
// (names with "..", drive letters, absolute paths, damaged data), nothing is written outside
// the folder and no temporary file ("~zb...") is left, inside or out; no file stays open.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "ZBEngineIntf.h"

using fuzzsupport::Check;
namespace fs = std::filesystem;

extern "C" int32_t WINAPI ZE_UnzExec(UnzipParams* params);

namespace {

int32_t WINAPI Answer(void*, ZipCallbackRecord*) { return 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto& root = fuzzsupport::Root::Get();
  const fs::path work = root.Drive() / "engine";
  const fs::path out = work / "out";
  std::error_code ec;
  fs::remove_all(work, ec);
  fuzzsupport::WriteUnix(work / "in.zip", std::string(reinterpret_cast<const char*>(data), size));
  fuzzsupport::WriteUnix(out / "old.txt", "installed before");
  fuzzsupport::WriteUnix(work / "beside.txt", "beside the folder");
  const auto before = fuzzsupport::Snapshot(root.Drive());
  const auto files = fuzzsupport::OpenFiles();

  const std::string archive = fuzzsupport::Root::Dos(work / "in.zip");
  std::vector<char> dir(ZB_EXTRACT_DIR_SIZE, '\0');
  std::strncpy(dir.data(), fuzzsupport::Root::Dos(out).c_str(), dir.size() - 1);
  UnzipParams p;
  std::memset(&p, 0, sizeof p);
  p.Version = ZB_PARAMS_VERSION;
  p.Callback = &Answer;
  p.Password = "secret";
  p.Command = ZB_UNZ_COMMAND_EXTRACT;
  p.DirNames = true;
  p.OverWrite = size % 2 == 1;
  p.ArchiveName = archive.c_str();
  p.ExtractDir = dir.data();
  p.PwdReqCount = 1;
  p.EndMark = ZB_PARAMS_END_MARK;
  ZE_UnzExec(&p);

  if (auto open = fuzzsupport::NewlyOpen(files, fuzzsupport::OpenFiles()); !open.empty())
    fuzzsupport::Fail("the engine left open " + open);
  const auto after = fuzzsupport::Snapshot(root.Drive());
  for (const auto& [path, content] : after) {
    Check(path.find("~zb") == std::string::npos, "the engine left a temporary file " + path);
    if (path.rfind("engine/out/", 0) == 0) continue;
    auto was = before.find(path);
    Check(was != before.end(), "the engine wrote " + path + " outside the extract folder");
    Check(was->second == content, "the engine changed " + path + " outside the extract folder");
  }
  for (const auto& [path, content] : before)
    Check(after.count(path) == 1 || path.rfind("engine/out/", 0) == 0,
          "the engine deleted " + path + " outside the extract folder");
  return 0;
}
