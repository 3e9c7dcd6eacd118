// File and folder functions of SysUtils, over the layer's DOS paths.
#include <string>

#include "SysUtils.h"
#include "windows.h"

namespace {

// Calls an A function that reports the size it needs when the buffer is too small.
template <class F>
AnsiString GrowCall(F call) {
  std::string buf(MAX_PATH, '\0');
  for (int tries = 0; tries < 4; ++tries) {
    DWORD n = call(DWORD(buf.size()), buf.data());
    if (n == 0) return AnsiString();
    if (n < buf.size()) {
      buf.resize(n);
      return AnsiString(std::move(buf));
    }
    buf.assign(size_t(n) + 1, '\0');
  }
  return AnsiString();
}

int LocalDosTime(const FILETIME& ft) {
  FILETIME local;
  WORD date, time;
  if (FileTimeToLocalFileTime(&ft, &local) && FileTimeToDosDateTime(&local, &date, &time))
    return int((DWORD(date) << 16) | time);
  return -1;
}

bool FindOne(const AnsiString& path, WIN32_FIND_DATAA& data) {
  HANDLE h = FindFirstFileA(path.c_str(), &data);
  if (h == INVALID_HANDLE_VALUE) return false;
  FindClose(h);
  return true;
}

bool IsRootOnly(const AnsiString& dir) {
  return dir.IsEmpty() || dir == "\\" || (dir.Length() <= 3 && dir.Length() >= 2 && dir[2] == ':');
}

}  // namespace

AnsiString ExpandFileName(const AnsiString& path) {
  if (path.IsEmpty()) return GetCurrentDir();
  return GrowCall([&](DWORD size, char* buf) { return GetFullPathNameA(path.c_str(), size, buf, nullptr); });
}

bool FileExists(const AnsiString& path) {
  DWORD attr = GetFileAttributesA(path.c_str());
  return attr != INVALID_FILE_ATTRIBUTES && !(attr & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const AnsiString& path) {
  DWORD attr = GetFileAttributesA(path.c_str());
  return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY);
}

bool ForceDirectories(const AnsiString& dir) {
  if (dir.IsEmpty()) throw EInOutError("Unable to create directory");
  AnsiString d = ExcludeTrailingBackslash(dir);
  if (DirectoryExists(d)) return true;
  // A drive root or a bare "C:" cannot be made: it exists or it does not.
  if (IsRootOnly(d)) return DirectoryExists(IncludeTrailingBackslash(d));
  AnsiString parent = ExtractFilePath(d);
  if (!parent.IsEmpty() && parent != d && !ForceDirectories(parent)) return false;
  // Another program may have made it in the meantime.
  return CreateDir(d) || DirectoryExists(d);
}

bool CreateDir(const AnsiString& dir) { return CreateDirectoryA(dir.c_str(), nullptr) != FALSE; }
bool RemoveDir(const AnsiString& dir) { return RemoveDirectoryA(dir.c_str()) != FALSE; }
bool DeleteFile(const AnsiString& path) { return DeleteFileA(path.c_str()) != FALSE; }
bool RenameFile(const AnsiString& oldName, const AnsiString& newName) {
  return MoveFileA(oldName.c_str(), newName.c_str()) != FALSE;
}

AnsiString GetCurrentDir() {
  return GrowCall([](DWORD size, char* buf) { return GetCurrentDirectoryA(size, buf); });
}

bool SetCurrentDir(const AnsiString& dir) { return SetCurrentDirectoryA(dir.c_str()) != FALSE; }

namespace {

bool DriveSpace(unsigned char drive, ULARGE_INTEGER& avail, ULARGE_INTEGER& total) {
  char root[4] = {char('@' + drive), ':', '\\', 0};
  ULARGE_INTEGER freeBytes;
  return GetDiskFreeSpaceExA(drive == 0 ? nullptr : root, &avail, &total, &freeBytes) != FALSE;
}

}  // namespace

long long DiskFree(unsigned char drive) {
  ULARGE_INTEGER avail, total;
  return DriveSpace(drive, avail, total) ? (long long)avail.QuadPart : -1;
}

long long DiskSize(unsigned char drive) {
  ULARGE_INTEGER avail, total;
  return DriveSpace(drive, avail, total) ? (long long)total.QuadPart : -1;
}

int FileAge(const AnsiString& path) {
  WIN32_FIND_DATAA data;
  if (!FindOne(path, data) || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return -1;
  return LocalDosTime(data.ftLastWriteTime);
}

long long FileSizeOf(const AnsiString& path) {
  WIN32_FIND_DATAA data;
  if (!FindOne(path, data) || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return -1;
  return (long long)((ULONGLONG(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
}

int FileGetAttr(const AnsiString& path) { return int(GetFileAttributesA(path.c_str())); }

int FileSetAttr(const AnsiString& path, int attr) {
  return SetFileAttributesA(path.c_str(), DWORD(attr)) ? 0 : int(GetLastError());
}

// ---------------------------------------------------------------- search

namespace {

const int faSpecial = faHidden | faSysFile | faVolumeID | faDirectory;

int FindMatching(TSearchRec& rec, WIN32_FIND_DATAA& data) {
  HANDLE h = static_cast<HANDLE>(rec.FindHandle);
  while (int(data.dwFileAttributes) & rec.ExcludeAttr)
    if (!FindNextFileA(h, &data)) return int(GetLastError());
  rec.Time = LocalDosTime(data.ftLastWriteTime);
  rec.Size = (long long)((ULONGLONG(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
  rec.Attr = int(data.dwFileAttributes);
  rec.Name = data.cFileName;
  return 0;
}

}  // namespace

int FindFirst(const AnsiString& path, int attr, TSearchRec& rec) {
  rec.ExcludeAttr = ~attr & faSpecial;
  WIN32_FIND_DATAA data;
  HANDLE h = FindFirstFileA(path.c_str(), &data);
  if (h == INVALID_HANDLE_VALUE) {
    rec.FindHandle = nullptr;
    return int(GetLastError());
  }
  rec.FindHandle = h;
  int rc = FindMatching(rec, data);
  if (rc != 0) FindClose(rec);
  return rc;
}

int FindNext(TSearchRec& rec) {
  WIN32_FIND_DATAA data;
  if (!rec.FindHandle) return ERROR_NO_MORE_FILES;
  if (!FindNextFileA(static_cast<HANDLE>(rec.FindHandle), &data)) return int(GetLastError());
  return FindMatching(rec, data);
}

void FindClose(TSearchRec& rec) {
  if (rec.FindHandle) ::FindClose(static_cast<HANDLE>(rec.FindHandle));
  rec.FindHandle = nullptr;
}
