// Benchmark helpers: a monotonic clock and a program run in a fresh process, measured by wall
// time and the peak resident memory of the process and its waited-for children.
#pragma once
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstddef>
#include <string>
#include <vector>

namespace bench {

inline double Seconds() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

struct Measure {
  double seconds = 0;
  long peakKB = 0;
  int status = -1;  // exit status, -1 when killed
  int signal = 0;   // the signal that killed it
};

inline Measure RunChild(const std::vector<std::string>& argv) {
  Measure m;
  const double t0 = Seconds();
  const pid_t pid = fork();
  if (pid == 0) {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  rusage ru{};
  wait4(pid, &status, 0, &ru);
  m.seconds = Seconds() - t0;
  m.peakKB = ru.ru_maxrss;
  m.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  m.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  return m;
}

// Runs each of `count` tools `rounds` times through run(i) and keeps each tool's fastest run.
// Every round starts one tool later, so that no tool always runs right after the same other
// one (a run that removes many files makes the next one's file creation slower on some file
// systems).
template <typename Run>
std::vector<Measure> BestOf(int rounds, size_t count, Run run) {
  std::vector<Measure> best(count);
  for (int round = 0; round < rounds; ++round) {
    for (size_t k = 0; k < count; ++k) {
      const size_t i = (k + size_t(round)) % count;
      const Measure m = run(i);
      if (round == 0 || m.seconds < best[i].seconds) best[i] = m;
    }
  }
  return best;
}

}  // namespace bench
