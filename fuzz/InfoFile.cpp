// A model info file as the updater receives it: fetched by LoadInfoFile from the vendor's
// service (an HTTP server in this process that answers with the input), then taken into the
// data module, which expands its settings macros. Either the file is added or an exception
// says why; a file that came always carries its own name.
#include <cstdint>
#include <memory>
#include <string>

#include "BodyServer.h"
#include "DataModuleMaster.h"
#include "FuzzSupport.h"
#include "IniFiles.h"
#include "SysUtils.h"

using fuzzsupport::Check;

namespace {

struct World {
  fuzzsupport::Root& root = fuzzsupport::Root::Get();  // first: the layer's folders
  fuzzsupport::BodyServer server{"trelm.quorvex.example"};
  std::unique_ptr<TdmMaster> dm = std::make_unique<TdmMaster>(nullptr, 0);
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static World world;
  world.server.Answer(std::string(reinterpret_cast<const char*>(data), size));
  world.dm->InfoFiles->Clear();
  // Not cached: every input must reach the parser.
  TMemIniFile* ini = LoadInfoFile("http://trelm.quorvex.example/pavoTrelm/model/Model.ini");
  if (size == 0) {
    Check(ini == nullptr, "an empty reply gave a model info file");
    return 0;
  }
  Check(ini != nullptr, "a received model info file was lost");
  Check(ini->ReadString("__MANAGE__", "FILENAME", "") == "Model.ini", "the model info file lost its name");
  try {
    // A file whose macros expand past their limits is refused like one never received.
    bool added = world.dm->AddInfoFile(ini);
    Check(world.dm->InfoFiles->Count() == (added ? 1 : 0), "an added model info file is not listed");
  } catch (const Exception&) {
    Check(world.dm->InfoFiles->Count() == 0, "a model info file that failed is listed");
  }
  return 0;
}
