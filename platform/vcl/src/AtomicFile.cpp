#include "AtomicFile.h"

#include <algorithm>

#include "SysUtils.h"
#include "windows.h"

namespace vclimpl {

void ReplaceFile(const AnsiString& fileName, const std::string& bytes) {
  const AnsiString target = ExpandFileName(fileName);
  const AnsiString dir = ExtractFilePath(target);
  char temp[MAX_PATH + 16] = {};
  if (target.IsEmpty() || GetTempFileNameA(dir.c_str(), "ini", 0, temp) == 0)
    throw EFCreateError("Cannot create file " + fileName);
  bool ok = false;
  HANDLE h = CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    ok = true;
    for (size_t done = 0; ok && done < bytes.size();) {
      DWORD chunk = DWORD(std::min<size_t>(bytes.size() - done, 1u << 20)), written = 0;
      ok = WriteFile(h, bytes.data() + done, chunk, &written, nullptr) && written == chunk;
      done += written;
    }
    ok = ok && FlushFileBuffers(h);
    ok = CloseHandle(h) && ok;
  }
  if (!ok || !MoveFileExA(temp, target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DWORD error = GetLastError();
    DeleteFileA(temp);
    throw EFCreateError("Cannot create file " + fileName + ". " + SysErrorMessage(int(error)));
  }
}

}  // namespace vclimpl
