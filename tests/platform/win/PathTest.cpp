// DOS paths over the drive table: mapping both ways, the current folder and full path names.
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <vector>
#include "TempDrives.h"

namespace {

class DosPaths : public TempDrives {
 protected:
  void SetUp() override {
    TempDrives::SetUp();
    Put(C("Dir/File.TXT"), "x");
    Put(C("Both/AB.txt"), "upper");
    Put(C("Both/ab.txt"), "lower");
    Put(C("\xED\x95\x9C\xEA\xB8\x80/\xED\x8C\x8C\xEC\x9D\xBC.txt"), "k");  // 한글/파일.txt in UTF-8
    Put(Usb("Maps/a.bin"), "m");
  }
};

TEST_F(DosPaths, DosToUnixResolvesLikeWindows) {
  struct Case {
    const char* dos;
    std::string unixRest;  // below the C: folder, or a marker
  } cases[] = {
      {"C:\\Dir\\File.TXT", "Dir/File.TXT"},
      {"c:\\dir\\file.txt", "Dir/File.TXT"},
      {"C:/Dir/file.txt", "Dir/File.TXT"},
      {"C:\\\\Dir\\\\\\file.txt", "Dir/File.TXT"},
      {"C:\\Dir\\.\\..\\DIR\\file.txt", "Dir/File.TXT"},
      {"C:\\..\\..\\Dir\\File.TXT", "Dir/File.TXT"},
      {"\\dir\\file.txt", "Dir/File.TXT"},
      {"dir\\file.txt", "Dir/File.TXT"},
      {"C:dir\\file.txt", "Dir/File.TXT"},
      {"C:\\Dir\\", "Dir"},
      {"C:\\", ""},
      {"C:", ""},
      {"C:\\dir\\New.Txt", "Dir/New.Txt"},               // new names keep the case as written
      {"C:\\Missing\\SUB\\x.txt", "Missing/SUB/x.txt"},  // nothing below a missing folder matches
      {"C:\\Both\\AB.txt", "Both/AB.txt"},               // an exact match wins
      {"C:\\Both\\ab.txt", "Both/ab.txt"},
      {"C:\\Both\\Ab.TXT", "Both/AB.txt"},  // else the first name in byte order
      {"C:\\\xC7\xD1\xB1\xDB\\\xC6\xC4\xC0\xCF.TXT", "\xED\x95\x9C\xEA\xB8\x80/\xED\x8C\x8C\xEC\x9D\xBC.txt"},
  };
  for (const Case& c : cases) {
    std::string expected = c.unixRest.empty() ? C() : C(c.unixRest);
    EXPECT_EQ(winplat::DosToUnix(c.dos), expected) << c.dos;
  }
  EXPECT_EQ(winplat::DosToUnix("e:\\maps\\A.BIN"), Usb("Maps/a.bin"));
  EXPECT_EQ(winplat::DosToUnix("E:\\"), Usb());
  for (const char* none : {"Q:\\x", "\\\\server\\share\\x", ""}) EXPECT_EQ(winplat::DosToUnix(none), "") << none;
}

// A folder read once for a lookup without letter case keeps answering as a fresh reading would,
// whoever changes it and however quickly.
TEST_F(DosPaths, LookupsWithoutCaseSeeEveryChange) {
  const std::string folder = C("Many");
  for (int i = 0; i < 300; ++i) Put(folder + "/F" + std::to_string(i) + ".dat", "");
  Put(folder + "/Old.txt", "");
  Put(folder + "/Gone.TXT", "");
  // A change within one tick of the folder's change time, which the time then cannot show.
  auto sameTick = [&](const std::function<void()>& change) {
    struct stat before;
    ASSERT_EQ(stat(folder.c_str(), &before), 0);
    change();
    timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, folder.c_str(), times, 0), 0);
  };
  auto create = [&](const std::string& name) { close(open((folder + "/" + name).c_str(), O_CREAT | O_WRONLY, 0644)); };
  auto remove = [&](const std::string& name) { unlink((folder + "/" + name).c_str()); };
  struct Case {
    const char* what;
    std::function<void()> change;
    const char* dos;        // looked up before and after the change
    const char* unixAfter;  // the name below C:\Many afterwards
  } cases[] = {
      {"created here", [&] { create("New1.TXT"); }, "C:\\Many\\new1.txt", "New1.TXT"},
      {"created by another process", [&] { InChild([&] { create("NEW2.txt"); }); }, "C:\\many\\new2.TXT", "NEW2.txt"},
      {"created in the same tick", [&] { sameTick([&] { create("nEw3.txt"); }); }, "C:\\Many\\NEW3.TXT", "nEw3.txt"},
      {"created in the same tick by another process",
       [&] { sameTick([&] { InChild([&] { create("NeW4.txt"); }); }); }, "C:\\Many\\new4.txt", "NeW4.txt"},
      {"deleted by another process", [&] { InChild([&] { remove("Gone.TXT"); }); }, "C:\\Many\\gone.txt", "gone.txt"},
      {"renamed in the same tick",
       [&] { sameTick([&] { rename((folder + "/Old.txt").c_str(), (folder + "/Renamed.TXT").c_str()); }); },
       "C:\\Many\\renamed.txt", "Renamed.TXT"},
      {"renamed away", [] {}, "C:\\Many\\OLD.TXT", "OLD.TXT"},
      {"a second case, earlier in byte order", [&] { InChild([&] { create("F1.DAT"); }); }, "C:\\Many\\f1.dat",
       "F1.DAT"},
      {"the earlier case deleted in the same tick", [&] { sameTick([&] { remove("F1.DAT"); }); }, "C:\\Many\\f1.dat",
       "F1.dat"},
      {"made through the layer", [] { CloseHandle(CreateFileA("C:\\Many\\Layer.Txt", GENERIC_WRITE, 0, nullptr,
                                                              CREATE_NEW, 0, nullptr)); },
       "C:\\Many\\LAYER.TXT", "Layer.Txt"},
      {"moved through the layer", [] { MoveFileA("C:\\Many\\Layer.Txt", "C:\\Many\\Moved.txt"); },
       "C:\\Many\\moved.TXT", "Moved.txt"},
  };
  for (const Case& c : cases) {
    winplat::DosToUnix(c.dos);  // the folder is read (again) now, before the change
    c.change();
    EXPECT_EQ(winplat::DosToUnix(c.dos), folder + "/" + c.unixAfter) << c.what;
  }

  // The folder replaced by another of the same name.
  ASSERT_EQ(winplat::DosToUnix("C:\\Many\\f2.dat"), folder + "/F2.dat");
  ASSERT_EQ(rename(folder.c_str(), C("Away").c_str()), 0);
  Put(folder + "/f2.DAT", "");
  EXPECT_EQ(winplat::DosToUnix("C:\\Many\\F2.dat"), folder + "/f2.DAT");
  EXPECT_EQ(winplat::DosToUnix("C:\\Away\\f2.dat"), C("Away/F2.dat"));
}

// Watches the process holds, over every inotify descriptor it has open.
int InotifyWatches() {
  int watches = 0;
  for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    if (std::filesystem::read_symlink(fd.path(), ec) != "anon_inode:inotify") continue;
    std::ifstream info("/proc/self/fdinfo/" + fd.path().filename().string());
    for (std::string line; std::getline(info, line);)
      if (line.rfind("inotify wd:", 0) == 0) ++watches;
  }
  return watches;
}

// A folder the index gives up is no longer watched, and what happens in it afterwards reaches
// no other folder's index.
TEST_F(DosPaths, FoldersGivenUpKeepNoWatch) {
  constexpr int kIndexed = 64;  // folders the index keeps at a time
  Put(C("Maps/Seoul.DAT"), "old");
  ASSERT_EQ(winplat::DosToUnix("C:\\Maps\\seoul.dat"), C("Maps/Seoul.DAT"));
  for (int i = 0; i < 300; ++i) {
    std::string name = "Folder" + std::to_string(i);
    Put(C(name + "/Data.BIN"), "");
    ASSERT_EQ(winplat::DosToUnix("C:\\" + name + "\\data.bin"), C(name + "/Data.BIN"));
  }
  EXPECT_LE(InotifyWatches(), kIndexed);

  // The given-up folder renamed away and a new one made with its name.
  ASSERT_EQ(rename(C("Maps").c_str(), C("OldMaps").c_str()), 0);
  Put(C("Maps/Seoul.DAT"), "new");
  ASSERT_EQ(winplat::DosToUnix("C:\\Maps\\seoul.dat"), C("Maps/Seoul.DAT"));
  ASSERT_EQ(unlink(C("OldMaps/Seoul.DAT").c_str()), 0);
  Put(C("OldMaps/Busan.DAT"), "old");
  EXPECT_EQ(winplat::DosToUnix("C:\\Maps\\seoul.dat"), C("Maps/Seoul.DAT"));
  EXPECT_EQ(winplat::DosToUnix("C:\\Maps\\busan.dat"), C("Maps/busan.dat"));
  HANDLE file = CreateFileA("C:\\Maps\\seoul.dat", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(C("Maps"))) names.push_back(e.path().filename());
  EXPECT_EQ(names, std::vector<std::string>{"Seoul.DAT"});
  EXPECT_EQ(Get(C("Maps/Seoul.DAT")), "");
}

// A folder that could not be read when a lookup met it is read again by the next lookup.
TEST_F(DosPaths, FolderNotReadIsNotKeptEmpty) {
  // In a child, so that the descriptor limit and the index's state stay there.
  pid_t pid = fork();
  if (pid == 0) {
    // A lookup in another folder first: the child's own inotify descriptor is made now.
    if (winplat::DosToUnix("C:\\both\\AB.txt") != C("Both/AB.txt")) _exit(2);
    // No descriptor left: opening the folder for reading fails.
    rlimit saved;
    if (getrlimit(RLIMIT_NOFILE, &saved) != 0) _exit(3);
    int lowest = dup(0);
    if (lowest < 0) _exit(3);
    close(lowest);
    rlimit none = saved;
    none.rlim_cur = static_cast<rlim_t>(lowest);
    if (setrlimit(RLIMIT_NOFILE, &none) != 0) _exit(3);
    if (opendir(C("Dir").c_str())) _exit(3);  // the limit takes
    winplat::DosToUnix("C:\\Dir\\file.txt");
    if (setrlimit(RLIMIT_NOFILE, &saved) != 0) _exit(3);
    if (winplat::DosToUnix("C:\\Dir\\file.txt") != C("Dir/File.TXT")) _exit(4);
    HANDLE file = CreateFileA("C:\\Dir\\FILE.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) _exit(5);
    CloseHandle(file);
    int entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(C("Dir"))) entries += e.is_regular_file() ? 1 : 0;
    _exit(entries == 1 ? 0 : 6);
  }
  ASSERT_GT(pid, 0);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "2, 3: set-up failed; 4: the folder stayed unread; 5: not written; "
                                       "6: a second file differing in letter case";
}

TEST_F(DosPaths, UnixToDosNamesOnlyPathsOnDrives) {
  EXPECT_EQ(winplat::UnixToDos(C("Dir/File.TXT")), "C:\\Dir\\File.TXT");
  EXPECT_EQ(winplat::UnixToDos(C()), "C:\\");
  EXPECT_EQ(winplat::UnixToDos(C("Dir/../Dir//File.TXT")), "C:\\Dir\\File.TXT");
  EXPECT_EQ(winplat::UnixToDos(Usb("Maps")), "E:\\Maps");
  EXPECT_EQ(winplat::UnixToDos(C("\xED\x95\x9C\xEA\xB8\x80")), "C:\\\xC7\xD1\xB1\xDB");
  EXPECT_EQ(winplat::UnixToDos(base_), "");
  EXPECT_EQ(winplat::UnixToDos("/etc/passwd"), "");
  EXPECT_EQ(winplat::UnixToDos(base_ + "/cc"), "") << "a folder that only starts like a drive's";
}

TEST_F(DosPaths, AFileIsKnownByWhatItIsWhicheverSpellingLeadsThere) {
  std::filesystem::create_directory_symlink(C("Dir"), C("Link"));
  std::filesystem::create_symlink(C("Dir/File.TXT"), C("Alias.txt"));
  std::string table = "C=" + C() + ",fixed;E=" + Usb() + ",removable,NAVI;F=" + C("Dir") + ",fixed";
  setenv("WINPLAT_DRIVES", table.c_str(), 1);
  winplat::ReloadDrives();
  winplat::FileIdentity file, folder, id;
  ASSERT_TRUE(winplat::GetFileIdentity("C:\\Dir\\File.TXT", file));
  ASSERT_TRUE(winplat::GetFileIdentity("C:\\Dir", folder));
  EXPECT_FALSE(file == folder);
  const struct {
    const char* path;
    const winplat::FileIdentity* same;  // null: another file
  } cases[] = {
      {"c:\\dir\\file.txt", &file},       {"C:\\Link\\File.TXT", &file}, {"C:\\Alias.txt", &file},
      {"F:\\File.TXT", &file},             {"C:\\Dir\\..\\Link\\", &folder}, {"F:\\", &folder},
      {"C:\\Both\\AB.txt", nullptr},     {"E:\\Maps", nullptr},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(winplat::GetFileIdentity(c.path, id)) << c.path;
    if (c.same)
      EXPECT_TRUE(id == *c.same) << c.path;
    else
      EXPECT_FALSE(id == file || id == folder) << c.path;
  }
  for (const char* missing : {"C:\\Dir\\None.txt", "C:\\None\\File.TXT", "Z:\\File.TXT", ""})
    EXPECT_FALSE(winplat::GetFileIdentity(missing, id)) << missing;

  // Each start of a path, up to the first that is missing.
  winplat::FileIdentity root;
  ASSERT_TRUE(winplat::GetFileIdentity("C:\\", root));
  const struct {
    const char* path;
    std::vector<winplat::FileIdentity> starts;
  } paths[] = {
      {"C:\\link\\file.txt", {root, folder, file}},
      {"C:\\Link\\None\\File.TXT", {root, folder}},
      {"F:\\File.TXT", {folder, file}},
      {"C:\\", {root}},
      {"Z:\\File.TXT", {}},
  };
  for (const auto& p : paths) EXPECT_TRUE(winplat::GetPathIdentities(p.path) == p.starts) << p.path;
}

TEST_F(DosPaths, CurrentFolderFollowsSetCurrentDirectory) {
  char buffer[MAX_PATH];
  ASSERT_TRUE(SetCurrentDirectoryA("dir"));
  DWORD n = GetCurrentDirectoryA(sizeof buffer, buffer);
  EXPECT_EQ(std::string(buffer, n), "C:\\Dir") << "the case of the folder on disk";
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  EXPECT_EQ(std::string(cwd), C("Dir"));
  EXPECT_EQ(winplat::DosToUnix("File.txt"), C("Dir/File.TXT"));
  EXPECT_EQ(winplat::DosToUnix("..\\Both\\ab.txt"), C("Both/ab.txt"));

  // Too small: the size needed, zero included.
  EXPECT_EQ(GetCurrentDirectoryA(3, buffer), 7u);

  SetLastError(0);
  EXPECT_FALSE(SetCurrentDirectoryA("C:\\NoSuchFolder"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(SetCurrentDirectoryA("C:\\Dir\\File.TXT"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIRECTORY));
  EXPECT_FALSE(SetCurrentDirectoryA("Q:\\"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  n = GetCurrentDirectoryA(sizeof buffer, buffer);
  EXPECT_EQ(std::string(buffer, n), "C:\\Dir") << "a failed change keeps the folder";

  ASSERT_TRUE(SetCurrentDirectoryA("E:\\maps"));
  n = GetCurrentDirectoryA(sizeof buffer, buffer);
  EXPECT_EQ(std::string(buffer, n), "E:\\Maps");
}

TEST_F(DosPaths, FullPathNames) {
  ASSERT_TRUE(SetCurrentDirectoryA("C:\\Dir"));
  struct Case {
    const char* input;
    const char* full;
    const char* filePart;  // null: none
  } cases[] = {
      {"a.txt", "C:\\Dir\\a.txt", "a.txt"},
      {"..\\x\\", "C:\\x\\", nullptr},
      {"\\\\\\y\\\\z.zip", "C:\\y\\z.zip", "z.zip"},
      {"E:foo", "E:\\foo", "foo"},
      {"c:\\A\\.\\B\\..\\C", "C:\\A\\C", "C"},
      {"C:\\", "C:\\", nullptr},
  };
  for (const Case& c : cases) {
    char buffer[MAX_PATH];
    LPSTR part = reinterpret_cast<LPSTR>(1);
    DWORD n = GetFullPathNameA(c.input, sizeof buffer, buffer, &part);
    EXPECT_EQ(std::string(buffer, n), c.full) << c.input;
    if (c.filePart)
      EXPECT_STREQ(part, c.filePart) << c.input;
    else
      EXPECT_EQ(part, nullptr) << c.input;
  }
  char small[4];
  EXPECT_EQ(GetFullPathNameA("a.txt", sizeof small, small, nullptr), 13u);
  EXPECT_EQ(GetFullPathNameA("", sizeof small, small, nullptr), 0u);
}

}  // namespace
