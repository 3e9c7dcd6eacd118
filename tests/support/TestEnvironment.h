// Files and environment variables of a test: whole-file reads and writes by Unix path, and
// variables set for the test's time and put back as they were.
#pragma once
#include <sys/stat.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>

namespace testsupport {

inline std::string ReadUnix(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteUnix(const std::filesystem::path& path, const std::string& data, bool executable = false) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << data;
  if (executable) chmod(path.c_str(), 0755);
}

// Remembers each variable's first value before changing it; Restore (or the destructor) puts
// every one back, the last changed first.
class SavedEnvironment {
 public:
  SavedEnvironment() = default;
  SavedEnvironment(const SavedEnvironment&) = delete;
  SavedEnvironment& operator=(const SavedEnvironment&) = delete;
  ~SavedEnvironment() { Restore(); }

  void Set(const std::string& name, const std::string& value) {
    Remember(name);
    setenv(name.c_str(), value.c_str(), 1);
  }
  void Unset(const std::string& name) {
    Remember(name);
    unsetenv(name.c_str());
  }
  void Restore() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->second)
        setenv(it->first.c_str(), it->second->c_str(), 1);
      else
        unsetenv(it->first.c_str());
    }
    saved_.clear();
  }

 private:
  void Remember(const std::string& name) {
    if (saved_.count(name)) return;
    const char* old = getenv(name.c_str());
    saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
  }
  std::map<std::string, std::optional<std::string>> saved_;
};

}  // namespace testsupport
