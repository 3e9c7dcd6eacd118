// Files and folders: handles over file descriptors with share modes, and the name-based
// operations (delete, move, copy, folders, attributes).
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <atomic>
#include <cstring>
#include <mutex>
#include <set>
#include "Internal.h"

namespace winplat {

namespace {

struct FileObject;
std::mutex g_openMutex;
std::set<FileObject*> g_openFiles;

struct FileObject : Object {
  int fd = -1;
  int lockFd = -1;  // holds the lock of a write-only handle (see TellOtherProcesses)
  DWORD access = 0;
  DWORD share = 0;
  dev_t dev = 0;
  ino_t ino = 0;
  ~FileObject() override {
    {
      std::lock_guard<std::mutex> lock(g_openMutex);
      g_openFiles.erase(this);
    }
    if (lockFd >= 0) close(lockFd);
    if (fd >= 0) close(fd);
  }
  bool CanRead() const { return access & (GENERIC_READ | GENERIC_ALL); }
  bool CanWrite() const { return access & (GENERIC_WRITE | GENERIC_ALL); }
};

bool Reads(DWORD access) { return access & (GENERIC_READ | GENERIC_ALL | GENERIC_EXECUTE); }
bool Writes(DWORD access) { return access & (GENERIC_WRITE | GENERIC_ALL); }

bool EndsWithExe(const std::string& name) {
  if (name.size() < 4) return false;
  std::string ext = name.substr(name.size() - 4);
  for (char& c : ext) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return ext == ".exe";
}

// Windows decides by extension what runs; here the bit must say so.
void MarkExecutableIfExe(const std::string& unixPath, int fd = -1) {
  if (!EndsWithExe(unixPath)) return;
  struct stat st;
  if ((fd >= 0 ? fstat(fd, &st) : stat(unixPath.c_str(), &st)) != 0 || !S_ISREG(st.st_mode)) return;
  mode_t mode = st.st_mode | ((st.st_mode & 0444) >> 2);
  if (mode != st.st_mode) {
    if (fd >= 0)
      fchmod(fd, mode & 07777);
    else
      chmod(unixPath.c_str(), mode & 07777);
  }
}

std::string Parent(const std::string& unixPath) {
  size_t slash = unixPath.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : unixPath.substr(0, slash);
}

// ENOENT means a missing file, or a missing folder on the way to it.
void SetNotFoundError(const std::string& unixPath, int error) {
  if (error == ENOENT && !IsDirectory(Parent(unixPath)))
    SetLastError(ERROR_PATH_NOT_FOUND);
  else
    SetErrorFromErrno(error);
}

bool ReadOnly(const struct stat& st) { return S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR); }

// Windows refuses these characters in every name part, and a device's name as a name part;
// code page 949 trail bytes (0x41 to 0x5A, 0x61 to 0x7A, 0x81 and up) are never one of the
// characters nor a separator, so the bytes can be looked at one by one.
bool ValidNames(LPCSTR dosPath) {
  if (!dosPath) return true;  // the path mapping reports it
  const char* p = dosPath;
  if (isalpha(static_cast<unsigned char>(p[0])) && p[1] == ':') p += 2;  // the drive
  for (const char* part = p;; ++p) {
    if (*p == '\\' || *p == '/' || *p == '\0') {
      if (IsReservedDeviceName(std::string(part, p))) break;
      if (!*p) return true;
      part = p + 1;
    } else if (static_cast<unsigned char>(*p) < 0x20 || std::strchr("<>:\"|?*", *p)) {
      break;
    }
  }
  SetLastError(ERROR_INVALID_NAME);
  return false;
}

// The table of open files is this copy's only: other processes, and other copies of the layer
// in this one (the engine library carries its own), learn from open file description locks
// what a handle does not share. Each sharing a handle withholds is a read lock on a byte of its
// own, far past any file's data, so no reader or writer of the data meets it. Such locks hold
// across process namespaces and on shared drives. Read locks never conflict, and a write-only
// handle takes its locks through a second, reading description of the same file.
constexpr off_t kSharingMarks = off_t(1) << 62;
constexpr DWORD kMarkedSharing[] = {FILE_SHARE_DELETE, FILE_SHARE_WRITE};

off_t MarkOf(DWORD sharing) {
  off_t mark = kSharingMarks;
  for (DWORD s : kMarkedSharing) {
    if (s == sharing) return mark;
    ++mark;
  }
  return -1;
}

void TellOtherProcesses(FileObject& file, int openFlags, const struct stat& st) {
  if ((file.share & FILE_SHARE_DELETE) && (file.share & FILE_SHARE_WRITE)) return;
  if (!S_ISREG(st.st_mode)) return;
  int fd = file.fd;
  if ((openFlags & O_ACCMODE) == O_WRONLY) {
    file.lockFd = open(("/proc/self/fd/" + std::to_string(file.fd)).c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    fd = file.lockFd;
    if (fd < 0) return;
  }
  for (DWORD sharing : kMarkedSharing) {
    if (file.share & sharing) continue;
    struct flock lock {};
    lock.l_type = F_RDLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = MarkOf(sharing);
    lock.l_len = 1;
    fcntl(fd, F_OFD_SETLK, &lock);
  }
}

// A file that a handle elsewhere (see TellOtherProcesses) has open without the sharing.
bool OpenElsewhereWithout(DWORD sharing, const std::string& unixPath, const struct stat& st) {
  if (!S_ISREG(st.st_mode)) return false;
  int fd = open(unixPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat now;
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = MarkOf(sharing);
  lock.l_len = 1;
  bool held = fstat(fd, &now) == 0 && now.st_dev == st.st_dev && now.st_ino == st.st_ino &&
              fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
  close(fd);
  return held;
}

// Open without the sharing (FILE_SHARE_DELETE or FILE_SHARE_WRITE), here or in any other
// process: Windows neither deletes nor renames nor replaces a file open without
// FILE_SHARE_DELETE, and a copy replaces none open without FILE_SHARE_WRITE.
bool InUseWithout(DWORD sharing, const std::string& unixPath, const struct stat& st) {
  return FileOpenWithout(sharing, st.st_dev, st.st_ino) || OpenElsewhereWithout(sharing, unixPath, st);
}

std::shared_ptr<FileObject> FileFromHandle(HANDLE h) {
  auto file = Lookup<FileObject>(h);
  if (!file) SetLastError(ERROR_INVALID_HANDLE);
  return file;
}

}  // namespace

bool IsReservedDeviceName(const std::string& namePart) {
  // Windows drops the blanks and dots that end a name, and reads the device's name up to the
  // first dot, without the blanks before it.
  std::string name = namePart.substr(0, namePart.find_last_not_of(" .") + 1);
  name = name.substr(0, name.find('.'));
  name = name.substr(0, name.find_last_not_of(' ') + 1);
  for (char& c : name)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  if (name == "CON" || name == "PRN" || name == "AUX" || name == "NUL") return true;
  return name.size() == 4 && (name.compare(0, 3, "COM") == 0 || name.compare(0, 3, "LPT") == 0) && name[3] >= '1' &&
         name[3] <= '9';
}

bool FileOpenWithout(DWORD sharing, dev_t dev, ino_t ino) {
  std::lock_guard<std::mutex> lock(g_openMutex);
  for (FileObject* f : g_openFiles)
    if (f->dev == dev && f->ino == ino && !(f->share & sharing)) return true;
  return false;
}

}  // namespace winplat

using namespace winplat;

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
  (void)lpSecurityAttributes;
  (void)hTemplateFile;
  std::string path;
  if (!ValidNames(lpFileName) || !MapPath(lpFileName, path)) return INVALID_HANDLE_VALUE;
  if (dwCreationDisposition < CREATE_NEW || dwCreationDisposition > TRUNCATE_EXISTING ||
      (dwCreationDisposition == TRUNCATE_EXISTING && !Writes(dwDesiredAccess))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  struct stat before;
  bool existed = stat(path.c_str(), &before) == 0;
  if (existed && S_ISDIR(before.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  if (existed && dwCreationDisposition == CREATE_NEW) {
    SetLastError(ERROR_FILE_EXISTS);
    return INVALID_HANDLE_VALUE;
  }
  if (!existed && (dwCreationDisposition == OPEN_EXISTING || dwCreationDisposition == TRUNCATE_EXISTING)) {
    SetNotFoundError(path, ENOENT);
    return INVALID_HANDLE_VALUE;
  }
  bool truncate = dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == TRUNCATE_EXISTING;
  // A read-only file refuses writing even to the superuser, as on Windows.
  if (existed && ReadOnly(before) && (Writes(dwDesiredAccess) || truncate)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }

  int flags = O_CLOEXEC;
  if (Reads(dwDesiredAccess) && Writes(dwDesiredAccess))
    flags |= O_RDWR;
  else if (Writes(dwDesiredAccess) || truncate)
    flags |= Reads(dwDesiredAccess) ? O_RDWR : O_WRONLY;
  else
    flags |= O_RDONLY;
  if (dwCreationDisposition == CREATE_NEW) flags |= O_CREAT | O_EXCL;
  if (dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == OPEN_ALWAYS) flags |= O_CREAT;
  mode_t mode = EndsWithExe(path) ? 0777 : 0666;
  if (dwFlagsAndAttributes & FILE_ATTRIBUTE_READONLY) mode &= ~0222;
  int fd = open(path.c_str(), flags, mode);
  if (fd < 0) {
    if (errno == EEXIST)
      SetLastError(ERROR_FILE_EXISTS);
    else
      SetNotFoundError(path, errno);
    return INVALID_HANDLE_VALUE;
  }
  auto file = std::make_shared<FileObject>();
  file->fd = fd;
  file->access = dwDesiredAccess;
  file->share = dwShareMode;
  struct stat st;
  fstat(fd, &st);
  file->dev = st.st_dev;
  file->ino = st.st_ino;
  {
    // Checked before anything is truncated: a refused open changes nothing.
    std::lock_guard<std::mutex> lock(g_openMutex);
    for (FileObject* other : g_openFiles) {
      if (other->dev != file->dev || other->ino != file->ino) continue;
      bool conflict = (Reads(dwDesiredAccess) && !(other->share & FILE_SHARE_READ)) ||
                      ((Writes(dwDesiredAccess) || truncate) && !(other->share & FILE_SHARE_WRITE)) ||
                      (Reads(other->access) && !(dwShareMode & FILE_SHARE_READ)) ||
                      (Writes(other->access) && !(dwShareMode & FILE_SHARE_WRITE));
      if (conflict) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
      }
    }
    g_openFiles.insert(file.get());
  }
  TellOtherProcesses(*file, flags, st);
  // An empty file is left alone: on some file systems a truncation, even of nothing, makes the
  // close flush everything written since.
  if (truncate && st.st_size != 0 && ftruncate(fd, 0) != 0) {
    SetErrorFromErrno();
    return INVALID_HANDLE_VALUE;
  }
  if (existed) MarkExecutableIfExe(path, fd);
  HANDLE handle = AddHandle(file);
  // Opening over an existing file succeeds and says so.
  SetLastError(existed && (dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == OPEN_ALWAYS)
                   ? ERROR_ALREADY_EXISTS
                   : ERROR_SUCCESS);
  return handle;
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                     LPOVERLAPPED lpOverlapped) {
  (void)lpOverlapped;
  if (lpNumberOfBytesRead) *lpNumberOfBytesRead = 0;
  auto file = FileFromHandle(hFile);
  if (!file) return FALSE;
  if (!file->CanRead()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  DWORD total = 0;
  char* out = static_cast<char*>(lpBuffer);
  while (total < nNumberOfBytesToRead) {
    ssize_t n = read(file->fd, out + total, nNumberOfBytesToRead - total);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (lpNumberOfBytesRead) *lpNumberOfBytesRead = total;
      SetLastError(errno == EIO ? ERROR_READ_FAULT : ErrnoToError(errno));
      return FALSE;
    }
    if (n == 0) break;
    total += static_cast<DWORD>(n);
  }
  if (lpNumberOfBytesRead) *lpNumberOfBytesRead = total;
  return TRUE;
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
  (void)lpOverlapped;
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = 0;
  auto file = FileFromHandle(hFile);
  if (!file) return FALSE;
  if (!file->CanWrite()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  DWORD total = 0;
  const char* in = static_cast<const char*>(lpBuffer);
  while (total < nNumberOfBytesToWrite) {
    ssize_t n = write(file->fd, in + total, nNumberOfBytesToWrite - total);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = total;
      SetErrorFromErrno();
      return FALSE;
    }
    total += static_cast<DWORD>(n);
  }
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = total;
  return TRUE;
}

BOOL WINAPI SetFilePointerEx(HANDLE hFile, LARGE_INTEGER liDistanceToMove, PLARGE_INTEGER lpNewFilePointer,
                             DWORD dwMoveMethod) {
  auto file = FileFromHandle(hFile);
  if (!file) return FALSE;
  int whence = dwMoveMethod == FILE_BEGIN ? SEEK_SET : dwMoveMethod == FILE_CURRENT ? SEEK_CUR
               : dwMoveMethod == FILE_END   ? SEEK_END
                                            : -1;
  if (whence < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  off_t base = 0;
  if (whence == SEEK_CUR) base = lseek(file->fd, 0, SEEK_CUR);
  if (whence == SEEK_END) {
    struct stat st;
    fstat(file->fd, &st);
    base = st.st_size;
  }
  if (base + liDistanceToMove.QuadPart < 0) {
    SetLastError(ERROR_NEGATIVE_SEEK);
    return FALSE;
  }
  off_t pos = lseek(file->fd, base + liDistanceToMove.QuadPart, SEEK_SET);
  if (pos < 0) {
    SetErrorFromErrno();
    return FALSE;
  }
  if (lpNewFilePointer) lpNewFilePointer->QuadPart = pos;
  return TRUE;
}

DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh, DWORD dwMoveMethod) {
  LARGE_INTEGER distance;
  if (lpDistanceToMoveHigh) {
    distance.LowPart = static_cast<DWORD>(lDistanceToMove);
    distance.HighPart = *lpDistanceToMoveHigh;
  } else {
    distance.QuadPart = lDistanceToMove;
  }
  LARGE_INTEGER result;
  if (!SetFilePointerEx(hFile, distance, &result, dwMoveMethod)) return INVALID_SET_FILE_POINTER;
  if (lpDistanceToMoveHigh) {
    *lpDistanceToMoveHigh = result.HighPart;
  } else if (result.HighPart != 0) {
    // The position cannot be told in 32 bits.
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  if (result.LowPart == INVALID_SET_FILE_POINTER) SetLastError(NO_ERROR);
  return result.LowPart;
}

BOOL WINAPI GetFileSizeEx(HANDLE hFile, PLARGE_INTEGER lpFileSize) {
  auto file = FileFromHandle(hFile);
  if (!file) return FALSE;
  struct stat st;
  if (fstat(file->fd, &st) != 0) {
    SetErrorFromErrno();
    return FALSE;
  }
  lpFileSize->QuadPart = st.st_size;
  return TRUE;
}

DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(hFile, &size)) return INVALID_FILE_SIZE;
  if (lpFileSizeHigh) *lpFileSizeHigh = static_cast<DWORD>(size.HighPart);
  if (size.LowPart == INVALID_FILE_SIZE) SetLastError(NO_ERROR);
  return size.LowPart;
}

BOOL WINAPI SetEndOfFile(HANDLE hFile) {
  auto file = FileFromHandle(hFile);
  if (!file) return FALSE;
  if (!file->CanWrite()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  off_t pos = lseek(file->fd, 0, SEEK_CUR);
  if (pos < 0 || ftruncate(file->fd, pos) != 0) {
    SetErrorFromErrno();
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI FlushFileBuffers(HANDLE hFile) {
  auto file = FileFromHandle(hFile);
  if (!file) return FALSE;
  if (fsync(file->fd) != 0 && errno != EINVAL) {
    SetErrorFromErrno();
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
  if (!RemoveHandle(hObject)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI GetFileTime(HANDLE hFile, LPFILETIME lpCreationTime, LPFILETIME lpLastAccessTime,
                        LPFILETIME lpLastWriteTime) {
  auto file = FileFromHandle(hFile);
  if (!file) return FALSE;
  struct statx sx;
  if (statx(file->fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) {
    SetErrorFromErrno();
    return FALSE;
  }
  // Not every file system knows the birth time; the last change stands in for it.
  const statx_timestamp& birth = (sx.stx_mask & STATX_BTIME) ? sx.stx_btime : sx.stx_mtime;
  if (lpCreationTime) *lpCreationTime = UnixToFileTime(birth.tv_sec, birth.tv_nsec);
  if (lpLastAccessTime) *lpLastAccessTime = UnixToFileTime(sx.stx_atime.tv_sec, sx.stx_atime.tv_nsec);
  if (lpLastWriteTime) *lpLastWriteTime = UnixToFileTime(sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec);
  return TRUE;
}

BOOL WINAPI SetFileTime(HANDLE hFile, const FILETIME* lpCreationTime, const FILETIME* lpLastAccessTime,
                        const FILETIME* lpLastWriteTime) {
  (void)lpCreationTime;  // the birth time cannot be set here
  auto file = FileFromHandle(hFile);
  if (!file) return FALSE;
  auto toSpec = [](const FILETIME* ft) {
    timespec ts{0, UTIME_OMIT};
    // Null, 0 and all ones leave the time alone.
    if (!ft || (ft->dwLowDateTime == 0 && ft->dwHighDateTime == 0) ||
        (ft->dwLowDateTime == 0xFFFFFFFF && ft->dwHighDateTime == 0xFFFFFFFF))
      return ts;
    int64_t sec, nsec;
    FileTimeToUnix(*ft, sec, nsec);
    ts.tv_sec = sec;
    ts.tv_nsec = nsec;
    return ts;
  };
  timespec times[2] = {toSpec(lpLastAccessTime), toSpec(lpLastWriteTime)};
  if (futimens(file->fd, times) != 0) {
    SetErrorFromErrno();
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI DeleteFileA(LPCSTR lpFileName) {
  std::string path;
  if (!MapPath(lpFileName, path)) return FALSE;
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) {
    SetNotFoundError(path, errno);
    return FALSE;
  }
  if (S_ISDIR(st.st_mode) || ReadOnly(st) || InUseAsCode(st)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (InUseWithout(FILE_SHARE_DELETE, path, st)) {
    SetLastError(ERROR_SHARING_VIOLATION);
    return FALSE;
  }
  if (unlink(path.c_str()) != 0) {
    SetErrorFromErrno();
    return FALSE;
  }
  return TRUE;
}

namespace {

// Copies a file's content, permission bits and times. The copy is made under a temporary
// name beside the target and renamed over it, so a failed copy leaves any old target intact.
bool CopyContent(const std::string& from, const std::string& to) {
  int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    SetNotFoundError(from, errno);
    return false;
  }
  struct stat st;
  fstat(in, &st);
  static std::atomic<unsigned> counter{0};
  RemoveEndedWritersFiles(Parent(to), ".copy-", ".tmp");
  std::string temp = Parent(to) + "/.copy-" + std::to_string(getpid()) + "-" + std::to_string(++counter) + ".tmp";
  int out = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, (st.st_mode & 07777) | S_IWUSR);
  if (out < 0) {
    SetNotFoundError(temp, errno);
    close(in);
    return false;
  }
  char buffer[65536];
  bool ok = true;
  int error = 0;
  for (;;) {
    ssize_t n = read(in, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ok = false;
      error = errno;
      break;
    }
    if (n == 0) break;
    for (ssize_t done = 0; done < n;) {
      ssize_t w = write(out, buffer + done, n - done);
      if (w < 0 && errno == EINTR) continue;
      if (w < 0) {
        ok = false;
        error = errno;
        break;
      }
      done += w;
    }
    if (!ok) break;
  }
  if (ok && fsync(out) != 0 && errno != EINVAL) {
    ok = false;
    error = errno;
  }
  timespec times[2] = {st.st_atim, st.st_mtim};
  if (ok) futimens(out, times);
  if (ok) fchmod(out, st.st_mode & 07777);
  close(in);
  if (close(out) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (ok && rename(temp.c_str(), to.c_str()) != 0) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    unlink(temp.c_str());
    SetErrorFromErrno(error);
    return false;
  }
  MarkExecutableIfExe(to);
  return true;
}

// The target of a rename: when it resolves to the source itself (a change of letter case
// only), the name as written.
std::string TargetName(const std::string& source, LPCSTR dosTarget, const std::string& mapped) {
  struct stat a, b;
  if (stat(source.c_str(), &a) == 0 && stat(mapped.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
      a.st_ino == b.st_ino) {
    std::string written = dosTarget;
    size_t sep = written.find_last_of("\\/");
    std::string name = sep == std::string::npos ? written.substr(written.find(':') + 1) : written.substr(sep + 1);
    return Parent(mapped) + "/" + Cp949ToUtf8(name);
  }
  return mapped;
}

}  // namespace

BOOL WINAPI MoveFileExA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, DWORD dwFlags) {
  std::string from, to;
  if (!ValidNames(lpExistingFileName) || !ValidNames(lpNewFileName) || !MapPath(lpExistingFileName, from) ||
      !MapPath(lpNewFileName, to))
    return FALSE;
  struct stat src;
  if (lstat(from.c_str(), &src) != 0) {
    SetNotFoundError(from, errno);
    return FALSE;
  }
  if (InUseWithout(FILE_SHARE_DELETE, from, src)) {
    SetLastError(ERROR_SHARING_VIOLATION);
    return FALSE;
  }
  to = TargetName(from, lpNewFileName, to);
  struct stat dst;
  bool sameFile = stat(to.c_str(), &dst) == 0 && dst.st_dev == src.st_dev && dst.st_ino == src.st_ino;
  if (!sameFile && lstat(to.c_str(), &dst) == 0) {
    if (!(dwFlags & MOVEFILE_REPLACE_EXISTING)) {
      SetLastError(ERROR_ALREADY_EXISTS);
      return FALSE;
    }
    // A running program or a loaded library may be renamed, not replaced; nor may a file
    // open without FILE_SHARE_DELETE.
    if (S_ISDIR(dst.st_mode) || S_ISDIR(src.st_mode) || ReadOnly(dst) || InUseAsCode(dst) ||
        InUseWithout(FILE_SHARE_DELETE, to, dst)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
  }
  if (rename(from.c_str(), to.c_str()) != 0) {
    if (errno == EXDEV && !S_ISDIR(src.st_mode)) {
      if (!(dwFlags & MOVEFILE_COPY_ALLOWED)) {
        SetLastError(ERROR_NOT_SAME_DEVICE);
        return FALSE;
      }
      if (!CopyContent(from, to)) return FALSE;
      unlink(from.c_str());
      return TRUE;
    }
    SetNotFoundError(to, errno);
    return FALSE;
  }
  MarkExecutableIfExe(to);
  return TRUE;
}

BOOL WINAPI MoveFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName) {
  return MoveFileExA(lpExistingFileName, lpNewFileName, MOVEFILE_COPY_ALLOWED);
}

BOOL WINAPI CopyFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, BOOL bFailIfExists) {
  std::string from, to;
  if (!ValidNames(lpExistingFileName) || !ValidNames(lpNewFileName) || !MapPath(lpExistingFileName, from) ||
      !MapPath(lpNewFileName, to))
    return FALSE;
  struct stat src, dst;
  if (stat(from.c_str(), &src) != 0) {
    SetNotFoundError(from, errno);
    return FALSE;
  }
  if (S_ISDIR(src.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (stat(to.c_str(), &dst) == 0) {
    if (bFailIfExists) {
      SetLastError(ERROR_FILE_EXISTS);
      return FALSE;
    }
    if (S_ISDIR(dst.st_mode) || ReadOnly(dst) || (dst.st_dev == src.st_dev && dst.st_ino == src.st_ino)) {
      SetLastError(dst.st_ino == src.st_ino ? ERROR_SHARING_VIOLATION : ERROR_ACCESS_DENIED);
      return FALSE;
    }
    if (InUseAsCode(dst)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    // The copy writes the target, which a handle without FILE_SHARE_WRITE does not let it.
    if (InUseWithout(FILE_SHARE_WRITE, to, dst)) {
      SetLastError(ERROR_SHARING_VIOLATION);
      return FALSE;
    }
  }
  return CopyContent(from, to) ? TRUE : FALSE;
}

BOOL WINAPI CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes) {
  (void)lpSecurityAttributes;
  std::string path;
  if (!ValidNames(lpPathName) || !MapPath(lpPathName, path)) return FALSE;
  if (mkdir(path.c_str(), 0777) != 0) {
    if (errno == ENOENT)
      SetLastError(ERROR_PATH_NOT_FOUND);
    else
      SetErrorFromErrno();
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI RemoveDirectoryA(LPCSTR lpPathName) {
  std::string path;
  if (!MapPath(lpPathName, path)) return FALSE;
  if (rmdir(path.c_str()) != 0) {
    if (errno == ENOTDIR)
      SetLastError(ERROR_DIRECTORY);
    else
      SetNotFoundError(path, errno);
    return FALSE;
  }
  return TRUE;
}

namespace winplat {
DWORD AttributesOf(const struct stat& st) {
  DWORD attributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
  if (ReadOnly(st)) attributes |= FILE_ATTRIBUTE_READONLY;
  return attributes;
}
}  // namespace winplat

DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName) {
  std::string path;
  if (!MapPath(lpFileName, path)) return INVALID_FILE_ATTRIBUTES;
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    SetNotFoundError(path, errno);
    return INVALID_FILE_ATTRIBUTES;
  }
  return AttributesOf(st);
}

BOOL WINAPI SetFileAttributesA(LPCSTR lpFileName, DWORD dwFileAttributes) {
  std::string path;
  if (!MapPath(lpFileName, path)) return FALSE;
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    SetNotFoundError(path, errno);
    return FALSE;
  }
  if (S_ISDIR(st.st_mode)) return TRUE;  // folders keep their bits
  mode_t mode = st.st_mode & 07777;
  if (dwFileAttributes & FILE_ATTRIBUTE_READONLY)
    mode &= ~0222;
  else if (!(mode & S_IWUSR))
    mode |= S_IWUSR;
  if (mode != (st.st_mode & 07777) && chmod(path.c_str(), mode) != 0) {
    SetErrorFromErrno();
    return FALSE;
  }
  return TRUE;
}

namespace winplat {

void RemoveEndedWritersFiles(const std::string& folder, const std::string& prefix, const std::string& suffix) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;
  const pid_t self = getpid();
  while (dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    if (name.size() <= prefix.size() + suffix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
      continue;
    // "PID-N" between prefix and suffix, both decimal.
    const std::string middle = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    const size_t dash = middle.find('-');
    auto decimal = [](const std::string& t) {
      return !t.empty() && t.size() <= 10 && t.find_first_not_of("0123456789") == std::string::npos;
    };
    if (dash == std::string::npos || !decimal(middle.substr(0, dash)) || !decimal(middle.substr(dash + 1))) continue;
    const long long pid = std::stoll(middle.substr(0, dash));
    if (pid <= 0 || pid > INT32_MAX || pid == self) continue;
    // Only a writer that is certainly gone: EPERM means a live process of another user.
    if (kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
    unlinkat(dirfd(dir), name.c_str(), 0);
  }
  closedir(dir);
}

std::string ReadToEnd(int fd) {
  std::string text;
  char buffer[65536];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  return text;
}

bool ReplaceFileContent(const std::string& unixPath, const std::string& content, int& error) {
  static std::atomic<unsigned> counter{0};
  // The temporary file is "<name>.tmp-PID-N": a writer killed before its rename leaves it behind.
  RemoveEndedWritersFiles(Parent(unixPath), unixPath.substr(unixPath.find_last_of('/') + 1) + ".tmp-", "");
  std::string temp = unixPath + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
  struct stat st;
  mode_t mode = stat(unixPath.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0666;
  int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) {
    error = errno;
    return false;
  }
  size_t done = 0;
  bool ok = true;
  while (ok && done < content.size()) {
    ssize_t n = write(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    else done += static_cast<size_t>(n);
  }
  if (ok && fsync(fd) != 0) ok = false;
  if (!ok) error = errno;
  if (close(fd) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (ok && rename(temp.c_str(), unixPath.c_str()) != 0) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    unlink(temp.c_str());
    return false;
  }
  // The rename itself must survive a crash too.
  int dir = open(Parent(unixPath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return true;
}

bool ReplaceFileBytes(const std::string& dosPath, const std::string& bytes) {
  std::string path;
  if (!MapPath(dosPath.c_str(), path)) return false;
  int error = 0;
  if (ReplaceFileContent(path, bytes, error)) return true;
  SetLastError(error == ENOENT ? ERROR_PATH_NOT_FOUND : ErrnoToError(error));
  return false;
}

}  // namespace winplat
