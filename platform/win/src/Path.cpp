// DOS paths over the drive table: normalising, mapping to Unix folders and back, the current
// folder, full path names and temporary names.
#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>
#include <pthread.h>
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>
#include "Internal.h"

namespace winplat {

namespace {

std::mutex g_cwdMutex;
std::string g_currentDos;   // empty until first asked
std::string g_currentUnix;  // the Unix folder g_currentDos was taken from

// The process's real current folder: the program and a library that carries its own copy of
// this layer must agree on it, so the cached DOS name is only trusted while it still matches.
std::string UnixCwd() {
  char buffer[4096];
  return getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string();
}

bool IsSep(char c) { return c == '\\' || c == '/'; }

char FoldAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

bool EqualNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  return true;
}

std::vector<std::string> SplitDos(const std::string& path) {
  std::vector<std::string> parts;
  std::string cur;
  for (char c : path) {
    if (IsSep(c)) {
      if (!cur.empty()) parts.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) parts.push_back(cur);
  return parts;
}

// Applies "." and ".." to a list of components; ".." at the root stays at the root.
void Push(std::vector<std::string>& stack, const std::vector<std::string>& parts) {
  for (const std::string& p : parts) {
    if (p == ".") continue;
    if (p == "..") {
      if (!stack.empty()) stack.pop_back();
      continue;
    }
    stack.push_back(p);
  }
}

std::string JoinDos(char letter, const std::vector<std::string>& parts) {
  std::string out = std::string(1, letter) + ":\\";
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i) out += '\\';
    out += parts[i];
  }
  return out;
}

std::string CurrentDosLocked() {
  std::string cwd = UnixCwd();
  if (g_currentDos.empty() || cwd != g_currentUnix) {
    g_currentUnix = cwd;
    std::string dos;
    if (!cwd.empty()) dos = UnixToDos(cwd);
    if (dos.empty()) {
      // The Unix folder lies outside every drive: start at the first drive's root.
      std::vector<Drive> drives = Drives();
      dos = drives.empty() ? "C:\\" : std::string(1, drives.front().letter) + ":\\";
    }
    g_currentDos = dos;
  }
  return g_currentDos;
}

// Lexical clean-up of an absolute Unix path.
std::string CleanUnix(const std::string& path) {
  std::vector<std::string> stack;
  size_t i = 0;
  while (i < path.size()) {
    size_t j = path.find('/', i);
    if (j == std::string::npos) j = path.size();
    std::string part = path.substr(i, j - i);
    if (part == "..") {
      if (!stack.empty()) stack.pop_back();
    } else if (!part.empty() && part != ".") {
      stack.push_back(part);
    }
    i = j + 1;
  }
  std::string out;
  for (const std::string& p : stack) out += "/" + p;
  return out.empty() ? "/" : out;
}

// Components of `path` below `root` when `path` lies in it.
bool Below(const std::string& root, const std::string& path, std::string& rest) {
  if (root == "/") {
    rest = path.substr(1);
    return true;
  }
  if (path == root) {
    rest.clear();
    return true;
  }
  if (path.size() > root.size() && path.compare(0, root.size(), root) == 0 && path[root.size()] == '/') {
    rest = path.substr(root.size() + 1);
    return true;
  }
  return false;
}

std::string UnixToDosLexical(const std::string& clean) {
  const Drive* best = nullptr;
  std::string bestRest;
  std::vector<Drive> drives = Drives();
  for (const Drive& d : drives) {
    std::string rest;
    if (Below(CleanUnix(d.root), clean, rest) && (!best || d.root.size() > best->root.size())) {
      best = &d;
      bestRest = rest;
    }
  }
  if (!best) return "";
  std::string dos = std::string(1, best->letter) + ":\\";
  std::string converted = Utf8ToCp949(bestRest);
  for (char& c : converted)
    if (c == '/') c = '\\';
  return dos + converted;
}

std::string FoldName(const std::string& name) {
  std::string out = name;
  for (char& c : out) c = FoldAscii(c);
  return out;
}

// The names of folders read for lookups without letter case, so that a name missing in a large
// folder costs a constant, not a reading of the whole folder. The kernel reports every change
// to a watched folder, this process's and any other's, so an index never misses one, however
// close together changes come (a folder's change time cannot tell two changes within one tick
// apart, and the program and a library with its own copy of this layer change folders
// independently). Where changes go unreported (a network or user-space file system, another
// machine), a change time that moves with no report sends the folder to be read again. Without
// watches (limits reached) every lookup reads the folder.
class FolderNames {
 public:
  static FolderNames& Instance() {
    static FolderNames* names = new FolderNames;  // used until the very end of the process
    return *names;
  }

  // The first name (in byte order) that equals `name` but for letter case.
  // `known`: the folder's status, when the caller has just taken it.
  bool FindNoCase(const std::string& folder, const std::string& name, std::string& match,
                  const struct stat* known = nullptr) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (forked_.exchange(false)) Restart();  // a forked child must not take its parent's reports
    ReadReports();
    struct stat st;
    if (known)
      st = *known;
    else if (stat(folder.c_str(), &st) != 0)
      return false;
    if (!S_ISDIR(st.st_mode)) return false;
    Index* index = Current(folder, st);
    if (!index) {
      std::vector<std::string> matches;
      ReadFolder(folder, [&](const char* entry) {
        if (EqualNoCase(entry, name)) matches.push_back(entry);
      });
      return First(matches, match);
    }
    index->lastUse = ++uses_;
    auto it = index->names.find(FoldName(name));
    return it != index->names.end() && First(it->second, match);
  }

 private:
  // Folders indexed at the same time; the least recently used one gives way.
  static constexpr size_t kMaxFolders = 64;
  static constexpr uint32_t kMask =
      IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

  struct Index {
    int watch = -1;
    dev_t dev = 0;
    ino_t ino = 0;
    timespec changed{};   // the folder's change time when last looked at
    bool reported = false;  // a report came since then
    uint64_t lastUse = 0;
    std::unordered_map<std::string, std::vector<std::string>> names;  // folded name -> names
  };

  FolderNames() {
    Restart();
    pthread_atfork(nullptr, nullptr, [] { Instance().forked_ = true; });
  }

  void Restart() {
    if (fd_ >= 0) close(fd_);  // in a forked child, only the child's copy of the descriptor
    folders_.clear();
    byWatch_.clear();
    fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  }

  // `folder` is a copy: callers may pass the key of the entry that is erased here.
  void Forget(std::string folder) {
    auto it = folders_.find(folder);
    if (it == folders_.end()) return;
    int watch = it->second.watch;
    folders_.erase(it);
    Release(watch, folder);
  }

  // Takes `folder` off the paths of `watch`, and removes the watch once no path uses it: two
  // paths may lead to one folder and so share its watch.
  void Release(int watch, const std::string& folder) {
    auto it = byWatch_.find(watch);
    if (it != byWatch_.end()) {
      std::erase(it->second, folder);
      if (!it->second.empty()) return;
      byWatch_.erase(it);
    }
    inotify_rm_watch(fd_, watch);
  }

  // Every name in the folder but "." and ".."; false when the folder could not be read whole.
  template <typename Each>
  static bool ReadFolder(const std::string& folder, Each each) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
    if (!dir) return false;
    for (;;) {
      errno = 0;
      dirent* e = readdir(dir.get());
      if (!e) return errno == 0;
      if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) each(e->d_name);
    }
  }

  static bool First(const std::vector<std::string>& names, std::string& match) {
    if (names.empty()) return false;
    match = *std::min_element(names.begin(), names.end());
    return true;
  }

  static void Add(Index& index, const std::string& name) {
    std::vector<std::string>& same = index.names[FoldName(name)];
    if (std::find(same.begin(), same.end(), name) == same.end()) same.push_back(name);
  }

  static void Remove(Index& index, const std::string& name) {
    auto it = index.names.find(FoldName(name));
    if (it == index.names.end()) return;
    std::erase(it->second, name);
    if (it->second.empty()) index.names.erase(it);
  }

  // Applies the changes reported since the last call.
  void ReadReports() {
    if (fd_ < 0) return;
    alignas(inotify_event) char buffer[64 * 1024];
    for (;;) {
      ssize_t n = read(fd_, buffer, sizeof buffer);
      if (n <= 0) return;  // EAGAIN: nothing more
      // Room left for another report: the queue was empty (what comes now is seen next time).
      const bool drained = sizeof buffer - static_cast<size_t>(n) > sizeof(inotify_event) + NAME_MAX + 1;
      for (ssize_t pos = 0; pos < n;) {
        const auto* e = reinterpret_cast<const inotify_event*>(buffer + pos);
        pos += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
        if (e->mask & IN_Q_OVERFLOW) {
          // Reports were lost: nothing known can be trusted.
          Restart();
          return;
        }
        auto w = byWatch_.find(e->wd);
        if (w == byWatch_.end()) continue;
        std::vector<std::string> paths = w->second;
        if (e->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT)) {
          for (const std::string& path : paths) Forget(path);
          continue;
        }
        if (e->len == 0) continue;
        std::string name = e->name;
        for (const std::string& path : paths) {
          auto f = folders_.find(path);
          if (f == folders_.end()) continue;
          Index& index = f->second;
          index.reported = true;
          if (e->mask & (IN_CREATE | IN_MOVED_TO))
            Add(index, name);
          else if (e->mask & (IN_DELETE | IN_MOVED_FROM))
            Remove(index, name);
        }
      }
      if (drained) return;
    }
  }

  // The folder's index when it can be trusted, else a new one (null without watches).
  Index* Current(const std::string& folder, const struct stat& st) {
    auto it = folders_.find(folder);
    if (it != folders_.end()) {
      Index& index = it->second;
      bool moved = index.changed.tv_sec != st.st_mtim.tv_sec || index.changed.tv_nsec != st.st_mtim.tv_nsec;
      if (index.dev == st.st_dev && index.ino == st.st_ino && (!moved || index.reported)) {
        index.changed = st.st_mtim;
        index.reported = false;
        return &index;
      }
      Forget(folder);  // another folder now, or a change that was not reported
    }
    if (fd_ < 0) return nullptr;
    if (folders_.size() >= kMaxFolders) {
      auto oldest = std::min_element(folders_.begin(), folders_.end(),
                                     [](const auto& a, const auto& b) { return a.second.lastUse < b.second.lastUse; });
      Forget(oldest->first);
    }
    // Watched before it is read: a change while it is read is then reported, and applying it
    // again to the names read gives the same result.
    int watch = inotify_add_watch(fd_, folder.c_str(), kMask);
    if (watch < 0) return nullptr;
    Index index;
    index.watch = watch;
    index.dev = st.st_dev;
    index.ino = st.st_ino;
    index.changed = st.st_mtim;
    // A folder not read (no descriptor or memory left, no permission for a moment) gets no
    // index: an empty one would never be corrected, as nothing changes to report.
    bool read = false;
    try {
      read = ReadFolder(folder, [&](const char* entry) { Add(index, entry); });
    } catch (...) {
      Release(watch, folder);
      throw;
    }
    if (!read) {
      Release(watch, folder);
      return nullptr;
    }
    std::vector<std::string>& paths = byWatch_[watch];
    if (std::find(paths.begin(), paths.end(), folder) == paths.end()) paths.push_back(folder);
    return &(folders_[folder] = std::move(index));
  }

  int fd_ = -1;
  std::atomic<bool> forked_{false};
  uint64_t uses_ = 0;
  std::map<std::string, Index> folders_;
  std::unordered_map<int, std::vector<std::string>> byWatch_;
  std::mutex mutex_;
};

}  // namespace

void ForgetCurrentDos() {
  std::lock_guard<std::mutex> lock(g_cwdMutex);
  g_currentDos.clear();
}

std::string NormalizeDos(const std::string& dosPath) {
  std::string path = dosPath;
  char letter;
  std::vector<std::string> stack;
  if (path.size() >= 2 && path[1] == ':' && isalpha(static_cast<unsigned char>(path[0]))) {
    letter = FoldAscii(path[0]);
    path = path.substr(2);
    if (path.empty() || !IsSep(path[0])) {
      // "D:name" is relative to the current folder when that is on D:, else to D:'s root.
      std::string current;
      {
        std::lock_guard<std::mutex> lock(g_cwdMutex);
        current = CurrentDosLocked();
      }
      if (FoldAscii(current[0]) == letter) Push(stack, SplitDos(current.substr(2)));
    }
  } else {
    std::string current;
    {
      std::lock_guard<std::mutex> lock(g_cwdMutex);
      current = CurrentDosLocked();
    }
    letter = FoldAscii(current[0]);
    if (path.empty() || !IsSep(path[0])) Push(stack, SplitDos(current.substr(2)));
  }
  Push(stack, SplitDos(path));
  return JoinDos(letter, stack);
}

std::string DosToUnix(const std::string& dosPath) {
  if (dosPath.empty()) return "";
  if (dosPath.size() >= 2 && IsSep(dosPath[0]) && IsSep(dosPath[1])) return "";  // no network names
  std::string full = NormalizeDos(dosPath);
  Drive drive;
  if (!FindDrive(full[0], drive)) return "";
  std::vector<std::string> parts = SplitDos(full.substr(3));
  std::vector<std::string> names;
  for (const std::string& part : parts) names.push_back(Cp949ToUtf8(part));
  auto join = [&](size_t count) {
    std::string path = drive.root;
    for (size_t i = 0; i < count; ++i) path += (path == "/" ? "" : "/") + names[i];
    return path;
  };
  // Names mostly exist as written, or all but the last one: the longest such start is found
  // from the end, and only what follows it is looked up without letter case.
  size_t exact = names.size();
  struct stat folder, probe;
  while (exact > 0 && lstat(join(exact).c_str(), &folder) != 0) --exact;
  bool folderKnown = exact > 0;  // `folder` is the status of unixPath
  std::string unixPath = join(exact);
  bool exists = true;  // once a component is missing, nothing below it can be found
  for (size_t i = exact; i < names.size(); ++i) {
    std::string base = unixPath == "/" ? "" : unixPath;
    std::string candidate = base + "/" + names[i];
    // The first after the start is known to be missing as written.
    if (exists && (i == exact || lstat(candidate.c_str(), &probe) != 0)) {
      // No exact match: the first name that differs only in letter case.
      std::string match;
      const bool realFolder = folderKnown && S_ISDIR(folder.st_mode);  // not a link to one
      if (FolderNames::Instance().FindNoCase(unixPath, names[i], match, realFolder ? &folder : nullptr))
        candidate = base + "/" + match;
      else
        exists = false;
      folderKnown = false;
    } else {
      if (exists) folder = probe;
      folderKnown = exists;
    }
    unixPath = candidate;
  }
  return unixPath;
}

std::string UnixToDos(const std::string& unixPath) {
  if (unixPath.empty()) return "";
  std::string absolute = unixPath;
  if (absolute[0] != '/') {
    char buffer[4096];
    if (!getcwd(buffer, sizeof buffer)) return "";
    absolute = std::string(buffer) + "/" + absolute;
  }
  std::string dos = UnixToDosLexical(CleanUnix(absolute));
  if (!dos.empty()) return dos;
  // A folder reached through a link (/tmp -> /private/tmp and the like).
  char* real = realpath(absolute.c_str(), nullptr);
  if (!real) return "";
  std::string resolved = real;
  free(real);
  dos = UnixToDosLexical(resolved);
  if (!dos.empty()) return dos;
  for (const Drive& d : Drives()) {
    char* realRoot = realpath(d.root.c_str(), nullptr);
    if (!realRoot) continue;
    std::string root = realRoot;
    free(realRoot);
    std::string rest;
    if (Below(root, resolved, rest)) {
      std::string converted = Utf8ToCp949(rest);
      for (char& c : converted)
        if (c == '/') c = '\\';
      return std::string(1, d.letter) + ":\\" + converted;
    }
  }
  return "";
}

bool MapPath(LPCSTR dosPath, std::string& unixPath) {
  if (!dosPath || !*dosPath) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  unixPath = DosToUnix(dosPath);
  if (unixPath.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  return true;
}

bool IsDirectory(const std::string& unixPath) {
  struct stat st;
  return stat(unixPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool GetFileIdentity(const std::string& dosPath, FileIdentity& identity) {
  std::string unixPath;
  struct stat st;
  if (!MapPath(dosPath.c_str(), unixPath) || stat(unixPath.c_str(), &st) != 0) return false;
  identity.device = st.st_dev;
  identity.file = st.st_ino;
  return true;
}

std::vector<FileIdentity> GetPathIdentities(const std::string& dosPath) {
  std::vector<FileIdentity> identities;
  std::string unixPath;
  Drive drive;
  if (!MapPath(dosPath.c_str(), unixPath) || !FindDrive(NormalizeDos(dosPath)[0], drive)) return identities;
  auto add = [&](const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return false;
    identities.push_back({st.st_dev, st.st_ino});
    return true;
  };
  // The path is the drive's folder followed by one name for each step.
  std::string prefix = drive.root, rest;
  if (!Below(drive.root, unixPath, rest) || !add(prefix)) return identities;
  for (size_t start = 0; start < rest.size();) {
    size_t end = std::min(rest.find('/', start), rest.size());
    prefix += (prefix == "/" ? "" : "/") + rest.substr(start, end - start);
    if (!add(prefix)) break;
    start = end + 1;
  }
  return identities;
}

}  // namespace winplat

using namespace winplat;

DWORD WINAPI GetCurrentDirectoryA(DWORD nBufferLength, LPSTR lpBuffer) {
  std::string current;
  {
    std::lock_guard<std::mutex> lock(g_cwdMutex);
    current = CurrentDosLocked();
  }
  return CopyOut(current, lpBuffer, nBufferLength);
}

BOOL WINAPI SetCurrentDirectoryA(LPCSTR lpPathName) {
  std::string unixPath;
  if (!MapPath(lpPathName, unixPath)) return FALSE;
  std::string dos = NormalizeDos(lpPathName);
  struct stat st;
  if (stat(unixPath.c_str(), &st) != 0) {
    SetLastError(errno == ENOENT ? ERROR_FILE_NOT_FOUND : ErrnoToError(errno));
    return FALSE;
  }
  if (!S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_DIRECTORY);
    return FALSE;
  }
  std::lock_guard<std::mutex> lock(g_cwdMutex);
  if (chdir(unixPath.c_str()) != 0) {
    SetErrorFromErrno();
    return FALSE;
  }
  // The DOS name takes the case of the folders as they are on disk.
  std::string actual = UnixToDos(unixPath);
  g_currentDos = actual.empty() ? dos : actual;
  g_currentUnix = UnixCwd();
  return TRUE;
}

DWORD WINAPI GetFullPathNameA(LPCSTR lpFileName, DWORD nBufferLength, LPSTR lpBuffer, LPSTR* lpFilePart) {
  if (!lpFileName || !*lpFileName) {
    SetLastError(ERROR_INVALID_NAME);
    return 0;
  }
  std::string input = lpFileName;
  std::string full = NormalizeDos(input);
  bool trailing = IsSep(input.back()) && full.size() > 3;
  if (trailing) full += '\\';
  DWORD n = CopyOut(full, lpBuffer, nBufferLength);
  if (lpFilePart && n < nBufferLength) {
    size_t slash = full.find_last_of('\\');
    *lpFilePart = (slash + 1 < full.size()) ? lpBuffer + slash + 1 : nullptr;
  }
  return n;
}

DWORD WINAPI GetTempPathA(DWORD nBufferLength, LPSTR lpBuffer) {
  std::string dos;
  const char* tmpdir = getenv("TMPDIR");
  for (const char* candidate : {tmpdir, "/tmp"}) {
    if (!candidate || !*candidate || !IsDirectory(candidate)) continue;
    dos = UnixToDos(candidate);
    if (!dos.empty()) break;
  }
  if (dos.empty()) {
    // No temporary folder on any drive: one on the first fixed drive.
    for (const Drive& d : Drives()) {
      if (d.type != DRIVE_FIXED) continue;
      dos = std::string(1, d.letter) + ":\\Temp";
      mkdir(DosToUnix(dos).c_str(), 0777);
      break;
    }
  }
  if (dos.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return 0;
  }
  if (dos.back() != '\\') dos += '\\';
  return CopyOut(dos, lpBuffer, nBufferLength);
}

UINT WINAPI GetTempFileNameA(LPCSTR lpPathName, LPCSTR lpPrefixString, UINT uUnique, LPSTR lpTempFileName) {
  if (!lpPathName || !lpTempFileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string folder = lpPathName;
  std::string unixFolder;
  if (!MapPath(folder.c_str(), unixFolder) || !IsDirectory(unixFolder)) {
    SetLastError(ERROR_DIRECTORY);
    return 0;
  }
  if (!folder.empty() && !IsSep(folder.back())) folder += '\\';
  std::string prefix = lpPrefixString ? std::string(lpPrefixString).substr(0, 3) : "";
  auto makeName = [&](UINT number) {
    char hex[16];
    snprintf(hex, sizeof hex, "%X", number);
    return prefix + hex + ".TMP";
  };
  auto store = [&](const std::string& name) {
    std::string full = folder + name;
    if (full.size() >= MAX_PATH) return false;
    memcpy(lpTempFileName, full.c_str(), full.size() + 1);
    return true;
  };
  if (uUnique != 0) {
    // The caller's number: only the name is made, no file.
    uUnique &= 0xFFFF;
    if (!store(makeName(uUnique))) {
      SetLastError(ERROR_BUFFER_OVERFLOW);
      return 0;
    }
    return uUnique;
  }
  UINT start = (GetTickCount() ^ static_cast<UINT>(getpid())) & 0xFFFF;
  if (start == 0) start = 1;
  UINT number = start;
  do {
    std::string name = makeName(number);
    std::string unixName = (unixFolder == "/" ? "" : unixFolder) + "/" + Cp949ToUtf8(name);
    int fd = open(unixName.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
    if (fd >= 0) {
      close(fd);
      if (!store(name)) {
        unlink(unixName.c_str());
        SetLastError(ERROR_BUFFER_OVERFLOW);
        return 0;
      }
      return number;
    }
    if (errno != EEXIST) {
      SetErrorFromErrno();
      return 0;
    }
    number = (number & 0xFFFF) + 1;
    if (number > 0xFFFF) number = 1;
  } while (number != start);
  SetLastError(ERROR_FILE_EXISTS);
  return 0;
}
