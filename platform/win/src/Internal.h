// Private pieces shared by the units of the layer: the handle table, error helpers and the
// path helpers that work on Unix paths.
#pragma once
#include <cerrno>
#include <memory>
#include <string>
#include <sys/types.h>
#include "windows.h"
#include "winplat.h"

namespace winplat {

// Every kernel object behind a HANDLE. Handles are numbers in a table, so a stale or forged
// handle gives ERROR_INVALID_HANDLE instead of touching freed memory.
struct Object {
  virtual ~Object() = default;
};

HANDLE AddHandle(std::shared_ptr<Object> object);
std::shared_ptr<Object> LookupHandle(HANDLE handle);
template <class T>
std::shared_ptr<T> Lookup(HANDLE handle) {
  return std::dynamic_pointer_cast<T>(LookupHandle(handle));
}
// Removes the handle; false when it was not in the table.
bool RemoveHandle(HANDLE handle);

// errno -> ERROR_* code, and SetLastError of that.
DWORD ErrnoToError(int error);
void SetErrorFromErrno(int error = errno);

// Copies text into a caller's buffer the way most A functions do: the length without the
// zero when it fits, else the size needed including the zero.
DWORD CopyOut(const std::string& text, LPSTR buffer, DWORD size);

// Path helpers on DOS paths (bytes in code page 949).
std::string NormalizeDos(const std::string& dosPath);  // absolute, "\" separators, no "." or ".."
// Unix path of a DOS path, with SetLastError when the drive is unknown.
bool MapPath(LPCSTR dosPath, std::string& unixPath);
bool IsDirectory(const std::string& unixPath);
bool CaseMatch(const std::string& pattern, const std::string& name);  // "*" and "?", no case

// Open files of this copy of the layer without the sharing (FILE_SHARE_DELETE,
// FILE_SHARE_WRITE), for the share-mode checks of delete, rename, replace and copy.
bool FileOpenWithout(DWORD sharing, dev_t dev, ino_t ino);
// The program of a running process, or code this process has loaded: not to be deleted or
// replaced, as Windows refuses with ERROR_ACCESS_DENIED.
bool InUseAsCode(const struct stat& st);

bool FindDrive(char letter, Drive& drive);
void ForgetCurrentDos();

// Replaces a file's content in one step: the text goes to a temporary file beside it that is
// synced and renamed over the old one, so readers see the old or the new file, never a part.
// Temporary files that killed writers left beside it are removed first.
bool ReplaceFileContent(const std::string& unixPath, const std::string& content, int& error);
// The bytes of an open file from where it stands to its end.
std::string ReadToEnd(int fd);
// Temporary files of a folder named prefix + writer's process id + "-" + number + suffix whose
// writer has ended (a killed program) are removed; those of live processes stay.
void RemoveEndedWritersFiles(const std::string& folder, const std::string& prefix, const std::string& suffix);

// FILETIME <-> Unix time in nanoseconds.
FILETIME UnixToFileTime(int64_t seconds, int64_t nanoseconds);
void FileTimeToUnix(const FILETIME& ft, int64_t& seconds, int64_t& nanoseconds);

// Conversions that report whether anything had to be replaced.
bool Cp949ToUtf8Checked(const std::string& text, std::string& out);
bool Utf8ToCp949Checked(const std::string& text, std::string& out, const std::string& defaultChar);
bool Utf8ToWideChecked(const std::string& text, std::wstring& out);
std::string WideToUtf8(const std::wstring& text);

// The program's own file, and a module's (null: the program).
std::string SelfExePath();
std::string ModuleUnixPath(HMODULE module);
// A bare file name in the program's folder, the current folder, then the PATH folders
// (letter case ignored); the Unix path, or empty.
std::string SearchProgramFolders(const std::string& dosName);

}  // namespace winplat
