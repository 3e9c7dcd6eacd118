// The files below a folder, for tests that check what a run left behind.
#pragma once
#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "TestEnvironment.h"

namespace testfiles {

// Every file below a folder, relative, sorted; empty when the folder is missing.
inline std::vector<std::string> Listing(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(folder, ec);
       it != std::filesystem::recursive_directory_iterator(); ++it)
    if (it->is_regular_file()) names.push_back(std::filesystem::relative(it->path(), folder).string());
  std::sort(names.begin(), names.end());
  return names;
}

// Every file and folder below a folder with its bytes ("<folder>" for a folder; a link is not
// followed and shows as "<link>"), leaving out the named entries at the top.
inline std::map<std::string, std::string> Snapshot(const std::filesystem::path& folder,
                                                   const std::set<std::string>& skip = {}) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> out;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(folder, ec); it != fs::recursive_directory_iterator(); ++it) {
    fs::path rel = it->path().lexically_relative(folder);
    if (skip.count(rel.begin()->string())) {
      if (it->is_directory()) it.disable_recursion_pending();
      continue;
    }
    out[rel.string()] = it->is_symlink()     ? "<link>"
                        : it->is_directory() ? std::string("<folder>")
                                             : testsupport::ReadUnix(it->path());
  }
  return out;
}

// The names whose entries differ between two snapshots, sorted.
inline std::vector<std::string> Changed(const std::map<std::string, std::string>& before,
                                        const std::map<std::string, std::string>& after) {
  std::set<std::string> names;
  for (const auto& [name, bytes] : before)
    if (!after.count(name) || after.at(name) != bytes) names.insert(name);
  for (const auto& [name, bytes] : after)
    if (!before.count(name)) names.insert(name);
  return {names.begin(), names.end()};
}

}  // namespace testfiles
