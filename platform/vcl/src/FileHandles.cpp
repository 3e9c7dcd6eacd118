// FileOpen, FileCreate and the calls on their handles. The class library's handles are
// integers (callers keep -1 for "none"); the layer's are pointers, so a table maps the two.
#include "FileHandles.h"

#include <mutex>
#include <vector>

#include "SysUtils.h"

namespace vclimpl {
namespace {

// Numbers start above 0 so that a handle field left at 0 is never a valid file.
constexpr int kFirstHandle = 3;
std::mutex gLock;
std::vector<HANDLE> gHandles;

}  // namespace

int AddFileHandle(HANDLE h) {
  if (h == INVALID_HANDLE_VALUE) return -1;
  std::lock_guard<std::mutex> lock(gLock);
  for (size_t i = 0; i < gHandles.size(); ++i)
    if (gHandles[i] == INVALID_HANDLE_VALUE) {
      gHandles[i] = h;
      return int(i) + kFirstHandle;
    }
  gHandles.push_back(h);
  return int(gHandles.size()) - 1 + kFirstHandle;
}

HANDLE FileHandleOf(int handle) {
  std::lock_guard<std::mutex> lock(gLock);
  size_t i = size_t(handle - kFirstHandle);
  if (handle < kFirstHandle || i >= gHandles.size()) return INVALID_HANDLE_VALUE;
  return gHandles[i];
}

HANDLE TakeFileHandle(int handle) {
  std::lock_guard<std::mutex> lock(gLock);
  size_t i = size_t(handle - kFirstHandle);
  if (handle < kFirstHandle || i >= gHandles.size()) return INVALID_HANDLE_VALUE;
  HANDLE h = gHandles[i];
  gHandles[i] = INVALID_HANDLE_VALUE;
  return h;
}

}  // namespace vclimpl

using vclimpl::FileHandleOf;

int FileOpen(const AnsiString& path, unsigned mode) {
  static const DWORD access[3] = {GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE};
  static const DWORD share[5] = {0, 0, FILE_SHARE_READ, FILE_SHARE_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE};
  unsigned a = mode & 3, s = (mode & 0xF0) >> 4;
  if (a > 2 || s > 4) return -1;
  return vclimpl::AddFileHandle(
      CreateFileA(path.c_str(), access[a], share[s], nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

int FileCreate(const AnsiString& path) {
  return vclimpl::AddFileHandle(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
}

int FileRead(int handle, void* buffer, int count) {
  DWORD done = 0;
  if (count < 0 || !ReadFile(FileHandleOf(handle), buffer, DWORD(count), &done, nullptr)) return -1;
  return int(done);
}

int FileWrite(int handle, const void* buffer, int count) {
  DWORD done = 0;
  if (count < 0 || !WriteFile(FileHandleOf(handle), buffer, DWORD(count), &done, nullptr)) return -1;
  return int(done);
}

long long FileSeek(int handle, long long offset, int origin) {
  LARGE_INTEGER distance, result;
  distance.QuadPart = offset;
  if (!SetFilePointerEx(FileHandleOf(handle), distance, &result, DWORD(origin))) return -1;
  return result.QuadPart;
}

void FileClose(int handle) {
  HANDLE h = vclimpl::TakeFileHandle(handle);
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
}

int FileGetDate(int handle) {
  FILETIME ft, local;
  WORD date, time;
  if (GetFileTime(FileHandleOf(handle), nullptr, nullptr, &ft) && FileTimeToLocalFileTime(&ft, &local) &&
      FileTimeToDosDateTime(&local, &date, &time))
    return int((DWORD(date) << 16) | time);
  return -1;
}

int FileSetDate(int handle, int age) {
  FILETIME local, ft;
  if (DosDateTimeToFileTime(HIWORD(age), LOWORD(age), &local) && LocalFileTimeToFileTime(&local, &ft) &&
      SetFileTime(FileHandleOf(handle), nullptr, nullptr, &ft))
    return 0;
  return int(GetLastError());
}

int FileSetDate(const AnsiString& path, int age) {
  int h = FileOpen(path, fmOpenWrite);
  if (h < 0) return int(GetLastError());
  int rc = FileSetDate(h, age);
  FileClose(h);
  return rc;
}
