// Libraries (dlopen behind LoadLibraryA) and the program's own module name.
#include <dirent.h>
#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sstream>
#include <vector>
#include "Internal.h"

namespace winplat {

namespace {

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// A file of that name in the folder: the exact name, else one that differs in letter case.
std::string FindInFolder(const std::string& folder, const std::string& name) {
  std::string base = folder == "/" ? "" : folder;
  if (IsRegularFile(base + "/" + name)) return base + "/" + name;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return "";
  std::string found;
  while (dirent* e = readdir(dir)) {
    if (strcasecmp(e->d_name, name.c_str()) == 0 && IsRegularFile(base + "/" + e->d_name)) {
      if (found.empty() || found > e->d_name) found = e->d_name;
    }
  }
  closedir(dir);
  return found.empty() ? "" : base + "/" + found;
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

bool HasFolderPart(const std::string& dosName) {
  return dosName.find_first_of("\\/:") != std::string::npos;
}

// The Windows system libraries that programs look up by name at run time. The layer itself
// stands in for them: each is a module handle of its own, whose entries are the layer's
// functions. Only the entries looked up that way are listed.
struct SystemExport {
  const char* name;
  FARPROC proc;
};
struct SystemModule {
  const char* file;
  std::vector<SystemExport> exports;
};

template <class F>
FARPROC Entry(F* function) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(function));
}

const std::vector<SystemModule>& SystemModules() {
  static const std::vector<SystemModule> modules = {
      {"kernel32.dll", {{"GetDiskFreeSpaceExA", Entry(&GetDiskFreeSpaceExA)}}},
  };
  return modules;
}

// The system module of that file name ("KERNEL32", "kernel32.dll"), or null.
const SystemModule* FindSystemModule(std::string file) {
  if (file.find('.') == std::string::npos) file += ".dll";
  for (const SystemModule& m : SystemModules())
    if (strcasecmp(m.file, file.c_str()) == 0) return &m;
  return nullptr;
}

HMODULE SystemHandle(const SystemModule* module) {
  return reinterpret_cast<HMODULE>(const_cast<SystemModule*>(module));
}

const SystemModule* SystemModuleOf(HMODULE module) {
  for (const SystemModule& m : SystemModules())
    if (SystemHandle(&m) == module) return &m;
  return nullptr;
}

}  // namespace

bool IsSystemModule(HMODULE module) { return SystemModuleOf(module) != nullptr; }

std::string SelfExePath() {
  char buffer[4096];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return "";
  std::string path(buffer, static_cast<size_t>(n));
  const std::string deleted = " (deleted)";
  if (path.size() > deleted.size() && path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0)
    path.resize(path.size() - deleted.size());
  return path;
}

std::string SearchProgramFolders(const std::string& dosName) {
  std::string name = Cp949ToUtf8(dosName);
  std::vector<std::string> folders;
  folders.push_back(FolderOf(SelfExePath()));
  char cwd[4096];
  if (getcwd(cwd, sizeof cwd)) folders.push_back(cwd);
  if (const char* path = getenv("PATH")) {
    std::stringstream list(path);
    std::string folder;
    while (std::getline(list, folder, ':'))
      if (!folder.empty()) folders.push_back(folder);
  }
  for (const std::string& folder : folders) {
    std::string found = FindInFolder(folder, name);
    if (!found.empty()) return found;
  }
  return "";
}

std::string ModuleUnixPath(HMODULE module) {
  if (IsSystemModule(module)) return "";  // no file of its own
  if (module) {
    link_map* map = nullptr;
    if (dlinfo(module, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name && map->l_name[0]) return map->l_name;
  }
  return SelfExePath();
}

}  // namespace winplat

using namespace winplat;

HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName) {
  if (!lpLibFileName || !*lpLibFileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::string name = lpLibFileName;
  // A name without extension means a ".dll"; a final dot means none.
  size_t lastSep = name.find_last_of("\\/:");
  std::string file = lastSep == std::string::npos ? name : name.substr(lastSep + 1);
  if (file.find('.') == std::string::npos)
    name += ".dll";
  else if (name.back() == '.')
    name.pop_back();
  if (!HasFolderPart(name))
    if (const SystemModule* system = FindSystemModule(name)) return SystemHandle(system);
  std::string path;
  if (HasFolderPart(name)) {
    path = DosToUnix(name);
    if (!path.empty() && !IsRegularFile(path)) path.clear();
  } else {
    path = SearchProgramFolders(name);
  }
  if (path.empty()) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    SetLastError(ERROR_BAD_EXE_FORMAT);
    return nullptr;
  }
  return static_cast<HMODULE>(handle);
}

HMODULE WINAPI LoadLibraryExA(LPCSTR lpLibFileName, HANDLE hFile, DWORD dwFlags) {
  (void)hFile;
  (void)dwFlags;  // dependencies are found by the dynamic loader, whatever the flags say
  return LoadLibraryA(lpLibFileName);
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  if (!lpProcName || IS_INTRESOURCE(lpProcName)) {
    SetLastError(ERROR_PROC_NOT_FOUND);  // no exports by number here
    return nullptr;
  }
  if (const SystemModule* system = SystemModuleOf(hModule)) {
    for (const SystemExport& e : system->exports)
      if (strcmp(e.name, lpProcName) == 0) return e.proc;
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  void* module = hModule ? static_cast<void*>(hModule) : dlopen(nullptr, RTLD_NOW);
  void* symbol = dlsym(module, lpProcName);
  if (!symbol) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(symbol);
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
  if (IsSystemModule(hLibModule)) return TRUE;  // never unloaded, as on Windows
  if (!hLibModule || dlclose(hLibModule) != 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) {
  if (!lpModuleName) {
    // The program stays loaded for the process's life; one handle serves every call.
    static void* self = dlopen(nullptr, RTLD_NOW);
    return static_cast<HMODULE>(self);
  }
  std::string name = lpModuleName;
  size_t sep = name.find_last_of("\\/:");
  if (sep != std::string::npos) name = name.substr(sep + 1);
  if (name.find('.') == std::string::npos) name += ".dll";
  if (const SystemModule* system = FindSystemModule(name)) return SystemHandle(system);
  std::string utf8 = Cp949ToUtf8(name);
  struct Search {
    std::string name;
    std::string path;
  } search{utf8, ""};
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* data) {
        auto* s = static_cast<Search*>(data);
        if (!info->dlpi_name || !*info->dlpi_name) return 0;
        const char* slash = strrchr(info->dlpi_name, '/');
        if (strcasecmp(slash ? slash + 1 : info->dlpi_name, s->name.c_str()) != 0) return 0;
        s->path = info->dlpi_name;
        return 1;
      },
      &search);
  if (search.path.empty()) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  // A loaded module only: RTLD_NOLOAD gives its handle, and dlclose takes back the count
  // that call added, as GetModuleHandleA adds none.
  void* handle = dlopen(search.path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle) dlclose(handle);
  return static_cast<HMODULE>(handle);
}

DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
  std::string path = ModuleUnixPath(hModule);
  if (path.empty()) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return 0;
  }
  std::string dos = UnixToDos(path);
  // A module outside every drive keeps its Unix name: still a usable path for this layer's callers.
  if (dos.empty()) dos = Utf8ToCp949(path);
  if (!lpFilename || nSize == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (dos.size() >= nSize) {
    // Cut to fit, as Windows does, and say so.
    memcpy(lpFilename, dos.data(), nSize - 1);
    lpFilename[nSize - 1] = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return nSize;
  }
  memcpy(lpFilename, dos.c_str(), dos.size() + 1);
  return static_cast<DWORD>(dos.size());
}
