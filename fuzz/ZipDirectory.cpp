// The zip worker's directory reader over arbitrary bytes: the end record, the backward scan,
// comments, central headers and their names. It lists or reports, and leaves the archive
// closed either way.
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "ZBWrkr.h"

using fuzzsupport::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto& root = fuzzsupport::Root::Get();
  const auto file = root.Drive() / "list.zip";
  fuzzsupport::WriteUnix(file, std::string(reinterpret_cast<const char*>(data), size));

  const auto files = fuzzsupport::OpenFiles();
  {
  TComponent owner(nullptr);
  TZBWorker w(&owner);
  w.Active = true;
  w.Unattended = true;
  w.Events()->OnZipDialog = [](TObject*, const AnsiString&, AnsiString&, int& context, TMsgDlgButtons) {
    context = mrOk;
  };
  w.ZipFileName = fuzzsupport::Root::Dos(file).c_str();
  int result = w.List();
  if (result == 0) {
    for (const auto& entry : w.ZipContents) Check(entry != nullptr, "an empty directory entry was listed");
  }
  }
  if (auto open = fuzzsupport::NewlyOpen(files, fuzzsupport::OpenFiles()); !open.empty())
    fuzzsupport::Fail("the directory reader left open " + open);
  return 0;
}
