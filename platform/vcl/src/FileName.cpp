// File-name functions on DOS paths. They work on characters: the trail byte of a double-byte
// character is never taken for "\", ":" or ".".
#include "SysUtils.h"

AnsiString ExtractFilePath(const AnsiString& path) {
  return path.SubString(1, path.LastDelimiter("\\:"));
}

AnsiString ExtractFileDir(const AnsiString& path) {
  int i = path.LastDelimiter("\\:");
  // Keep the "\" of a root ("C:\", "\") but not the one that ends a folder name.
  if (i > 1 && path[i] == '\\' && !path.IsDelimiter("\\:", i - 1)) --i;
  return path.SubString(1, i);
}

AnsiString ExtractFileDrive(const AnsiString& path) {
  if (path.Length() >= 2 && path[2] == ':') return path.SubString(1, 2);
  // "\\server\share\..." gives "\\server\share".
  if (path.Length() >= 2 && path[1] == '\\' && path[2] == '\\') {
    int slashes = 0, i = 3;
    for (; i <= path.Length(); ++i) {
      if (path.IsPathDelimiter(i) && ++slashes == 2) break;
    }
    if (slashes >= 1) return path.SubString(1, i - 1);
  }
  return AnsiString();
}

AnsiString ExtractFileName(const AnsiString& path) {
  int i = path.LastDelimiter("\\:");
  return path.SubString(i + 1, path.Length() - i);
}

AnsiString ExtractFileExt(const AnsiString& path) {
  int i = path.LastDelimiter(".\\:");
  if (i > 0 && path[i] == '.') return path.SubString(i, path.Length() - i + 1);
  return AnsiString();
}

AnsiString ChangeFileExt(const AnsiString& path, const AnsiString& ext) {
  int i = path.LastDelimiter(".\\:");
  if (i == 0 || path[i] != '.') i = path.Length() + 1;
  return path.SubString(1, i - 1) + ext;
}
