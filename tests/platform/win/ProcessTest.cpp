// Command lines split by the Windows rules, and processes started, watched and ended.
#include <signal.h>
#include <sys/wait.h>
#include <sstream>
#include <vector>
#include "TempDrives.h"

namespace {

using Args = std::vector<std::string>;

TEST(CommandLine, SplitsByWindowsRules) {
  struct Case {
    const char* line;
    Args args;
  } cases[] = {
      {"prog a b", {"prog", "a", "b"}},
      {"  prog   a\t\tb  ", {"prog", "a", "b"}},
      {"\"C:\\Program Files\\x.exe\" -r", {"C:\\Program Files\\x.exe", "-r"}},
      {"C:\\dir\\x.exe \"a b\" c", {"C:\\dir\\x.exe", "a b", "c"}},
      {"p \"\"", {"p", ""}},
      {"p a\\\\b", {"p", "a\\\\b"}},             // backslashes not before a quote are literal
      {"p a\\\"b", {"p", "a\"b"}},               // 2n+1 backslashes: n and a literal quote
      {"p a\\\\\"b c\"", {"p", "a\\b c"}},       // 2n backslashes: n, and the quote groups
      {"p \"a\\\\\" b", {"p", "a\\", "b"}},
      {"p \"a\"\"b\"", {"p", "a\"b"}},           // "" inside quotes: a literal quote
      {"p a\"b c\"d", {"p", "ab cd"}},
      {"p \"unterminated arg", {"p", "unterminated arg"}},
      {"\"C:\\a b\\\" c", {"C:\\a b\\", "c"}},   // the program name takes backslashes as they are
      {"p \xC7\xD1\xB1\xDB", {"p", "\xC7\xD1\xB1\xDB"}},
      {"", {}},
      {"   ", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(winplat::SplitCommandLine(c.line), c.args) << c.line;
}

TEST(CommandLine, QuotedArgumentsComeBackUnchanged) {
  for (const std::string arg : {"plain", "", "a b", "tab\there", "q\"uote", "end\\", "a b\\", "\\\\\"", "x\\\\y",
                                "\xC7\xD1 \xB1\xDB"}) {
    std::string line = "prog " + winplat::QuoteArgument(arg);
    Args split = winplat::SplitCommandLine(line);
    ASSERT_EQ(split.size(), 2u) << line;
    EXPECT_EQ(split[1], arg) << line;
  }
  EXPECT_EQ(winplat::QuoteArgument("plain"), "plain");
}

class Processes : public TempDrives {
 protected:
  void SetUp() override {
    TempDrives::SetUp();
    std::filesystem::create_directories(C("bin"));
    std::filesystem::create_directories(C("work"));
    std::filesystem::copy_file(CHILD_PATH, C("bin/child.exe"));
  }
  // Starts the child with a command line; false when CreateProcessA fails.
  static bool Start(const std::string& line, PROCESS_INFORMATION& pi, const char* folder = nullptr,
                    void* environment = nullptr) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    std::string buffer = line;
    return CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS, environment,
                          folder, &si, &pi);
  }
  static DWORD Finish(PROCESS_INFORMATION& pi) {
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
    EXPECT_TRUE(CloseHandle(pi.hThread));
    EXPECT_TRUE(CloseHandle(pi.hProcess));
    return code;
  }
  std::vector<std::string> Report(const std::string& file) {
    std::vector<std::string> lines;
    std::stringstream text(Get(file));
    std::string line;
    while (std::getline(text, line)) lines.push_back(line);
    return lines;
  }
};

TEST_F(Processes, ExitCodesAndWaiting) {
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(Start("C:\\bin\\child.exe exit 7", pi));
  EXPECT_GT(pi.dwProcessId, 0u);
  EXPECT_EQ(Finish(pi), 7u);

  ASSERT_TRUE(Start("c:\\BIN\\CHILD sleep 400", pi)) << "\".exe\" may be left out, case does not matter";
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE)) << "without blocking while it runs";
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, 20), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(Finish(pi), 0u);

  ASSERT_TRUE(Start("C:\\bin\\child.exe sleep 10000", pi));
  EXPECT_TRUE(TerminateProcess(pi.hProcess, 42));
  EXPECT_EQ(Finish(pi), 42u);
}

TEST_F(Processes, ArgumentsFolderAndEnvironment) {
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(Start("C:\\bin\\child.exe report C:\\work\\out.txt \"a b\" c\\\"d \xC7\xD1\xB1\xDB", pi, "C:\\work"));
  ASSERT_EQ(Finish(pi), 0u);
  auto lines = Report(C("work/out.txt"));
  ASSERT_EQ(lines.size(), 9u);
  // The child's own command line, rebuilt with the same quoting.
  EXPECT_EQ(lines[0], "C:\\bin\\child.exe report C:\\work\\out.txt \"a b\" \"c\\\"d\" \xC7\xD1\xB1\xDB");
  EXPECT_EQ(lines[4], "a b");
  EXPECT_EQ(lines[5], "c\"d");
  EXPECT_EQ(lines[6], "\xED\x95\x9C\xEA\xB8\x80") << "arguments reach the program as UTF-8";
  EXPECT_EQ(lines[7], C("work"));
  EXPECT_EQ(lines[8], "(unset)");

  setenv("WINPLAT_TEST_VALUE", "inherited", 1);
  ASSERT_TRUE(Start("C:\\bin\\child.exe report C:\\work\\env.txt", pi));
  ASSERT_EQ(Finish(pi), 0u);
  EXPECT_EQ(Report(C("work/env.txt")).back(), "inherited");
  unsetenv("WINPLAT_TEST_VALUE");

  std::string drives = std::string("WINPLAT_DRIVES=") + getenv("WINPLAT_DRIVES");
  std::string block = drives + '\0' + "WINPLAT_TEST_VALUE=given" + '\0' + '\0';
  ASSERT_TRUE(Start("C:\\bin\\child.exe report C:\\work\\block.txt", pi, nullptr, block.data()));
  ASSERT_EQ(Finish(pi), 0u);
  EXPECT_EQ(Report(C("work/block.txt")).back(), "given");
}

TEST_F(Processes, FailuresHaveSystemMessages) {
  Put(C("bin/text.exe"), "no program");
  chmod(C("bin/text.exe").c_str(), 0644);
  struct Case {
    std::string line;
    const char* folder;
    DWORD error;
  } cases[] = {
      {"C:\\bin\\none.exe", nullptr, ERROR_FILE_NOT_FOUND},
      {"", nullptr, ERROR_PATH_NOT_FOUND},  // an empty program path
      {"C:\\bin\\text.exe", nullptr, ERROR_ACCESS_DENIED},
      {"C:\\bin\\child.exe exit 0", "C:\\nofolder", ERROR_DIRECTORY},
  };
  for (const Case& c : cases) {
    PROCESS_INFORMATION pi{};
    EXPECT_FALSE(Start(c.line, pi, c.folder)) << c.line;
    DWORD error = GetLastError();
    EXPECT_EQ(error, c.error) << c.line;
    char text[1024];
    EXPECT_GT(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, error, 0, text, sizeof text, nullptr), 0u) << c.line;
  }
  DWORD code;
  EXPECT_FALSE(GetExitCodeProcess(reinterpret_cast<HANDLE>(0x7777), &code));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(Processes, WaitsForAProcessNotStartedHere) {
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    usleep(200000);
    _exit(0);
  }
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  ASSERT_NE(process, nullptr);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeProcess(process, &code));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_EQ(WaitForSingleObject(process, 10000), static_cast<DWORD>(WAIT_OBJECT_0)) << "a zombie has ended too";
  EXPECT_TRUE(CloseHandle(process));
  waitpid(pid, nullptr, 0);
  EXPECT_EQ(OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid)), nullptr) << "gone";
}

TEST_F(Processes, EnvironmentVariables) {
  setenv("WINPLAT_TEST_NAME", "\xED\x95\x9C", 1);
  char buffer[16];
  EXPECT_EQ(GetEnvironmentVariableA("WINPLAT_TEST_NAME", buffer, sizeof buffer), 2u);
  EXPECT_STREQ(buffer, "\xC7\xD1");
  EXPECT_EQ(GetEnvironmentVariableA("WINPLAT_TEST_NAME", buffer, 2), 3u) << "too small: the size needed";
  EXPECT_EQ(GetEnvironmentVariableA("WINPLAT_NO_SUCH_NAME", buffer, sizeof buffer), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ENVVAR_NOT_FOUND));
  unsetenv("WINPLAT_TEST_NAME");
}

}  // namespace
