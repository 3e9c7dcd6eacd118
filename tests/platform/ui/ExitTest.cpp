// The end of a program: forms the application object still owns are freed, windows and all,
// after main() returns.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

TEST(ProgramEnd, TheApplicationFreesTheFormsItStillOwns) {
  auto dir = std::filesystem::temp_directory_path() / ("ui-exit-" + std::to_string(getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  std::string report = (dir / "report").string();
  std::string exe = UI_EXIT_CHILD;
  std::vector<std::string> args = {exe, report};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  ASSERT_EQ(posix_spawn(&pid, exe.c_str(), nullptr, nullptr, argv.data(), environ), 0);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  std::ifstream in(report);
  std::string text((std::istreambuf_iterator<char>(in)), {});
  std::filesystem::remove_all(dir);
  EXPECT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0);
  // Last created first, as the class library frees them.
  EXPECT_EQ(text, "main returns\nother freed\nmain freed\n");
}

}  // namespace
