// tools/fuzz against stand-in fuzzers: what a target writes out counts as a finding only when
// it fails again on its own.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "TestEnvironment.h"

namespace fs = std::filesystem;
using testsupport::ReadUnix;
using testsupport::WriteUnix;

namespace {

// A stand-in for a libFuzzer target. Fuzzing (with -artifact_prefix) it writes out the input
// named by `writes` with `content` and ends as `ends` says; given one input it fails when the
// input holds "fails", as a crash that reproduces does.
std::string StandIn(const std::string& writes, const std::string& content, bool finishes) {
  std::string script = "#!/bin/sh\nprefix=\nfor a; do case $a in -artifact_prefix=*) prefix=${a#-artifact_prefix=};; esac; done\n";
  script += "if [ -z \"$prefix\" ]; then\n  for a; do input=$a; done\n";
  script += "  if grep -q fails \"$input\"; then echo 'ERROR: AddressSanitizer: heap-use-after-free on address'; exit 1; fi\n";
  script += "  exit 0\nfi\n";
  if (!writes.empty()) script += "printf '" + content + "' > \"${prefix}" + writes + "\"\n";
  script += "echo '#2000\tDONE   cov: 12 ft: 34 corp: 5/60b'\n";
  if (finishes)
    script += "echo 'Done 2000 runs in 1 second(s)'\necho 'stat::number_of_executed_units: 2000'\nexit 0\n";
  else
    script += "exit 1\n";
  return script;
}

TEST(FuzzTool, OnlyWhatFailsAgainIsAFinding) {
  const struct Case {
    const char* target;
    std::string writes, content;
    bool finishes;
    int status;
    const char* kept;  // where the input written out stays: "findings", "not-reproduced" or ""
  } cases[] = {
      {"slow", "slow-unit-1a", "fine", true, 0, "not-reproduced"},
      {"stall", "timeout-2b", "fine", false, 0, "not-reproduced"},  // a stall stopped the run
      {"crash", "crash-3c", "fails", false, 1, "findings"},
      {"slowcrash", "slow-unit-4d", "fails", true, 1, "findings"},
      {"clean", "", "", true, 0, ""},
      {"died", "", "", false, 1, ""},  // ended with nothing written out
  };
  const fs::path build = fs::temp_directory_path() / ("fuzz-tool-" + std::to_string(getpid()));
  fs::remove_all(build);
  testsupport::SavedEnvironment env;
  env.Set("FUZZ_NO_BUILD", "1");
  env.Set("FUZZ_BUILD_DIR", build.string());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    WriteUnix(build / "fuzz" / ("fuzz_" + std::string(c.target)), StandIn(c.writes, c.content, c.finishes), true);
    const std::string command = std::string("'") + FUZZ_TOOL + "' 1 " + c.target + " > '" + (build / "out.txt").string() + "' 2>&1";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    const std::string out = ReadUnix(build / "out.txt");
    EXPECT_EQ(WEXITSTATUS(status), c.status) << out;
    const fs::path findings = build / "fuzz-findings" / c.target;
    if (c.writes.empty()) continue;
    EXPECT_EQ(fs::exists(findings / c.writes), std::string(c.kept) == "findings") << out;
    EXPECT_EQ(fs::exists(findings / "not-reproduced" / c.writes), std::string(c.kept) == "not-reproduced") << out;
    if (c.status) {
      EXPECT_NE(out.find("AddressSanitizer: heap-use-after-free"), std::string::npos) << out;
    }
  }
  fs::remove_all(build);
}

}  // namespace
