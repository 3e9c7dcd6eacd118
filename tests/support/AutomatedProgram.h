// A test's program driven by an automation script: started offscreen with the script and a
// window table of the test's, waited for with a bound, and killed when the object goes while
// it still runs.
#pragma once
#include <signal.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace testsupport {

class AutomatedProgram {
 public:
  AutomatedProgram(std::vector<std::string> args, const std::string& script, const std::string& runtimeDir) {
    std::vector<std::string> env = {"WINPLAT_AUTOMATION=" + script, "QT_QPA_PLATFORM=offscreen",
                                    "QTWEBENGINE_DISABLE_SANDBOX=1", "WINPLAT_RUNTIME_DIR=" + runtimeDir};
    const size_t own = env.size();
    for (char** e = environ; *e; ++e) {
      std::string entry = *e;
      bool replaced = false;
      for (size_t i = 0; i < own && !replaced; ++i)
        replaced = entry.compare(0, env[i].find('=') + 1, env[i], 0, env[i].find('=') + 1) == 0;
      if (!replaced) env.push_back(entry);
    }
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    if (posix_spawn(&pid_, args[0].c_str(), nullptr, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
  }
  AutomatedProgram(const AutomatedProgram&) = delete;
  AutomatedProgram& operator=(const AutomatedProgram&) = delete;
  ~AutomatedProgram() { Kill(); }

  bool Started() const { return pid_ > 0; }

  // Waits until the program ends, at most about timeoutMs, or until giveUp() holds (then it
  // is killed); true when it ended by itself with status 0.
  bool Finish(int timeoutMs, const std::function<bool()>& giveUp = {}) {
    for (int waited = 0; pid_ > 0 && waited <= timeoutMs; waited += 100) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
      }
      if (giveUp && giveUp()) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    Kill();
    return false;
  }

  void Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
};

}  // namespace testsupport
