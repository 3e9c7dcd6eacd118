// Files and folders through handles and names: dispositions, share modes, executables,
// temporary names, searches, attributes, times and the errors a caller sees.
#include <fcntl.h>
#include <algorithm>
#include <functional>
#include <memory>
#include <sys/stat.h>
#include <set>
#include <vector>
#include "TempDrives.h"
#include "WriterProcesses.h"

namespace {

using Files = TempDrives;

HANDLE Open(const char* name, DWORD access, DWORD share, DWORD disposition) {
  return CreateFileA(name, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool WriteAll(HANDLE h, const std::string& data) {
  DWORD written = 0;
  return WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &written, nullptr) && written == data.size();
}

std::string ReadAll(HANDLE h) {
  std::string out;
  char buffer[7];
  DWORD n;
  while (ReadFile(h, buffer, sizeof buffer, &n, nullptr) && n > 0) out.append(buffer, n);
  return out;
}

TEST_F(Files, WriteSeekReadAndSize) {
  HANDLE h = Open("C:\\data.bin", GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(WriteAll(h, "hello world"));
  EXPECT_EQ(GetFileSize(h, nullptr), 11u);
  EXPECT_EQ(SetFilePointer(h, 6, nullptr, FILE_BEGIN), 6u);
  EXPECT_EQ(ReadAll(h), "world");
  DWORD n = 99;
  char c;
  EXPECT_TRUE(ReadFile(h, &c, 1, &n, nullptr)) << "reading at the end succeeds";
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(SetFilePointer(h, -5, nullptr, FILE_END), 6u);
  EXPECT_EQ(SetFilePointer(h, -1, nullptr, FILE_CURRENT), 5u);
  ASSERT_TRUE(SetEndOfFile(h));
  LARGE_INTEGER size;
  ASSERT_TRUE(GetFileSizeEx(h, &size));
  EXPECT_EQ(size.QuadPart, 5);
  EXPECT_EQ(SetFilePointer(h, -10, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NEGATIVE_SEEK));

  // Far positions need the high part.
  LONG high = 1;
  EXPECT_EQ(SetFilePointer(h, 16, &high, FILE_BEGIN), 16u);
  EXPECT_EQ(high, 1);
  LARGE_INTEGER to, now;
  to.QuadPart = 3;
  EXPECT_TRUE(SetFilePointerEx(h, to, &now, FILE_BEGIN));
  EXPECT_EQ(now.QuadPart, 3);
  EXPECT_TRUE(FlushFileBuffers(h));
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_EQ(Get(C("data.bin")), "hello");

  EXPECT_FALSE(CloseHandle(h)) << "closed twice";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(ReadFile(h, &c, 1, &n, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(Files, CreationDispositions) {
  struct Case {
    bool exists;
    DWORD disposition;
    bool opens;
    DWORD error;
    std::string contentAfter;  // "-" when there is no file
  } cases[] = {
      {false, CREATE_NEW, true, ERROR_SUCCESS, ""},
      {true, CREATE_NEW, false, ERROR_FILE_EXISTS, "old"},
      {false, CREATE_ALWAYS, true, ERROR_SUCCESS, ""},
      {true, CREATE_ALWAYS, true, ERROR_ALREADY_EXISTS, ""},
      {false, OPEN_EXISTING, false, ERROR_FILE_NOT_FOUND, "-"},
      {true, OPEN_EXISTING, true, ERROR_SUCCESS, "old"},
      {false, OPEN_ALWAYS, true, ERROR_SUCCESS, ""},
      {true, OPEN_ALWAYS, true, ERROR_ALREADY_EXISTS, "old"},
      {false, TRUNCATE_EXISTING, false, ERROR_FILE_NOT_FOUND, "-"},
      {true, TRUNCATE_EXISTING, true, ERROR_SUCCESS, ""},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(C("f.txt"));
    if (c.exists) Put(C("f.txt"), "old");
    SetLastError(12345);
    HANDLE h = Open("C:\\F.TXT", GENERIC_READ | GENERIC_WRITE, 0, c.disposition);
    DWORD error = GetLastError();
    EXPECT_EQ(h != INVALID_HANDLE_VALUE, c.opens) << c.disposition << " exists=" << c.exists;
    EXPECT_EQ(error, c.error) << c.disposition << " exists=" << c.exists;
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    if (c.contentAfter == "-") {
      EXPECT_FALSE(std::filesystem::exists(C("f.txt"))) << c.disposition;
      EXPECT_FALSE(std::filesystem::exists(C("F.TXT"))) << c.disposition;
    } else {
      EXPECT_EQ(Get(C(c.exists ? "f.txt" : "F.TXT")), c.contentAfter) << c.disposition;
    }
    std::filesystem::remove(C("F.TXT"));
  }
}

TEST_F(Files, OpenErrors) {
  EXPECT_EQ(Open("C:\\nofolder\\x.txt", GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(Open("Q:\\x.txt", GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  std::filesystem::create_directories(C("folder"));
  EXPECT_EQ(Open("C:\\folder", GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

  // Read-only refuses writing and truncation, even for the superuser.
  Put(C("ro.txt"), "keep");
  ASSERT_TRUE(SetFileAttributesA("C:\\ro.txt", FILE_ATTRIBUTE_READONLY));
  for (DWORD disposition : {static_cast<DWORD>(OPEN_EXISTING), static_cast<DWORD>(CREATE_ALWAYS)}) {
    EXPECT_EQ(Open("C:\\ro.txt", GENERIC_WRITE, 0, disposition), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  }
  EXPECT_EQ(Get(C("ro.txt")), "keep");
  HANDLE h = Open("C:\\ro.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(WriteAll(h, "x")) << "a handle opened for reading does not write";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  CloseHandle(h);
}

TEST_F(Files, ShareModesBetweenHandles) {
  struct Case {
    DWORD firstAccess, firstShare, secondAccess, secondShare;
    bool secondOpens;
  } cases[] = {
      {GENERIC_READ, FILE_SHARE_READ, GENERIC_READ, FILE_SHARE_READ, true},
      {GENERIC_READ, 0, GENERIC_READ, FILE_SHARE_READ, false},
      {GENERIC_READ, FILE_SHARE_READ, GENERIC_WRITE, FILE_SHARE_READ, false},
      {GENERIC_WRITE, FILE_SHARE_READ, GENERIC_READ, FILE_SHARE_READ, false},  // second must share writing
      {GENERIC_WRITE, FILE_SHARE_READ, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, true},
      {GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, GENERIC_WRITE,
       FILE_SHARE_READ | FILE_SHARE_WRITE, true},
      {GENERIC_READ, FILE_SHARE_READ, GENERIC_READ, 0, false},
  };
  Put(C("s.txt"), "shared");
  for (const Case& c : cases) {
    HANDLE first = Open("C:\\s.txt", c.firstAccess, c.firstShare, OPEN_EXISTING);
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    HANDLE second = Open("C:\\S.TXT", c.secondAccess, c.secondShare, OPEN_EXISTING);
    EXPECT_EQ(second != INVALID_HANDLE_VALUE, c.secondOpens)
        << std::hex << c.firstAccess << "/" << c.firstShare << " then " << c.secondAccess << "/" << c.secondShare;
    if (second == INVALID_HANDLE_VALUE)
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    else
      CloseHandle(second);
    CloseHandle(first);
  }
  // A refused CREATE_ALWAYS must not have emptied the file.
  HANDLE first = Open("C:\\s.txt", GENERIC_READ, 0, OPEN_EXISTING);
  EXPECT_EQ(Open("C:\\s.txt", GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(Get(C("s.txt")), "shared");
  // Open without FILE_SHARE_DELETE: no deleting, no renaming.
  EXPECT_FALSE(DeleteFileA("C:\\s.txt"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(MoveFileA("C:\\s.txt", "C:\\t.txt"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  CloseHandle(first);
  EXPECT_TRUE(DeleteFileA("C:\\s.txt")) << "closing the handle frees the file";
}

// Share modes hold between processes too, whatever namespace or machine the other one runs in:
// a file another process has open without FILE_SHARE_DELETE is neither deleted nor renamed.
TEST_F(Files, AFileOpenInAnotherProcessIsKeptWithoutShareDelete) {
  struct Case {
    DWORD access, share;
    bool kept;
  } cases[] = {
      {GENERIC_WRITE, 0, true},  // a writer's temporary file
      {GENERIC_READ, FILE_SHARE_READ, true},
      {GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, true},
      {GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, false},
      {GENERIC_WRITE, FILE_SHARE_DELETE, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.access << "/" << c.share);
    Put(C("held.txt"), "held");
    testproc::OpenFileHolder holder("C:\\held.txt", c.access, c.share, OPEN_EXISTING);
    ASSERT_TRUE(holder.Opened());
    if (c.kept) {
      EXPECT_FALSE(DeleteFileA("C:\\HELD.txt"));
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
      EXPECT_FALSE(MoveFileA("C:\\held.txt", "C:\\moved.txt"));
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
      EXPECT_EQ(Get(C("held.txt")), "held");
      holder.Release();
    }
    EXPECT_TRUE(DeleteFileA("C:\\held.txt")) << "once the other process has let go";
    EXPECT_FALSE(std::filesystem::exists(C("held.txt")));
  }
}

// As on Windows, a file open without FILE_SHARE_DELETE is not replaced by a move
// (ERROR_ACCESS_DENIED), nor one open without FILE_SHARE_WRITE by a copy
// (ERROR_SHARING_VIOLATION), whether another process or this one holds it; its content stays.
// Once the holder lets go, both replace it.
TEST_F(Files, AFileOpenWithoutSharingIsNotReplaced) {
  struct Case {
    DWORD access, share;
    DWORD moveError, copyError;  // 0: the call replaces the file
  } cases[] = {
      {GENERIC_READ, FILE_SHARE_READ, ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION},
      {GENERIC_WRITE, 0, ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION},  // a writer
      {GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, ERROR_ACCESS_DENIED, 0},
      {GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, 0, ERROR_SHARING_VIOLATION},
      {GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0, 0},
  };
  // Each call replaces C:\held.dat with the file it names.
  struct Call {
    const char* what;
    const char* source;
    std::function<BOOL()> run;
    DWORD Case::*error;
  } calls[] = {
      {"move", "moved.dat", [] { return MoveFileExA("C:\\moved.dat", "C:\\HELD.dat", MOVEFILE_REPLACE_EXISTING); },
       &Case::moveError},
      {"copy", "copied.dat", [] { return CopyFileA("C:\\copied.dat", "C:\\held.DAT", FALSE); }, &Case::copyError},
  };
  for (bool otherProcess : {true, false}) {
    for (const Case& c : cases) {
      for (const Call& call : calls) {
        SCOPED_TRACE(testing::Message() << call.what << " over a file open in "
                                        << (otherProcess ? "another process " : "this process ") << std::hex
                                        << c.access << "/" << c.share);
        Put(C("held.dat"), "held");
        Put(C(call.source), call.source);
        std::unique_ptr<testproc::OpenFileHolder> child;
        HANDLE own = INVALID_HANDLE_VALUE;
        if (otherProcess) {
          child = std::make_unique<testproc::OpenFileHolder>("C:\\held.dat", c.access, c.share, OPEN_EXISTING);
          ASSERT_TRUE(child->Opened());
        } else {
          own = Open("C:\\held.dat", c.access, c.share, OPEN_EXISTING);
          ASSERT_NE(own, INVALID_HANDLE_VALUE);
        }
        const DWORD error = c.*call.error;
        SetLastError(0);
        const BOOL ok = call.run();
        if (error) {
          EXPECT_FALSE(ok);
          EXPECT_EQ(GetLastError(), error);
        } else {
          EXPECT_TRUE(ok) << GetLastError();
        }
        EXPECT_EQ(Get(C("held.dat")), error ? "held" : call.source);

        if (child) child->Release();
        if (own != INVALID_HANDLE_VALUE) CloseHandle(own);
        Put(C(call.source), call.source);
        EXPECT_TRUE(call.run()) << "once the holder has let go";
        EXPECT_EQ(Get(C("held.dat")), call.source);
      }
    }
  }
}

// The names Windows reads as devices, with the blanks and dots it drops.
TEST(DeviceNames, AsWindowsReadsThem) {
  struct Case {
    const char* part;
    bool device;
  } cases[] = {
      {"CON", true},       {"con", true},       {"Prn", true},        {"AUX", true},        {"nul", true},
      {"COM1", true},      {"com9", true},      {"LPT1", true},       {"lpt9", true},       {"con.txt", true},
      {"NUL.tar.gz", true}, {"CON.", true},     {"nul. . ", true},    {"aux .log", true},   {"COM1  .txt ", true},
      {"CONSOLE", false},  {"CONX.txt", false}, {"COM", false},       {"COM0", false},      {"COM10", false},
      {"LPT0.txt", false}, {"xnul", false},     {"nul_file", false},  {".con", false},      {"", false},
      {"..", false},       {"Maps", false},     {"COM\xA1\xA1", false},
  };
  for (const Case& c : cases) EXPECT_EQ(winplat::IsReservedDeviceName(c.part), c.device) << c.part;
}

// As on Windows, a name part holding < > : " | ? * or a control character, or naming a device,
// is refused, in whatever folder or file it stands and on every drive; the drive's "X:" is not a
// name part.
TEST_F(Files, NamesWindowsRefuses) {
  Put(C("good.txt"), "good");
  std::filesystem::create_directories(C("dir"));
  std::filesystem::create_directories(Usb("dir"));
  std::vector<std::string> bad = {"C:\\a<b.txt", "C:\\a>b.txt", "C:\\a:b.txt", "C:\\a\"b.txt", "C:\\a|b.txt",
                                  "C:\\a?b.txt", "C:\\a*b.txt", "C:\\a\x01" "b.txt", "C:\\tab\tname", "C:\\a\x1f",
                                  "C:\\caf?\\x.txt", "C:\\dir\\ok\\n?w",
                                  // devices
                                  "C:\\CON", "C:\\dir\\nul", "C:\\Aux.txt", "C:\\com1", "C:\\LPT9.log", "C:\\prn. ",
                                  "C:\\dir\\con .txt", "C:\\COM3\\x.txt", "E:\\CON", "E:\\dir\\con.txt", "E:\\NUL\\",
                                  "E:\\dir\\lpt1\\a.txt", "E:/AUX"};
  for (const std::string& dos : bad) {
    SCOPED_TRACE(dos);
    auto refused = [](BOOL ok) {
      return !ok && GetLastError() == static_cast<DWORD>(ERROR_INVALID_NAME);
    };
    SetLastError(0);
    HANDLE h = Open(dos.c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
    EXPECT_TRUE(refused(CreateDirectoryA(dos.c_str(), nullptr)));
    EXPECT_TRUE(refused(MoveFileA("C:\\good.txt", dos.c_str())));
    EXPECT_TRUE(refused(MoveFileExA("C:\\good.txt", dos.c_str(), MOVEFILE_REPLACE_EXISTING)));
    EXPECT_TRUE(refused(CopyFileA("C:\\good.txt", dos.c_str(), FALSE)));
    EXPECT_TRUE(refused(MoveFileA(dos.c_str(), "C:\\new.txt")));
    EXPECT_TRUE(refused(CopyFileA(dos.c_str(), "C:\\new.txt", FALSE)));
  }
  // Nothing was made or moved.
  std::vector<std::string> left;
  for (auto& e : std::filesystem::recursive_directory_iterator(base_)) left.push_back(e.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"c", "dir", "dir", "good.txt", "usb"}));

  // What Windows takes: a drive-relative name, other punctuation, Korean names, names that only
  // begin like a device's.
  std::string korean = winplat::Utf8ToCp949("지도 (새) [1] #~!.txt");
  for (const std::string& name : {std::string("C:sub.txt"), std::string("C:\\dir\\a b;c=d,e+f'g.txt"), "C:\\" + korean,
                                  std::string("C:\\CONSOLE.txt"), std::string("E:\\COM10"), std::string("E:\\nul_file")}) {
    SCOPED_TRACE(name);
    HANDLE h = Open(name.c_str(), GENERIC_WRITE, 0, CREATE_NEW);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
  }
  EXPECT_TRUE(std::filesystem::exists(C("sub.txt")));
  EXPECT_TRUE(std::filesystem::exists(C("dir/a b;c=d,e+f'g.txt")));
  EXPECT_TRUE(std::filesystem::exists(C("지도 (새) [1] #~!.txt")));
  EXPECT_TRUE(std::filesystem::exists(C("CONSOLE.txt")));
  EXPECT_TRUE(std::filesystem::exists(Usb("COM10")));
  EXPECT_TRUE(std::filesystem::exists(Usb("nul_file")));
}

TEST_F(Files, ExeFilesAreExecutable) {
  struct Case {
    const char* name;
    const char* unixName;
    bool executable;
  } cases[] = {{"C:\\x.exe", "x.exe", true}, {"C:\\Setup.EXE", "Setup.EXE", true}, {"C:\\x.txt", "x.txt", false},
               {"C:\\exe", "exe", false}};
  for (const Case& c : cases) {
    HANDLE h = Open(c.name, GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << c.name;
    WriteAll(h, "#!/bin/sh\n");
    CloseHandle(h);
    EXPECT_EQ(access(C(c.unixName).c_str(), X_OK) == 0, c.executable) << c.name;
  }
  // Renamed or copied to an .exe name: executable as well.
  Put(C("download.tmp"), "bin");
  ASSERT_TRUE(MoveFileA("C:\\download.tmp", "C:\\tool.exe"));
  EXPECT_EQ(access(C("tool.exe").c_str(), X_OK), 0);
  Put(C("plain"), "bin");
  chmod(C("plain").c_str(), 0644);
  ASSERT_TRUE(CopyFileA("C:\\plain", "C:\\copy.exe", FALSE));
  EXPECT_EQ(access(C("copy.exe").c_str(), X_OK), 0);
}

TEST_F(Files, DiskFullIsReported) {
  winplat::SetDrive('D', "/dev", DRIVE_FIXED, "");
  HANDLE h = Open("D:\\full", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  if (h == INVALID_HANDLE_VALUE) GTEST_SKIP() << "no /dev/full here";
  EXPECT_FALSE(WriteAll(h, "data"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
  CloseHandle(h);
}

TEST_F(Files, TempPathAndUniqueTempFiles) {
  std::filesystem::create_directories(C("tmp"));
  setenv("TMPDIR", C("tmp").c_str(), 1);
  char path[MAX_PATH];
  DWORD n = GetTempPathA(sizeof path, path);
  EXPECT_EQ(std::string(path, n), "C:\\tmp\\");
  // Outside every drive: a folder on the first fixed drive.
  setenv("TMPDIR", base_.c_str(), 1);
  setenv("WINPLAT_DRIVES", ("C=" + C() + ",fixed").c_str(), 1);
  winplat::ReloadDrives();
  n = GetTempPathA(sizeof path, path);
  unsetenv("TMPDIR");
  if (std::string(path, n) != "C:\\tmp\\") {  // unless /tmp itself is on C:
    EXPECT_EQ(std::string(path, n), "C:\\Temp\\");
    EXPECT_TRUE(std::filesystem::is_directory(C("Temp")));
  }
  EXPECT_EQ(GetTempPathA(3, path), n + 1) << "too small: the size needed";

  std::set<std::string> names;
  for (int i = 0; i < 300; ++i) {
    char name[MAX_PATH];
    UINT unique = GetTempFileNameA("C:\\tmp", "QVRXU", 0, name);
    ASSERT_NE(unique, 0u);
    char expected[MAX_PATH];
    snprintf(expected, sizeof expected, "C:\\tmp\\QVR%X.TMP", unique);
    EXPECT_STREQ(name, expected);
    EXPECT_TRUE(names.insert(name).second) << name;
    EXPECT_EQ(GetFileAttributesA(name), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE)) << "the file is made";
  }
  // With a number of the caller's: only the name.
  char name[MAX_PATH];
  EXPECT_EQ(GetTempFileNameA("C:\\tmp\\", "z", 0x1AB, name), 0x1ABu);
  EXPECT_STREQ(name, "C:\\tmp\\z1AB.TMP");
  EXPECT_EQ(GetFileAttributesA(name), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetTempFileNameA("C:\\nofolder", "z", 0, name), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIRECTORY));
}

TEST_F(Files, DeleteMoveCopy) {
  Put(C("a.txt"), "A");
  Put(C("b.txt"), "B");
  EXPECT_FALSE(MoveFileA("C:\\a.txt", "C:\\b.txt"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_TRUE(MoveFileExA("C:\\a.txt", "C:\\B.TXT", MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(Get(C("b.txt")), "A") << "replaces the existing file under its own name";
  EXPECT_FALSE(std::filesystem::exists(C("a.txt")));

  // A change of case only renames.
  EXPECT_TRUE(MoveFileA("C:\\b.txt", "C:\\Final.TXT"));
  EXPECT_TRUE(MoveFileA("C:\\final.txt", "C:\\FINAL.txt"));
  EXPECT_EQ(Get(C("FINAL.txt")), "A");
  EXPECT_FALSE(std::filesystem::exists(C("Final.TXT")));

  // Across drives.
  EXPECT_TRUE(MoveFileA("C:\\FINAL.txt", "E:\\moved.txt"));
  EXPECT_EQ(Get(Usb("moved.txt")), "A");

  EXPECT_FALSE(MoveFileA("C:\\none.txt", "C:\\x.txt"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

  Put(C("src.txt"), "content");
  struct stat before;
  stat(C("src.txt").c_str(), &before);
  struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
  utimensat(AT_FDCWD, C("src.txt").c_str(), old, 0);
  EXPECT_TRUE(CopyFileA("C:\\src.txt", "C:\\dst.txt", TRUE));
  EXPECT_EQ(Get(C("dst.txt")), "content");
  struct stat copied;
  stat(C("dst.txt").c_str(), &copied);
  EXPECT_EQ(copied.st_mtim.tv_sec, 1000000000) << "the copy keeps the time of last writing";
  EXPECT_FALSE(CopyFileA("C:\\src.txt", "C:\\DST.TXT", TRUE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
  Put(C("src.txt"), "new");
  EXPECT_TRUE(CopyFileA("C:\\src.txt", "C:\\DST.TXT", FALSE));
  EXPECT_EQ(Get(C("dst.txt")), "new");
  EXPECT_FALSE(CopyFileA("C:\\missing", "C:\\dst2.txt", FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(std::filesystem::exists(C("dst2.txt")));
  {
    // The copy's temporary file names its writer: what a killed copy left goes with the next
    // copy into that folder, a running copy's stays.
    testproc::RunningProcess running;
    ASSERT_GT(running.Id(), 0);
    const std::string ended = ".copy-" + std::to_string(testproc::EndedProcessId()) + "-4.tmp";
    const std::string live = ".copy-" + std::to_string(running.Id()) + "-1.tmp";
    Put(C(ended), "partial");
    Put(C(live), "partial");
    EXPECT_TRUE(CopyFileA("C:\\src.txt", "C:\\dst3.txt", FALSE));
    EXPECT_FALSE(std::filesystem::exists(C(ended)));
    EXPECT_TRUE(std::filesystem::exists(C(live)));
    std::filesystem::remove(C(live));
  }

  struct DeleteCase {
    const char* name;
    DWORD error;
  } deletes[] = {{"C:\\none.txt", ERROR_FILE_NOT_FOUND},
                 {"C:\\nofolder\\none.txt", ERROR_PATH_NOT_FOUND},
                 {"C:\\ro.txt", ERROR_ACCESS_DENIED},
                 {"C:\\folder", ERROR_ACCESS_DENIED}};
  Put(C("ro.txt"), "r");
  SetFileAttributesA("C:\\ro.txt", FILE_ATTRIBUTE_READONLY);
  std::filesystem::create_directories(C("folder"));
  for (const DeleteCase& d : deletes) {
    EXPECT_FALSE(DeleteFileA(d.name)) << d.name;
    EXPECT_EQ(GetLastError(), d.error) << d.name;
  }
  EXPECT_TRUE(std::filesystem::exists(C("ro.txt")));
  EXPECT_TRUE(DeleteFileA("C:\\SRC.txt"));
  EXPECT_FALSE(std::filesystem::exists(C("src.txt")));
}

TEST_F(Files, FoldersAndAttributes) {
  EXPECT_TRUE(CreateDirectoryA("C:\\New", nullptr));
  EXPECT_FALSE(CreateDirectoryA("C:\\new", nullptr)) << "the same folder in another case";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_FALSE(CreateDirectoryA("C:\\a\\b", nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  Put(C("New/f.txt"), "x");
  EXPECT_FALSE(RemoveDirectoryA("C:\\NEW"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
  EXPECT_FALSE(RemoveDirectoryA("C:\\New\\f.txt"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIRECTORY));

  EXPECT_EQ(GetFileAttributesA("C:\\new"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(GetFileAttributesA("C:\\new\\F.txt"), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_TRUE(SetFileAttributesA("C:\\new\\F.txt", FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(GetFileAttributesA("C:\\new\\F.txt"), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY));
  struct stat st;
  stat(C("New/f.txt").c_str(), &st);
  EXPECT_EQ(st.st_mode & 0222, 0u) << "read-only is the lack of write bits";
  EXPECT_TRUE(SetFileAttributesA("C:\\new\\F.txt", FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(GetFileAttributesA("C:\\new\\F.txt"), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));

  EXPECT_EQ(GetFileAttributesA("C:\\none"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(GetFileAttributesA("C:\\none\\x"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

  ASSERT_TRUE(DeleteFileA("C:\\new\\f.txt"));
  EXPECT_TRUE(RemoveDirectoryA("C:\\new"));
  EXPECT_FALSE(std::filesystem::exists(C("New")));
}

std::vector<std::string> Find(const char* search) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA data;
  HANDLE h = FindFirstFileA(search, &data);
  if (h == INVALID_HANDLE_VALUE) return names;
  do names.push_back(data.cFileName);
  while (FindNextFileA(h, &data));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
  EXPECT_TRUE(FindClose(h));
  return names;
}

TEST_F(Files, FindPatternsIgnoreCase) {
  for (const char* name : {"a.txt", "B.TXT", "c.dat", "readme", "ab.txt.bak", "\xED\x95\x9C.txt"})
    Put(C("F/") + name, "12345");
  std::filesystem::create_directories(C("F/Sub"));
  using V = std::vector<std::string>;
  const std::string han = "\xC7\xD1.txt";
  struct Case {
    const char* search;
    V names;
  } cases[] = {
      {"C:\\F\\*.*", {".", "..", "a.txt", "ab.txt.bak", "B.TXT", "c.dat", "readme", "Sub", han}},
      {"C:\\F\\*", {".", "..", "a.txt", "ab.txt.bak", "B.TXT", "c.dat", "readme", "Sub", han}},
      {"C:\\f\\*.TXT", {"a.txt", "B.TXT", han}},
      {"C:\\F\\?.txt", {"a.txt", "B.TXT", han}},  // a double-byte character is one "?"
      {"C:\\F\\a*", {"a.txt", "ab.txt.bak"}},
      {"C:\\F\\*.t?t", {"a.txt", "B.TXT", han}},
      {"C:\\F\\README", {"readme"}},
      {"C:\\F\\s*", {"Sub"}},
      {"C:\\F\\none*", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(Find(c.search), c.names) << c.search;

  WIN32_FIND_DATAA data;
  HANDLE h = FindFirstFileA("C:\\F\\c.dat", &data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(data.nFileSizeLow, 5u);
  EXPECT_EQ(data.dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
  FindClose(h);
  h = FindFirstFileA("C:\\F\\sub", &data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(data.dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  FindClose(h);

  EXPECT_EQ(FindFirstFileA("C:\\F\\none*", &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(FindFirstFileA("C:\\nofolder\\*.*", &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(Find("C:\\*.*"), (V{"F"})) << "a drive's root has no . and ..";
  ASSERT_TRUE(SetCurrentDirectoryA("C:\\F"));
  EXPECT_EQ(Find("*.dat"), (V{"c.dat"}));
}

TEST_F(Files, FileTimes) {
  HANDLE h = Open("C:\\t.txt", GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  SYSTEMTIME st{2021, 7, 0, 14, 9, 30, 12, 0};
  FILETIME ft;
  ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
  EXPECT_TRUE(SetFileTime(h, nullptr, nullptr, &ft));
  FILETIME created, accessed, written;
  EXPECT_TRUE(GetFileTime(h, &created, &accessed, &written));
  EXPECT_EQ(written.dwLowDateTime, ft.dwLowDateTime);
  EXPECT_EQ(written.dwHighDateTime, ft.dwHighDateTime);
  CloseHandle(h);
  struct stat s;
  stat(C("t.txt").c_str(), &s);
  EXPECT_EQ(s.st_mtim.tv_sec, 1626255012);  // 2021-07-14 09:30:12 UTC
  WIN32_FIND_DATAA data;
  h = FindFirstFileA("C:\\t.txt", &data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(data.ftLastWriteTime.dwLowDateTime, ft.dwLowDateTime);
  FindClose(h);
}

}  // namespace
