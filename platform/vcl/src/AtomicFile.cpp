#include "AtomicFile.h"

#include "SysUtils.h"
#include "windows.h"
#include "winplat.h"

namespace vclimpl {

void ReplaceFile(const AnsiString& fileName, const std::string& bytes) {
  const AnsiString target = ExpandFileName(fileName);
  if (target.IsEmpty()) throw EFCreateError("Cannot create file " + fileName);
  if (!winplat::ReplaceFileBytes(target.c_str(), bytes))
    throw EFCreateError("Cannot create file " + fileName + ". " + SysErrorMessage(int(GetLastError())));
}

}  // namespace vclimpl
