// The splash program's event code file "SorvelEvent_Code.txt", read by Sorvel's own data module
// from a local server: the first line must begin with "#!#", every "#!#" in it is removed and
// the rest read as a decimal number (-1 otherwise).
#include <cstdint>
#include <string>

#include "BodyServer.h"
#include "DataModuleMaster.h"
#include "Forms.h"
#include "FuzzSupport.h"

using fuzzsupport::Check;

namespace {

struct World {
  fuzzsupport::Root& root = fuzzsupport::Root::Get();  // first: the layer's folders
  fuzzsupport::BodyServer server{"update.quorvex.example"};
  TdmMaster* dm = nullptr;
  World() {
    // The start-up in the constructor finds no connection and ends at once on a fast clock,
    // leaving the data module to read the event file on its own.
    setenv("WINPLAT_CONNECTION", "offline", 1);
    setenv("WINPLAT_TIME_SCALE", "1000000", 1);
    Application->CreateForm(dm);
    setenv("WINPLAT_CONNECTION", "lan", 1);
  }
};

int IndexOf(World& world, const std::string& body) {
  world.server.Answer(body);
  return world.dm->GetEventIndex();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static World world;
  const std::string text(reinterpret_cast<const char*>(data), size);
  int index = IndexOf(world, text);
  // Only the first line counts: what follows its end cannot change the index.
  size_t end = text.find_first_of(std::string("\r\n\0", 3));
  if (end != std::string::npos) Check(IndexOf(world, text.substr(0, end) + "\r\n#!#99\r\n") == index,
                                      "a later line changed the event index");
  if (text.rfind("#!#", 0) != 0) Check(index == -1, "a first line without the marker gave an index");
  return 0;
}
