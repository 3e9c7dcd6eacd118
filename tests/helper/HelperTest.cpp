// qvrxupd.exe as Movrant starts it: from the temporary folder, with the program folder as its
// current folder, in unpack mode ("0 NULL_PROGRAM_ISNT") and in restart mode.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "QuorvexWebUpdate.h"
#include "SysUtils.h"
#include "ZipWriter.h"
#include "windows.h"
#include "winplat.h"

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const fs::path& path, const std::string& data, bool executable = false) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << data;
  if (executable) chmod(path.c_str(), 0755);
}

class HelperTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/qvrxupd-test-XXXXXX";
    root_ = mkdtemp(tmpl);
    std::string table = "C=" + root_.string() + ",fixed";
    setenv("WINPLAT_DRIVES", table.c_str(), 1);
    winplat::ReloadDrives();
    fs::create_directories(root_ / "temp");
    fs::create_directories(root_ / "prog");
    fs::copy_file(QVRXUPD_PATH, root_ / "temp" / "qvrxupd.exe");
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  fs::path Prog(const std::string& name = "") const { return root_ / "prog" / name; }

  // The restart command runs on its own after the helper ended. Its scripts write into a scratch
  // file and rename it, so the file appears only whole; the deadline is generous for loaded
  // machines and only a failing run waits it out.
  std::string WaitForFile(const std::string& name) const {
    for (int i = 0; i < 1500 && !fs::exists(Prog(name)); ++i) Sleep(20);
    return ReadFile(Prog(name));
  }

  void Package(const std::string& name, const std::vector<std::pair<std::string, std::string>>& files) {
    ztest::ZipWriter zip;
    for (const auto& f : files) zip.AddFile(f.first, f.second);
    ASSERT_TRUE(zip.WriteTo(Prog(name).string()));
  }

  // Runs "C:\temp\qvrxupd.exe <arguments>" in C:\prog and returns its exit code.
  DWORD Run(const std::string& arguments) {
    std::string command = "C:\\temp\\qvrxupd.exe " + arguments;
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, "C:\\prog", &si, &pi)) {
      ADD_FAILURE() << "cannot start " << command << " error " << GetLastError();
      return DWORD(-1);
    }
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
  }

  fs::path root_;
};

TEST_F(HelperTest, UnpackModeExtractsEveryPackageIntoTheCurrentFolderAndDeletesThem) {
  Package("DATA1.ZIP", {{"a.txt", "alpha"}, {"sub/deep/b.txt", "bravo"}});
  Package("data 2.zip", {{"c.txt", "charlie"}});
  WriteFile(Prog("a.txt"), "old alpha");

  EXPECT_EQ(Run("0 NULL_PROGRAM_ISNT DATA1.ZIP \"data 2.zip\""), 0u);

  EXPECT_EQ(ReadFile(Prog("a.txt")), "alpha");  // replaced
  EXPECT_EQ(ReadFile(Prog("sub/deep/b.txt")), "bravo");
  EXPECT_EQ(ReadFile(Prog("c.txt")), "charlie");
  EXPECT_FALSE(fs::exists(Prog("DATA1.ZIP")));
  EXPECT_FALSE(fs::exists(Prog("data 2.zip")));
}

TEST_F(HelperTest, APackageThatCannotBeUnpackedIsKeptAndTheOthersStillArrive) {
  Package("good.zip", {{"good.txt", "fine"}});
  WriteFile(Prog("broken.zip"), "this is no zip archive at all");
  ztest::ZipWriter escaping;
  escaping.AddFile("../outside.txt", "escaped");
  ASSERT_TRUE(escaping.WriteTo(Prog("escape.zip").string()));

  EXPECT_EQ(Run("0 NULL_PROGRAM_ISNT broken.zip missing.zip escape.zip good.zip"), 1u);

  EXPECT_EQ(ReadFile(Prog("good.txt")), "fine");
  EXPECT_FALSE(fs::exists(Prog("good.zip")));
  EXPECT_TRUE(fs::exists(Prog("broken.zip")));
  EXPECT_TRUE(fs::exists(Prog("escape.zip")));
  EXPECT_FALSE(fs::exists(root_ / "outside.txt"));
}

TEST_F(HelperTest, BadCommandLinesEndWithoutTouchingAnything) {
  Package("keep.zip", {{"k.txt", "k"}});
  struct Case {
    const char* arguments;
    DWORD code;
  } cases[] = {
      {"", 2},
      {"0", 2},
      {"abc NULL_PROGRAM_ISNT keep.zip", 2},
      {"-5 NULL_PROGRAM_ISNT keep.zip", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    EXPECT_EQ(Run(c.arguments), c.code);
    EXPECT_TRUE(fs::exists(Prog("keep.zip")));
    EXPECT_FALSE(fs::exists(Prog("k.txt")));
  }
}

TEST_F(HelperTest, RestartModeWaitsForTheProgramThenReplacesItsFilesThenStartsTheCommand) {
  WriteFile(Prog("app.txt"), "old");
  // The "running program": it looks at its file just before it ends.
  WriteFile(Prog("running.exe"), "#!/bin/sh\nsleep 1\ncat app.txt > seen.txt\n", true);
  WriteFile(Prog("restart.exe"),
            "#!/bin/sh\n{ echo \"$@\"; cat app.txt; } > restarted.tmp\nmv restarted.tmp restarted.txt\n", true);
  Package("APP.ZIP", {{"app.txt", "new"}});

  std::string command = "C:\\prog\\running.exe";
  STARTUPINFOA si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION running = {};
  ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, "C:\\prog", &si, &running));

  EXPECT_EQ(Run(std::to_string(running.dwProcessId) + " \"restart.exe -r\" APP.ZIP"), 0u);

  EXPECT_EQ(ReadFile(Prog("seen.txt")), "old");  // not replaced while it ran
  EXPECT_EQ(WaitForFile("restarted.txt"), "-r\nnew");
  EXPECT_FALSE(fs::exists(Prog("APP.ZIP")));
  WaitForSingleObject(running.hProcess, INFINITE);
  CloseHandle(running.hThread);
  CloseHandle(running.hProcess);
}

TEST_F(HelperTest, RestartModeStillRestartsWhenAPackageFails) {
  WriteFile(Prog("broken.zip"), "junk");
  WriteFile(Prog("restart.exe"), "#!/bin/sh\necho \"$@\" > restarted.tmp\nmv restarted.tmp restarted.txt\n", true);

  EXPECT_EQ(Run("0 \"restart.exe -r\" broken.zip"), 1u);

  EXPECT_EQ(WaitForFile("restarted.txt"), "-r\n");
  EXPECT_TRUE(fs::exists(Prog("broken.zip")));
}

// The build step and the program's unscrambling are two pieces of code: what the program writes
// as the helper must be the helper, byte for byte.
TEST(HelperScramble, TheBuildStepChangesEveryByteBlockAndTheProgramRestoresTheInput) {
  char tmpl[] = "/tmp/qvrxupd-scramble-XXXXXX";
  fs::path dir = mkdtemp(tmpl);
  // Every byte value at positions of every remainder, and a length that is no round number.
  std::string plain(4099, '\0');
  for (size_t i = 0; i < plain.size(); ++i) plain[i] = char(i % 7 == 0 ? i / 7 : i % 7);
  WriteFile(dir / "in", plain);
  std::string command = std::string(SCRAMBLE_PATH) + " " + (dir / "in").string() + " " + (dir / "out").string();
  ASSERT_EQ(system(command.c_str()), 0);
  std::string scrambled = ReadFile(dir / "out");
  ASSERT_EQ(scrambled.size(), plain.size());
  // No run of 16 bytes survives unchanged: the embedded program does not read as one.
  for (size_t i = 0; i + 16 <= plain.size(); i += 16) EXPECT_NE(scrambled.substr(i, 16), plain.substr(i, 16));
  std::vector<unsigned char> bytes(scrambled.begin(), scrambled.end());
  UnscrambleHelper(bytes);
  EXPECT_TRUE(std::string(bytes.begin(), bytes.end()) == plain);
  fs::remove_all(dir);
}

}  // namespace
