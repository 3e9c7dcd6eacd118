// Process ids for tests of temporary files named after their writer: the id of a process that
// has ended, a process that runs as long as the object lives, and one that holds a file open.
#pragma once
#include <poll.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#include <string>
#include "windows.h"

namespace testproc {

// A child that has ended and been reaped: no process has its id now, and the system hands
// the id out again only after a full round of ids.
inline pid_t EndedProcessId() {
  const pid_t pid = fork();
  if (pid == 0) _exit(0);
  if (pid > 0) waitpid(pid, nullptr, 0);
  return pid;
}

// A child that waits until it is killed, when the object goes.
class RunningProcess {
 public:
  RunningProcess() : pid_(fork()) {
    if (pid_ == 0)
      for (;;) pause();
  }
  RunningProcess(const RunningProcess&) = delete;
  RunningProcess& operator=(const RunningProcess&) = delete;
  ~RunningProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  pid_t Id() const { return pid_; }

 private:
  pid_t pid_;
};

// Reaps a child within bound milliseconds; one that has not ended by then is killed first.
inline void ReapWithin(pid_t pid, int boundMs = 30000) {
  for (int waited = 0; waited < boundMs; ++waited) {
    if (waitpid(pid, nullptr, WNOHANG) != 0) return;
    poll(nullptr, 0, 1);
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

// A child that opens a file through the layer, as a writer in another process (or another
// process namespace) does, and keeps it open until Release or the object's end. Its answer is
// awaited and its end reaped within a bound.
class OpenFileHolder {
 public:
  OpenFileHolder(const std::string& dosPath, DWORD access, DWORD share, DWORD disposition) {
    int ready[2];
    if (pipe(ready) != 0) return;
    if (pipe(hold_) != 0) {
      close(ready[0]);
      close(ready[1]);
      hold_[0] = hold_[1] = -1;
      return;
    }
    pid_ = fork();
    if (pid_ == 0) {
      close(ready[0]);
      close(hold_[1]);
      HANDLE h = CreateFileA(dosPath.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
      const char answer = h != INVALID_HANDLE_VALUE ? 'y' : 'n';
      (void)!write(ready[1], &answer, 1);
      char c;
      (void)!read(hold_[0], &c, 1);  // until the parent lets go, or ends
      _exit(0);
    }
    close(ready[1]);
    close(hold_[0]);
    hold_[0] = -1;
    char answer = 0;
    pollfd answered{ready[0], POLLIN, 0};
    opened_ = pid_ > 0 && poll(&answered, 1, 30000) == 1 && read(ready[0], &answer, 1) == 1 && answer == 'y';
    close(ready[0]);
  }
  OpenFileHolder(const OpenFileHolder&) = delete;
  OpenFileHolder& operator=(const OpenFileHolder&) = delete;
  ~OpenFileHolder() { Release(); }
  bool Opened() const { return opened_; }
  // Closes the file: the child ends, and is reaped before this returns.
  void Release() {
    if (hold_[1] >= 0) close(hold_[1]);
    hold_[1] = -1;
    if (pid_ > 0) ReapWithin(pid_);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int hold_[2] = {-1, -1};
  bool opened_ = false;
};

}  // namespace testproc
