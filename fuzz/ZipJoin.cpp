// The join of a split archive's numbered parts: the input is the parts, separated by a line
// "@@PART@@", stored as arc.z01, arc.z02, ... and arc.zip (the last). The join either gives an
// archive in the temporary folder or fails; it leaves no temporary file, no open file and the
// parts as they were.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "ZBWrkr.h"

using fuzzsupport::Check;
namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto& root = fuzzsupport::Root::Get();
  const fs::path folder = root.Drive() / "join";
  const fs::path temp = root.Drive() / "jointemp";
  std::error_code ec;
  fs::remove_all(folder, ec);
  fs::remove_all(temp, ec);
  fs::create_directories(temp);

  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::string separator = "\n@@PART@@\n";
  std::vector<std::string> parts;
  for (size_t at = 0;;) {
    size_t next = input.find(separator, at);
    parts.push_back(input.substr(at, next == std::string::npos ? std::string::npos : next - at));
    if (next == std::string::npos || parts.size() == 8) break;
    at = next + separator.size();
  }
  for (size_t i = 0; i < parts.size(); ++i) {
    char name[16];
    if (i + 1 == parts.size())
      std::snprintf(name, sizeof name, "arc.zip");
    else
      std::snprintf(name, sizeof name, "arc.z%02d", int(i + 1));
    fuzzsupport::WriteUnix(folder / name, parts[i]);
  }
  const auto partsBefore = fuzzsupport::Snapshot(folder);

  const auto files = fuzzsupport::OpenFiles();
  int result = 0;
  AnsiString out = (fuzzsupport::Root::Dos(temp) + "\\").c_str();
  {
    TComponent owner(nullptr);
    TZBWorker w(&owner);
    w.Active = true;
    w.Unattended = true;
    w.TempDir = fuzzsupport::Root::Dos(temp).c_str();
    w.Events()->OnZipDialog = [](TObject*, const AnsiString&, AnsiString&, int& context, TMsgDlgButtons) {
      context = mrCancel;
    };
    try {
      result = w.ReadSpan(fuzzsupport::Root::Dos(folder / "arc.zip").c_str(), out);
    } catch (const Exception&) {
      // Reported to the caller like a failure.
      result = -1;
    }
  }
  if (auto open = fuzzsupport::NewlyOpen(files, fuzzsupport::OpenFiles()); !open.empty())
    fuzzsupport::Fail("the join left open " + open);
  Check(fuzzsupport::Snapshot(folder) == partsBefore, "the join changed the parts");
  const auto left = fuzzsupport::Snapshot(temp);
  if (result == 0) {
    Check(left.size() == 1, "a join that succeeded left " + std::to_string(left.size()) + " files");
  } else {
    Check(left.empty(), "a join that failed left " + (left.empty() ? std::string() : left.begin()->first));
  }
  return 0;
}
