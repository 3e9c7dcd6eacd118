// What the fuzz targets share: one temporary folder per run, removed at exit, set as the
// drive table, registry and temporary folder of the layer; and a picture of a folder tree to
// prove that an operation wrote nothing where it must not.
#pragma once
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "TestEnvironment.h"
#include "winplat.h"

namespace fuzzsupport {

namespace fs = std::filesystem;

using testsupport::ReadUnix;
using testsupport::WriteUnix;

// The run's folder: drive C: (fixed), the registry file, the HTTP cache and TMPDIR live in it.
// Drive C: is the folder's "c" child, so that nothing the system does can reach the machine's
// own files: paths outside the drive table do not exist.
class Root {
 public:
  static Root& Get() {
    static Root root;
    return root;
  }
  const fs::path& Path() const { return path_; }
  fs::path Drive() const { return path_ / "c"; }
  // The DOS path of a Unix path below the drive.
  static std::string Dos(const fs::path& unixPath) { return winplat::UnixToDos(unixPath.string()); }

 private:
  Root() {
    char pattern[] = "/tmp/movrant-fuzz-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (!made) {
      std::perror("mkdtemp");
      std::abort();
    }
    path_ = made;
    for (const char* sub : {"c", "c/temp", "cache", "run"}) fs::create_directories(path_ / sub);
    // Qt takes a runtime folder only when it is the user's alone; else it makes one in TMPDIR,
    // on drive C:, where a target's picture of the drive would count it as written by the input.
    fs::permissions(path_ / "run", fs::perms::owner_all, fs::perm_options::replace);
    setenv("WINPLAT_DRIVES", ("C=" + (path_ / "c").string() + ",fixed").c_str(), 1);
    setenv("WINPLAT_HKCU", (path_ / "hkcu.reg").c_str(), 1);
    setenv("WINPLAT_CACHE_DIR", (path_ / "cache").c_str(), 1);
    setenv("WINPLAT_RUNTIME_DIR", (path_ / "run").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (path_ / "run").c_str(), 1);
    setenv("TMPDIR", (path_ / "c" / "temp").c_str(), 1);
    setenv("TEMP", (path_ / "c" / "temp").c_str(), 1);
    setenv("WINPLAT_CONNECTION", "lan", 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    winplat::ReloadDrives();
    std::atexit([] {
      std::error_code ec;
      fs::remove_all(Get().path_, ec);
    });
  }
  fs::path path_;
};

// Every entry below a folder: relative path -> "d" for a folder, else the file's bytes.
inline std::map<std::string, std::string> Snapshot(const fs::path& folder) {
  std::map<std::string, std::string> out;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    std::string rel = fs::relative(it->path(), folder).string();
    out[rel] = it->is_directory() && !it->is_symlink() ? std::string("d") : "f" + ReadUnix(it->path());
  }
  return out;
}

// The files of the run's folder that the process holds open, to find a handle left open.
inline std::multiset<std::string> OpenFiles() {
  const std::string root = Root::Get().Path().string() + "/";
  std::multiset<std::string> out;
  std::error_code ec;
  for (auto it = fs::directory_iterator("/proc/self/fd", ec); !ec && it != fs::directory_iterator();
       it.increment(ec)) {
    std::error_code link;
    std::string target = fs::read_symlink(it->path(), link).string();
    if (target.rfind(root, 0) == 0) out.insert(target);
  }
  return out;
}

// The first entry of now that was not open before ("" when none).
inline std::string NewlyOpen(const std::multiset<std::string>& before, const std::multiset<std::string>& now) {
  std::multiset<std::string> left = now;
  for (const auto& name : before) {
    auto it = left.find(name);
    if (it != left.end()) left.erase(it);
  }
  return left.empty() ? std::string() : *left.begin();
}

// Stops the run with a message that libFuzzer reports as a finding.
[[noreturn]] inline void Fail(const std::string& what) {
  std::fprintf(stderr, "FUZZ FINDING: %s\n", what.c_str());
  std::abort();
}

inline void Check(bool ok, const std::string& what) {
  if (!ok) Fail(what);
}

}  // namespace fuzzsupport
