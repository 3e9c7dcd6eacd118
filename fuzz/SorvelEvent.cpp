// The splash program's event code file "SorvelEvent_Code.txt": the first line must begin with
// "#!#", every "#!#" in it is removed and the rest read as a decimal number (-1 otherwise).
// Sorvel is not in the tree yet, so this target parses the same way through the same class
// library calls (EventIndexOf below); when Sorvel comes, the target calls its data module.
#include <cstdint>
#include <string>

#include "Classes.h"
#include "FuzzSupport.h"
#include "SysUtils.h"

using fuzzsupport::Check;

namespace {

int EventIndexOf(const char* bytes, size_t size) {
  if (size == 0) return -1;
  TStringList lines;
  lines.SetText(AnsiString(std::string(bytes, size)));
  if (lines.Count() == 0) return -1;
  if (lines.Get(0).Pos("#!#") != 1) return -1;
  return StringReplace(lines.Get(0), "#!#", "", rfReplaceAll).ToIntDef(-1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* bytes = reinterpret_cast<const char*>(data);
  int index = EventIndexOf(bytes, size);
  // Only the first line counts: what follows its end cannot change the index.
  const std::string text(bytes, size);
  size_t end = text.find_first_of(std::string("\r\n\0", 3));
  if (end != std::string::npos) {
    std::string first = text.substr(0, end) + "\r\n#!#99\r\n";
    Check(EventIndexOf(first.data(), first.size()) == index, "a later line changed the event index");
  }
  if (text.rfind("#!#", 0) != 0) Check(index == -1, "a first line without the marker gave an index");
  return 0;
}
