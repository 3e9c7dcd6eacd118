#include "ZBUtils.h"

#include "Forms.h"
#include "shellapi.h"
#include "windows.h"

namespace {
bool IsLead(char c) { return IsDBCSLeadByte(BYTE(c)) != 0; }
}  // namespace

void CloseFileHandle(int& h) {
  if (h != -1) {
    FileClose(h);
    h = -1;
  }
}

AnsiString DelimitPath(const AnsiString& path, bool add) {
  if (path.IsEmpty()) return add ? AnsiString("\\") : AnsiString();
  char last = 0, sep = '\\';
  const int len = path.Length();
  for (int i = 1; i <= len; ++i) {
    char c = path[i];
    last = c;
    if (IsLead(c))
      ++i;
    else if (c == '/' || c == '\\')
      sep = c;
  }
  const bool ends = last == '/' || last == '\\';
  if (ends == add) return path;
  if (add) return path + sep;
  return path.SubString(1, len - 1);
}

bool DirExists(const AnsiString& name) {
  if (name.IsEmpty()) return true;
  DWORD attr = GetFileAttributesA(name.c_str());
  return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

int EraseFile(const AnsiString& fileName, TDeleteOpts how) {
  AnsiString full = ExtractFilePath(fileName).IsEmpty() ? GetCurrentDir() + "\\" + fileName : fileName;
  if (!FileExists(full)) return -1;
  std::string from = full.str();
  from.push_back('\0');  // the list ends with two zero bytes
  SHFILEOPSTRUCTA op = {};
  op.hwnd = Application->Handle;
  op.wFunc = FO_DELETE;
  op.pFrom = from.c_str();
  op.pTo = nullptr;
  op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
  if (how == htdAllowUndo) op.fFlags |= FOF_ALLOWUNDO;
  return SHFileOperationA(&op);
}

bool ForceDirectory(const AnsiString& folder) {
  if (folder.IsEmpty()) return true;
  AnsiString d = DelimitPath(folder, false);
  if (DirExists(d) || ExtractFilePath(d) == d) return true;
  return ForceDirectory(ExtractFilePath(d)) && CreateDirectoryA(d.c_str(), nullptr) != 0;
}

AnsiString PathConcat(const AnsiString& path, const AnsiString& name) {
  AnsiString result = path;
  const int len = path.Length();
  if (len > 0 && path[len] != ':' && name.Length() > 0) {
    const bool pathEnds = path[len] == '\\';
    const bool nameStarts = name[1] == '\\';
    if (pathEnds && nameStarts)
      result.SetLength(len - 1);
    else if (!pathEnds && !nameStarts)
      result += '\\';
  }
  return result + name;
}

AnsiString SetSlash(const AnsiString& path) {
  AnsiString result = path;
  const int len = result.Length();
  for (int i = 1; i <= len && result[i] != '\0'; ++i) {
    if (IsLead(result[i]))
      ++i;
    else if (result[i] == '/')
      result[i] = '\\';
  }
  return result;
}
