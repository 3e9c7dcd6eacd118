// Process ids for tests of temporary files named after their writer: the id of a process that
// has ended, and a process that runs as long as the object lives.
#pragma once
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

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

}  // namespace testproc
