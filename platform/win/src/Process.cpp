// Processes: command-line splitting, CreateProcessA over posix_spawn, exit codes, waiting,
// and the process's own ids, command line and environment.
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>
#include "Internal.h"

extern char** environ;

namespace winplat {

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
  std::vector<std::string> args;
  size_t i = 0;
  const size_t n = commandLine.size();
  auto blank = [&](size_t k) { return commandLine[k] == ' ' || commandLine[k] == '\t'; };
  while (i < n && blank(i)) ++i;
  if (i >= n) return args;
  // The program name: quotes group, backslashes are part of the path.
  std::string program;
  bool quoted = false;
  for (; i < n && (quoted || !blank(i)); ++i) {
    if (commandLine[i] == '"')
      quoted = !quoted;
    else
      program += commandLine[i];
  }
  args.push_back(program);
  for (;;) {
    while (i < n && blank(i)) ++i;
    if (i >= n) break;
    std::string arg;
    quoted = false;
    while (i < n && (quoted || !blank(i))) {
      if (commandLine[i] == '\\') {
        size_t count = 0;
        while (i < n && commandLine[i] == '\\') {
          ++count;
          ++i;
        }
        if (i < n && commandLine[i] == '"') {
          arg.append(count / 2, '\\');
          if (count % 2) {
            arg += '"';
            ++i;
          }
        } else {
          arg.append(count, '\\');
        }
      } else if (commandLine[i] == '"') {
        if (quoted && i + 1 < n && commandLine[i + 1] == '"') {
          arg += '"';
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        arg += commandLine[i++];
      }
    }
    args.push_back(arg);
  }
  return args;
}

std::string QuoteArgument(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) return argument;
  std::string out = "\"";
  size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      out.append(backslashes * 2 + 1, '\\');
    } else {
      out.append(backslashes, '\\');
    }
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, '\\');  // before the closing quote they must be doubled
  out += '"';
  return out;
}

namespace {

// One child of this process. Only waitpid knows its end, and only once, so every handle of the
// child shares this record.
struct Child {
  pid_t pid;
  std::mutex mutex;
  bool exited = false;
  DWORD exitCode = STILL_ACTIVE;
  bool terminated = false;
  DWORD terminateCode = 0;

  explicit Child(pid_t p) : pid(p) {}
  ~Child() {
    // The last handle is gone while the child runs: someone must still reap it.
    if (!exited) {
      pid_t p = pid;
      std::thread([p] { waitpid(p, nullptr, 0); }).detach();
    }
  }
  bool Poll(bool block) {
    std::lock_guard<std::mutex> lock(mutex);
    if (exited) return true;
    int status = 0;
    pid_t r;
    do r = waitpid(pid, &status, block ? 0 : WNOHANG);
    while (r < 0 && errno == EINTR);
    if (r == pid) {
      exited = true;
      if (terminated)
        exitCode = terminateCode;
      else if (WIFEXITED(status))
        exitCode = static_cast<DWORD>(WEXITSTATUS(status));
      else
        exitCode = 128 + static_cast<DWORD>(WTERMSIG(status));
    } else if (r < 0 && errno == ECHILD) {
      exited = true;
      exitCode = terminated ? terminateCode : 0;
    }
    return exited;
  }
};

std::mutex g_childMutex;
std::map<pid_t, std::weak_ptr<Child>> g_children;

struct ProcessObject : Object {
  pid_t pid = 0;
  std::shared_ptr<Child> child;  // null for a process that is not ours

  // A process not our child: gone, or a zombie its parent has not reaped.
  bool ForeignEnded() const {
    if (kill(pid, 0) != 0 && errno == ESRCH) return true;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return true;
    size_t close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'Z';
  }
  bool Ended() { return child ? child->Poll(false) : ForeignEnded(); }
};

struct ThreadObject : Object {};

std::string UnixProgram(const std::string& dosName) {
  auto tryName = [](const std::string& name) -> std::string {
    bool hasFolder = name.find_first_of("\\/:") != std::string::npos;
    std::string path = hasFolder ? DosToUnix(name) : SearchProgramFolders(name);
    struct stat st;
    if (!path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return path;
    return "";
  };
  std::string path = tryName(dosName);
  // ".exe" may be left out.
  size_t sep = dosName.find_last_of("\\/:");
  std::string file = sep == std::string::npos ? dosName : dosName.substr(sep + 1);
  if (path.empty() && file.find('.') == std::string::npos) path = tryName(dosName + ".exe");
  return path;
}

}  // namespace

}  // namespace winplat

using namespace winplat;

BOOL WINAPI CreateProcessA(LPCSTR lpApplicationName, LPSTR lpCommandLine,
                           LPSECURITY_ATTRIBUTES lpProcessAttributes, LPSECURITY_ATTRIBUTES lpThreadAttributes,
                           BOOL bInheritHandles, DWORD dwCreationFlags, LPVOID lpEnvironment,
                           LPCSTR lpCurrentDirectory, LPSTARTUPINFOA lpStartupInfo,
                           LPPROCESS_INFORMATION lpProcessInformation) {
  (void)lpProcessAttributes;
  (void)lpThreadAttributes;
  (void)bInheritHandles;  // our handles are not descriptors a child could use
  (void)dwCreationFlags;
  (void)lpStartupInfo;
  if (!lpProcessInformation) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::vector<std::string> args = SplitCommandLine(lpCommandLine ? lpCommandLine : "");
  std::string programName = lpApplicationName && *lpApplicationName ? lpApplicationName
                            : args.empty()                          ? ""
                                                                    : args[0];
  if (programName.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  if (args.empty()) args.push_back(programName);
  std::string program = UnixProgram(programName);
  if (program.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  if (access(program.c_str(), X_OK) != 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  std::string folder;
  if (lpCurrentDirectory && *lpCurrentDirectory) {
    folder = DosToUnix(lpCurrentDirectory);
    if (folder.empty() || !IsDirectory(folder)) {
      SetLastError(ERROR_DIRECTORY);
      return FALSE;
    }
  }

  std::vector<std::string> argvText;
  for (const std::string& a : args) argvText.push_back(Cp949ToUtf8(a));
  std::vector<char*> argv;
  for (std::string& a : argvText) argv.push_back(a.data());
  argv.push_back(nullptr);

  std::vector<std::string> envText;
  std::vector<char*> envp;
  char** environment = environ;
  if (lpEnvironment) {
    // "NAME=value\0...\0\0" in code page 949.
    for (const char* p = static_cast<const char*>(lpEnvironment); *p; p += strlen(p) + 1)
      envText.push_back(Cp949ToUtf8(p));
    for (std::string& e : envText) envp.push_back(e.data());
    envp.push_back(nullptr);
    environment = envp.data();
  }

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // The child starts with default signal handling, whatever this program changed.
  sigset_t all, none;
  sigfillset(&all);
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  pid_t pid = 0;
  int rc = posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environment);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (rc != 0) {
    SetLastError(rc == ENOEXEC ? ERROR_BAD_EXE_FORMAT : ErrnoToError(rc));
    return FALSE;
  }
  auto process = std::make_shared<ProcessObject>();
  process->pid = pid;
  process->child = std::make_shared<Child>(pid);
  {
    std::lock_guard<std::mutex> lock(g_childMutex);
    g_children[pid] = process->child;
  }
  lpProcessInformation->hProcess = AddHandle(process);
  lpProcessInformation->hThread = AddHandle(std::make_shared<ThreadObject>());
  lpProcessInformation->dwProcessId = static_cast<DWORD>(pid);
  lpProcessInformation->dwThreadId = static_cast<DWORD>(pid);
  return TRUE;
}

BOOL WINAPI GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode) {
  auto process = Lookup<ProcessObject>(hProcess);
  if (!process || !lpExitCode) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!process->Ended()) {
    *lpExitCode = STILL_ACTIVE;
  } else if (process->child) {
    std::lock_guard<std::mutex> lock(process->child->mutex);
    *lpExitCode = process->child->exitCode;
  } else {
    *lpExitCode = 0;  // the code of a process not ours is not known here
  }
  return TRUE;
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  auto process = Lookup<ProcessObject>(hHandle);
  if (!process) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  if (dwMilliseconds == INFINITE && process->child) {
    process->child->Poll(true);
    return WAIT_OBJECT_0;
  }
  DWORD start = GetTickCount();
  DWORD pause = 1;
  for (;;) {
    if (process->Ended()) return WAIT_OBJECT_0;
    DWORD waited = GetTickCount() - start;
    if (dwMilliseconds != INFINITE && waited >= dwMilliseconds) return WAIT_TIMEOUT;
    DWORD left = dwMilliseconds == INFINITE ? pause : std::min(pause, dwMilliseconds - waited);
    Sleep(left);
    pause = std::min<DWORD>(pause * 2, 20);
  }
}

HANDLE WINAPI OpenProcess(DWORD dwDesiredAccess, BOOL bInheritHandle, DWORD dwProcessId) {
  (void)dwDesiredAccess;
  (void)bInheritHandle;
  pid_t pid = static_cast<pid_t>(dwProcessId);
  if (pid <= 0 || (kill(pid, 0) != 0 && errno == ESRCH)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto process = std::make_shared<ProcessObject>();
  process->pid = pid;
  {
    std::lock_guard<std::mutex> lock(g_childMutex);
    auto it = g_children.find(pid);
    if (it != g_children.end()) process->child = it->second.lock();
  }
  return AddHandle(process);
}

BOOL WINAPI TerminateProcess(HANDLE hProcess, UINT uExitCode) {
  auto process = Lookup<ProcessObject>(hProcess);
  if (!process) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (process->Ended()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (process->child) {
    std::lock_guard<std::mutex> lock(process->child->mutex);
    process->child->terminated = true;
    process->child->terminateCode = uExitCode;
  }
  if (kill(process->pid, SIGKILL) != 0) {
    SetErrorFromErrno();
    return FALSE;
  }
  if (process->child) process->child->Poll(true);
  return TRUE;
}

DWORD WINAPI GetCurrentProcessId(void) { return static_cast<DWORD>(getpid()); }

DWORD WINAPI GetCurrentThreadId(void) { return static_cast<DWORD>(syscall(SYS_gettid)); }

LPSTR WINAPI GetCommandLineA(void) {
  static std::string line = [] {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> args;
    std::string cur;
    for (char c : raw) {
      if (c == 0) {
        args.push_back(cur);
        cur.clear();
      } else {
        cur += c;
      }
    }
    if (!cur.empty()) args.push_back(cur);
    std::string out;
    for (size_t i = 0; i < args.size(); ++i) {
      std::string arg = Utf8ToCp949(args[i]);
      if (i == 0) {
        // The program as a DOS path, quoted when it holds a blank (no escapes in that part).
        if (args[0].find('/') != std::string::npos) {
          std::string dos = UnixToDos(args[0]);
          if (!dos.empty()) arg = dos;
        }
        out += arg.find_first_of(" \t") != std::string::npos ? "\"" + arg + "\"" : arg;
      } else {
        out += " " + QuoteArgument(arg);
      }
    }
    return out;
  }();
  return line.data();
}

void WINAPI ExitProcess(UINT uExitCode) { exit(static_cast<int>(uExitCode)); }

DWORD WINAPI GetEnvironmentVariableA(LPCSTR lpName, LPSTR lpBuffer, DWORD nSize) {
  if (!lpName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const char* value = getenv(Cp949ToUtf8(lpName).c_str());
  if (!value) {
    SetLastError(ERROR_ENVVAR_NOT_FOUND);
    return 0;
  }
  return CopyOut(Utf8ToCp949(value), lpBuffer, nSize);
}
