// LoadLibraryA's search (program folder, current folder, PATH), symbols, module names.
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <thread>

#include "TempDrives.h"

extern char** environ;

namespace {

class Libraries : public TempDrives {
 protected:
  void SetUp() override {
    TempDrives::SetUp();
    std::filesystem::create_directories(C("cwd"));
    std::filesystem::create_directories(C("path"));
    Copy(PROBE_B, C("cwd/probe_order.dll"));
    Copy(PROBE_B, C("cwd/probe_cwd.dll"));
    Copy(PROBE_C, C("path/probe_order.dll"));
    Copy(PROBE_C, C("path/probe_cwd.dll"));
    Copy(PROBE_C, C("path/Probe_Path.dll"));
    Put(C("cwd/bad.dll"), "not a library");
    const char* path = getenv("PATH");
    oldPath_ = path ? path : "";
    setenv("PATH", (C("path") + ":" + oldPath_).c_str(), 1);
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\cwd"));
  }
  void TearDown() override {
    setenv("PATH", oldPath_.c_str(), 1);
    TempDrives::TearDown();
  }
  static void Copy(const char* from, const std::string& to) { std::filesystem::copy_file(from, to); }
  static int Id(HMODULE module) {
    auto probe = reinterpret_cast<int (*)()>(reinterpret_cast<void (*)()>(GetProcAddress(module, "ProbeId")));
    return probe ? probe() : 0;
  }
  std::string oldPath_;
};

TEST_F(Libraries, BareNamesSearchProgramFolderThenCurrentThenPath) {
  struct Case {
    const char* name;
    int id;
  } cases[] = {
      {"probe_order.dll", 'A'},  // beside the program first
      {"PROBE_CWD.DLL", 'B'},    // then the current folder, letter case ignored
      {"probe_path", 'C'},       // then PATH; no extension means ".dll"
      {"probe_path.", 0},        // a final dot means no extension at all
  };
  for (const Case& c : cases) {
    HMODULE module = LoadLibraryA(c.name);
    if (c.id == 0) {
      EXPECT_EQ(module, nullptr) << c.name;
      continue;
    }
    ASSERT_NE(module, nullptr) << c.name;
    EXPECT_EQ(Id(module), c.id) << c.name;
    EXPECT_TRUE(FreeLibrary(module));
  }
}

TEST_F(Libraries, PathsSymbolsAndNames) {
  HMODULE module = LoadLibraryA("C:\\PATH\\probe_path.dll");
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(Id(module), 'C');
  char name[MAX_PATH];
  DWORD n = GetModuleFileNameA(module, name, sizeof name);
  EXPECT_EQ(std::string(name, n), "C:\\path\\Probe_Path.dll");
  EXPECT_EQ(GetModuleHandleA("probe_path.DLL"), module) << "a loaded module by its name";
  EXPECT_EQ(GetProcAddress(module, "NoSuchExport"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  EXPECT_EQ(GetProcAddress(module, MAKEINTRESOURCEA(1)), nullptr) << "no exports by number";
  EXPECT_TRUE(FreeLibrary(module));

  struct Failure {
    const char* name;
    DWORD error;
  } failures[] = {{"nothing.dll", ERROR_MOD_NOT_FOUND},
                  {"C:\\path\\nothing.dll", ERROR_MOD_NOT_FOUND},
                  {"C:\\cwd", ERROR_MOD_NOT_FOUND},
                  {"bad.dll", ERROR_BAD_EXE_FORMAT}};
  for (const Failure& f : failures) {
    EXPECT_EQ(LoadLibraryA(f.name), nullptr) << f.name;
    EXPECT_EQ(GetLastError(), f.error) << f.name;
  }
  EXPECT_EQ(GetModuleHandleA("nothing.dll"), nullptr);
}

TEST_F(Libraries, TheProgramsOwnModule) {
  setenv("WINPLAT_DRIVES", "C=/,fixed", 1);
  winplat::ReloadDrives();
  EXPECT_NE(GetModuleHandleA(nullptr), nullptr);
  EXPECT_EQ(GetModuleHandleA(nullptr), GetModuleHandleA(nullptr));
  char name[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, name, sizeof name);
  std::string expected = "C:" + std::filesystem::read_symlink("/proc/self/exe").string();
  for (char& c : expected)
    if (c == '/') c = '\\';
  EXPECT_EQ(std::string(name, n), expected);
  char small[5];
  EXPECT_EQ(GetModuleFileNameA(nullptr, small, sizeof small), 5u) << "cut to fit";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(std::string(small), expected.substr(0, 4));
}

// Programs look entries of the system libraries up by name; the layer answers with its own
// functions, so that GetDiskFreeSpaceExA reports sizes above 4 GiB.
TEST_F(Libraries, SystemLibrariesAnswerWithTheLayersFunctions) {
  HMODULE kernel = GetModuleHandleA("kernel32");
  ASSERT_NE(kernel, nullptr);
  for (const char* name : {"KERNEL32.DLL", "kernel32.dll", "C:\\Windows\\System32\\Kernel32.dll"})
    EXPECT_EQ(GetModuleHandleA(name), kernel) << name;
  EXPECT_EQ(LoadLibraryA("Kernel32"), kernel);
  EXPECT_TRUE(FreeLibrary(kernel));
  EXPECT_NE(kernel, GetModuleHandleA(nullptr));

  using FreeSpaceEx = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
  auto ex = reinterpret_cast<FreeSpaceEx>(reinterpret_cast<void*>(GetProcAddress(kernel, "GetDiskFreeSpaceExA")));
  ASSERT_EQ(ex, &GetDiskFreeSpaceExA);
  ULARGE_INTEGER available, total, free;
  ASSERT_TRUE(ex("C:\\", &available, &total, &free));
  EXPECT_GT(total.QuadPart, 0u);

  EXPECT_EQ(GetProcAddress(kernel, "getdiskfreespaceexa"), nullptr) << "entry names keep their case";
  EXPECT_EQ(GetProcAddress(kernel, "NoSuchEntry"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  char name[MAX_PATH];
  EXPECT_EQ(GetModuleFileNameA(kernel, name, sizeof name), 0u) << "no file of its own";
  EXPECT_EQ(FindResourceA(kernel, "X", RT_RCDATA), nullptr);
}

// A running program and a library this process has loaded are in use: they cannot be deleted
// or replaced, as on Windows; once neither is in use they can.
TEST_F(Libraries, ARunningProgramOrALoadedLibraryCannotBeDeletedOrReplaced) {
  Copy("/bin/sleep", C("prog.exe"));
  chmod(C("prog.exe").c_str(), 0755);
  Put(C("other.bin"), "other bytes");
  const char* argv[] = {"prog.exe", "30", nullptr};
  pid_t pid = -1;
  ASSERT_EQ(posix_spawn(&pid, C("prog.exe").c_str(), nullptr, nullptr, const_cast<char**>(argv), environ), 0);
  const std::string exe = "/proc/" + std::to_string(pid) + "/exe";
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  std::error_code ec;
  while (std::filesystem::read_symlink(exe, ec) != C("prog.exe") && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_EQ(std::filesystem::read_symlink(exe, ec), C("prog.exe"));
  HMODULE module = LoadLibraryA("C:\\cwd\\probe_cwd.dll");
  ASSERT_NE(module, nullptr);

  const struct {
    const char* dos;
    std::string unix;
  } inUse[] = {{"C:\\prog.exe", C("prog.exe")}, {"C:\\cwd\\probe_cwd.dll", C("cwd/probe_cwd.dll")}};
  for (const auto& f : inUse) {
    SCOPED_TRACE(f.dos);
    const std::string before = Get(f.unix);
    SetLastError(0);
    EXPECT_FALSE(DeleteFileA(f.dos));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    SetLastError(0);
    EXPECT_FALSE(MoveFileExA("C:\\other.bin", f.dos, MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    SetLastError(0);
    EXPECT_FALSE(CopyFileA("C:\\other.bin", f.dos, FALSE));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Get(f.unix), before);
  }
  EXPECT_EQ(Get(C("other.bin")), "other bytes");

  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  EXPECT_TRUE(FreeLibrary(module));
  for (const auto& f : inUse) EXPECT_TRUE(DeleteFileA(f.dos)) << f.dos << " " << GetLastError();
}

}  // namespace
