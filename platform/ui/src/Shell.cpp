// ShellExecuteA and SHFileOperationA.
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "SysUtils.h"
#include "shellapi.h"
#include "windows.h"
#include "winplat.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

bool IsUrl(const std::string& s) {
  return s.find("://") != std::string::npos || s.rfind("mailto:", 0) == 0 || s.rfind("about:", 0) == 0;
}

bool IsProgram(const std::string& dos, const std::string& unix) {
  AnsiString ext = UpperCase(ExtractFileExt(AnsiString(dos)));
  if (ext == ".EXE") return true;
  struct stat st;
  return !unix.empty() && stat(unix.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & S_IXUSR);
}

// Hands a target to the desktop's opener without waiting for it.
bool Open(const std::string& target) {
  const char* opener = "xdg-open";
  std::vector<std::string> args = {opener, target};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid;
  // Not found on the path: no program is associated with the target.
  if (posix_spawnp(&pid, opener, nullptr, nullptr, argv.data(), environ) != 0) return false;
  // Nobody else waits for this child: its end is collected here, and only its own, so the
  // children a caller waits for keep their exit codes.
  std::thread([pid] {
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
  }).detach();
  return true;
}

}  // namespace

HINSTANCE WINAPI ShellExecuteA(HWND, LPCSTR lpOperation, LPCSTR lpFile, LPCSTR lpParameters, LPCSTR lpDirectory,
                               INT) {
  auto result = [](uintptr_t v) { return reinterpret_cast<HINSTANCE>(v); };
  if (lpOperation && *lpOperation && CompareText(lpOperation, "open") != 0) return result(SE_ERR_NOASSOC);
  std::string file = lpFile ? lpFile : "";
  if (file.empty()) return result(SE_ERR_FNF);
  if (IsUrl(file)) return result(Open(file) ? 42 : SE_ERR_NOASSOC);
  std::string full = ExpandFileName(AnsiString(file)).str();
  std::string unix = winplat::DosToUnix(full);
  if (unix.empty() || !fs::exists(unix)) return result(SE_ERR_FNF);
  if (IsProgram(full, unix) && !fs::is_directory(unix)) {
    std::string cmd = "\"" + full + "\"";
    if (lpParameters && *lpParameters) cmd += std::string(" ") + lpParameters;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    const char* dir = lpDirectory && *lpDirectory ? lpDirectory : nullptr;
    if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, dir, &si, &pi))
      return result(SE_ERR_FNF);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return result(42);
  }
  return result(Open(unix) ? 42 : SE_ERR_NOASSOC);
}

namespace {

// Moves a file or folder to the freedesktop trash of the user.
bool Trash(const fs::path& path) {
  const char* data = std::getenv("XDG_DATA_HOME");
  const char* home = std::getenv("HOME");
  fs::path trash = data && *data ? fs::path(data) / "Trash" : fs::path(home ? home : "/tmp") / ".local/share/Trash";
  std::error_code ec;
  fs::create_directories(trash / "files", ec);
  fs::create_directories(trash / "info", ec);
  std::string name = path.filename().string();
  fs::path target = trash / "files" / name;
  for (int n = 2; fs::exists(target) || fs::exists(trash / "info" / (target.filename().string() + ".trashinfo")); ++n)
    target = trash / "files" / (name + "." + std::to_string(n));
  {
    std::ofstream info(trash / "info" / (target.filename().string() + ".trashinfo"));
    char when[32];
    std::time_t t = std::time(nullptr);
    std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%S", std::localtime(&t));
    info << "[Trash Info]\nPath=" << fs::absolute(path).string() << "\nDeletionDate=" << when << "\n";
  }
  fs::rename(path, target, ec);
  if (ec) {
    // Another file system: copy, then remove.
    fs::copy(path, target, fs::copy_options::recursive, ec);
    if (ec) return false;
    fs::remove_all(path, ec);
  }
  return !ec;
}

}  // namespace

int WINAPI SHFileOperationA(LPSHFILEOPSTRUCTA op) {
  if (!op || !op->pFrom) return ERROR_INVALID_PARAMETER;
  if (op->wFunc != FO_DELETE) return ERROR_NOT_SUPPORTED;
  op->fAnyOperationsAborted = FALSE;
  int result = 0;
  for (const char* p = op->pFrom; *p; p += std::strlen(p) + 1) {
    std::string unix = winplat::DosToUnix(ExpandFileName(AnsiString(p)).str());
    std::error_code ec;
    if (unix.empty() || !fs::exists(fs::symlink_status(unix, ec))) {
      result = ERROR_FILE_NOT_FOUND;
      continue;
    }
    bool ok = (op->fFlags & FOF_ALLOWUNDO) ? Trash(unix) : fs::remove_all(unix, ec) != static_cast<std::uintmax_t>(-1) && !ec;
    if (!ok) result = ERROR_ACCESS_DENIED;
  }
  return result;
}
