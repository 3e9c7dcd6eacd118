// The files below a folder, for tests that check what a run left behind.
#pragma once
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

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

}  // namespace testfiles
