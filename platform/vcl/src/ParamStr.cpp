// ParamCount and ParamStr over the process's command line.
#include <string>
#include <vector>

#include "SysUtils.h"
#include "windows.h"
#include "winplat.h"

namespace {

const std::vector<std::string>& Arguments() {
  static const std::vector<std::string> args = winplat::SplitCommandLine(GetCommandLineA());
  return args;
}

}  // namespace

int ParamCount() { return Arguments().empty() ? 0 : int(Arguments().size()) - 1; }

AnsiString ParamStr(int index) {
  if (index < 0 || size_t(index) >= Arguments().size()) return "";
  return Arguments()[size_t(index)];
}
